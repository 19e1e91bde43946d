// Processor feature detection for the vectorised loops.
#include "core/simd.h"

#include <atomic>

namespace quillon::simd {
namespace {
std::atomic<int> g_forced{0};

Level best() {
    if (available(Avx512)) return Avx512;
    if (available(Avx2)) return Avx2;
    return Sse2;
}
} // namespace

bool available(Level l) {
    __builtin_cpu_init();
    switch (l) {
    case Avx512: return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    case Avx2: return __builtin_cpu_supports("avx2");
    default: return true;
    }
}

Level level() {
    const int f = g_forced.load();
    if (f != 0) return static_cast<Level>(f);
    static const Level b = best();
    return b;
}

bool force(int l) {
    if (l == 0) {
        g_forced.store(0);
        return true;
    }
    if (l < Sse2 || l > Avx512 || !available(static_cast<Level>(l))) return false;
    g_forced.store(l);
    return true;
}

} // namespace quillon::simd
