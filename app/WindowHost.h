#pragma once

#include "FileScan.h"

#include <chrono>
#include <cstdint>
#include <functional>

namespace dirwise {

// The window's side of a compare run: the engine calls yield() after every entry, and this
// host lets the event loop run only when about `interval` has passed since it last did, so
// yields cost almost nothing and the window still never stalls for long. The first yield
// after BeginRun() always lets events through, so the cleared list and the Stop button show
// at once.
//
// Before each real turn of the event loop the host calls the `beforeTurn` callback (the
// window brings its view and status bar up to date there), then processes every pending
// event, user input included (a click on Stop must be seen). A yield made while a turn is
// already under way (a handler that ran inside processEvents() yielding again) returns at
// once instead of nesting a second event loop turn.
class WindowHost final : public CompareHost {
public:
    // Monotonic time in nanoseconds.
    using Clock = std::function<std::int64_t()>;
    // Called at the start of every yield with the 1-based yield number of the run, before
    // the throttle decides; tests use it to act at a chosen yield (press Stop at the 5th).
    using YieldHook = std::function<void(std::int64_t yieldNumber)>;

    explicit WindowHost(std::function<void()> beforeTurn);

    // Starts the counts of a new run; the next yield processes events whatever the clock says.
    void BeginRun();
    // Ends the run's measurements (the gap since the last turn counts as a gap).
    void EndRun();

    void yield() override;
    void diagnostic(const Diagnostic &d) override;

    // Replaces the clock (nullptr restores std::chrono::steady_clock).
    void SetClock(Clock clock);
    void SetYieldHook(YieldHook hook);
    // The least time between two event-loop turns; 10 ms unless changed.
    void SetInterval(std::chrono::nanoseconds interval) { m_interval = interval.count(); }

    // Counts of the current (or last) run.
    [[nodiscard]] std::int64_t Yields() const { return m_yields; }
    [[nodiscard]] std::int64_t Turns() const { return m_turns; }
    [[nodiscard]] std::int64_t Diagnostics() const { return m_diagnostics; }
    // The longest time between the end of one event-loop turn and the start of the next
    // (from BeginRun to the first turn, and from the last turn to EndRun, included), in ns.
    [[nodiscard]] std::int64_t LongestGap() const { return m_longestGap; }
    [[nodiscard]] bool InTurn() const { return m_inTurn; }

private:
    [[nodiscard]] std::int64_t now() const;
    void turn();

    std::function<void()> m_beforeTurn;
    Clock m_clock;
    YieldHook m_hook;
    std::int64_t m_interval = 10'000'000;
    std::int64_t m_lastTurnEnd = 0;
    std::int64_t m_longestGap = 0;
    std::int64_t m_yields = 0;
    std::int64_t m_turns = 0;
    std::int64_t m_diagnostics = 0;
    bool m_first = true;
    bool m_inTurn = false;
};

} // namespace dirwise
