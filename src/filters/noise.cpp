// Rank and threshold filters over 3 × 3 neighbourhoods.
#include "filters/noise.h"

#include "core/error.h"
#include "core/parallel.h"
#include "core/simd_dispatch.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

namespace quillon {
namespace {

enum class Shape { Plus, Cross, Full, Other };

Shape shapeOf(const NoiseMask& m) {
    for (int i = 0; i < kNoiseMaskCount; ++i)
        if (m == noiseMask(i)) return static_cast<Shape>(i);
    return Shape::Other;
}

// The plain algorithm for one pixel: the neighbourhood of flagged positions around the centre
// source[1][x + 1] of rows r[0..2].
Sample rankScalar(const Sample* const r[3], int x, const NoiseMask& m, NoiseKind kind) {
    int v[9];
    int n = 0;
    for (int i = 0; i < 9; ++i)
        if (m[static_cast<std::size_t>(i)]) v[n++] = r[i / 3][x + i % 3];
    if (kind == NoiseKind::Maximum) {
        int best = -32768;
        for (int i = 0; i < n; ++i) best = std::max(best, v[i]);
        return static_cast<Sample>(best);
    }
    if (kind == NoiseKind::Minimum) {
        int best = 32767;
        for (int i = 0; i < n; ++i) best = std::min(best, v[i]);
        return static_cast<Sample>(best);
    }
    // Median: take out the current minimum n / 2 + 1 times; the last one taken is the result.
    int last = 32767;
    for (int round = 0; round < n / 2 + 1; ++round) {
        int at = 0;
        for (int i = 1; i < n; ++i)
            if (v[i] < v[at]) at = i;
        last = n > 0 ? v[at] : 32767;
        if (n > 0) v[at] = 32767;
    }
    return static_cast<Sample>(last);
}

template <int VW>
struct SV {
    typedef short V __attribute__((vector_size(VW * 2)));
};

// Vector helpers as macros: vectors wider than the base instruction set must not be passed
// to functions by value. Arguments are plain variables.
#define VMIN(a, b) ((a) < (b) ? (a) : (b))
#define VMAX(a, b) ((a) > (b) ? (a) : (b))
#define MED3(out, a, b, c)                                                                         \
    do {                                                                                           \
        const V lo_ = VMIN(a, b), hi_ = VMAX(a, b);                                                \
        const V m_ = VMIN(hi_, c);                                                                 \
        out = VMAX(lo_, m_);                                                                       \
    } while (0)
#define LOAD(v, p) std::memcpy(&(v), (p), sizeof(v))

// One destination row of a rank filter. `cols` is scratch of 3 × source width samples.
template <int VW>
[[gnu::always_inline]] inline void rankRowT(Sample* out, const Sample* const r[3], int ow,
                                            const NoiseMask& m, NoiseKind kind, Shape shape) {
    using V = typename SV<VW>::V;
    const bool vectorMedian = shape != Shape::Other;
    if (ow < VW || (kind == NoiseKind::Median && !vectorMedian)) {
        for (int x = 0; x < ow; ++x) out[x] = rankScalar(r, x, m, kind);
        return;
    }
    int pos[9], n = 0;
    for (int i = 0; i < 9; ++i)
        if (m[static_cast<std::size_t>(i)]) pos[n++] = i;
    if (kind == NoiseKind::Median && shape == Shape::Full) {
        // Sort each column of three; the median of nine is the median of the largest low,
        // the median of the middles and the smallest high. Columns are sorted in registers
        // for the three offsets, so the source is read once and nothing is stored between.
        for (int start = 0; start < ow; start += VW) {
            const int x = std::min(start, ow - VW);
            V lo[3], mid[3], hi[3];
            for (int k = 0; k < 3; ++k) {
                V a, b, c;
                LOAD(a, r[0] + x + k);
                LOAD(b, r[1] + x + k);
                LOAD(c, r[2] + x + k);
                const V l = VMIN(a, b), h = VMAX(a, b);
                const V t = VMAX(l, c);
                lo[k] = VMIN(l, c);
                mid[k] = VMIN(t, h);
                hi[k] = VMAX(t, h);
            }
            const V l01 = VMAX(lo[0], lo[1]), h01 = VMIN(hi[0], hi[1]);
            const V maxLo = VMAX(l01, lo[2]), minHi = VMIN(h01, hi[2]);
            V medMid, res;
            MED3(medMid, mid[0], mid[1], mid[2]);
            MED3(res, maxLo, medMid, minHi);
            std::memcpy(out + x, &res, sizeof res);
        }
        return;
    }
    for (int start = 0; start < ow; start += VW) {
        const int x = std::min(start, ow - VW);
        V v[9];
        for (int i = 0; i < n; ++i) LOAD(v[i], r[pos[i] / 3] + x + pos[i] % 3);
        V res;
        if (kind == NoiseKind::Median) { // five values (plus or cross)
            const V a = VMIN(v[0], v[1]), b = VMIN(v[2], v[3]);
            const V c = VMAX(v[0], v[1]), d = VMAX(v[2], v[3]);
            const V f = VMAX(a, b), g = VMIN(c, d);
            MED3(res, v[4], f, g);
        } else if (kind == NoiseKind::Maximum) {
            for (int l = 0; l < VW; ++l) res[l] = -32768;
            for (int i = 0; i < n; ++i) res = VMAX(res, v[i]);
        } else {
            for (int l = 0; l < VW; ++l) res[l] = 32767;
            for (int i = 0; i < n; ++i) res = VMIN(res, v[i]);
        }
        std::memcpy(out + x, &res, sizeof res);
    }
}

// The 3 × 3 median of two neighbouring rows at once: they share the sorted pair of their two
// common source rows. r[0..3] are the four source rows.
template <int VW>
[[gnu::always_inline]] inline void median9TwoRowsT(Sample* out0, Sample* out1,
                                                   const Sample* const* r, int ow) {
    using V = typename SV<VW>::V;
    for (int start = 0; start < ow; start += VW) {
        const int x = std::min(start, ow - VW);
        V maxLo0, minHi0, maxLo1, minHi1, mid0[3], mid1[3];
        for (int k = 0; k < 3; ++k) {
            V a, b, c, d;
            LOAD(a, r[0] + x + k);
            LOAD(b, r[1] + x + k);
            LOAD(c, r[2] + x + k);
            LOAD(d, r[3] + x + k);
            const V p = VMIN(b, c), q = VMAX(b, c);
            const V lo0 = VMIN(a, p), hi0 = VMAX(a, q), aq = VMIN(a, q);
            const V lo1 = VMIN(d, p), hi1 = VMAX(d, q), dq = VMIN(d, q);
            mid0[k] = VMAX(p, aq);
            mid1[k] = VMAX(p, dq);
            maxLo0 = k == 0 ? lo0 : VMAX(maxLo0, lo0);
            minHi0 = k == 0 ? hi0 : VMIN(minHi0, hi0);
            maxLo1 = k == 0 ? lo1 : VMAX(maxLo1, lo1);
            minHi1 = k == 0 ? hi1 : VMIN(minHi1, hi1);
        }
        V m, res;
        MED3(m, mid0[0], mid0[1], mid0[2]);
        MED3(res, maxLo0, m, minHi0);
        std::memcpy(out0 + x, &res, sizeof res);
        MED3(m, mid1[0], mid1[1], mid1[2]);
        MED3(res, maxLo1, m, minHi1);
        std::memcpy(out1 + x, &res, sizeof res);
    }
}

// One destination row (out1 null, rows r[0..2]) or two (rows r[0..3]) of a rank filter.
template <int VW>
[[gnu::always_inline]] inline void rankRowsT(Sample* out0, Sample* out1, const Sample* const* r,
                                             int ow, const NoiseMask& m, NoiseKind kind,
                                             Shape shape) {
    if (out1 && kind == NoiseKind::Median && shape == Shape::Full && ow >= VW / 2) {
        median9TwoRowsT<VW / 2>(out0, out1, r, ow);
        return;
    }
    rankRowT<VW>(out0, r, ow, m, kind, shape);
    if (out1) rankRowT<VW>(out1, r + 1, ow, m, kind, shape);
}

using RankFn = void (*)(Sample*, Sample*, const Sample* const*, int, const NoiseMask&, NoiseKind,
                        Shape);
struct RankRows {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(Sample* o0, Sample* o1, const Sample* const* r, int ow,
                                           const NoiseMask& m, NoiseKind k, Shape s) {
        rankRowsT<simd::kBytes<L>>(o0, o1, r, ow, m, k, s);
    }
};

RankFn rankPath() {
    return simd::select<RankRows,
                        void(Sample*, Sample*, const Sample* const*, int, const NoiseMask&,
                             NoiseKind, Shape),
                        simd::Avx512, simd::Avx512Set::FBw>();
}

// Threshold filter for one row; returns the number of replaced pixels.
long long thresholdRow(Sample* out, const Sample* const r[3], int ow, const NoiseMask& m,
                       int threshold) {
    int pos[9], n = 0;
    for (int i = 0; i < 9; ++i)
        if (i != 4 && m[static_cast<std::size_t>(i)]) pos[n++] = i;
    long long replaced = 0;
    for (int x = 0; x < ow; ++x) {
        const int centre = r[1][x + 1];
        if (n == 0) {
            out[x] = static_cast<Sample>(centre);
            continue;
        }
        int sum = 0;
        for (int i = 0; i < n; ++i) sum += r[pos[i] / 3][x + pos[i] % 3];
        const int mean = sum / n; // truncates toward zero
        if (centre > mean + threshold || centre < mean - threshold) {
            out[x] = static_cast<Sample>(mean);
            ++replaced;
        } else {
            out[x] = static_cast<Sample>(centre);
        }
    }
    return replaced;
}

} // namespace

NoiseMask noiseMask(int index) {
    switch (index) {
    case 0: return {false, true, false, true, true, true, false, true, false};
    case 1: return {true, false, true, false, true, false, true, false, true};
    default: return {true, true, true, true, true, true, true, true, true};
    }
}

const char* noiseMaskLabel(int index) {
    switch (index) {
    case 0: return "0 1 0\n1 1 1\n0 1 0";
    case 1: return "1 0 1\n0 1 0\n1 0 1";
    default: return "1 1 1\n1 1 1\n1 1 1";
    }
}

const char* noiseKindLabel(NoiseKind kind) {
    switch (kind) {
    case NoiseKind::Maximum: return "Maximalfilter";
    case NoiseKind::Minimum: return "Minimalfilter";
    case NoiseKind::Median: return "Medianfilter";
    default: return "Schwellwertfilter";
    }
}

long long noiseFilter(Image& destination, const Image& source, const NoiseMask& mask,
                      NoiseKind kind, std::uint16_t threshold, LayerMask layers,
                      Progress& progress) {
    if (!source.hasSamples() || !destination.hasSamples() ||
        destination.width() != source.width() - 2 || destination.height() != source.height() - 2 ||
        destination.layerCount() > source.layerCount())
        throw Error(msg::unexpected(11));
    const int ow = destination.width(), oh = destination.height();
    const int count = destination.layerCount();
    const Shape shape = shapeOf(mask);
    const RankFn rank = rankPath();
    std::atomic<long long> replaced{0};

    progress.begin("Rauschfilter", static_cast<long long>(oh) * count, 20);
    for (int i = 0; i < count; ++i) {
        const bool selected = layerSelected(layers, i);
        parallelRows(oh, 16, [&](int y0, int y1) {
            long long local = 0;
            for (int y = y0; y < y1;) {
                Sample* out = destination.row(i, y);
                const Sample* r[4] = {source.row(i, y), source.row(i, y + 1), source.row(i, y + 2),
                                      y + 1 < y1 ? source.row(i, y + 3) : nullptr};
                if (!selected) {
                    std::memcpy(out, r[1] + 1, static_cast<std::size_t>(ow) * sizeof(Sample));
                } else if (kind == NoiseKind::Threshold) {
                    local += thresholdRow(out, r, ow, mask, threshold);
                } else if (y + 1 < y1) { // two rows at once
                    rank(out, destination.row(i, y + 1), r, ow, mask, kind, shape);
                    progress.step();
                    ++y;
                } else {
                    rank(out, nullptr, r, ow, mask, kind, shape);
                }
                progress.step();
                ++y;
            }
            replaced.fetch_add(local);
        });
    }
    if (destination.hasOverlay() && source.hasOverlay()) {
        const int dp = destination.overlayPlane(), sp = source.overlayPlane();
        for (int y = 0; y < oh; ++y)
            std::memcpy(destination.row(dp, y), source.row(sp, y + 1) + 1,
                        static_cast<std::size_t>(ow) * sizeof(Sample));
    }
    progress.end();
    destination.samplesChanged();
    return replaced.load();
}

std::string replacedPixelsMessage(long long count) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Es wurden %i Pixel ersetzt !", static_cast<int>(count));
    return buf;
}

FilterOutcome NoiseFilter::run(Image& destination, const Image& source, LayerMask mask,
                               Progress& progress) const {
    FilterOutcome o;
    const long long n =
        noiseFilter(destination, source, noiseMask(maskIndex_), kind_, threshold_, mask, progress);
    if (kind_ == NoiseKind::Threshold) o.replaced = n;
    return o;
}

} // namespace quillon
