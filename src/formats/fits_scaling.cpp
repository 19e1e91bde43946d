// The scaled FITS formats (BITPIX 32, -32, -64): decoding with the plane's range, then the
// mapping onto samples, vectorised for every instruction-set level.
#include "formats/fits_scaling.h"

#include "core/simd_dispatch.h"

// The mapping must round exactly like the separate multiply and subtract of the scalar rule;
// AVX-512 code would otherwise fuse them.
#include "core/exact_float.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quillon::fits {

int fileBytes(long long bitpix) {
    return bitpix == -64 ? 8 : 4;
}

bool countedInt(std::int32_t v) {
    return v > -2147483000 && v < 2147483000;
}
bool countedFloat(float v) {
    return v > -2147483008.0f && v < 2147483008.0f;
}

void ValueRange::fold(double lo, double hi) {
    minimum = any ? std::min(minimum, lo) : lo;
    maximum = any ? std::max(maximum, hi) : hi;
    any = true;
}

namespace {

// VW lanes of every width the two passes need.
template <int VW>
struct Lanes {
    typedef float F __attribute__((vector_size(4 * VW)));
    typedef std::int32_t I __attribute__((vector_size(4 * VW)));
    typedef std::uint32_t U __attribute__((vector_size(4 * VW)));
    typedef double D __attribute__((vector_size(8 * VW)));
    typedef std::uint64_t U64 __attribute__((vector_size(8 * VW)));
    typedef std::int16_t S __attribute__((vector_size(2 * VW)));
};

// Byte order of every 32-bit lane reversed (in place: wide lanes never cross a function
// boundary by value).
// Byte shuffles are there from SSSE3 on, i.e. in the AVX2 loops; the SSE2 loops shift.
template <bool Shuffle, class V>
[[gnu::always_inline]] inline void swap32(V& v) {
    if constexpr (Shuffle && sizeof(V) == 32) {
        typedef std::uint8_t Bytes __attribute__((vector_size(32)));
        Bytes b;
        std::memcpy(&b, &v, sizeof b);
        b = __builtin_shufflevector(b, b, 3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 19,
                                    18, 17, 16, 23, 22, 21, 20, 27, 26, 25, 24, 31, 30, 29, 28);
        std::memcpy(&v, &b, sizeof b);
    } else if constexpr (Shuffle && sizeof(V) == 16) {
        typedef std::uint8_t Bytes __attribute__((vector_size(16)));
        Bytes b;
        std::memcpy(&b, &v, sizeof b);
        b = __builtin_shufflevector(b, b, 3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
        std::memcpy(&v, &b, sizeof b);
    } else {
        v = (v << 24) | ((v & 0xFF00u) << 8) | ((v >> 8) & 0xFF00u) | (v >> 24);
    }
}

// x = mask ? other : x, lane by lane, through bit operations (vector ?: is not lowered well for
// every width).
template <class V, class M>
[[gnu::always_inline]] inline void replaceWhere(V& x, const M& mask, const V& other) {
    M a, b;
    std::memcpy(&a, &x, sizeof a);
    std::memcpy(&b, &other, sizeof b);
    a = (a & ~mask) | (b & mask);
    std::memcpy(&x, &a, sizeof x);
}

// The decoded value of one element in the scalar tails.
template <class Value, int B>
inline Value decodeOne(const std::uint8_t* p) {
    if constexpr (B == 4) {
        std::uint32_t u;
        std::memcpy(&u, p, 4);
        u = __builtin_bswap32(u);
        Value v;
        std::memcpy(&v, &u, 4);
        return v;
    } else {
        constexpr double kMax = std::numeric_limits<float>::max();
        std::uint64_t u;
        std::memcpy(&u, p, 8);
        u = __builtin_bswap64(u);
        double d;
        std::memcpy(&d, &u, 8);
        if (d > kMax) return std::numeric_limits<float>::infinity();
        if (d < -kMax) return -std::numeric_limits<float>::infinity();
        if (!(d == d)) return std::numeric_limits<float>::quiet_NaN();
        return static_cast<float>(d);
    }
}

// VW values decoded at once, lane for lane as decodeOne.
template <class V, int B, int VW, bool Shuffle>
[[gnu::always_inline]] inline void decodeLanes(V& x, const std::uint8_t* p) {
    using T = Lanes<VW>;
    if constexpr (B == 4) {
        typename T::U u;
        simd::load(u, p);
        swap32<Shuffle>(u);
        std::memcpy(&x, &u, sizeof x);
    } else {
        // Each 64-bit lane: both halves swapped, then exchanged.
        typename Lanes<2 * VW>::U halves;
        simd::load(halves, p);
        swap32<Shuffle>(halves);
        typename T::U64 u;
        std::memcpy(&u, &halves, sizeof u);
        u = (u << 32) | (u >> 32);
        typename T::D d;
        std::memcpy(&d, &u, sizeof d);
        constexpr double kMax = std::numeric_limits<float>::max();
        constexpr double kInf = std::numeric_limits<double>::infinity();
        replaceWhere(d, d > kMax, typename T::D{} + kInf);
        replaceWhere(d, d < -kMax, typename T::D{} - kInf);
        replaceWhere(d, d != d, typename T::D{} + std::numeric_limits<double>::quiet_NaN());
        x = __builtin_convertvector(d, typename T::F);
    }
}

template <class Value, int B, int VW, bool kShuffle>
[[gnu::always_inline]] inline void rangeT(const std::uint8_t* raw, std::size_t n,
                                          ValueRange& range) {
    using T = Lanes<VW>;
    constexpr bool isFloat = std::is_same_v<Value, float>;
    using V = std::conditional_t<isFloat, typename T::F, typename T::I>;
    constexpr Value kLow = isFloat ? Value(-2147483008.0f) : Value(-2147483000);
    constexpr Value kHigh = isFloat ? Value(2147483008.0f) : Value(2147483000);
    V lo = V{} + std::numeric_limits<Value>::max(), hi = V{} + std::numeric_limits<Value>::lowest();
    typename T::I seen{};
    std::size_t i = 0;
    for (; i + VW <= n; i += VW) {
        V x;
        decodeLanes<V, B, VW, kShuffle>(x, raw + B * i);
        const typename T::I c = (x > kLow) & (x < kHigh); // NaN compares false
        replaceWhere(lo, c & (x < lo), x);
        replaceWhere(hi, c & (x > hi), x);
        seen |= c;
    }
    for (int k = 0; k < VW; ++k)
        if (seen[k]) range.fold(static_cast<double>(lo[k]), static_cast<double>(hi[k]));
    for (; i < n; ++i) {
        const Value v = decodeOne<Value, B>(raw + B * i);
        if (isFloat ? countedFloat(static_cast<float>(v))
                    : countedInt(static_cast<std::int32_t>(v)))
            range.fold(static_cast<double>(v), static_cast<double>(v));
    }
}

inline Sample scaledSample(double v, double mn, double range) {
    double t = (v - mn) / range;
    t = t > 0.0 ? t : 0.0; // also NaN
    t = t < 1.0 ? t : 1.0;
    return static_cast<Sample>(static_cast<int>(t * 65535.0 - 32768.0));
}

template <class Value, int B, int VW, bool kShuffle>
[[gnu::always_inline]] inline void mapT(const std::uint8_t* raw, std::size_t n, Sample* dst,
                                        double mn, double range) {
    // Doubles of half the lanes fill one register; wider vectors would not be compared in
    // registers.
    using H = Lanes<VW / 2>;
    using VH = std::conditional_t<std::is_same_v<Value, float>, typename H::F, typename H::I>;
    const typename H::D zero{}, one = typename H::D{} + 1.0;
    auto samples = [&](std::size_t i, typename H::I& s) {
        VH x;
        decodeLanes<VH, B, VW / 2, kShuffle>(x, raw + B * i);
        typename H::D t = (__builtin_convertvector(x, typename H::D) - mn) / range;
        replaceWhere(t, ~(t > 0.0), zero); // also NaN
        replaceWhere(t, ~(t < 1.0), one);
        s = __builtin_convertvector(t * 65535.0 - 32768.0, typename H::I);
    };
    auto scalar = [&](std::size_t i) {
        dst[i] = scaledSample(static_cast<double>(decodeOne<Value, B>(raw + B * i)), mn, range);
    };
    std::size_t i = 0;
    if constexpr (VW == 8 && simd::kHasStreamingStores) {
        // Four lanes twice make 16 bytes of samples, written past the cache (the plane is
        // not read again soon). The samples lie in the 16-bit range, so packing them with
        // saturation keeps them as they are.
        for (; i < n && !simd::aligned16(dst + i); ++i) scalar(i);
        for (; i + 8 <= n; i += 8) {
            typename H::I a, b;
            samples(i, a);
            samples(i + 4, b);
            __m128i pa, pb;
            std::memcpy(&pa, &a, 16);
            std::memcpy(&pb, &b, 16);
            simd::streamStore(dst + i, _mm_packs_epi32(pa, pb));
        }
        simd::streamFence();
    }
    for (; i + VW / 2 <= n; i += VW / 2) {
        typename H::I s;
        samples(i, s);
        const typename H::S s16 = __builtin_convertvector(s, typename H::S);
        simd::store(dst + i, s16);
    }
    for (; i < n; ++i) scalar(i);
}

template <int VW>
[[gnu::always_inline]] inline void rangeAt(long long bitpix, const std::uint8_t* raw, std::size_t n,
                                           ValueRange& range) {
    switch (bitpix) {
    case 32: rangeT<std::int32_t, 4, VW, VW == 8>(raw, n, range); break;
    case -32: rangeT<float, 4, VW, VW == 8>(raw, n, range); break;
    default: rangeT<float, 8, VW / 2, VW == 8>(raw, n, range); break; // doubles fill the lanes
    }
}

template <int VW>
[[gnu::always_inline]] inline void mapAt(long long bitpix, const std::uint8_t* raw, std::size_t n,
                                         Sample* dst, double mn, double range) {
    switch (bitpix) {
    case 32: mapT<std::int32_t, 4, VW, VW == 8>(raw, n, dst, mn, range); break;
    case -32: mapT<float, 4, VW, VW == 8>(raw, n, dst, mn, range); break;
    default: mapT<float, 8, VW, VW == 8>(raw, n, dst, mn, range); break;
    }
}

struct RangePass {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(long long b, const std::uint8_t* raw, std::size_t n,
                                           ValueRange& r) {
        rangeAt<simd::kFloats<L>>(b, raw, n, r);
    }
};
struct MapPass {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(long long b, const std::uint8_t* raw, std::size_t n,
                                           Sample* d, double mn, double range) {
        mapAt<simd::kFloats<L>>(b, raw, n, d, mn, range);
    }
};
// The AVX-512 level runs the AVX2 loops: 64-byte compares would need AVX512DQ to become
// vectors again, and both passes are bound by memory rather than by lanes.

} // namespace

void rangeScaled(long long bitpix, const std::uint8_t* raw, std::size_t n, ValueRange& range) {
    simd::select<RangePass, void(long long, const std::uint8_t*, std::size_t, ValueRange&),
                 simd::Avx2>()(bitpix, raw, n, range);
}

void mapScaled(long long bitpix, const std::uint8_t* raw, std::size_t n, Sample* dst,
               double minimum, double range) {
    simd::select<MapPass,
                 void(long long, const std::uint8_t*, std::size_t, Sample*, double, double),
                 simd::Avx2>()(bitpix, raw, n, dst, minimum, range);
}

} // namespace quillon::fits
