// Vector lanes shared by the vectorised loops: the instruction-set level (chosen once from
// the processor, forced by tests), GCC vector types, unaligned loads and stores, byte swaps
// of 16- and 32-bit lanes and streaming stores.
//
// Every level computes the same results; tests force each level the processor has and compare
// it with plain loops. The helpers are plain element-wise operations (no fused multiply-add),
// so they give the same bits wherever they are inlined.
#pragma once

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon::simd {

enum Level { Sse2 = 1, Avx2 = 2, Avx512 = 3 };

// The level in use: the forced one, else the widest the processor supports.
Level level();
bool available(Level level);
// Forces a level (false, nothing changed, when the processor lacks it); 0 restores the choice
// by processor.
bool force(int level);

// GCC vector types of VW lanes: floats, 32-bit signed and unsigned ints and 16-bit samples.
template <int VW>
struct Vec;
template <>
struct Vec<4> {
    typedef float F __attribute__((vector_size(16)));
    typedef int I __attribute__((vector_size(16)));
    typedef unsigned U __attribute__((vector_size(16)));
    typedef short S __attribute__((vector_size(8)));
};
template <>
struct Vec<8> {
    typedef float F __attribute__((vector_size(32)));
    typedef int I __attribute__((vector_size(32)));
    typedef unsigned U __attribute__((vector_size(32)));
    typedef short S __attribute__((vector_size(16)));
};
template <>
struct Vec<16> {
    typedef float F __attribute__((vector_size(64)));
    typedef int I __attribute__((vector_size(64)));
    typedef unsigned U __attribute__((vector_size(64)));
    typedef short S __attribute__((vector_size(32)));
};

// Unaligned load and store of a vector (or any trivially copyable value); memcpy compiles to
// one vector move and has no alignment or aliasing requirement. The vector is passed by
// reference, so wide lanes never cross a function boundary by value.
template <class V>
inline void load(V& v, const void* p) {
    std::memcpy(&v, p, sizeof v);
}
template <class V>
inline void store(void* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

// 16-byte lanes of unsigned 16- and 32-bit values.
typedef std::uint16_t U16x8 __attribute__((vector_size(16)));
typedef std::uint32_t U32x4 __attribute__((vector_size(16)));

// Byte order of every lane reversed.
inline U16x8 byteSwap(U16x8 v) {
    return (v << 8) | (v >> 8);
}
inline U32x4 byteSwap(U32x4 v) {
    return (v << 24) | ((v & 0xFF00u) << 8) | ((v >> 8) & 0xFF00u) | (v >> 24);
}

// Streaming stores: 16 bytes to a 16-byte aligned address, written past the cache (for
// buffers far larger than any cache that are not read again soon). streamFence() must follow
// the last one before another thread reads the data. Without SSE2 they are plain stores.
inline constexpr bool kHasStreamingStores =
#if defined(__SSE2__)
    true;
#else
    false;
#endif
template <class V>
inline void streamStore(void* aligned16, const V& v) {
    static_assert(sizeof(V) == 16, "streaming stores take 16-byte lanes");
#if defined(__SSE2__)
    __m128i m;
    std::memcpy(&m, &v, 16);
    _mm_stream_si128(static_cast<__m128i*>(aligned16), m);
#else
    std::memcpy(aligned16, &v, 16);
#endif
}
inline void streamFence() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}
// Whether p is 16-byte aligned (the start of streaming stores).
inline bool aligned16(const void* p) {
    return (reinterpret_cast<std::uintptr_t>(p) & 15) == 0;
}

} // namespace quillon::simd
