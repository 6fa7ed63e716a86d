#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dirwise {

// How reading two files' contents ended.
struct ContentVerdict {
    enum class Outcome : std::uint8_t {
        Same,       // every byte equal, and the same length
        Differs,    // `offset` is the first differing byte (or the shorter file's length)
        NotRegular, // one of them is not a regular file after all: nothing was read
        Failed,     // a file could not be opened or read: `error`, on the side `masterSide`
        Stopped,    // the caller asked to stop between two blocks
    };
    Outcome outcome = Outcome::Same;
    std::int64_t offset = 0;
    int error = 0;
    bool masterSide = false;
};

// Compares two files' bytes with large sequential reads, stopping at the first difference.
// Keeps two buffers of `blockSize` bytes for all the files it is given; not thread-safe.
class ContentChecker {
public:
    explicit ContentChecker(std::size_t blockSize = 1024 * 1024);

    // Compares file `masterName` in directory `masterDir` with `compareName` in `compareDir`
    // (descriptors, O_PATH ones included). Links are followed. Nothing but a regular file is
    // ever read: the files are opened without blocking and checked before the first read,
    // so a FIFO or a device put in a file's place cannot hang the run. Each file is read up
    // to the size fstat gave once it was open (no read is made only to see its end), so a
    // file that grows meanwhile is compared as it was. After every block pair, `afterBlock`
    // gets the bytes read from both files since the last call; when it returns true the
    // comparison ends as Stopped.
    [[nodiscard]] ContentVerdict Compare(int masterDir, const std::string &masterName,
                                         int compareDir, const std::string &compareName,
                                         const std::function<bool(std::int64_t)> &afterBlock);

private:
    std::vector<char> m_master;
    std::vector<char> m_compare;
};

} // namespace dirwise
