#pragma once

namespace dirwise {

// Running out of memory must end in a message and exit status 2, never in an abort. The
// message needs no memory, but throwing std::bad_alloc does: the exception object comes
// from the heap, or from a pool the C++ run-time sets aside at start-up, which under a tight
// limit may have got nothing, so the first failed allocation would abort (std::terminate).
//
// Sets a block aside and installs a new-handler. When an allocation fails, the handler
// gives the block back and throws std::bad_alloc, which can then be made; when no block is
// left, it writes "dwc: out of memory" to standard error and ends the process with status 2
// at once. Returns false, after writing that message, when not even the block could be had:
// the caller should then exit with status 2. Call once, first thing in main().
[[nodiscard]] bool ArmMemoryReserve();

// Sets the block aside again once an out-of-memory failure was caught and the work went on
// (a file not compared). Cheap when the block is in place; call it often (at every yield).
void RearmMemoryReserve();

} // namespace dirwise
