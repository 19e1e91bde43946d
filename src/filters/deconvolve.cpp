// Lucy-Richardson deconvolution: the correlation engine (vector lanes over the interior, the
// edge rescaling only in the border strips), the iteration and the dialog's numbers.
#include "filters/deconvolve.h"

#include "core/error.h"
#include "core/memory.h"
#include "core/parallel.h"
#include "core/sample.h"
#include "core/simd_dispatch.h"

// The per-pixel sums must round like separate multiply and add at every level, so that any
// level and thread count gives the same result.
#include "core/exact_float.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

namespace quillon {

// ---- the dialog's numbers -------------------------------------------------------------------

int clampIterations(long long typed) {
    return static_cast<int>(std::clamp<long long>(typed, kMinIterations, kMaxIterations));
}
int iterationsPlus(int n) {
    return std::min(clampIterations(n) + 1, kMaxIterations);
}
int iterationsMinus(int n) {
    return std::max(clampIterations(n) - 1, kMinIterations);
}

int selectedLayerCount(const Image& image, LayerMask mask) {
    int n = 0;
    for (int i = 0; i < image.layerCount(); ++i)
        if (layerSelected(mask, i)) ++n;
    return n;
}

double deconvolutionSeconds(int layers, int iterations, int psfWidth, int psfHeight, int imageWidth,
                            int imageHeight) {
    return static_cast<double>(layers) * iterations * psfWidth * psfHeight *
           (static_cast<double>(imageWidth) * imageHeight) / 1000000.0 / 17.0;
}

std::string deconvolutionTimeText(double seconds) {
    char buf[32];
    if (seconds < 60.0)
        std::snprintf(buf, sizeof buf, "%i sek.", static_cast<int>(seconds));
    else if (seconds >= 3600.0)
        std::snprintf(buf, sizeof buf, "%i std.!", static_cast<int>(seconds / 3600.0));
    else
        std::snprintf(buf, sizeof buf, "%i min.", static_cast<int>(seconds / 60.0));
    return buf;
}

bool previewFollows(int layers, int iterations, int psfWidth, int psfHeight) {
    return static_cast<long long>(layers) * iterations * psfWidth * psfHeight < 3000;
}

// ---- correlation engine ---------------------------------------------------------------------

namespace {

// What happens to each correlated value c before it is stored:
// Divide: out = aux ÷ c, a zero c counting as 1 (the ratio of observed to re-blurred);
// Multiply: out = out × c (the estimate times the correction); None: out = c.
enum class Finish { None, Divide, Multiply };

struct Pass {
    const float* in;
    float* out;
    const float* aux; // Divide: the observed plane
    int width, height;
    const float* kernel;
    int kw, kh, hw, hh;
    float total; // the sum of all kernel cells
};

template <Finish F>
inline void finishOne(float* out, const float* aux, std::size_t i, float c) {
    if constexpr (F == Finish::Divide)
        out[i] = aux[i] / (c == 0.0f ? 1.0f : c);
    else if constexpr (F == Finish::Multiply)
        out[i] = out[i] * c;
    else
        out[i] = c;
}

// One pixel with the bounds checks and the rescaling of the edges.
template <Finish F>
void edgePixel(const Pass& p, int x, int y) {
    float acc = 0.0f, outside = 0.0f;
    for (int r = 0; r < p.kh; ++r) {
        const int sy = y - p.hh + r;
        const float* k = p.kernel + static_cast<std::size_t>(r) * p.kw;
        if (sy < 0 || sy >= p.height) {
            for (int c = 0; c < p.kw; ++c) outside += k[c];
            continue;
        }
        const float* src = p.in + static_cast<std::size_t>(sy) * p.width;
        for (int c = 0; c < p.kw; ++c) {
            const int sx = x - p.hw + c;
            if (sx < 0 || sx >= p.width)
                outside += k[c];
            else
                acc += src[sx] * k[c];
        }
    }
    if (outside != 0.0f && p.total - outside != 0.0f) acc = acc * p.total / (p.total - outside);
    finishOne<F>(p.out, p.aux, static_cast<std::size_t>(y) * p.width + x, acc);
}

// Interior pixels x0 … x1 - 1 of row y: every kernel cell lies inside, no checks, no rescaling.
// NV vectors of VW pixels at a time, each lane summing its pixel in kernel order.
template <int VW, int NV, Finish F>
[[gnu::always_inline]] inline void interiorT(const Pass& p, int y, int x0, int x1) {
    using V = typename simd::Vec<VW>::F;
    const std::size_t rowOff = static_cast<std::size_t>(y) * p.width;
    const float* top = p.in + static_cast<std::size_t>(y - p.hh) * p.width - p.hw;
    int x = x0;
    for (; x + NV * VW <= x1; x += NV * VW) {
        V acc[NV];
#pragma GCC unroll 8
        for (int j = 0; j < NV; ++j) acc[j] = V{};
        for (int r = 0; r < p.kh; ++r) {
            const float* src = top + static_cast<std::size_t>(r) * p.width + x;
            const float* k = p.kernel + static_cast<std::size_t>(r) * p.kw;
            for (int c = 0; c < p.kw; ++c) {
                const float kc = k[c];
#pragma GCC unroll 8
                for (int j = 0; j < NV; ++j) {
                    V v;
                    simd::load(v, src + c + j * VW);
                    acc[j] = acc[j] + v * kc;
                }
            }
        }
#pragma GCC unroll 8
        for (int j = 0; j < NV; ++j) {
            const std::size_t i = rowOff + x + j * VW;
            if constexpr (F == Finish::Divide) {
                V o;
                simd::load(o, p.aux + i);
                const V one = V{} + 1.0f;
                const V q = acc[j] == V{} ? one : acc[j];
                simd::store(p.out + i, o / q);
            } else if constexpr (F == Finish::Multiply) {
                V u;
                simd::load(u, p.out + i);
                simd::store(p.out + i, u * acc[j]);
            } else {
                simd::store(p.out + i, acc[j]);
            }
        }
    }
    for (; x < x1; ++x) {
        float acc = 0.0f;
        for (int r = 0; r < p.kh; ++r) {
            const float* src = top + static_cast<std::size_t>(r) * p.width + x;
            const float* k = p.kernel + static_cast<std::size_t>(r) * p.kw;
            for (int c = 0; c < p.kw; ++c) acc += src[c] * k[c];
        }
        finishOne<F>(p.out, p.aux, rowOff + x, acc);
    }
}

using InteriorFn = void (*)(const Pass&, int, int, int);

template <Finish F>
struct Interior {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(const Pass& p, int y, int x0, int x1) {
        interiorT<simd::kFloats<L>, 8, F>(p, y, x0, x1);
    }
};

template <Finish F>
InteriorFn interiorFor(simd::Level level) {
    return simd::Variants<Interior<F>, void(const Pass&, int, int, int)>::pick(level);
}

template <Finish F>
void correlatePass(const Pass& p) {
    const InteriorFn interior = interiorFor<F>(simd::level());
    const int yTop = p.hh, yEnd = p.height - (p.kh - 1 - p.hh);
    const int xLeft = p.hw, xEnd = p.width - (p.kw - 1 - p.hw);
    parallelRows(p.height, 8, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            if (y < yTop || y >= yEnd || xLeft >= xEnd) {
                for (int x = 0; x < p.width; ++x) edgePixel<F>(p, x, y);
                continue;
            }
            for (int x = 0; x < xLeft; ++x) edgePixel<F>(p, x, y);
            interior(p, y, xLeft, xEnd);
            for (int x = xEnd; x < p.width; ++x) edgePixel<F>(p, x, y);
        }
    });
}

Pass makePass(const float* in, float* out, const float* aux, int width, int height,
              const float* kernel, int kw, int kh) {
    float total = 0.0f;
    for (int i = 0; i < kw * kh; ++i) total += kernel[i];
    return {in, out, aux, width, height, kernel, kw, kh, kw / 2, kh / 2, total};
}

// ---- the iteration --------------------------------------------------------------------------

void copyPlane(Image& destination, const Image& source, int plane) {
    const std::size_t n = static_cast<std::size_t>(source.width()) * source.height();
    std::memcpy(destination.planeData(plane), source.planeData(plane), n * sizeof(Sample));
}

// The estimate plus the shift back, as samples.
void writeLayer(Image& destination, int layer, const float* u, float m) {
    const int w = destination.width();
    parallelRows(destination.height(), 32, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            Sample* d = destination.row(layer, y);
            const float* s = u + static_cast<std::size_t>(y) * w;
            for (int x = 0; x < w; ++x) d[x] = toSample(s[x] + m);
        }
    });
    destination.samplesChanged();
}

int layerMinimum(const Image& image, int layer) {
    const Sample* s = image.planeData(layer);
    const std::size_t n = static_cast<std::size_t>(image.width()) * image.height();
    return n ? *std::min_element(s, s + n) : 0;
}

} // namespace

void correlatePlane(const float* in, float* out, int width, int height, const float* kernel,
                    int kernelWidth, int kernelHeight) {
    if (kernelWidth < 1 || kernelHeight < 1 || kernelWidth > width || kernelHeight > height)
        throw Error(msg::kFilterNotApplicable);
    correlatePass<Finish::None>(
        makePass(in, out, nullptr, width, height, kernel, kernelWidth, kernelHeight));
}

void richardsonLucy(const float* observed, float* estimate, int width, int height,
                    const float* kernel, int kernelWidth, int kernelHeight, int iterations,
                    const std::function<void(int)>& afterIteration, bool keepEstimate) {
    if (kernelWidth < 1 || kernelHeight < 1 || kernelWidth > width || kernelHeight > height)
        throw Error(msg::kFilterNotApplicable);
    const std::size_t n = static_cast<std::size_t>(width) * height;
    memory::Buffer<float> ratio(n, false);
    const std::size_t cells = static_cast<std::size_t>(kernelWidth) * kernelHeight;
    // P'[r][c] = P[h - 1 - r][w - 1 - c]: the cells in reverse order.
    const std::vector<float> turned(std::make_reverse_iterator(kernel + cells),
                                    std::make_reverse_iterator(kernel));
    if (!keepEstimate) std::memcpy(estimate, observed, n * sizeof(float));
    const Pass blur = makePass(estimate, ratio.data(), observed, width, height, turned.data(),
                               kernelWidth, kernelHeight);
    const Pass correct =
        makePass(ratio.data(), estimate, nullptr, width, height, kernel, kernelWidth, kernelHeight);
    for (int it = 0; it < iterations; ++it) {
        correlatePass<Finish::Divide>(blur);
        correlatePass<Finish::Multiply>(correct);
        if (afterIteration) afterIteration(it);
    }
}

void deconvolve(Image& destination, const Image& source, const DeconvolveOptions& options,
                Progress& progress) {
    const int w = source.width(), h = source.height(), layers = source.layerCount();
    const Image& minimumSource = options.minimumSource ? *options.minimumSource : source;
    if (!source.hasSamples() || !destination.hasSamples() || destination.width() != w ||
        destination.height() != h || destination.layerCount() != layers ||
        !minimumSource.hasSamples() || minimumSource.layerCount() < layers)
        throw Error(msg::kFilterNotApplicable);
    for (int i = 0; i < layers; ++i) {
        if (!layerSelected(options.mask, i)) continue;
        const PsfKernel& k = source.psf()[static_cast<std::size_t>(i)];
        if (k.width == 0 || k.height == 0 ||
            k.values.size() != static_cast<std::size_t>(k.width) * k.height)
            throw Error(kNoPsfForLayer);
        if (k.width > w || k.height > h) throw Error(msg::kFilterNotApplicable);
    }
    const int iterations = clampIterations(options.iterations);
    const std::size_t n = static_cast<std::size_t>(w) * h;
    memory::Buffer<float> observed(n, false), estimate(n, false);

    const bool copyOverlay = source.hasOverlay() && destination.hasOverlay();
    auto publish = [&](const std::function<void()>& write) {
        if (options.publish)
            options.publish(write);
        else
            write();
    };
    // With a publisher the result starts as the source, so that the layers not done yet show
    // (and stay, after a cancel) as they were.
    publish([&] {
        for (int i = 0; i < layers; ++i)
            if (options.publish || !layerSelected(options.mask, i))
                copyPlane(destination, source, i);
        if (copyOverlay) copyPlane(destination, source, source.overlayPlane());
        destination.samplesChanged();
    });

    progress.begin(kDeconvolutionProgress,
                   static_cast<long long>(iterations) * selectedLayerCount(source, options.mask),
                   1);
    for (int i = 0; i < layers; ++i) {
        if (!layerSelected(options.mask, i)) continue;
        const PsfKernel& k = source.psf()[static_cast<std::size_t>(i)];
        const int kw = k.width, kh = k.height;
        const float m = static_cast<float>(layerMinimum(minimumSource, i));
        parallelRows(h, 32, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                const Sample* s = source.row(i, y);
                float* o = observed.data() + static_cast<std::size_t>(y) * w;
                for (int x = 0; x < w; ++x) o[x] = static_cast<float>(s[x]) - m;
            }
        });
        richardsonLucy(observed.data(), estimate.data(), w, h, k.values.data(), kw, kh, iterations,
                       [&](int) {
                           if (options.publish)
                               publish([&] { writeLayer(destination, i, estimate.data(), m); });
                           progress.step();
                       });
        if (!options.publish) writeLayer(destination, i, estimate.data(), m);
    }
    progress.end();
}

FilterOutcome DeconvolutionFilter::run(Image& destination, const Image& source, LayerMask mask,
                                       Progress& progress) const {
    DeconvolveOptions o;
    o.iterations = iterations_;
    o.minimumSource = minimumSource_;
    o.mask = mask;
    deconvolve(destination, source, o, progress);
    return {};
}

} // namespace quillon
