// Block-mean and cubic Lagrange sampling, and whole-image resampling built on the same arithmetic.
#include "ops/sampler.h"

#include "core/error.h"
#include "core/parallel.h"

// The fast path must round exactly like the per-pixel sampler: never fuse multiply and add.
#pragma GCC optimize("fp-contract=off")

#include <algorithm>
#include <cstring>
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

// Interpolated rows: horizontal pass of one source row at every destination column, kept for
// the four source rows the current destination row needs.
class RowCache {
public:
    RowCache(int layers, int width) : width_(width), rows_(static_cast<std::size_t>(layers) * 4) {
        data_.allocate(static_cast<std::size_t>(layers) * 4 * static_cast<std::size_t>(width),
                       false);
        std::fill(rows_.begin(), rows_.end(), -1);
    }
    // Horizontal values of source row `y` of `layer`.
    const float* get(const Image& src, int layer, int y, const ColumnTable& t) {
        const std::size_t slot =
            static_cast<std::size_t>(layer) * 4 + static_cast<std::size_t>(y & 3);
        float* out = data_.data() + slot * static_cast<std::size_t>(width_);
        if (rows_[slot] == y) return out;
        const Sample* r = src.row(layer, y);
        const int* x0 = t.x0.data();
        const float *w0 = t.w[0].data(), *w1 = t.w[1].data(), *w2 = t.w[2].data(),
                    *w3 = t.w[3].data();
        for (int x = 0; x < width_; ++x) {
            const Sample* s = r + x0[x];
            float acc = 0.0f;
            acc += w0[x] * static_cast<float>(s[0]);
            acc += w1[x] * static_cast<float>(s[1]);
            acc += w2[x] * static_cast<float>(s[2]);
            acc += w3[x] * static_cast<float>(s[3]);
            out[x] = acc;
        }
        rows_[slot] = y;
        return out;
    }

private:
    int width_;
    std::vector<int> rows_;
    memory::Buffer<float> data_;
};

// out[x] = finish(((0 + wy0·h0) + wy1·h1) + wy2·h2) + wy3·h3), eight columns at a time.
void verticalPass(Sample* out, int width, const float* const h[4], const std::array<float, 4>& wy,
                  const float* factor) {
    typedef float V8 __attribute__((vector_size(32)));
    typedef int I8 __attribute__((vector_size(32)));
    int x = 0;
    if (!factor) {
        for (; x + 8 <= width; x += 8) {
            V8 a = {}, v;
            std::memcpy(&v, h[0] + x, sizeof v);
            a += wy[0] * v;
            std::memcpy(&v, h[1] + x, sizeof v);
            a += wy[1] * v;
            std::memcpy(&v, h[2] + x, sizeof v);
            a += wy[2] * v;
            std::memcpy(&v, h[3] + x, sizeof v);
            a += wy[3] * v;
            const V8 lo = V8{} - 32768.0f, hi = V8{} + 32767.0f;
            a = a == a ? a : V8{}; // NaN -> 0
            a = a < lo ? lo : a;   // clamp, then truncate
            a = a > hi ? hi : a;
            I8 iv = __builtin_convertvector(a, I8);
            for (int k = 0; k < 8; ++k) out[x + k] = static_cast<Sample>(iv[k]);
        }
    }
    for (; x < width; ++x) {
        float a = 0.0f;
        a += wy[0] * h[0][x];
        a += wy[1] * h[1][x];
        a += wy[2] * h[2][x];
        a += wy[3] * h[3][x];
        out[x] = finish(a, factor);
    }
}

// Block means of 2 × 2 without factors: the float mean of an integer sum divided by 4 and
// truncated equals the integer division toward zero, so whole runs of blocks that lie side by
// side (x0 stepping by 2) are summed with integer vectors: each 32-bit lane holds two
// neighbouring samples.
template <int VW>
struct BinVec;
template <>
struct BinVec<8> {
    typedef int I __attribute__((vector_size(32)));
    typedef unsigned U __attribute__((vector_size(32)));
    typedef short S __attribute__((vector_size(16)));
};
template <>
struct BinVec<16> {
    typedef int I __attribute__((vector_size(64)));
    typedef unsigned U __attribute__((vector_size(64)));
    typedef short S __attribute__((vector_size(32)));
};

template <int VW>
[[gnu::always_inline]] inline void bin2RowT(Sample* out, const Sample* r0, const Sample* r1,
                                            const int* x0, const int* run, int dw) {
    using I = typename BinVec<VW>::I;
    using U = typename BinVec<VW>::U;
    using S = typename BinVec<VW>::S;
    auto scalar = [&](int x) {
        const int i = x0[x];
        out[x] = static_cast<Sample>((r0[i] + r0[i + 1] + r1[i] + r1[i + 1]) / 4);
    };
    int x = 0;
    while (x < dw) {
        if (x + VW <= dw && run[x] >= VW) {
            I a, b;
            std::memcpy(&a, r0 + x0[x], sizeof a);
            std::memcpy(&b, r1 + x0[x], sizeof b);
            const I lowA = reinterpret_cast<I>(reinterpret_cast<U>(a) << 16) >> 16;
            const I lowB = reinterpret_cast<I>(reinterpret_cast<U>(b) << 16) >> 16;
            const I sum = lowA + (a >> 16) + lowB + (b >> 16);
            const I quarter = sum / 4; // truncates toward zero
            const S q = __builtin_convertvector(quarter, S);
            std::memcpy(out + x, &q, sizeof q);
            x += VW;
        } else {
            scalar(x++);
        }
    }
}

void bin2RowSse2(Sample* o, const Sample* r0, const Sample* r1, const int* x0, const int* run,
                 int dw) {
    bin2RowT<8>(o, r0, r1, x0, run, dw);
}
__attribute__((target("avx2"))) void bin2RowAvx2(Sample* o, const Sample* r0, const Sample* r1,
                                                 const int* x0, const int* run, int dw) {
    bin2RowT<16>(o, r0, r1, x0, run, dw);
}

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
    __builtin_cpu_init();
    const auto bin2 = __builtin_cpu_supports("avx2") ? bin2RowAvx2 : bin2RowSse2;

    progress.begin("Neue Größe", dh, 10);
    parallelRows(dh, 16, [&](int first, int last) {
        std::unique_ptr<RowCache> cache;
        if (!block) cache = std::make_unique<RowCache>(source.layerCount(), dw);
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
                    verticalPass(out, dw, h, wy, factor);
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
    destination.invalidateHistogram();
}

} // namespace quillon
