#pragma once

#include "TreeSource.h"

#include <cstdint>
#include <functional>
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

    // Compares the bytes of two files opened for reading (see FileReader::OpenBytes), each
    // read up to the size it had when it was opened (no read is made only to see its end),
    // so a file that grows meanwhile is compared as it was. After every block pair,
    // `afterBlock` gets the bytes read from both files since the last call; when it returns
    // true the comparison ends as Stopped.
    [[nodiscard]] ContentVerdict Compare(const OpenedFile &master, const OpenedFile &compare,
                                         const std::function<bool(std::int64_t)> &afterBlock);

private:
    std::vector<char> m_master;
    std::vector<char> m_compare;
};

} // namespace dirwise
