// Block-mean and cubic Lagrange sampling, and whole-image resampling built on the same arithmetic.
#include "ops/sampler.h"

#include "core/error.h"
#include "core/parallel.h"
#include "core/simd_dispatch.h"
#include "ops/geometry_wcs.h"

// The fast path must round exactly like the per-pixel sampler: never fuse multiply and add.
#include "core/exact_float.h"

#include <algorithm>
#include <cstring>
#include <immintrin.h>
#include <memory>
#include <vector>

namespace quillon {
namespace {

float clampToSampleRange(float v) {
    if (v < -32768.0f) return -32768.0f;
    if (v > 32767.0f) return 32767.0f;
    return v;
}

// Block position rule: truncate, negative to 0, pulled back when the block would reach the
// last column (the sampler moves it one further than needed; kept so results stay the same).
int blockStart(float v, int extent, int bin) {
    int v0 = truncToInt(static_cast<double>(v));
    if (v0 < 0) v0 = 0;
    if (v0 >= extent - bin) v0 = extent - bin - 1;
    return std::max(v0, 0);
}

int cubicStart(float v, int extent) {
    int v0 = truncToInt(static_cast<double>(v)) - 1;
    return std::clamp(v0, 0, extent - 4);
}

// Mean of a block, summed row by row in float as the sampler defines it. Small blocks cannot
// lose precision (every partial sum is an integer below 2^24), so an integer sum is identical.
float blockMean(const Image& image, int layer, int x0, int y0, int binWidth, int binHeight) {
    const int x1 = std::min(x0 + binWidth, image.width());
    const int y1 = std::min(y0 + binHeight, image.height());
    const int n = (x1 - x0) * (y1 - y0);
    if (n <= 0) return 0.0f;
    if (n <= 512) {
        int sum = 0;
        for (int y = y0; y < y1; ++y) {
            const Sample* r = image.row(layer, y);
            for (int x = x0; x < x1; ++x) sum += r[x];
        }
        return static_cast<float>(sum) / static_cast<float>(n);
    }
    float sum = 0.0f;
    for (int y = y0; y < y1; ++y) {
        const Sample* r = image.row(layer, y);
        for (int x = x0; x < x1; ++x) sum += static_cast<float>(r[x]);
    }
    return sum / static_cast<float>(n);
}

float cubicAt(const Image& image, int layer, int x0, int y0, const std::array<float, 4>& wx,
              const std::array<float, 4>& wy) {
    float value = 0.0f;
    for (int i = 0; i < 4; ++i) {
        const Sample* r = image.row(layer, y0 + i) + x0;
        float inner = 0.0f;
        for (int j = 0; j < 4; ++j)
            inner += wx[static_cast<std::size_t>(j)] * static_cast<float>(r[j]);
        value += wy[static_cast<std::size_t>(i)] * inner;
    }
    return value;
}

// Final step of a written value: clamp (all layers were sampled), layer factor, conversion.
Sample finish(float v, const float* factor) {
    v = clampToSampleRange(v);
    if (factor) v *= *factor;
    return toSample(v);
}

} // namespace

std::array<float, 4> lagrangeWeights(float t) {
    return {(t - 1.0f) * (t - 2.0f) * (t - 3.0f) / -6.0f, t * (t - 2.0f) * (t - 3.0f) / 2.0f,
            t * (t - 1.0f) * (t - 3.0f) / -2.0f, t * (t - 1.0f) * (t - 2.0f) / 6.0f};
}

float sampleLayer(const Image& image, float x, float y, int layer, int binWidth, int binHeight) {
    if (!image.hasSamples() || layer < 0 || layer >= image.planeCount()) return 0.0f;
    const int w = image.width();
    const int h = image.height();
    if (binWidth * binHeight > 1) {
        return blockMean(image, layer, blockStart(x, w, binWidth), blockStart(y, h, binHeight),
                         binWidth, binHeight);
    }
    if (w < 4 || h < 4) return 0.0f;
    const int x0 = cubicStart(x, w);
    const int y0 = cubicStart(y, h);
    return cubicAt(image, layer, x0, y0, lagrangeWeights(x - static_cast<float>(x0)),
                   lagrangeWeights(y - static_cast<float>(y0)));
}

void sampleAllLayers(const Image& image, float x, float y, int binWidth, int binHeight,
                     float* out) {
    for (int l = 0; l < image.layerCount(); ++l)
        out[l] = clampToSampleRange(sampleLayer(image, x, y, l, binWidth, binHeight));
}

ResampleGeometry resampleGeometry(int sourceWidth, int sourceHeight, int destinationWidth,
                                  int destinationHeight, float scale) {
    ResampleGeometry g;
    g.sx = destinationWidth > 1
               ? static_cast<float>(sourceWidth - 1) / static_cast<float>(destinationWidth - 1)
               : 0.0f;
    g.sy = destinationHeight > 1
               ? static_cast<float>(sourceHeight - 1) / static_cast<float>(destinationHeight - 1)
               : 0.0f;
    if (scale > 0.0f) {
        g.sx = g.sy = 1.0f / scale;
        return g;
    }
    g.binWidth = std::max(1, truncToInt(static_cast<double>(g.sx + 0.0001f)));
    g.binHeight = std::max(1, truncToInt(static_cast<double>(g.sy + 0.0001f)));
    return g;
}

namespace {

struct ColumnTable {
    std::vector<int> x0;
    std::vector<float> w[4];
};

// Horizontal pass over one source row already converted to float: out[x] = sum over the
// four nodes of w_j[x] × row[x0[x] + j], added in node order starting from 0.
void horizontalScalar(float* out, const float* row, const ColumnTable& t, int from, int to) {
    const int* x0 = t.x0.data();
    const float *w0 = t.w[0].data(), *w1 = t.w[1].data(), *w2 = t.w[2].data(), *w3 = t.w[3].data();
    for (int x = from; x < to; ++x) {
        const float* s = row + x0[x];
        float acc = 0.0f;
        acc += w0[x] * s[0];
        acc += w1[x] * s[1];
        acc += w2[x] * s[2];
        acc += w3[x] * s[3];
        out[x] = acc;
    }
}

// The same lane by lane, eight columns at a time: when the eight columns need at most 16
// neighbouring samples, the samples of each node are picked out of two registers.
// `row` must be readable 16 floats beyond the source width.
__attribute__((target("avx2"))) void horizontalAvx2(float* out, const float* row,
                                                    const ColumnTable& t, int width) {
    const int* x0 = t.x0.data();
    const __m256i seven = _mm256_set1_epi32(7);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const int base = x0[x];
        if (x0[x + 7] - base > 12) {
            horizontalScalar(out, row, t, x, x + 8);
            continue;
        }
        const __m256 lo = _mm256_loadu_ps(row + base);
        const __m256 hi = _mm256_loadu_ps(row + base + 8);
        const __m256i d = _mm256_sub_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x0 + x)), _mm256_set1_epi32(base));
        __m256 acc = _mm256_setzero_ps();
        for (int j = 0; j < 4; ++j) {
            const __m256i idx = _mm256_add_epi32(d, _mm256_set1_epi32(j));
            const __m256 fromHigh = _mm256_castsi256_ps(_mm256_cmpgt_epi32(idx, seven));
            const __m256 s = _mm256_blendv_ps(_mm256_permutevar8x32_ps(lo, idx),
                                              _mm256_permutevar8x32_ps(hi, idx), fromHigh);
            acc = _mm256_add_ps(acc, _mm256_mul_ps(_mm256_loadu_ps(t.w[j].data() + x), s));
        }
        _mm256_storeu_ps(out + x, acc);
    }
    horizontalScalar(out, row, t, x, width);
}

struct Horizontal {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(float* out, const float* row, const ColumnTable& t,
                                           int width) {
        if constexpr (L >= simd::Avx2)
            horizontalAvx2(out, row, t, width);
        else
            horizontalScalar(out, row, t, 0, width);
    }
};

// Interpolated rows: horizontal pass of one source row at every destination column, kept for
// the four source rows the current destination row needs.
class RowCache {
public:
    RowCache(int layers, int width, int sourceWidth)
        : width_(width), rows_(static_cast<std::size_t>(layers) * 4) {
        pass_ = simd::select<Horizontal, void(float*, const float*, const ColumnTable&, int),
                             simd::Avx2>();
        data_.allocate(static_cast<std::size_t>(layers) * 4 * static_cast<std::size_t>(width),
                       false);
        row_.allocate(static_cast<std::size_t>(sourceWidth) + 16, true); // padded for loads
        sourceWidth_ = sourceWidth;
        std::fill(rows_.begin(), rows_.end(), -1);
    }
    // Horizontal values of source row `y` of `layer`.
    const float* get(const Image& src, int layer, int y, const ColumnTable& t) {
        const std::size_t slot =
            static_cast<std::size_t>(layer) * 4 + static_cast<std::size_t>(y & 3);
        float* out = data_.data() + slot * static_cast<std::size_t>(width_);
        if (rows_[slot] == y) return out;
        const Sample* r = src.row(layer, y);
        float* f = row_.data();
        typedef short S8 __attribute__((vector_size(16)));
        typedef float F8 __attribute__((vector_size(32)));
        const int n = sourceWidth_;
        int x = 0;
        for (; x + 8 <= n; x += 8) {
            S8 v;
            simd::load(v, r + x);
            const F8 fv = __builtin_convertvector(v, F8);
            simd::store(f + x, fv);
        }
        for (; x < n; ++x) f[x] = static_cast<float>(r[x]);
        pass_(out, f, t, width_);
        rows_[slot] = y;
        return out;
    }

private:
    int width_;
    int sourceWidth_ = 0;
    std::vector<int> rows_;
    void (*pass_)(float*, const float*, const ColumnTable&, int) = nullptr;
    memory::Buffer<float> data_;
    memory::Buffer<float> row_;
};

template <int VW>
using FVec = simd::Vec<VW>;

// out[x] = finish(((0 + wy0·h0) + wy1·h1) + wy2·h2) + wy3·h3), VW columns at a time.
template <int VW>
[[gnu::always_inline]] inline void verticalPassT(Sample* out, int width, const float* const* h,
                                                 const float* wy, const float* factor) {
    using F = typename FVec<VW>::F;
    using I = typename FVec<VW>::I;
    using S = typename FVec<VW>::S;
    int x = 0;
    if (!factor) {
        const F lo = F{} - 32768.0f, hi = F{} + 32767.0f;
        for (; x + VW <= width; x += VW) {
            F a = {}, v;
            for (int i = 0; i < 4; ++i) {
                simd::load(v, h[i] + x);
                a += wy[i] * v;
            }
            a = a == a ? a : F{}; // NaN -> 0
            a = a < lo ? lo : a;  // clamp, then truncate
            a = a > hi ? hi : a;
            const S sv = __builtin_convertvector(__builtin_convertvector(a, I), S);
            simd::store(out + x, sv);
        }
    }
    for (; x < width; ++x) {
        float a = 0.0f;
        for (int i = 0; i < 4; ++i) a += wy[i] * h[i][x];
        out[x] = finish(a, factor);
    }
}

// Both passes take two floats' lanes of samples per step.
struct Vertical {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(Sample* out, int width, const float* const* h,
                                           const float* wy, const float* factor) {
        verticalPassT<2 * simd::kFloats<L>>(out, width, h, wy, factor);
    }
};

// Block means of 2 × 2 without factors: the float mean of an integer sum divided by 4 and
// truncated equals the integer division toward zero, so whole runs of blocks that lie side by
// side (x0 stepping by 2) are summed with integer vectors: each 32-bit lane holds two
// neighbouring samples.
template <int VW>
[[gnu::always_inline]] inline void bin2RowT(Sample* out, const Sample* r0, const Sample* r1,
                                            const int* x0, const int* run, int dw) {
    using I = typename simd::Vec<VW>::I;
    using U = typename simd::Vec<VW>::U;
    using S = typename simd::Vec<VW>::S;
    auto scalar = [&](int x) {
        const int i = x0[x];
        out[x] = static_cast<Sample>((r0[i] + r0[i + 1] + r1[i] + r1[i + 1]) / 4);
    };
    int x = 0;
    while (x < dw) {
        if (x + VW <= dw && run[x] >= VW) {
            I a, b;
            simd::load(a, r0 + x0[x]);
            simd::load(b, r1 + x0[x]);
            const I lowA = reinterpret_cast<I>(reinterpret_cast<U>(a) << 16) >> 16;
            const I lowB = reinterpret_cast<I>(reinterpret_cast<U>(b) << 16) >> 16;
            const I sum = lowA + (a >> 16) + lowB + (b >> 16);
            const I quarter = (sum + ((sum >> 31) & 3)) >> 2; // divides by 4 toward zero
            const S q = __builtin_convertvector(quarter, S);
            simd::store(out + x, q);
            x += VW;
        } else {
            scalar(x++);
        }
    }
}

struct Bin2Row {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(Sample* o, const Sample* r0, const Sample* r1,
                                           const int* x0, const int* run, int dw) {
        bin2RowT<2 * simd::kFloats<L>>(o, r0, r1, x0, run, dw);
    }
};

} // namespace

void resample(Image& destination, const Image& source, const ResampleOptions& options,
              Progress& progress) {
    if (!destination.hasSamples() || !source.hasSamples()) throw Error(msg::unexpected(11));
    if (source.hasOverlay() && !destination.hasOverlay() && !destination.SetOverlay(true))
        throw Error(msg::kOutOfMemory);
    const int sw = source.width(), sh = source.height();
    const int dw = destination.width(), dh = destination.height();
    const ResampleGeometry g = resampleGeometry(sw, sh, dw, dh, options.scale);
    const int target = options.targetLayer;
    if (target < 0 || target >= destination.layerCount()) throw Error(msg::unexpected(11));
    // (source layer, destination layer) pairs.
    std::vector<std::pair<int, int>> layers;
    if (target != 0)
        layers.emplace_back(0, target);
    else
        for (int l = 0; l < std::min(source.layerCount(), destination.layerCount()); ++l)
            layers.emplace_back(l, l);
    const int overlay = source.hasOverlay() ? destination.overlayPlane() : -1;
    const bool block = g.binWidth * g.binHeight > 1;
    {
        // The WCS follows where each pixel takes its value from: the interpolated position, or
        // the centre of the truncated block (a line fitted through the block centres away from
        // the edges, where blocks are pulled inside).
        auto axis = [block](float step, int dst, int extent, int bin, double& scale,
                            double& offset) {
            scale = step, offset = 0;
            if (!block) return;
            offset = (bin - 1) / 2.0;
            double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
            for (int x = 0; x < dst; ++x) {
                const int v0 = truncToInt(static_cast<double>(static_cast<float>(x) * step));
                if (v0 < 0 || v0 >= extent - bin) continue;
                const double c = v0 + (bin - 1) / 2.0;
                n += 1, sx += x, sy += c, sxx += double(x) * x, sxy += double(x) * c;
            }
            const double det = n * sxx - sx * sx;
            if (n < 2 || det == 0) return;
            scale = (n * sxy - sx * sy) / det;
            offset = (sy - scale * sx) / n;
        };
        double sx = 0, ox = 0, sy = 0, oy = 0;
        axis(g.sx, dw, sw, g.binWidth, sx, ox);
        axis(g.sy, dh, sh, g.binHeight, sy, oy);
        scaleImageWcs(destination, source, sx, sy, ox, oy);
    }

    ColumnTable cols;
    cols.x0.resize(static_cast<std::size_t>(dw));
    if (!block)
        for (auto& w : cols.w) w.resize(static_cast<std::size_t>(dw));
    for (int x = 0; x < dw; ++x) {
        const float fx = static_cast<float>(x) * g.sx;
        if (block) {
            cols.x0[static_cast<std::size_t>(x)] = blockStart(fx, sw, g.binWidth);
        } else if (sw >= 4) {
            const int x0 = cubicStart(fx, sw);
            cols.x0[static_cast<std::size_t>(x)] = x0;
            auto w = lagrangeWeights(fx - static_cast<float>(x0));
            for (int j = 0; j < 4; ++j)
                cols.w[j][static_cast<std::size_t>(x)] = w[static_cast<std::size_t>(j)];
        }
    }

    // Length of the run of blocks starting at each column whose starts step by 2.
    std::vector<int> run(static_cast<std::size_t>(dw), 1);
    for (int x = dw - 2; x >= 0; --x)
        if (cols.x0[static_cast<std::size_t>(x) + 1] == cols.x0[static_cast<std::size_t>(x)] + 2)
            run[static_cast<std::size_t>(x)] = run[static_cast<std::size_t>(x) + 1] + 1;
    const simd::Level level = simd::level();
    const auto bin2 =
        simd::Variants<Bin2Row,
                       void(Sample*, const Sample*, const Sample*, const int*, const int*, int),
                       simd::Avx2>::pick(level);
    const auto vertical =
        simd::Variants<Vertical,
                       void(Sample*, int, const float* const*, const float*, const float*),
                       simd::Avx2>::pick(level);

    progress.begin("Neue Größe", dh, 10);
    parallelRows(dh, 16, [&](int first, int last) {
        std::unique_ptr<RowCache> cache;
        if (!block) cache = std::make_unique<RowCache>(source.layerCount(), dw, sw);
        for (int y = first; y < last; ++y) {
            const float fy = static_cast<float>(y) * g.sy;
            for (auto [sl, dl] : layers) {
                Sample* out = destination.row(dl, y);
                const float* factor = options.factors ? &options.factors[sl] : nullptr;
                if (block) {
                    const int y0 = blockStart(fy, sh, g.binHeight);
                    if (g.binWidth == 2 && g.binHeight == 2) {
                        const Sample* r0 = source.row(sl, y0);
                        const Sample* r1 = source.row(sl, y0 + 1);
                        if (!factor) {
                            bin2(out, r0, r1, cols.x0.data(), run.data(), dw);
                            continue;
                        }
                        for (int x = 0; x < dw; ++x) {
                            const int i = cols.x0[static_cast<std::size_t>(x)];
                            const int s = r0[i] + r0[i + 1] + r1[i] + r1[i + 1];
                            out[x] = finish(static_cast<float>(s) / 4.0f, factor);
                        }
                    } else {
                        for (int x = 0; x < dw; ++x)
                            out[x] =
                                finish(blockMean(source, sl, cols.x0[static_cast<std::size_t>(x)],
                                                 y0, g.binWidth, g.binHeight),
                                       factor);
                    }
                } else if (sw < 4 || sh < 4) {
                    std::fill(out, out + dw, Sample{0});
                } else {
                    const int y0 = cubicStart(fy, sh);
                    const auto wy = lagrangeWeights(fy - static_cast<float>(y0));
                    const float* h[4];
                    for (int i = 0; i < 4; ++i) h[i] = cache->get(source, sl, y0 + i, cols);
                    vertical(out, dw, h, wy.data(), factor);
                }
            }
            if (overlay >= 0) {
                Sample* out = destination.row(overlay, y);
                for (int x = 0; x < dw; ++x)
                    out[x] = source.SampleAt(static_cast<double>(static_cast<float>(x) * g.sx),
                                             static_cast<double>(fy), 0x80000000u);
            }
            progress.step();
        }
    });
    progress.end();
    destination.samplesChanged();
}

} // namespace quillon
