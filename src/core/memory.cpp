// Allocation budget shared by all large buffers.
#include "core/memory.h"

#include <atomic>
#include <unistd.h>

namespace quillon::memory {
namespace {
std::atomic<std::size_t> g_inUse{0};
std::atomic<std::size_t> g_limit{0};
} // namespace

void reserve(std::size_t bytes) {
    std::size_t limit = g_limit.load(std::memory_order_relaxed);
    std::size_t cur = g_inUse.load(std::memory_order_relaxed);
    for (;;) {
        if (limit != 0 && (bytes > limit || cur > limit - bytes)) throw std::bad_alloc();
        if (g_inUse.compare_exchange_weak(cur, cur + bytes, std::memory_order_relaxed)) return;
    }
}

void release(std::size_t bytes) noexcept {
    g_inUse.fetch_sub(bytes, std::memory_order_relaxed);
}

std::size_t inUse() noexcept {
    return g_inUse.load(std::memory_order_relaxed);
}

std::size_t setLimit(std::size_t bytes) noexcept {
    return g_limit.exchange(bytes);
}

void limitToPhysicalMemory() noexcept {
    long pages = ::sysconf(_SC_PHYS_PAGES);
    long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return;
    std::size_t total = static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
    setLimit(total / 4 * 3);
}

} // namespace quillon::memory
