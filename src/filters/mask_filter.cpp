// The convolution engine: rows converted to float once, then blocks of pixels summed tap by
// tap in kernel order with one vector lane per pixel.
#include "filters/mask_filter.h"

#include "core/error.h"
#include "core/parallel.h"
#include "core/simd_dispatch.h"

// The per-pixel sums must round exactly like separate multiply and add; AVX-512 code would
// otherwise fuse them.
#include "core/exact_float.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quillon {
namespace {

// One non-zero coefficient. Zero coefficients are skipped: adding s × 0 (±0) to a sum that
// starts at +0 never changes it, so the result is the same as with every tap. Coefficients
// ±1 need no multiplication (s × 1 and s × −1 are exact).
struct Tap {
    int row;
    int col;
    float k;
    int kind; // 0 multiply-add, 1 add, 2 subtract
};

template <int VW>
using Vec = simd::Vec<VW>;

// The per-pixel arithmetic, for rows narrower than one block.
void convolveScalar(Sample* out, const float* const* rows, const Tap* taps, int ntaps, int ow,
                    float divisor) {
    for (int x = 0; x < ow; ++x) {
        float acc = 0.0f;
        for (int t = 0; t < ntaps; ++t) {
            const float s = rows[taps[t].row][x + taps[t].col];
            switch (taps[t].kind) {
            case 1: acc += s; break;
            case 2: acc -= s; break;
            default: acc += s * taps[t].k; break;
            }
        }
        out[x] = toSample(acc / divisor);
    }
}

// Consecutive taps of one kind. The vector loop branches once per run instead of once per tap,
// so each tap's loads stay inside its own loop (a branch per tap let the compiler load every
// vector of a tap ahead of the branch, which needs more registers than there are).
struct Run {
    int kind;
    int first;
    int end;
};

template <int VW, int NV>
[[gnu::always_inline]] inline void convolveRowT(Sample* out, const float* const* rows,
                                                const Tap* taps, const Run* runs, int nruns, int ow,
                                                float divisor) {
    using F = typename Vec<VW>::F;
    using I = typename Vec<VW>::I;
    using S = typename Vec<VW>::S;
    constexpr int B = VW * NV;
    if (ow < B) {
        convolveScalar(out, rows, taps, nruns ? runs[nruns - 1].end : 0, ow, divisor);
        return;
    }
    // Where each tap reads in this row of the output.
    const int ntaps = nruns ? runs[nruns - 1].end : 0;
    const float* at[kMaxKernelSize * kMaxKernelSize];
    for (int t = 0; t < ntaps; ++t) at[t] = rows[taps[t].row] + taps[t].col;
    const bool divide = divisor != 1.0f;
    const F lo = F{} - 32768.0f, hi = F{} + 32767.0f;
    for (int start = 0; start < ow; start += B) {
        const int x = std::min(start, ow - B); // the last block overlaps its predecessor
        F acc[NV];
#pragma GCC unroll 16
        for (int v = 0; v < NV; ++v) acc[v] = F{};
        for (int g = 0; g < nruns; ++g) {
            const Run run = runs[g];
            if (run.kind == 1) {
                for (int t = run.first; t < run.end; ++t) {
                    const float* p = at[t] + x;
#pragma GCC unroll 16
                    for (int v = 0; v < NV; ++v) {
                        F s;
                        std::memcpy(&s, p + v * VW, sizeof s);
                        acc[v] += s;
                    }
                }
            } else if (run.kind == 2) {
                for (int t = run.first; t < run.end; ++t) {
                    const float* p = at[t] + x;
#pragma GCC unroll 16
                    for (int v = 0; v < NV; ++v) {
                        F s;
                        std::memcpy(&s, p + v * VW, sizeof s);
                        acc[v] -= s;
                    }
                }
            } else {
                for (int t = run.first; t < run.end; ++t) {
                    const float* p = at[t] + x;
                    const float k = taps[t].k;
#pragma GCC unroll 16
                    for (int v = 0; v < NV; ++v) {
                        F s;
                        std::memcpy(&s, p + v * VW, sizeof s);
                        acc[v] += s * k;
                    }
                }
            }
        }
#pragma GCC unroll 16
        for (int v = 0; v < NV; ++v) {
            F r = divide ? acc[v] / divisor : acc[v];
            r = r == r ? r : F{}; // NaN -> 0, then clamp and truncate like toSample
            r = r < lo ? lo : r;
            r = r > hi ? hi : r;
            S s = __builtin_convertvector(__builtin_convertvector(r, I), S);
            std::memcpy(out + x + v * VW, &s, sizeof s);
        }
    }
}

template <int VW>
[[gnu::always_inline]] inline void toFloatT(float* dst, const Sample* src, int n) {
    using F = typename Vec<VW>::F;
    using S = typename Vec<VW>::S;
    int x = 0;
    for (; x + VW <= n; x += VW) {
        S s;
        std::memcpy(&s, src + x, sizeof s);
        F f = __builtin_convertvector(s, F);
        std::memcpy(dst + x, &f, sizeof f);
    }
    for (; x < n; ++x) dst[x] = static_cast<float>(src[x]);
}

using RowFn = void (*)(Sample*, const float* const*, const Tap*, const Run*, int, int, float);
using ConvertFn = void (*)(float*, const Sample*, int);

struct ConvolveRow {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(Sample* o, const float* const* r, const Tap* t,
                                           const Run* g, int n, int w, float d) {
        convolveRowT<simd::kFloats<L>, 8>(o, r, t, g, n, w, d);
    }
};
struct ToFloat {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(float* d, const Sample* s, int n) {
        toFloatT<simd::kFloats<L>>(d, s, n);
    }
};

struct Path {
    RowFn row;
    ConvertFn convert;
};

Path currentPath() {
    const simd::Level level = simd::level();
    return {simd::Variants<ConvolveRow, void(Sample*, const float* const*, const Tap*, const Run*,
                                             int, int, float)>::pick(level),
            simd::Variants<ToFloat, void(float*, const Sample*, int)>::pick(level)};
}

} // namespace

float maskFilter(Image& destination, const Image& source, const Kernel& kernel, LayerMask mask,
                 Progress& progress) {
    const int kw = kernel.width, kh = kernel.height;
    if (kw < kMinKernelSize || kw > kMaxKernelSize || kh < kMinKernelSize || kh > kMaxKernelSize ||
        kernel.coefficients.size() < static_cast<std::size_t>(kw * kh))
        throw Error(msg::kFilterNotApplicable);
    if (!source.hasSamples() || !destination.hasSamples()) throw Error(msg::kFilterNotApplicable);
    const int sw = source.width(), sh = source.height();
    const int ow = sw - kw + 1, oh = sh - kh + 1;
    if (ow < 1 || oh < 1 || destination.width() < ow || destination.height() < oh)
        throw Error(msg::kFilterNotApplicable);
    const int dx = (destination.width() - ow) / 2;
    const int dy = (destination.height() - oh) / 2;
    const int cx = (kw - 1) / 2, cy = (kh - 1) / 2;

    const float sum = kernel.sum();
    const bool zeroSum = sum > -0.0001f && sum < 0.0001f;
    const float divisor = zeroSum ? 1.0f : sum;

    std::vector<Tap> taps;
    for (int r = 0; r < kh; ++r)
        for (int c = 0; c < kw; ++c) {
            const float k = kernel.at(r, c);
            if (k == 0.0f) continue;
            taps.push_back({r, c, k, k == 1.0f ? 1 : (k == -1.0f ? 2 : 0)});
        }
    std::vector<Run> runs;
    for (int t = 0; t < static_cast<int>(taps.size()); ++t) {
        if (runs.empty() || runs.back().kind != taps[static_cast<std::size_t>(t)].kind)
            runs.push_back({taps[static_cast<std::size_t>(t)].kind, t, t});
        runs.back().end = t + 1;
    }
    const Path path = currentPath();

    const int layers = destination.layerCount();
    const bool overlay = destination.hasOverlay();
    progress.begin("Maskenfilter", static_cast<long long>(oh) * (layers + (overlay ? 1 : 0)), 20);

    auto copyCentre = [&](int dp, int sp) {
        parallelRows(oh, 64, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                std::memcpy(destination.row(dp, y + dy) + dx, source.row(sp, y + cy) + cx,
                            static_cast<std::size_t>(ow) * sizeof(Sample));
                progress.step();
            }
        });
    };

    for (int i = 0; i < layers; ++i) {
        if (i >= source.layerCount()) {
            progress.step(oh);
            continue;
        }
        if (!layerSelected(mask, i)) {
            copyCentre(i, i);
            continue;
        }
        parallelRows(oh, 16, [&](int y0, int y1) {
            // Ring of kh float rows: source row y lives in slot y % kh.
            memory::Buffer<float> ring(static_cast<std::size_t>(kh) * static_cast<std::size_t>(sw),
                                       false);
            std::vector<const float*> rows(static_cast<std::size_t>(kh));
            auto slot = [&](int y) {
                return ring.data() +
                       static_cast<std::size_t>(y % kh) * static_cast<std::size_t>(sw);
            };
            for (int y = y0; y < y0 + kh - 1; ++y) path.convert(slot(y), source.row(i, y), sw);
            for (int y = y0; y < y1; ++y) {
                const int newest = y + kh - 1;
                path.convert(slot(newest), source.row(i, newest), sw);
                for (int r = 0; r < kh; ++r) rows[static_cast<std::size_t>(r)] = slot(y + r);
                path.row(destination.row(i, y + dy) + dx, rows.data(), taps.data(), runs.data(),
                         static_cast<int>(runs.size()), ow, divisor);
                progress.step();
            }
        });
    }
    if (overlay) {
        if (source.hasOverlay())
            copyCentre(destination.overlayPlane(), source.overlayPlane());
        else
            progress.step(oh);
    }
    progress.end();
    destination.samplesChanged();
    return zeroSum ? 0.0f : sum;
}

ConvolutionFilter ConvolutionFilter::highpass(int sizePosition, int strengthPosition) {
    return ConvolutionFilter(highpassKernel(sizePosition, strengthPosition), "Hochpassfilter");
}
ConvolutionFilter ConvolutionFilter::lowpass(int sizePosition, int strengthPosition) {
    return ConvolutionFilter(lowpassKernel(sizePosition, strengthPosition), "Tiefpassfilter");
}
ConvolutionFilter ConvolutionFilter::special(int option) {
    return ConvolutionFilter(specialKernel(option), "Spezialfilter");
}

FilterOutcome ConvolutionFilter::run(Image& destination, const Image& source, LayerMask mask,
                                     Progress& progress) const {
    FilterOutcome o;
    const float r = maskFilter(destination, source, kernel_, mask, progress);
    o.zeroSum = r == 0.0f;
    return o;
}

} // namespace quillon
