#include "WindowHost.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <utility>

namespace dirwise {

WindowHost::WindowHost(std::function<void()> beforeTurn) : m_beforeTurn(std::move(beforeTurn)) {}

std::int64_t WindowHost::now() const {
    if (m_clock)
        return m_clock();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void WindowHost::beginRun() {
    m_first = true;
    m_stop = false;
    m_progress = Progress{};
    m_yields = 0;
    m_turns = 0;
    m_longestGap = 0;
    m_lastTurnEnd = now();
}

void WindowHost::endRun() { m_longestGap = std::max(m_longestGap, now() - m_lastTurnEnd); }

bool WindowHost::yield(const Progress &progress) {
    ++m_yields;
    m_progress = progress;
    if (m_hook)
        m_hook(m_yields);
    if (m_inTurn)
        return m_stop;
    const std::int64_t t = now();
    if (!m_first && t - m_lastTurnEnd < kTurnInterval)
        return m_stop;
    m_first = false;
    m_longestGap = std::max(m_longestGap, t - m_lastTurnEnd);
    turn();
    return m_stop;
}

void WindowHost::waiting(const Progress &progress) {
    m_progress = progress;
    if (!m_inTurn)
        turn();
}

void WindowHost::turn() {
    m_inTurn = true;
    ++m_turns;
    if (m_beforeTurn)
        m_beforeTurn();
    // All events, user input included: excluding it would leave a click on Stop unseen.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_inTurn = false;
    m_lastTurnEnd = now();
}

void WindowHost::setClock(Clock clock) { m_clock = std::move(clock); }

void WindowHost::setYieldHook(YieldHook hook) { m_hook = std::move(hook); }

} // namespace dirwise
