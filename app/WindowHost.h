#pragma once

#include "CompareHost.h"

#include <cstdint>
#include <functional>

namespace dirwise {

// The window's side of a compare run: the engine calls yield() after every entry, and this
// host lets the event loop run only when 10 ms have passed since it last did, so
// yields cost almost nothing and the window still never stalls for long. The first yield
// after beginRun() always lets events through, so the cleared list and the Stop button show
// at once.
//
// Every yield keeps the run's latest Progress (progress()); before each real turn of the
// event loop the host calls the `beforeTurn` callback (the window brings its view and
// status bar up to date there), then processes every pending event, user input included (a
// click on Stop must be seen). A yield made while a turn is already under way (a handler
// that ran inside processEvents() yielding again) returns at once instead of nesting a
// second event loop turn. Every yield answers whether a stop was asked (requestStop()).
class WindowHost final : public CompareHost {
public:
    // Monotonic time in nanoseconds.
    using Clock = std::function<std::int64_t()>;
    // Called at every yield with the 1-based yield number of the run, after progress() has
    // taken the yield's progress and before the throttle decides; tests use it to act at a
    // chosen yield (press Stop at the 5th).
    using YieldHook = std::function<void(std::int64_t yieldNumber)>;

    explicit WindowHost(std::function<void()> beforeTurn);

    // Starts the counts of a new run, clears the stop request and the progress; the next
    // yield processes events whatever the clock says.
    void beginRun();
    // Ends the run's measurements (the gap since the last turn counts as a gap).
    void endRun();

    // Keeps `progress`, lets the event loop run when it is due, and returns true when a
    // stop has been asked since beginRun() (also by a handler in this very turn).
    [[nodiscard]] bool yield(const Progress &progress) override;
    // Lets the event loop run while the run waits for its sources (no yield is counted).
    void waiting(const Progress &progress) override;
    // Asks the current run to stop: the next yield answers true. Cleared by beginRun().
    void requestStop() { m_stop = true; }
    // The progress of the latest yield of the current (or last) run; a zero Listing
    // progress before the first.
    [[nodiscard]] const Progress &progress() const { return m_progress; }

    // Replaces the clock (nullptr restores std::chrono::steady_clock).
    void setClock(Clock clock);
    // Replaces the yield hook (nullptr: none).
    void setYieldHook(YieldHook hook);

    // Counts of the current (or last) run.
    [[nodiscard]] std::int64_t yields() const { return m_yields; }
    [[nodiscard]] std::int64_t turns() const { return m_turns; }
    // The longest time between the end of one event-loop turn and the start of the next
    // (from beginRun to the first turn, and from the last turn to endRun, included), in ns.
    [[nodiscard]] std::int64_t longestGap() const { return m_longestGap; }

private:
    [[nodiscard]] std::int64_t now() const;
    void turn();

    std::function<void()> m_beforeTurn;
    Clock m_clock;
    YieldHook m_hook;
    Progress m_progress;
    // The least time between two event-loop turns.
    static constexpr std::int64_t kTurnInterval = 10'000'000;
    std::int64_t m_lastTurnEnd = 0;
    std::int64_t m_longestGap = 0;
    std::int64_t m_yields = 0;
    std::int64_t m_turns = 0;
    bool m_first = true;
    bool m_inTurn = false;
    bool m_stop = false;
};

} // namespace dirwise
