// Dark/flat calibration (one vectorised pass per layer, rows in parallel) and row/column repair.
#include "ops/calibration.h"

#include "core/error.h"
#include "core/image_type.h"
#include "core/number_text.h"
#include "core/parallel.h"
#include "core/simd_dispatch.h"

// Every pixel must round exactly like the separate subtract, divide, multiply and add of the
// scalar formula; AVX-512 or FMA code would otherwise fuse them.
#include "core/exact_float.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace quillon {
namespace {

template <int VW>
using Vec = simd::Vec<VW>;

// Samples to float and clamped floats back to samples. GCC compiles the generic form well for
// AVX2 and AVX-512; at SSE2 it goes lane by lane, so 4 lanes use unpack and pack directly (the
// same values: sign extension, and truncation toward zero of values already in range).
template <int VW>
struct Convert {
    using F = typename Vec<VW>::F;
    using I = typename Vec<VW>::I;
    using S = typename Vec<VW>::S;
    [[gnu::always_inline]] static inline void load(F& f, const Sample* p) {
        S s;
        simd::load(s, p);
        f = __builtin_convertvector(s, F);
    }
    [[gnu::always_inline]] static inline void store(Sample* p, const F& v) {
        const S r = __builtin_convertvector(__builtin_convertvector(v, I), S);
        simd::store(p, r);
    }
};
#if defined(__SSE2__)
template <>
struct Convert<4> {
    using F = Vec<4>::F;
    [[gnu::always_inline]] static inline void load(F& f, const Sample* p) {
        const __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        const __m128 r = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16));
        std::memcpy(&f, &r, sizeof f);
    }
    [[gnu::always_inline]] static inline void store(Sample* p, const F& v) {
        __m128 f;
        std::memcpy(&f, &v, sizeof f);
        const __m128i i = _mm_cvttps_epi32(f);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packs_epi32(i, i));
    }
};
#endif

// One row's calibration inputs. dark or flat is null when that frame is not applied.
struct RowJob {
    Sample* out;
    const Sample* dark;
    const Sample* flat;
    int width;
    float divisor; // d
    float factor;  // the layer's flat factor
    float offset;  // a
};

// The formula for one pixel; the vector loop below computes the same operations lane by lane.
template <bool D, bool Fl>
inline Sample calibrateOne(Sample old, Sample dark, Sample flat, const RowJob& j,
                           long long& clamped) {
    float v = static_cast<float>(old);
    if constexpr (D) v = v - static_cast<float>(dark) / j.divisor;
    if constexpr (Fl) {
        const float h = static_cast<float>(flat);
        if (h != 0.0f) v = j.factor / h * v;
    }
    v = v + j.offset;
    if (v < -32768.0f) {
        ++clamped;
        v = -32768.0f;
    } else if (v > 32767.0f) {
        ++clamped;
        v = 32767.0f;
    }
    return static_cast<Sample>(static_cast<int>(v));
}

template <int VW, bool D, bool Fl>
[[gnu::always_inline]] inline long long calibrateRowT(const RowJob& j) {
    using F = typename Vec<VW>::F;
    const F lo = F{} - 32768.0f, hi = F{} + 32767.0f;
    const F divisor = F{} + j.divisor, factor = F{} + j.factor, offset = F{} + j.offset;
    const F zero = F{}, one = F{} + 1.0f;
    // Clamped lanes are counted in float (exact below 2^24 per lane and row): selects between
    // float vectors compile to blends at every level, mask-to-integer conversions do not.
    F count = F{};
    int x = 0;
    for (; x + VW <= j.width; x += VW) {
        F v, dk, h;
        Convert<VW>::load(v, j.out + x);
        if constexpr (D) {
            Convert<VW>::load(dk, j.dark + x);
            v = v - dk / divisor;
        }
        if constexpr (Fl) {
            Convert<VW>::load(h, j.flat + x);
            // Lanes with h = 0 divide by zero here, but their quotient is never used.
            const F scaled = factor / h * v;
            v = h != zero ? scaled : v;
        }
        v = v + offset;
        count += v < lo ? one : zero;
        count += v > hi ? one : zero;
        v = v < lo ? lo : v;
        v = v > hi ? hi : v;
        Convert<VW>::store(j.out + x, v);
    }
    long long clamped = 0;
    for (int i = 0; i < VW; ++i) clamped += static_cast<long long>(count[i]);
    for (; x < j.width; ++x)
        j.out[x] = calibrateOne<D, Fl>(j.out[x], D ? j.dark[x] : 0, Fl ? j.flat[x] : 0, j, clamped);
    return clamped;
}

template <int VW>
[[gnu::always_inline]] inline long long calibrateRowAny(const RowJob& j) {
    if (j.dark && j.flat) return calibrateRowT<VW, true, true>(j);
    if (j.dark) return calibrateRowT<VW, true, false>(j);
    if (j.flat) return calibrateRowT<VW, false, true>(j);
    return calibrateRowT<VW, false, false>(j);
}

struct CalibrateRow {
    template <simd::Level L>
    [[gnu::always_inline]] static long long run(const RowJob& j) {
        return calibrateRowAny<simd::kFloats<L>>(j);
    }
};

using RowFn = long long (*)(const RowJob&);

RowFn currentRowFn() {
    return simd::select<CalibrateRow, long long(const RowJob&)>();
}

// A frame matches when it has the image's layer count or is grey, and the image's size.
int checkFrame(const Image& image, const Image& frame, int typeCode, int sizeCode) {
    if (frame.layerCount() != image.layerCount() && frame.type() != BW_IMAGE) return typeCode;
    if (frame.width() != image.width() || frame.height() != image.height()) return sizeCode;
    return CALIBRATION_OK;
}

// The plane of `frame` that serves colour layer q of an image with `layers` layers.
int framePlane(const Image& frame, int layers, int q) {
    return frame.layerCount() == layers ? q : 0;
}

bool validLayer(const Image& image, int layer) {
    return layer == kAllLayers || (layer >= 0 && layer < image.layerCount());
}

} // namespace

std::vector<float> flatMeans(const Image& flat) {
    std::vector<float> means;
    if (!flat.hasSamples() || flat.width() <= 0 || flat.height() <= 0) return means;
    const int w = flat.width(), h = flat.height();
    std::vector<long long> rowMeans(static_cast<std::size_t>(h));
    for (int q = 0; q < flat.layerCount(); ++q) {
        parallelRows(h, 64, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                const Sample* r = flat.row(q, y);
                // Image widths stay far below 65536, so a row sum fits in 32 bits.
                int sum = 0;
                for (int x = 0; x < w; ++x) sum += r[x];
                rowMeans[static_cast<std::size_t>(y)] = sum / w;
            }
        });
        long long total = 0;
        for (long long m : rowMeans) total += m;
        means.push_back(static_cast<float>(total) / static_cast<float>(h));
    }
    return means;
}

int checkCalibrationFrames(const Image& image, const Image* dark, const Image* flat) {
    if (dark) {
        const int code = checkFrame(image, *dark, CALIBRATION_DARK_TYPE, CALIBRATION_DARK_SIZE);
        if (code != CALIBRATION_OK) return code;
    }
    if (flat) return checkFrame(image, *flat, CALIBRATION_FLAT_TYPE, CALIBRATION_FLAT_SIZE);
    return CALIBRATION_OK;
}

CalibrationParams CalibrationParams::fromSettings(const SettingsRecord& s) {
    CalibrationParams c;
    c.darkFile = s.darkFlatDarkFile;
    c.flatFile = s.darkFlatFlatFile;
    c.darkEnabled = (s.darkFlatSwitches & kDarkFlatDarkBit) != 0;
    c.flatEnabled = (s.darkFlatSwitches & kDarkFlatFlatBit) != 0;
    c.automaticFactor = (s.darkFlatSwitches & kDarkFlatAutoBit) != 0;
    c.offset = std::clamp(s.darkFlatAddVal, kMinOffset, kMaxOffset);
    c.darkDivisor = std::clamp(fromStoredReal(s.darkFlatDarkDiv), kMinDarkDivisor, kMaxDarkDivisor);
    c.flatFactor = std::clamp(fromStoredReal(s.darkFlatFlatFkt), kMinFlatFactor, kMaxFlatFactor);
    return c;
}

void CalibrationParams::storeInto(SettingsRecord& s) const {
    s.darkFlatSwitches = (darkEnabled ? kDarkFlatDarkBit : 0) |
                         (flatEnabled ? kDarkFlatFlatBit : 0) |
                         (automaticFactor ? kDarkFlatAutoBit : 0);
    s.darkFlatDarkFile = darkFile;
    s.darkFlatFlatFile = flatFile;
    s.darkFlatDarkDiv = toStoredReal(darkDivisor);
    s.darkFlatFlatFkt = toStoredReal(flatFactor);
    s.darkFlatAddVal = offset;
}

std::string CalibrationParams::rangeProblem(const std::string& field) const {
    std::string p = quillon::rangeProblem(field + ".darkDivisor", darkDivisor, kMinDarkDivisor,
                                          kMaxDarkDivisor);
    if (p.empty())
        p = quillon::rangeProblem(field + ".flatFactor", flatFactor, kMinFlatFactor,
                                  kMaxFlatFactor);
    if (p.empty()) p = quillon::rangeProblem(field + ".offset", offset, kMinOffset, kMaxOffset);
    return p;
}

CalibrationOutcome darkFlatCorrect(Image& image, const Image* dark, const Image* flat,
                                   const CalibrationParams& params, Progress& progress) {
    return darkFlatCorrect(image, dark, flat, params, std::vector<float>{}, progress);
}

CalibrationOutcome darkFlatCorrect(Image& image, const Image* dark, const Image* flat,
                                   const CalibrationParams& params,
                                   const std::vector<float>& precomputedMeans, Progress& progress) {
    CalibrationOutcome outcome;
    if (!dark && !flat) return outcome;
    outcome.code = checkCalibrationFrames(image, dark, flat);
    if (outcome.code != CALIBRATION_OK || !image.hasSamples()) return outcome;

    const int layers = image.layerCount();
    const int w = image.width(), h = image.height();
    std::vector<float> means;
    const float flatFactor = params.appliedFlatFactor();
    const float darkDivisor = static_cast<float>(params.darkDivisor);
    if (flat && flatFactor == 0.0f) {
        if (precomputedMeans.size() == static_cast<std::size_t>(flat->layerCount()))
            means = precomputedMeans;
        else
            means = flatMeans(*flat);
    }
    const RowFn rowFn = currentRowFn();
    std::atomic<long long> clamped{0};

    progress.begin("Dunkelstrom/Flatfield", static_cast<long long>(h) * layers, 50);
    for (int q = 0; q < layers; ++q) {
        const int dq = dark ? framePlane(*dark, layers, q) : 0;
        const int fq = flat ? framePlane(*flat, layers, q) : 0;
        const float factor = means.empty() ? flatFactor : means[static_cast<std::size_t>(fq)];
        parallelRows(h, 32, [&](int y0, int y1) {
            long long local = 0;
            try {
                for (int y = y0; y < y1; ++y) {
                    const RowJob job{image.row(q, y),
                                     dark ? dark->row(dq, y) : nullptr,
                                     flat ? flat->row(fq, y) : nullptr,
                                     w,
                                     darkDivisor,
                                     factor,
                                     static_cast<float>(params.offset)};
                    local += rowFn(job);
                    progress.step();
                }
            } catch (...) {
                clamped += local;
                throw;
            }
            clamped += local;
        });
    }
    progress.end();
    image.samplesChanged();
    outcome.clamped = clamped.load();
    return outcome;
}

std::string calibrationMessage(int code) {
    switch (code) {
    case CALIBRATION_DARK_TYPE: return "Das Dunkelstrombild ist vom falschen Bildtyp!";
    case CALIBRATION_DARK_SIZE:
        return "Das Dunkelstrombild hat die falsche Größe\n(muß genauso groß sein, wie das zu "
               "bearbeitende Bild!)";
    case CALIBRATION_FLAT_TYPE: return "Das Flatfield-Bild ist vom falschen Bildtyp!";
    case CALIBRATION_FLAT_SIZE:
        return "Das Flatfield-Bild hat die falsche Größe\n(muß genauso groß sein, wie das zu "
               "bearbeitende Bild!)";
    default: return {};
    }
}

std::string calibrationTitleLabel(bool dark, bool flat) {
    if (dark && flat) return "<Dunkel+Flatkorr.>";
    if (dark) return "<Dunkelkorr.>";
    if (flat) return "<Flatkorr.>";
    return {};
}

std::string clampedNotice(long long clamped) {
    if (clamped <= 0) return {};
    if (clamped == 1) return "1 Wert lag außerhalb des Wertebereichs und wurde begrenzt.";
    return std::to_string(clamped) +
           " Werte lagen außerhalb des Wertebereichs und wurden begrenzt.";
}

void repairColumn(Image& image, int column, int top, int bottom, int layer) {
    const int w = image.width(), h = image.height();
    if (!image.hasSamples() || w < 2 || column < 0 || column >= w || top < 0 || bottom > h ||
        top >= bottom)
        throw Error("Die Spalte liegt nicht im Bild.");
    if (!validLayer(image, layer)) throw Error("Diese Ebene gibt es im Bild nicht.");
    const int left = column == 0 ? 1 : column - 1;
    const int right = column + 1 == w ? left : column + 1;
    const int first = layer == kAllLayers ? 0 : layer;
    const int last = layer == kAllLayers ? image.layerCount() : layer + 1;
    for (int q = first; q < last; ++q)
        for (int y = top; y < bottom; ++y) {
            Sample* r = image.row(q, y);
            r[column] = static_cast<Sample>((r[left] + r[right]) / 2);
        }
    image.samplesChanged();
}

void repairRow(Image& image, int row, int left, int right, int layer) {
    const int w = image.width(), h = image.height();
    if (!image.hasSamples() || h < 2 || row < 0 || row >= h || left < 0 || right > w ||
        left >= right)
        throw Error("Die Zeile liegt nicht im Bild.");
    if (!validLayer(image, layer)) throw Error("Diese Ebene gibt es im Bild nicht.");
    const int above = row == 0 ? 1 : row - 1;
    const int below = row + 1 == h ? above : row + 1;
    const int first = layer == kAllLayers ? 0 : layer;
    const int last = layer == kAllLayers ? image.layerCount() : layer + 1;
    for (int q = first; q < last; ++q) {
        Sample* r = image.row(q, row);
        const Sample* a = image.row(q, above);
        const Sample* b = image.row(q, below);
        for (int x = left; x < right; ++x) r[x] = static_cast<Sample>((a[x] + b[x]) / 2);
    }
    image.samplesChanged();
}

void repair(Image& image, const RepairParams& p) {
    if (p.row)
        repairRow(image, p.index, p.from, p.to, p.layer);
    else
        repairColumn(image, p.index, p.from, p.to, p.layer);
}

int repairChoiceFromSettings(const SettingsRecord& s, int layerCount) {
    return std::clamp(s.selectLayer, 0, layerCount);
}

void storeRepairChoice(int choice, SettingsRecord& s) {
    s.selectLayer = choice;
}

int repairLayerOfChoice(int choice, int layerCount) {
    return choice >= layerCount ? kAllLayers : choice;
}

} // namespace quillon
