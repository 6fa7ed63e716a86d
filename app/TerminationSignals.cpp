#include "TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dirwise {

namespace {

int g_signalFds[2] = {-1, -1};
std::function<void()> g_onSignal;

void handleSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // Nothing useful can be done about a full pipe: one pending byte is enough anyway.
    [[maybe_unused]] const ssize_t n = ::write(g_signalFds[0], &byte, 1);
    errno = saved;
}

} // namespace

bool InstallTerminationSignals(std::function<void()> onSignal) {
    g_onSignal = std::move(onSignal);
    if (g_signalFds[0] >= 0)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalFds) != 0)
        return false;

    auto *notifier =
        new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char buffer[64];
        while (::read(g_signalFds[1], buffer, sizeof buffer) > 0) {
        }
        if (g_onSignal)
            g_onSignal();
    });

    struct sigaction action = {};
    action.sa_handler = handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    const bool ok =
        ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGHUP, &action, nullptr) == 0;
    return ok;
}

} // namespace dirwise
