// dw_engine_phases: where a compare's time goes. Runs the engine's RunCompare on two trees
// with a host that notes when each phase begins, and prints the time of the listing, the
// compare and the extras phase, the files and the rows.
//   dw_engine_phases [--date] [--verify] [--extra] MASTER COMPARE

#include "Compare.h"
#include "ResultsList.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

using namespace dirwise;

namespace {

using Clock = std::chrono::steady_clock;

class PhaseHost : public CompareHost {
public:
    bool yield(const Progress &p) override {
        if (!m_seen || p.phase != m_phase) {
            const auto now = Clock::now();
            if (m_seen)
                m_times[static_cast<int>(m_phase)] += now - m_since;
            m_since = now;
            m_phase = p.phase;
            m_seen = true;
        }
        return false;
    }
    void finish() {
        if (m_seen)
            m_times[static_cast<int>(m_phase)] += Clock::now() - m_since;
    }
    double seconds(Phase p) const {
        return std::chrono::duration<double>(m_times[static_cast<int>(p)]).count();
    }

private:
    bool m_seen = false;
    Phase m_phase = Phase::Listing;
    Clock::time_point m_since;
    Clock::duration m_times[3]{};
};

} // namespace

int main(int argc, char **argv) {
    CompareOptions o;
    int operands = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--date") == 0)
            o.matchDate = true;
        else if (std::strcmp(argv[i], "--verify") == 0)
            o.verifyContents = true;
        else if (std::strcmp(argv[i], "--extra") == 0)
            o.listExtras = true;
        else if (operands++ == 0)
            o.masterDir = argv[i];
        else
            o.compareDir = argv[i];
    }
    if (operands != 2) {
        std::fprintf(stderr, "usage: dw_engine_phases [--date] [--verify] [--extra] MASTER "
                             "COMPARE\n");
        return 2;
    }
    ResultsList list;
    PhaseHost host;
    const auto began = Clock::now();
    const CompareSummary s = RunCompare(o, list, host);
    host.finish();
    const double total = std::chrono::duration<double>(Clock::now() - began).count();
    std::printf("listing %.3f s  comparing %.3f s  extras %.3f s  total %.3f s\n",
                host.seconds(Phase::Listing), host.seconds(Phase::Comparing),
                host.seconds(Phase::Extras), total);
    std::printf("%lld files listed, %zu rows, %lld different\n", static_cast<long long>(s.listed),
                list.Count(), static_cast<long long>(s.different));
    return 0;
}
