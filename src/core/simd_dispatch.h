// One kernel built for every instruction-set level, and the choice among its builds: the
// SSE2, AVX2 and AVX-512 functions of a vectorised loop and their switch, written once.
//
// A kernel is a struct with `template <Level L> [[gnu::always_inline]] static R run(...)`; its
// lanes follow from the level (kFloats<L>, kBytes<L>). Being always inlined, run<L> is compiled
// into a function that carries the level's instruction set, so every level keeps its own
// vector code while the portable rest of the program never executes it.
#pragma once

#include "core/simd.h"

namespace quillon::simd {

// Lanes of a level's vectors: floats (or 32-bit ints) and bytes.
template <Level L>
inline constexpr int kFloats = L == Avx512 ? 16
                               : L == Avx2 ? 8
                                           : 4;
template <Level L>
inline constexpr int kBytes = 4 * kFloats<L>;

// Every build keeps each multiply and add apart (no fused multiply-add), so that it gives the
// bits of the SSE2 build, which has no fused instructions.
#if defined(__clang__)
#define QUILLON_SIMD_BUILD(isa) __attribute__((target(isa)))
#else
#define QUILLON_SIMD_BUILD(isa) __attribute__((target(isa), optimize("fp-contract=off")))
#endif

// The AVX-512 subset a kernel is built for: the foundation (float and 32-bit work), or with the
// byte and word instructions for 8- and 16-bit lanes.
enum class Avx512Set { F, FBw };

// The builds of a kernel and pick(level), which returns the one for a level. Levels above `Top`
// use the build of `Top`, for kernels that have no wider one.
template <class Kernel, class Signature, Level Top = Avx512, Avx512Set Set = Avx512Set::F>
struct Variants;
template <class Kernel, class R, class... A, Level Top, Avx512Set Set>
struct Variants<Kernel, R(A...), Top, Set> {
    using Fn = R (*)(A...);
    static R sse2(A... a) { return Kernel::template run<Sse2>(a...); }
    QUILLON_SIMD_BUILD("avx2") static R avx2(A... a) { return Kernel::template run<Avx2>(a...); }
    QUILLON_SIMD_BUILD("avx512f") static R avx512f(A... a) {
        return Kernel::template run<Avx512>(a...);
    }
    QUILLON_SIMD_BUILD("avx512f,avx512bw") static R avx512bw(A... a) {
        return Kernel::template run<Avx512>(a...);
    }
    static Fn pick(Level l) {
        if constexpr (Top >= Avx512) {
            if (l >= Avx512) {
                if constexpr (Set == Avx512Set::FBw)
                    return avx512bw;
                else
                    return avx512f;
            }
        }
        if constexpr (Top >= Avx2)
            if (l >= Avx2) return avx2;
        return sse2;
    }
};

// The build of a kernel for the level in use.
template <class Kernel, class Signature, Level Top = Avx512, Avx512Set Set = Avx512Set::F>
typename Variants<Kernel, Signature, Top, Set>::Fn select() {
    return Variants<Kernel, Signature, Top, Set>::pick(level());
}

} // namespace quillon::simd
