// Environment settings shared by the benchmarks: QUILLON_SIMD=sse2|avx2|avx512 runs Quillon at
// that instruction-set level (e.g. to see how an AVX2-only processor fares on a machine with
// AVX-512), QUILLON_THREADS=n at n threads.
#pragma once

#include "core/parallel.h"
#include "core/simd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quillon::bench {

// Applies both settings; false (with a message) when QUILLON_SIMD names an unknown level or
// one the processor lacks.
inline bool applyEnvironment() {
    if (const char* n = std::getenv("QUILLON_THREADS"); n && *n) setThreadCount(std::atoi(n));
    const char* name = std::getenv("QUILLON_SIMD");
    bool ok = !name || !*name;
    const struct {
        const char* name;
        simd::Level level;
    } levels[] = {{"sse2", simd::Sse2}, {"avx2", simd::Avx2}, {"avx512", simd::Avx512}};
    for (const auto& l : levels)
        if (name && std::strcmp(name, l.name) == 0) ok = simd::force(l.level);
    if (!ok) {
        std::fprintf(stderr, "QUILLON_SIMD: unknown level or not available on this processor\n");
        return false;
    }
    const simd::Level l = simd::level();
    std::printf("Quillon instruction-set level: %s, %d threads\n",
                l == simd::Avx512 ? "avx512" : (l == simd::Avx2 ? "avx2" : "sse2"), threadCount());
    return true;
}

} // namespace quillon::bench
