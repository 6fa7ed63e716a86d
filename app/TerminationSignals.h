#pragma once

#include <functional>

namespace dirwise {

// Turns SIGTERM and SIGHUP into a call of `onSignal` on the GUI thread, from the event loop
// (also from a compare run's yield, or the loop of a modal box). The signal handler only
// writes one byte to a socket pair, which is all that is safe inside a handler. Call once,
// after the QApplication exists; a later call replaces the callback. Returns false when the
// socket pair or the handlers could not be set up (the signals then keep their default
// action of ending the process).
bool InstallTerminationSignals(std::function<void()> onSignal);

} // namespace dirwise
