// dw_snapshot_read: how long the pass over a snapshot in the walk's order takes by itself
// (SnapshotStream::Read: every line read and checked, folders kept), without a compare
// beside it. Reads the file RUNS times and prints each time and the median.
//   dw_snapshot_read SNAPSHOT [RUNS]

#include "SnapshotStream.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <vector>

using namespace dirwise;

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: dw_snapshot_read SNAPSHOT [RUNS]\n");
        return 2;
    }
    const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        UniqueFd fd(::open(argv[1], O_RDONLY | O_CLOEXEC));
        if (!fd) {
            std::perror(argv[1]);
            return 2;
        }
        const auto began = std::chrono::steady_clock::now();
        SnapshotStream stream(std::move(fd), true);
        const SnapshotStream::Outcome outcome = stream.Read();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began)
                .count();
        if (outcome != SnapshotStream::Outcome::Complete) {
            std::fprintf(stderr, "not read in one pass: %s (line %lld)\n", stream.error().c_str(),
                         static_cast<long long>(stream.errorLine()));
            return 1;
        }
        std::printf("read %.1f ms\n", ms);
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("median %.1f ms of %d\n", times[times.size() / 2], runs);
    return 0;
}
