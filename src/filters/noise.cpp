// Rank and threshold filters over 3 × 3 neighbourhoods.
#include "filters/noise.h"

#include "core/error.h"
#include "core/parallel.h"

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
                                            const NoiseMask& m, NoiseKind kind, Shape shape,
                                            Sample* cols) {
    using V = typename SV<VW>::V;
    const bool vectorMedian = shape != Shape::Other;
    if (ow < VW || (kind == NoiseKind::Median && !vectorMedian)) {
        for (int x = 0; x < ow; ++x) out[x] = rankScalar(r, x, m, kind);
        return;
    }
    int pos[9], n = 0;
    for (int i = 0; i < 9; ++i)
        if (m[static_cast<std::size_t>(i)]) pos[n++] = i;
    const int sw = ow + 2;
    if (kind == NoiseKind::Median && shape == Shape::Full) {
        // Sort every column of three once; the median of nine is the median of the largest
        // low, the median of the middles and the smallest high.
        Sample* lo = cols;
        Sample* mid = cols + sw;
        Sample* hi = cols + 2 * sw;
        for (int start = 0; start < sw; start += VW) {
            const int x = std::min(start, sw - VW);
            V a, b, c;
            LOAD(a, r[0] + x);
            LOAD(b, r[1] + x);
            LOAD(c, r[2] + x);
            const V l = VMIN(a, b), h = VMAX(a, b);
            const V l2 = VMIN(l, c), t = VMAX(l, c);
            const V md = VMIN(t, h), h2 = VMAX(t, h);
            std::memcpy(lo + x, &l2, sizeof l2);
            std::memcpy(mid + x, &md, sizeof md);
            std::memcpy(hi + x, &h2, sizeof h2);
        }
        for (int start = 0; start < ow; start += VW) {
            const int x = std::min(start, ow - VW);
            V l0, l1, l2, m0, m1, m2, h0, h1, h2;
            LOAD(l0, lo + x);
            LOAD(l1, lo + x + 1);
            LOAD(l2, lo + x + 2);
            LOAD(m0, mid + x);
            LOAD(m1, mid + x + 1);
            LOAD(m2, mid + x + 2);
            LOAD(h0, hi + x);
            LOAD(h1, hi + x + 1);
            LOAD(h2, hi + x + 2);
            const V l01 = VMAX(l0, l1), h01 = VMIN(h0, h1);
            const V maxLo = VMAX(l01, l2), minHi = VMIN(h01, h2);
            V medMid, res;
            MED3(medMid, m0, m1, m2);
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

using RankFn = void (*)(Sample*, const Sample* const*, int, const NoiseMask&, NoiseKind, Shape,
                        Sample*);
void rankSse2(Sample* o, const Sample* const* r, int ow, const NoiseMask& m, NoiseKind k, Shape s,
              Sample* c) {
    rankRowT<16>(o, r, ow, m, k, s, c);
}
__attribute__((target("avx2"))) void rankAvx2(Sample* o, const Sample* const* r, int ow,
                                              const NoiseMask& m, NoiseKind k, Shape s, Sample* c) {
    rankRowT<32>(o, r, ow, m, k, s, c);
}

RankFn rankPath() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? rankAvx2 : rankSse2;
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
            std::vector<Sample> cols(static_cast<std::size_t>(3 * (ow + 2)));
            long long local = 0;
            for (int y = y0; y < y1; ++y) {
                Sample* out = destination.row(i, y);
                const Sample* r[3] = {source.row(i, y), source.row(i, y + 1), source.row(i, y + 2)};
                if (!selected)
                    std::memcpy(out, r[1] + 1, static_cast<std::size_t>(ow) * sizeof(Sample));
                else if (kind == NoiseKind::Threshold)
                    local += thresholdRow(out, r, ow, mask, threshold);
                else
                    rank(out, r, ow, mask, kind, shape, cols.data());
                progress.step();
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
    destination.invalidateHistogram();
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
    o.produced = true;
    if (kind_ == NoiseKind::Threshold) o.replaced = n;
    return o;
}

} // namespace quillon
