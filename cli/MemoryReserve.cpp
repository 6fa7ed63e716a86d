#include "MemoryReserve.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <unistd.h>

namespace dirwise {
namespace {

// Room for an exception object, the unwinding and the summary that follows.
constexpr std::size_t ReserveSize = 256 * 1024;

std::atomic<void *> g_reserve{nullptr};

[[noreturn]] void outOfMemoryNow() {
    static const char message[] = "dwc: out of memory\n";
    (void)!::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(2);
}

void onAllocationFailure() {
    if (void *block = g_reserve.exchange(nullptr)) {
        std::free(block);
        throw std::bad_alloc();
    }
    outOfMemoryNow();
}

} // namespace

bool ArmMemoryReserve() {
    if (void *block = std::malloc(ReserveSize)) {
        g_reserve.store(block);
        std::set_new_handler(onAllocationFailure);
        return true;
    }
    static const char message[] = "dwc: out of memory\n";
    (void)!::write(STDERR_FILENO, message, sizeof message - 1);
    return false;
}

void RearmMemoryReserve() {
    if (g_reserve.load(std::memory_order_relaxed) != nullptr)
        return;
    void *block = std::malloc(ReserveSize);
    void *none = nullptr;
    if (block && !g_reserve.compare_exchange_strong(none, block))
        std::free(block);
}

} // namespace dirwise
