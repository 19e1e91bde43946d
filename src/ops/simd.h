// The instruction-set level the vectorised pixel loops use, chosen once from the processor.
//
// Every level computes the same results; tests force each level the processor has and compare
// it with plain loops.
#pragma once

namespace quillon::simd {

enum Level { Sse2 = 1, Avx2 = 2, Avx512 = 3 };

// The level in use: the forced one, else the widest the processor supports.
Level level();
bool available(Level level);
// Forces a level (false, nothing changed, when the processor lacks it); 0 restores the choice
// by processor.
bool force(int level);

// GCC vector types of VW lanes: floats, 32-bit ints and 16-bit samples.
template <int VW>
struct Vec;
template <>
struct Vec<4> {
    typedef float F __attribute__((vector_size(16)));
    typedef int I __attribute__((vector_size(16)));
    typedef short S __attribute__((vector_size(8)));
};
template <>
struct Vec<8> {
    typedef float F __attribute__((vector_size(32)));
    typedef int I __attribute__((vector_size(32)));
    typedef short S __attribute__((vector_size(16)));
};
template <>
struct Vec<16> {
    typedef float F __attribute__((vector_size(64)));
    typedef int I __attribute__((vector_size(64)));
    typedef short S __attribute__((vector_size(32)));
};

} // namespace quillon::simd
