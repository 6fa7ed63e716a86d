#pragma once

#include "Diagnostic.h"

#include <cstdint>

namespace dirwise {

// Where a run stands.
enum class Phase : std::uint8_t {
    Listing,   // the master tree is being listed
    Comparing, // listed files are being compared
    Extras,    // the compare tree is being walked for files the master tree lacks
};

// The progress a run reports with every yield.
struct Progress {
    Phase phase = Phase::Listing;
    std::int64_t listed = 0;        // files listed so far (Extras: in the compare tree)
    std::int64_t compared = 0;      // files taken so far by the compare (or extras) phase
    std::int64_t bytesVerified = 0; // file contents read and compared so far
};

// The one seam between the engine and whoever runs it: the window, the command line, or a
// test. Every call comes on the thread that started the run.
class CompareHost {
public:
    virtual ~CompareHost() = default;
    // Called after every directory entry, once per compared file, and between the phases,
    // with where the run stands. The window lets its event loop run here. Returns true to
    // stop the run: the engine stops at once, keeping what it has.
    [[nodiscard]] virtual bool yield(const Progress &progress) = 0;
    // A place that could not be compared, as soon as it is found. The engine keeps every
    // one in the run's summary; a host needs this only to show them early.
    virtual void diagnostic(const Diagnostic &d) { (void)d; }
    // Called every few milliseconds while the run waits for its sources (a slow mount, a
    // remote tree still arriving), with where it stands. Not a yield: it counts for nothing
    // and stops nothing by itself. The window lets its event loop run here, so Stop can be
    // pressed and end what the run waits for (OpenedRoot::Stop); dwc ends it on Ctrl-C.
    virtual void waiting(const Progress &progress) { (void)progress; }
};

} // namespace dirwise
