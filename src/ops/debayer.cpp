// Debayering of a one-layer colour-filter-array mosaic: pattern arithmetic, bilinear, VNG and
// super-pixel methods, rows in parallel.
#include "ops/debayer.h"

#include "core/error.h"
#include "core/memory.h"
#include "core/parallel.h"
#include "core/sample.h"
#include "core/simd_dispatch.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <immintrin.h>
#include <vector>

namespace quillon {

const char* const kNoBayerPatternMessage =
    "Das Bild hat kein Bayer-Muster (BAYERPAT). Bitte wählen Sie das Muster aus.";
const char* const kDebayerNeedsOneLayerMessage =
    "Debayer ist nur für Bilder mit einer Ebene möglich.";

namespace {

constexpr long long kMinInterval = 50;
constexpr int kMinRows = 16;
constexpr int kPad = 2; // mirrored columns on each side of a working row

// Colours of the four patterns, [pattern][y & 1][x & 1].
constexpr int kColours[4][2][2] = {
    {{0, 1}, {1, 2}}, // RGGB
    {{2, 1}, {1, 0}}, // BGGR
    {{1, 0}, {2, 1}}, // GRBG
    {{1, 2}, {0, 1}}, // GBRG
};
constexpr const char* kNames[4] = {"RGGB", "BGGR", "GRBG", "GBRG"};

// Mirrors an index about the first and last element (-1 -> 1, n -> n - 2); keeps parity.
int mirror(int i, int n) {
    if (i < 0) i = -i;
    if (i >= n) i = 2 * (n - 1) - i;
    return i;
}

std::int16_t clampSample(int v) {
    return static_cast<std::int16_t>(std::clamp(v, int{kSampleMin}, int{kSampleMax}));
}

// Working rows of one block of output rows, each row filled once: slot r mod n.
struct RowRing {
    int stride = 0;
    int slots = 0;
    std::vector<std::int32_t> data;
    std::vector<int> rowIn;

    RowRing(int n, int length, int arrays) : stride(length), slots(n) {
        data.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(arrays * length), 0);
        rowIn.assign(static_cast<std::size_t>(n), -1000000);
    }
    int slotOf(int r) const { return ((r % slots) + slots) % slots; }
    std::int32_t* at(int r, int array = 0, int arrays = 1) {
        return data.data() +
               static_cast<std::size_t>(slotOf(r)) * static_cast<std::size_t>(arrays) *
                   static_cast<std::size_t>(stride) +
               static_cast<std::size_t>(array) * static_cast<std::size_t>(stride);
    }
};

// --- bilinear ---------------------------------------------------------------------------

// Unaligned views of 32-bit and 16-bit lanes, so that loads and stores are plain expressions
// (no helper functions: a vector passed by value to a function compiled without the level's
// instructions would not be inlined).
template <int VW>
struct Lanes;
template <>
struct Lanes<4> {
    typedef int I __attribute__((vector_size(16), aligned(4), may_alias));
    typedef short S __attribute__((vector_size(8), aligned(2), may_alias));
};
template <>
struct Lanes<8> {
    typedef int I __attribute__((vector_size(32), aligned(4), may_alias));
    typedef short S __attribute__((vector_size(16), aligned(2), may_alias));
};
template <>
struct Lanes<16> {
    typedef int I __attribute__((vector_size(64), aligned(4), may_alias));
    typedef short S __attribute__((vector_size(32), aligned(2), may_alias));
};

// One source row as 32-bit values with kPad mirrored columns on both sides: out[x + kPad].
template <int VW>
[[gnu::always_inline]] inline int widenSpan(const Sample* row, int w, std::int32_t* out) {
    using I = typename simd::Vec<VW>::I;
    using UI = typename Lanes<VW>::I;
    using US = typename Lanes<VW>::S;
    int x = 0;
    for (; x + VW <= w; x += VW)
        *reinterpret_cast<UI*>(out + x) =
            __builtin_convertvector(*reinterpret_cast<const US*>(row + x), I);
    return x;
}
// The AVX-512 builds use the byte and word instructions for the 16-bit samples.
constexpr simd::Avx512Set kAvx512Set = simd::Avx512Set::FBw;

struct Widen {
    template <simd::Level L>
    [[gnu::always_inline]] static int run(const Sample* row, int w, std::int32_t* out) {
        return widenSpan<simd::kFloats<L>>(row, w, out);
    }
};

void padRow(const Sample* row, int w, std::int32_t* out) {
    int x = simd::select<Widen, int(const Sample*, int, std::int32_t*), simd::Avx512, kAvx512Set>()(
        row, w, out + kPad);
    for (; x < w; ++x) out[x + kPad] = row[x];
    for (int k = 1; k <= kPad; ++k) {
        out[kPad - k] = row[mirror(-k, w)];
        out[kPad + w - 1 + k] = row[mirror(w - 1 + k, w)];
    }
}

// Row r of the mosaic (mirrored at the edges), widened and padded into its slot of the ring
// unless the slot holds it already.
std::int32_t* paddedRow(RowRing& ring, const Image& src, int r) {
    std::int32_t* out = ring.at(r);
    int& held = ring.rowIn[static_cast<std::size_t>(ring.slotOf(r))];
    if (held != r) {
        padRow(src.row(0, mirror(r, src.height())), src.width(), out);
        held = r;
    }
    return out;
}

// Which lanes (columns x, x + 1, ... with x even) of row y hold green samples, and which of a
// lane's values each output channel takes: its own sample, the first estimate (green at a red
// or blue pixel, the row neighbours' colour at a green one) or the second.
template <int VW>
[[gnu::always_inline]] inline void laneRoles(int pi, int y, typename simd::Vec<VW>::I& green,
                                             typename simd::Vec<VW>::I (&ownCh)[3],
                                             typename simd::Vec<VW>::I (&aCh)[3]) {
    for (int l = 0; l < VW; ++l) {
        const int c = kColours[pi][y & 1][l & 1];
        const int hc = kColours[pi][y & 1][(l + 1) & 1];
        green[l] = c == 1 ? -1 : 0;
        const int aColour = c == 1 ? hc : 1;
        for (int ch = 0; ch < 3; ++ch) {
            ownCh[ch][l] = ch == c ? -1 : 0;
            aCh[ch][l] = ch == aColour ? -1 : 0;
        }
    }
}

// Bilinear VW pixels at a time from x = 0; returns the first column left to the per-pixel loop.
template <int VW>
[[gnu::always_inline]] inline int bilinearSpan(const std::int32_t* a, const std::int32_t* m,
                                               const std::int32_t* b, int w, int y, int pi,
                                               Sample* const* out) {
    using I = typename simd::Vec<VW>::I;
    using S = typename simd::Vec<VW>::S;
    using UI = typename Lanes<VW>::I;
    using US = typename Lanes<VW>::S;
#define QL_LD(p, at) (*reinterpret_cast<const UI*>((p) + (at)))
#define QL_SEL(k, u, v) (((k) & (u)) | (~(k) & (v)))
    I green{}, ownCh[3]{}, aCh[3]{};
    laneRoles<VW>(pi, y, green, ownCh, aCh);
    const I one = I{} + 1, two = I{} + 2;
    int x = 0;
    for (; x + VW <= w; x += VW) {
        const I s0 = QL_LD(m, x), west = QL_LD(m, x - 1), east = QL_LD(m, x + 1);
        const I north = QL_LD(a, x), south = QL_LD(b, x);
        const I cross = (north + south + west + east + two) >> 2;
        const I diag =
            (QL_LD(a, x - 1) + QL_LD(a, x + 1) + QL_LD(b, x - 1) + QL_LD(b, x + 1) + two) >> 2;
        const I row = (west + east + one) >> 1, column = (north + south + one) >> 1;
        const I first = QL_SEL(green, row, cross), second = QL_SEL(green, column, diag);
        for (int ch = 0; ch < 3; ++ch) {
            const I chosen = QL_SEL(ownCh[ch], s0, QL_SEL(aCh[ch], first, second));
            *reinterpret_cast<US*>(out[ch] + x) = __builtin_convertvector(chosen, S);
        }
    }
#undef QL_LD
#undef QL_SEL
    return x;
}

// AVX2 bilinear, 16 pixels a step. Along a row the colours alternate, so each output channel is
// one of four estimates at the even columns and another at the odd ones: a fixed-pattern blend
// per channel instead of lane masks. Every estimate lies within the sample range, so the
// saturating pack to 16 bits equals the plain narrowing.
#define QL_AVX2 __attribute__((target("avx2"), always_inline)) inline

QL_AVX2 __m256i loadAvx2(const std::int32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Even lanes from `even`, odd lanes from `odd`.
QL_AVX2 __m256i evenOddAvx2(__m256i even, __m256i odd) {
    return _mm256_blend_epi32(even, odd, 0xAA);
}

QL_AVX2 void storeAvx2(Sample* p, __m256i lo, __m256i hi) {
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), packed);
}

// Channels of 8 pixels from column x: the row's red or blue colour c, green, the other colour.
template <bool GreenEven>
QL_AVX2 void bilinearEightAvx2(const std::int32_t* a, const std::int32_t* m, const std::int32_t* b,
                               __m256i& c, __m256i& g, __m256i& o) {
    const __m256i one = _mm256_set1_epi32(1), two = _mm256_set1_epi32(2);
    const __m256i s0 = loadAvx2(m);
    const __m256i we = _mm256_add_epi32(loadAvx2(m - 1), loadAvx2(m + 1));
    const __m256i ns = _mm256_add_epi32(loadAvx2(a), loadAvx2(b));
    const __m256i row = _mm256_srai_epi32(_mm256_add_epi32(we, one), 1);
    const __m256i column = _mm256_srai_epi32(_mm256_add_epi32(ns, one), 1);
    const __m256i cross = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(ns, we), two), 2);
    const __m256i up = _mm256_add_epi32(loadAvx2(a - 1), loadAvx2(a + 1));
    const __m256i down = _mm256_add_epi32(loadAvx2(b - 1), loadAvx2(b + 1));
    const __m256i diag = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(up, down), two), 2);
    if constexpr (GreenEven) {
        c = evenOddAvx2(row, s0);
        g = evenOddAvx2(s0, cross);
        o = evenOddAvx2(column, diag);
    } else {
        c = evenOddAvx2(s0, row);
        g = evenOddAvx2(cross, s0);
        o = evenOddAvx2(diag, column);
    }
}

template <bool GreenEven>
__attribute__((target("avx2"))) int bilinearRowAvx2(const std::int32_t* a, const std::int32_t* m,
                                                    const std::int32_t* b, int w, Sample* outC,
                                                    Sample* outG, Sample* outOther) {
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        __m256i c0, g0, o0, c1, g1, o1;
        bilinearEightAvx2<GreenEven>(a + x, m + x, b + x, c0, g0, o0);
        bilinearEightAvx2<GreenEven>(a + x + 8, m + x + 8, b + x + 8, c1, g1, o1);
        storeAvx2(outC + x, c0, c1);
        storeAvx2(outG + x, g0, g1);
        storeAvx2(outOther + x, o0, o1);
    }
    return x;
}
#undef QL_AVX2

int bilinearAvx2(const std::int32_t* a, const std::int32_t* m, const std::int32_t* b, int w, int y,
                 int pi, Sample* const* out) {
    const int even = kColours[pi][y & 1][0], odd = kColours[pi][y & 1][1];
    if (even == 1) return bilinearRowAvx2<true>(a, m, b, w, out[odd], out[1], out[2 - odd]);
    return bilinearRowAvx2<false>(a, m, b, w, out[even], out[1], out[2 - even]);
}
// The AVX2 level runs the hand-written blends above, the others the generic span.
struct Bilinear {
    template <simd::Level L>
    [[gnu::always_inline]] static int run(const std::int32_t* a, const std::int32_t* m,
                                          const std::int32_t* b, int w, int y, int pi,
                                          Sample* const* out) {
        if constexpr (L == simd::Avx2)
            return bilinearAvx2(a, m, b, w, y, pi, out);
        else
            return bilinearSpan<simd::kFloats<L>>(a, m, b, w, y, pi, out);
    }
};

void bilinearRows(Image& dst, const Image& src, BayerPattern p, int y0, int y1,
                  Progress& progress) {
    const int w = src.width();
    const int len = w + 2 * kPad;
    RowRing ring(3, len, 1);
    auto rowOf = [&](int r) { return paddedRow(ring, src, r); };
    const int pi = static_cast<int>(p);
    const auto span = simd::select<Bilinear,
                                   int(const std::int32_t*, const std::int32_t*,
                                       const std::int32_t*, int, int, int, Sample* const*),
                                   simd::Avx512, kAvx512Set>();
    for (int y = y0; y < y1; ++y) {
        const std::int32_t* a = rowOf(y - 1) + kPad;
        const std::int32_t* m = rowOf(y) + kPad;
        const std::int32_t* b = rowOf(y + 1) + kPad;
        Sample* out[3] = {dst.row(0, y), dst.row(1, y), dst.row(2, y)};
        const int x0 = span(a, m, b, w, y, pi, out);
        for (int x = x0; x < w; ++x) {
            const int c = kColours[pi][y & 1][x & 1];
            if (c == 1) {
                const int hc = kColours[pi][y & 1][(x + 1) & 1];
                out[1][x] = static_cast<Sample>(m[x]);
                out[hc][x] = static_cast<Sample>((m[x - 1] + m[x + 1] + 1) >> 1);
                out[2 - hc][x] = static_cast<Sample>((a[x] + b[x] + 1) >> 1);
            } else {
                out[c][x] = static_cast<Sample>(m[x]);
                out[1][x] = static_cast<Sample>((a[x] + b[x] + m[x - 1] + m[x + 1] + 2) >> 2);
                out[2 - c][x] =
                    static_cast<Sample>((a[x - 1] + a[x + 1] + b[x - 1] + b[x + 1] + 2) >> 2);
            }
        }
        progress.step();
    }
}

// --- VNG --------------------------------------------------------------------------------

// Per-pixel gradient parts of one row, from its 3 × 3 neighbourhood (s(dx, dy)):
//   V  = |s(-1,-1)-s(-1,1)| + 2|s(0,-1)-s(0,1)| + |s(1,-1)-s(1,1)|     (vertical)
//   H  = |s(-1,-1)-s(1,-1)| + 2|s(-1,0)-s(1,0)| + |s(-1,1)-s(1,1)|     (horizontal)
//   D1 = 2|s(1,-1)-s(-1,1)|, D2 = 2|s(-1,-1)-s(1,1)|                    (the two diagonals)
//   E1 = D1 + |s(0,-1)-s(-1,0)| + |s(0,1)-s(1,0)|, E2 = D2 + |s(0,-1)-s(1,0)| + |s(0,1)-s(-1,0)|
//   G2 = (s(0,-1) + s(-1,0) + s(1,0) + s(0,1)) >> 1                      (twice the cross mean)
enum Part { kV, kH, kD1, kD2, kE1, kE2, kG2, kParts };

// The parts of columns -1 .. w (padded indices 1 .. w + 2), VW at a time from index `from`;
// returns the first index left to the per-pixel loop. Exact integer arithmetic, so every level
// gives the same parts.
template <int VW>
[[gnu::always_inline]] inline int gradientSpan(const std::int32_t* up, const std::int32_t* mid,
                                               const std::int32_t* down, int last,
                                               std::int32_t* parts, int stride) {
    using I = typename simd::Vec<VW>::I;
    using UI = typename Lanes<VW>::I;
#define QL_LD(p, at) (*reinterpret_cast<const UI*>((p) + (at)))
#define QL_ABS(d) ((d) < 0 ? -(d) : (d))
#define QL_ST(k, value) (*reinterpret_cast<UI*>(parts + (k)*stride + i) = (value))
    int i = 1;
    for (; i + VW - 1 <= last; i += VW) {
        const I nw = QL_LD(up, i - 1), n = QL_LD(up, i), ne = QL_LD(up, i + 1);
        const I wv = QL_LD(mid, i - 1), ev = QL_LD(mid, i + 1);
        const I sw = QL_LD(down, i - 1), s = QL_LD(down, i), se = QL_LD(down, i + 1);
        const I dV1 = nw - sw, dV2 = n - s, dV3 = ne - se;
        const I dH1 = nw - ne, dH2 = wv - ev, dH3 = sw - se;
        const I dD1 = ne - sw, dD2 = nw - se;
        const I d1 = n - wv, d2 = s - ev, d3 = n - ev, d4 = s - wv;
        const I D1 = QL_ABS(dD1) << 1, D2 = QL_ABS(dD2) << 1;
        QL_ST(kV, QL_ABS(dV1) + (QL_ABS(dV2) << 1) + QL_ABS(dV3));
        QL_ST(kH, QL_ABS(dH1) + (QL_ABS(dH2) << 1) + QL_ABS(dH3));
        QL_ST(kD1, D1);
        QL_ST(kD2, D2);
        QL_ST(kE1, D1 + QL_ABS(d1) + QL_ABS(d2));
        QL_ST(kE2, D2 + QL_ABS(d3) + QL_ABS(d4));
        QL_ST(kG2, (n + wv + ev + s) >> 1);
    }
#undef QL_LD
#undef QL_ABS
#undef QL_ST
    return i;
}

struct Gradient {
    template <simd::Level L>
    [[gnu::always_inline]] static int run(const std::int32_t* u, const std::int32_t* m,
                                          const std::int32_t* d, int last, std::int32_t* parts,
                                          int stride) {
        return gradientSpan<simd::kFloats<L>>(u, m, d, last, parts, stride);
    }
};

void gradientRow(const std::int32_t* up, const std::int32_t* mid, const std::int32_t* down, int w,
                 std::int32_t* parts, int stride) {
    std::int32_t* V = parts + kV * stride;
    std::int32_t* H = parts + kH * stride;
    std::int32_t* D1 = parts + kD1 * stride;
    std::int32_t* D2 = parts + kD2 * stride;
    std::int32_t* E1 = parts + kE1 * stride;
    std::int32_t* E2 = parts + kE2 * stride;
    std::int32_t* G2 = parts + kG2 * stride;
    // Columns -1 .. w of the row (padded indices 1 .. w + 2).
    const int first = simd::select<Gradient,
                                   int(const std::int32_t*, const std::int32_t*,
                                       const std::int32_t*, int, std::int32_t*, int),
                                   simd::Avx512, kAvx512Set>()(up, mid, down, w + 2, parts, stride);
    for (int i = first; i <= w + 2; ++i) {
        const int nw = up[i - 1], n = up[i], ne = up[i + 1];
        const int wv = mid[i - 1], ev = mid[i + 1];
        const int sw = down[i - 1], s = down[i], se = down[i + 1];
        V[i] = std::abs(nw - sw) + 2 * std::abs(n - s) + std::abs(ne - se);
        H[i] = std::abs(nw - ne) + 2 * std::abs(wv - ev) + std::abs(sw - se);
        D1[i] = 2 * std::abs(ne - sw);
        D2[i] = 2 * std::abs(nw - se);
        E1[i] = D1[i] + std::abs(n - wv) + std::abs(s - ev);
        E2[i] = D2[i] + std::abs(n - ev) + std::abs(s - wv);
        G2[i] = (n + wv + ev + s) >> 1;
    }
}

// own + (sum - ownSum) / (2 n), the quotient in single precision rounded to nearest, ties to
// even (the vector code rounds by adding and subtracting 1.5 · 2^23, which is the same for
// every quotient below 2^22; these stay below 2^21).
inline int vngValue(int own, int sum, int ownSum, int n) {
    const float q = static_cast<float>(sum - ownSum) / static_cast<float>(2 * n);
    return own + static_cast<int>(std::nearbyint(q));
}

// What one output row of VNG reads: the five padded source rows y - 2 .. y + 2 and the gradient
// parts of rows y - 1 .. y + 1 (all indexed by padded column x + kPad).
struct VngRow {
    const std::int32_t* r[5];
    const std::int32_t* P[3];
    int len, w, y, pi;
    Sample* out[3];
    const std::int32_t* part(int row, Part k) const { return P[row] + k * len; }
};

void vngPixel(const VngRow& v, int x) {
    const int i = x + kPad;
    const std::int32_t *r0 = v.r[0], *r1 = v.r[1], *r2 = v.r[2], *r3 = v.r[3], *r4 = v.r[4];
    auto part = [&](int row, Part k, int at) { return v.part(row, k)[at]; };
    const int c = kColours[v.pi][v.y & 1][x & 1];
    const int gN = part(0, kV, i) + part(1, kV, i);
    const int gS = part(1, kV, i) + part(2, kV, i);
    const int gW = part(1, kH, i - 1) + part(1, kH, i);
    const int gE = part(1, kH, i) + part(1, kH, i + 1);
    const int s0 = r2[i];
    int gNE, gSW, gNW, gSE;
    if (c != 1) {
        gNE = part(0, kE1, i + 1) + part(1, kE1, i);
        gSW = part(1, kE1, i) + part(2, kE1, i - 1);
        gNW = part(0, kE2, i - 1) + part(1, kE2, i);
        gSE = part(1, kE2, i) + part(2, kE2, i + 1);
    } else {
        gNE = part(0, kD1, i) + part(0, kD1, i + 1) + part(1, kD1, i) + part(1, kD1, i + 1);
        gSW = part(1, kD1, i) + part(1, kD1, i - 1) + part(2, kD1, i) + part(2, kD1, i - 1);
        gNW = part(0, kD2, i) + part(0, kD2, i - 1) + part(1, kD2, i) + part(1, kD2, i - 1);
        gSE = part(1, kD2, i) + part(1, kD2, i + 1) + part(2, kD2, i) + part(2, kD2, i + 1);
    }
    const int grads[8] = {gN, gS, gW, gE, gNE, gSW, gNW, gSE};
    int lo = grads[0], hi = grads[0];
    for (int k = 1; k < 8; ++k) lo = std::min(lo, grads[k]), hi = std::max(hi, grads[k]);
    const int T = lo + std::max(hi >> 1, 1);
    int own = 0, a = 0, b = 0, n = 0;
    // Adds one direction's estimates when its gradient is below the threshold.
    auto take = [&](int g, int o, int sa, int sb) {
        const int m = -static_cast<int>(g < T);
        own += o & m, a += sa & m, b += sb & m, n -= m;
    };
    if (c != 1) {
        // own colour c, a = green, b = the other chroma colour
        take(gN, r0[i] + s0, 2 * r1[i], r1[i - 1] + r1[i + 1]);
        take(gS, r4[i] + s0, 2 * r3[i], r3[i - 1] + r3[i + 1]);
        take(gW, r2[i - 2] + s0, 2 * r2[i - 1], r1[i - 1] + r3[i - 1]);
        take(gE, r2[i + 2] + s0, 2 * r2[i + 1], r1[i + 1] + r3[i + 1]);
        take(gNE, r0[i + 2] + s0, part(0, kG2, i + 1), 2 * r1[i + 1]);
        take(gSW, r4[i - 2] + s0, part(2, kG2, i - 1), 2 * r3[i - 1]);
        take(gNW, r0[i - 2] + s0, part(0, kG2, i - 1), 2 * r1[i - 1]);
        take(gSE, r4[i + 2] + s0, part(2, kG2, i + 1), 2 * r3[i + 1]);
        v.out[c][x] = static_cast<Sample>(s0);
        v.out[1][x] = clampSample(vngValue(s0, a, own, n));
        v.out[2 - c][x] = clampSample(vngValue(s0, b, own, n));
    } else {
        // own green, a = the colour of the row's neighbours, b = of the column's
        take(gN, r0[i] + s0, r0[i - 1] + r0[i + 1], 2 * r1[i]);
        take(gS, r4[i] + s0, r4[i - 1] + r4[i + 1], 2 * r3[i]);
        take(gW, r2[i - 2] + s0, 2 * r2[i - 1], r1[i - 2] + r3[i - 2]);
        take(gE, r2[i + 2] + s0, 2 * r2[i + 1], r1[i + 2] + r3[i + 2]);
        take(gNE, 2 * r1[i + 1], r0[i + 1] + r2[i + 1], r1[i] + r1[i + 2]);
        take(gSW, 2 * r3[i - 1], r4[i - 1] + r2[i - 1], r3[i] + r3[i - 2]);
        take(gNW, 2 * r1[i - 1], r0[i - 1] + r2[i - 1], r1[i - 2] + r1[i]);
        take(gSE, 2 * r3[i + 1], r4[i + 1] + r2[i + 1], r3[i + 2] + r3[i]);
        const int hc = kColours[v.pi][v.y & 1][(x + 1) & 1];
        v.out[1][x] = static_cast<Sample>(s0);
        v.out[hc][x] = clampSample(vngValue(s0, a, own, n));
        v.out[2 - hc][x] = clampSample(vngValue(s0, b, own, n));
    }
}

// The same pixels VW at a time (columns x, x + 1, ... in the lanes; x even). Red/blue and green
// pixels alternate along a row, so both kinds of estimate are computed for every lane and each
// lane keeps its own kind; the arithmetic per lane is vngPixel's.
template <int VW>
[[gnu::always_inline]] inline int vngSpan(const VngRow& v) {
    using I = typename simd::Vec<VW>::I;
    using F = typename simd::Vec<VW>::F;
    using S = typename simd::Vec<VW>::S;
    using UI = typename Lanes<VW>::I;
    using US = typename Lanes<VW>::S;
#define QL_LD(p, at) (*reinterpret_cast<const UI*>((p) + (at)))
#define QL_P(row, k, d) QL_LD(v.part(row, k), i + (d))
#define QL_SEL(m, a, b) (((m) & (a)) | (~(m) & (b)))
#define QL_MIN(a, b) ((a) < (b) ? (a) : (b))
#define QL_MAX(a, b) ((a) > (b) ? (a) : (b))
    I green{}, ownCh[3]{}, aCh[3]{};
    laneRoles<VW>(v.pi, v.y, green, ownCh, aCh);
    const I one = I{} + 1;
    const F magic = F{} + 12582912.0f;
    const I lowest = I{} + kSampleMin, highest = I{} + kSampleMax;
    const std::int32_t *r0 = v.r[0], *r1 = v.r[1], *r2 = v.r[2], *r3 = v.r[3], *r4 = v.r[4];
    int x = 0;
    for (; x + VW <= v.w; x += VW) {
        const int i = x + kPad;
        const I gN = QL_P(0, kV, 0) + QL_P(1, kV, 0);
        const I gS = QL_P(1, kV, 0) + QL_P(2, kV, 0);
        const I gW = QL_P(1, kH, -1) + QL_P(1, kH, 0);
        const I gE = QL_P(1, kH, 0) + QL_P(1, kH, 1);
        const I gNE =
            QL_SEL(green, QL_P(0, kD1, 0) + QL_P(0, kD1, 1) + QL_P(1, kD1, 0) + QL_P(1, kD1, 1),
                   QL_P(0, kE1, 1) + QL_P(1, kE1, 0));
        const I gSW =
            QL_SEL(green, QL_P(1, kD1, 0) + QL_P(1, kD1, -1) + QL_P(2, kD1, 0) + QL_P(2, kD1, -1),
                   QL_P(1, kE1, 0) + QL_P(2, kE1, -1));
        const I gNW =
            QL_SEL(green, QL_P(0, kD2, 0) + QL_P(0, kD2, -1) + QL_P(1, kD2, 0) + QL_P(1, kD2, -1),
                   QL_P(0, kE2, -1) + QL_P(1, kE2, 0));
        const I gSE =
            QL_SEL(green, QL_P(1, kD2, 0) + QL_P(1, kD2, 1) + QL_P(2, kD2, 0) + QL_P(2, kD2, 1),
                   QL_P(1, kE2, 0) + QL_P(2, kE2, 1));
        const I lo1 = QL_MIN(gN, gS), lo2 = QL_MIN(gW, gE), lo3 = QL_MIN(gNE, gSW),
                lo4 = QL_MIN(gNW, gSE);
        const I hi1 = QL_MAX(gN, gS), hi2 = QL_MAX(gW, gE), hi3 = QL_MAX(gNE, gSW),
                hi4 = QL_MAX(gNW, gSE);
        const I lo12 = QL_MIN(lo1, lo2), lo34 = QL_MIN(lo3, lo4);
        const I hi12 = QL_MAX(hi1, hi2), hi34 = QL_MAX(hi3, hi4);
        const I lo = QL_MIN(lo12, lo34), hi = QL_MAX(hi12, hi34);
        const I half = hi >> 1;
        const I T = lo + QL_MAX(half, one);
        const I s0 = QL_LD(r2, i);
        I own{}, a{}, b{}, n{};
        // o, sa, sb: the estimates of a red/blue lane; og, sag, sbg: of a green lane.
#define QL_TAKE(g, o, sa, sb, og, sag, sbg)                                                        \
    {                                                                                              \
        const I m = (g) < T;                                                                       \
        own += QL_SEL(green, (og), (o)) & m;                                                       \
        a += QL_SEL(green, (sag), (sa)) & m;                                                       \
        b += QL_SEL(green, (sbg), (sb)) & m;                                                       \
        n -= m;                                                                                    \
    }
        const I n0 = QL_LD(r0, i), n1 = QL_LD(r1, i), s3 = QL_LD(r3, i), s4 = QL_LD(r4, i);
        const I w1 = QL_LD(r2, i - 1), e1 = QL_LD(r2, i + 1), w2 = QL_LD(r2, i - 2),
                e2 = QL_LD(r2, i + 2);
        const I nw = QL_LD(r1, i - 1), ne = QL_LD(r1, i + 1), sw = QL_LD(r3, i - 1),
                se = QL_LD(r3, i + 1);
        QL_TAKE(gN, n0 + s0, n1 + n1, nw + ne, n0 + s0, QL_LD(r0, i - 1) + QL_LD(r0, i + 1),
                n1 + n1);
        QL_TAKE(gS, s4 + s0, s3 + s3, sw + se, s4 + s0, QL_LD(r4, i - 1) + QL_LD(r4, i + 1),
                s3 + s3);
        QL_TAKE(gW, w2 + s0, w1 + w1, nw + sw, w2 + s0, w1 + w1,
                QL_LD(r1, i - 2) + QL_LD(r3, i - 2));
        QL_TAKE(gE, e2 + s0, e1 + e1, ne + se, e2 + s0, e1 + e1,
                QL_LD(r1, i + 2) + QL_LD(r3, i + 2));
        QL_TAKE(gNE, QL_LD(r0, i + 2) + s0, QL_P(0, kG2, 1), ne + ne, ne + ne,
                QL_LD(r0, i + 1) + e1, n1 + QL_LD(r1, i + 2));
        QL_TAKE(gSW, QL_LD(r4, i - 2) + s0, QL_P(2, kG2, -1), sw + sw, sw + sw,
                QL_LD(r4, i - 1) + w1, s3 + QL_LD(r3, i - 2));
        QL_TAKE(gNW, QL_LD(r0, i - 2) + s0, QL_P(0, kG2, -1), nw + nw, nw + nw,
                QL_LD(r0, i - 1) + w1, QL_LD(r1, i - 2) + n1);
        QL_TAKE(gSE, QL_LD(r4, i + 2) + s0, QL_P(2, kG2, 1), se + se, se + se,
                QL_LD(r4, i + 1) + e1, QL_LD(r3, i + 2) + s3);
#undef QL_TAKE
        const F div = __builtin_convertvector(n + n, F);
        const F qa = __builtin_convertvector(a - own, F) / div;
        const F qb = __builtin_convertvector(b - own, F) / div;
        const I ra = s0 + __builtin_convertvector((qa + magic) - magic, I);
        const I rb = s0 + __builtin_convertvector((qb + magic) - magic, I);
        const I ca = QL_MIN(ra, highest), cb = QL_MIN(rb, highest);
        const I A = QL_MAX(ca, lowest), B = QL_MAX(cb, lowest);
        for (int ch = 0; ch < 3; ++ch) {
            const I chosen = QL_SEL(ownCh[ch], s0, QL_SEL(aCh[ch], A, B));
            *reinterpret_cast<US*>(v.out[ch] + x) = __builtin_convertvector(chosen, S);
        }
    }
#undef QL_LD
#undef QL_P
#undef QL_SEL
#undef QL_MIN
#undef QL_MAX
    return x;
}

struct VngSpan {
    template <simd::Level L>
    [[gnu::always_inline]] static int run(const VngRow& v) {
        return vngSpan<simd::kFloats<L>>(v);
    }
};

void vngRow(const VngRow& v) {
    int x = simd::select<VngSpan, int(const VngRow&), simd::Avx512, kAvx512Set>()(v);
    for (; x < v.w; ++x) vngPixel(v, x);
}

void vngRows(Image& dst, const Image& src, BayerPattern p, int y0, int y1, Progress& progress) {
    const int w = src.width();
    const int len = w + 2 * kPad;
    RowRing rows(5, len, 1);
    RowRing parts(3, len, kParts);
    auto rowOf = [&](int r) { return paddedRow(rows, src, r); };
    auto partsOf = [&](int r) {
        std::int32_t* out = parts.at(r, 0, kParts);
        int& held = parts.rowIn[static_cast<std::size_t>(parts.slotOf(r))];
        if (held != r) {
            gradientRow(rowOf(r - 1), rowOf(r), rowOf(r + 1), w, out, len);
            held = r;
        }
        return out;
    };
    for (int y = y0; y < y1; ++y) {
        VngRow v{};
        for (int k = 0; k < 3; ++k) v.P[k] = partsOf(y - 1 + k);
        for (int k = 0; k < 5; ++k) v.r[k] = rowOf(y - 2 + k);
        v.len = len;
        v.w = w;
        v.y = y;
        v.pi = static_cast<int>(p);
        for (int c = 0; c < 3; ++c) v.out[c] = dst.row(c, y);
        vngRow(v);
        progress.step();
    }
}

// --- super-pixel ------------------------------------------------------------------------

void superPixelRows(Image& dst, const Image& src, BayerPattern p, int y0, int y1,
                    Progress& progress) {
    const int w = dst.width();
    const int pi = static_cast<int>(p);
    for (int y = y0; y < y1; ++y) {
        const Sample* s[2] = {src.row(0, 2 * y), src.row(0, 2 * y + 1)};
        Sample* out[3] = {dst.row(0, y), dst.row(1, y), dst.row(2, y)};
        for (int x = 0; x < w; ++x) {
            int sum[3] = {0, 0, 0};
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) sum[kColours[pi][dy][dx]] += s[dy][2 * x + dx];
            out[0][x] = static_cast<Sample>(sum[0]);
            out[1][x] = static_cast<Sample>((sum[1] + 1) >> 1);
            out[2][x] = static_cast<Sample>(sum[2]);
        }
        if (dst.hasOverlay() && src.hasOverlay()) {
            const Sample* o = src.row(src.overlayPlane(), 2 * y);
            Sample* d = dst.row(dst.overlayPlane(), y);
            for (int x = 0; x < w; ++x) d[x] = o[2 * x];
        }
        progress.step();
    }
}

std::string upperTrimmed(std::string_view text) {
    std::string s;
    for (char c : text)
        if (c != ' ' && c != '\t')
            s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

const char* bayerPatternName(BayerPattern p) {
    return kNames[static_cast<int>(p)];
}

std::optional<BayerPattern> parseBayerPattern(std::string_view text) {
    const std::string s = upperTrimmed(text);
    for (int k = 0; k < 4; ++k)
        if (s == kNames[k]) return static_cast<BayerPattern>(k);
    return std::nullopt;
}

const char* debayerMethodName(DebayerMethod m) {
    switch (m) {
    case DebayerMethod::Bilinear: return "bilinear";
    case DebayerMethod::Vng: return "vng";
    case DebayerMethod::SuperPixel: return "superpixel";
    }
    return "vng";
}

std::optional<DebayerMethod> parseDebayerMethod(std::string_view text) {
    const std::string s = upperTrimmed(text);
    if (s == "BILINEAR") return DebayerMethod::Bilinear;
    if (s == "VNG") return DebayerMethod::Vng;
    if (s == "SUPERPIXEL") return DebayerMethod::SuperPixel;
    return std::nullopt;
}

bool parsePatternChoice(std::string_view text, std::optional<BayerPattern>& pattern) {
    if (text == "auto") {
        pattern.reset();
        return true;
    }
    const std::optional<BayerPattern> p = parseBayerPattern(text);
    if (p) pattern = p;
    return p.has_value();
}

int bayerColour(BayerPattern p, int x, int y) {
    return kColours[static_cast<int>(p)][y & 1][x & 1];
}

BayerPattern shiftBayerPattern(BayerPattern p, int dx, int dy) {
    for (int k = 0; k < 4; ++k) {
        bool same = true;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                same = same && kColours[k][y][x] == bayerColour(p, x + dx, y + dy);
        if (same) return static_cast<BayerPattern>(k);
    }
    return p; // not reached: every shift of a pattern is a pattern
}

std::optional<BayerPattern> bayerPatternFromCards(const BayerCards& cards, int height) {
    const std::optional<BayerPattern> named = parseBayerPattern(cards.pattern);
    if (!named) return std::nullopt;
    // Sensor pixel (xs, ys) has colour named[(ys + YBAYROFF) & 1][(xs + XBAYROFF) & 1].
    BayerPattern p = shiftBayerPattern(*named, cards.xOffset & 1, cards.yOffset & 1);
    // With rows stored bottom-up, image row y is sensor row height - 1 - y, whose parity is
    // that of y + height - 1: the pattern moves by one row when the height is even.
    if (upperTrimmed(cards.rowOrder) == "BOTTOM-UP") p = shiftBayerPattern(p, 0, (height - 1) & 1);
    return p;
}

BayerPattern bayerPatternOf(const Image& mosaic) {
    const auto p = bayerPatternFromCards(mosaic.info().bayer, mosaic.height());
    if (!p) throw Error(kNoBayerPatternMessage);
    return *p;
}

NewDocumentParams debayerDescription(const Image& mosaic, DebayerMethod method) {
    NewDocumentParams d;
    d.takeFrom(mosaic);
    d.type = RGB_IMAGE;
    d.userLayerCount = 3;
    d.layerNames.clear();
    if (method == DebayerMethod::SuperPixel) {
        d.width = mosaic.width() / 2;
        d.height = mosaic.height() / 2;
        d.pixelWidth *= 2.0f;
        d.pixelHeight *= 2.0f;
        // A super-pixel shows the centre of its 2 × 2 cell.
        if (d.infoTemplate)
            d.infoTemplate->wcs = transformWcs(d.infoTemplate->wcs, 2, 0, 0, 2, 0.5, 0.5);
    }
    if (d.infoTemplate) d.infoTemplate->bayer = {};
    return d;
}

void debayer(Image& destination, const Image& mosaic, BayerPattern pattern, DebayerMethod method,
             Progress& progress) {
    if (mosaic.layerCount() != 1) throw Error(kDebayerNeedsOneLayerMessage);
    const bool half = method == DebayerMethod::SuperPixel;
    const int w = half ? mosaic.width() / 2 : mosaic.width();
    const int h = half ? mosaic.height() / 2 : mosaic.height();
    if (!destination.hasSamples() || destination.type() != RGB_IMAGE || destination.width() != w ||
        destination.height() != h || mosaic.width() < 3 || mosaic.height() < 3)
        throw Error(msg::unexpected(11));
    progress.begin("Debayer", h, kMinInterval);
    parallelRows(h, kMinRows, [&](int y0, int y1) {
        switch (method) {
        case DebayerMethod::Bilinear:
            bilinearRows(destination, mosaic, pattern, y0, y1, progress);
            break;
        case DebayerMethod::Vng: vngRows(destination, mosaic, pattern, y0, y1, progress); break;
        case DebayerMethod::SuperPixel:
            superPixelRows(destination, mosaic, pattern, y0, y1, progress);
            break;
        }
    });
    if (!half && destination.hasOverlay() && mosaic.hasOverlay()) {
        const std::size_t bytes = static_cast<std::size_t>(w) * sizeof(Sample);
        for (int y = 0; y < h; ++y)
            std::memcpy(destination.row(destination.overlayPlane(), y),
                        mosaic.row(mosaic.overlayPlane(), y), bytes);
    }
    progress.end();
    destination.samplesChanged();
}

Image debayerImage(const Image& mosaic, BayerPattern pattern, DebayerMethod method,
                   Progress& progress) {
    if (mosaic.layerCount() != 1) throw Error(kDebayerNeedsOneLayerMessage);
    Image out;
    createImage(debayerDescription(mosaic, method), out);
    debayer(out, mosaic, pattern, method, progress);
    return out;
}

} // namespace quillon
