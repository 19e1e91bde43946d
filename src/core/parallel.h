// Runs pixel loops in parallel over blocks of rows. Operations never create threads.
//
// Results must not depend on the thread count: each block computes its rows exactly as a
// single thread would, so callers only split work whose rows are independent.
#pragma once

#include <functional>

namespace quillon {

// Number of worker threads used by parallelRows (1 = run everything on the calling thread).
// Defaults to the number of cores.
int threadCount();
void setThreadCount(int n); // n <= 0 restores the default

// Calls fn(first, last) for consecutive half-open ranges covering [0, count), in parallel.
// Each range holds at least minRows rows (except perhaps the last). The first exception
// thrown by fn is rethrown in the caller after all blocks have finished.
void parallelRows(int count, int minRows, const std::function<void(int, int)>& fn);

// Sets the thread count for the lifetime of the object (tests).
class ScopedThreadCount {
public:
    explicit ScopedThreadCount(int n);
    ~ScopedThreadCount();
    ScopedThreadCount(const ScopedThreadCount&) = delete;
    ScopedThreadCount& operator=(const ScopedThreadCount&) = delete;

private:
    int previous_;
};

} // namespace quillon
