// The four alignment mappings of a composite and the accumulation of one exposure.
#include "composite/accumulate.h"

#include "composite/insert_rows.h"

#include "core/error.h"
#include "core/parallel.h"
#include "display/overlay.h"
#include "display/renderer.h"

// The interpolation must round exactly like the sampler, and the mapping arithmetic must not
// depend on the compiler's choice: never fuse multiply and add.
#include "core/exact_float.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <stdexcept>
#include <vector>

namespace quillon {
namespace {

constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kThreeHalfPi = 4.71238911151886f;
constexpr float kTwoPi = 2.0f * kPi;

constexpr const char* kTitles[5] = {"", "Schiebeaddieren", "Drehaddieren", "Zerraddieren",
                                    "Woelbaddieren"};

int truncF(float v) {
    return truncToInt(static_cast<double>(v));
}

float clampToSampleRange(float v) {
    if (v < -32768.0f) return -32768.0f;
    if (v > 32767.0f) return 32767.0f;
    return v;
}

// lagrangeWeights of the sampler, written out here so that it inlines into the pixel loop
// (the same expressions; the alignment test compares the results with the sampler's).
inline std::array<float, 4> weightsAt(float t) {
    return {(t - 1.0f) * (t - 2.0f) * (t - 3.0f) / -6.0f, t * (t - 2.0f) * (t - 3.0f) / 2.0f,
            t * (t - 1.0f) * (t - 3.0f) / -2.0f, t * (t - 1.0f) * (t - 2.0f) / 6.0f};
}

// The 4 × 4 neighbourhood and weights of one position, shared by every layer sampled there.
// Computes what sampleLayer computes for 1 × 1 bins, in the same order.
struct Tap {
    int x0 = 0, y0 = 0;
    std::array<float, 4> wx{}, wy{};

    void placeX(float u, int width) {
        x0 = std::clamp(truncF(u) - 1, 0, width - 4);
        wx = weightsAt(u - static_cast<float>(x0));
    }
    void placeY(float v, int height) {
        y0 = std::clamp(truncF(v) - 1, 0, height - 4);
        wy = weightsAt(v - static_cast<float>(y0));
    }
    float at(const PlaneRows rows) const {
        float value = 0.0f;
        for (int i = 0; i < 4; ++i) {
            const Sample* r = rows[y0 + i] + x0;
            float inner = 0.0f;
            for (int j = 0; j < 4; ++j)
                inner += wx[static_cast<std::size_t>(j)] * static_cast<float>(r[j]);
            value += wy[static_cast<std::size_t>(i)] * inner;
        }
        return value;
    }
};

float length(float dx, float dy) {
    return std::sqrt(dx * dx + dy * dy);
}

// Average step: truncate(R·s/(s+1) + v/(s+1)), the count saturating.
inline void averageInto(Sample& r, Count& count, float v) {
    const float s = static_cast<float>(count);
    const float kept = static_cast<float>(r) * s / (s + 1.0f);
    r = toSample(kept + v / (s + 1.0f));
    if (count < kMaxContributions) ++count;
}

// Average step with exact sums: the mean of everything added so far, rounded once.
inline void averageExact(Sample& r, Count& count, float& sum, float& weight, float v) {
    sum += v;
    weight += 1.0f;
    r = roundedSample(sum / weight);
    if (count < kMaxContributions) ++count;
}

// Sum step: clamp(R + truncate(factor · v + 0.5)), the count saturating.
inline void addInto(Sample& r, Count& count, float v, float factor) {
    r = clampSample(static_cast<long long>(r) + truncF(factor * v + 0.5f));
    if (count < kMaxContributions) ++count;
}

} // namespace

float alignBearing(ReferencePoint p, ReferencePoint q) {
    if (q.y > p.y) return std::atan((p.x - q.x) / (q.y - p.y)) + kPi;
    if (q.y == p.y) {
        if (q.x > p.x) return kHalfPi;
        if (q.x < p.x) return kThreeHalfPi;
        return kTwoPi;
    }
    if (q.x >= p.x) return std::atan((q.x - p.x) / (p.y - q.y));
    return std::atan((p.y - q.y) / (p.x - q.x)) + kThreeHalfPi;
}

ExposureMapping exposureMapping(std::span<const ReferencePoint> source,
                                std::span<const ReferencePoint> target, float sizeFactor) {
    const std::size_t n = source.size();
    if (n < 1 || n > 4 || target.size() != n)
        throw std::invalid_argument("exposureMapping: 1 to 4 point pairs expected");
    ExposureMapping m;
    m.kind = static_cast<int>(n);
    const ReferencePoint *S = source.data(), *T = target.data();
    m.s1 = S[0];
    m.t1 = T[0];
    switch (n) {
    case 1: {
        const float f = sizeFactor;
        m.factor = f;
        m.offsetX = T[0].x - f * S[0].x;
        m.offsetY = T[0].y - f * S[0].y;
        break;
    }
    case 2: {
        const float k =
            length(T[1].x - T[0].x, T[1].y - T[0].y) / length(S[1].x - S[0].x, S[1].y - S[0].y);
        const float theta = alignBearing(T[0], T[1]) - alignBearing(S[0], S[1]);
        m.scale = k;
        m.angle = theta;
        m.a = std::cos(theta) / k;
        m.b = std::sin(theta) / k;
        break;
    }
    case 3: {
        std::array<float, 3> a{T[1].y - T[2].y, T[2].y - T[0].y, T[0].y - T[1].y};
        std::array<float, 3> b{T[2].x - T[1].x, T[0].x - T[2].x, T[1].x - T[0].x};
        std::array<float, 3> c{T[1].x * T[2].y - T[2].x * T[1].y, T[2].x * T[0].y - T[0].x * T[2].y,
                               T[0].x * T[1].y - T[1].x * T[0].y};
        float d = a[0] * T[0].x + a[1] * T[1].x + a[2] * T[2].x;
        if (d == 0.0f) d = 0.000001f;
        for (int i = 0; i < 3; ++i) {
            a[static_cast<std::size_t>(i)] /= d;
            b[static_cast<std::size_t>(i)] /= d;
            c[static_cast<std::size_t>(i)] /= d;
        }
        m.ux = a[0] * S[0].x + a[1] * S[1].x + a[2] * S[2].x;
        m.uy = b[0] * S[0].x + b[1] * S[1].x + b[2] * S[2].x;
        m.u0 = c[0] * S[0].x + c[1] * S[1].x + c[2] * S[2].x;
        m.vx = a[0] * S[0].y + a[1] * S[1].y + a[2] * S[2].y;
        m.vy = b[0] * S[0].y + b[1] * S[1].y + b[2] * S[2].y;
        m.v0 = c[0] * S[0].y + c[1] * S[1].y + c[2] * S[2].y;
        break;
    }
    default: {
        m.alpha = T[0].x - T[1].x;
        m.beta = T[2].x - T[0].x;
        m.gamma = (T[3].x - T[2].x) + m.alpha;
        m.delta = T[0].y - T[1].y;
        m.epsilon = T[2].y - T[0].y;
        m.zeta = (T[3].y - T[2].y) + m.delta;
        m.capK = m.beta * m.delta - m.alpha * m.epsilon;
        m.capA = m.gamma * m.delta - m.alpha * m.zeta;
        m.s2 = S[1];
        m.s3 = S[2];
        m.s4 = S[3];
        break;
    }
    }
    return m;
}

bool ExposureMapping::sourcePosition(float x, float y, float& u, float& v) const {
    switch (kind) {
    case 1:
        u = (x - offsetX) / factor;
        v = (y - offsetY) / factor;
        return true;
    case 2: {
        const float dx = x - t1.x, dy = y - t1.y;
        u = a * dx + b * dy + s1.x;
        v = -b * dx + a * dy + s1.y;
        return true;
    }
    case 3:
        u = x * ux + y * uy + u0;
        v = x * vx + y * vy + v0;
        return true;
    default: {
        const float dx = x - t1.x, dy = y - t1.y;
        const float p = gamma * dy - dx * zeta + capK;
        const float q = beta * dy - dx * epsilon;
        float t;
        if (std::fabs(capA) >= 1e-10f) {
            const float pa = p / capA, qa = q / capA;
            const float disc = pa * pa / 4.0f - qa;
            if (disc < 0.0f) return false;
            const float r = std::sqrt(disc);
            const float t1v = -pa / 2.0f + r, t2v = -pa / 2.0f - r;
            const float d1 = (t1v - 0.5f) * (t1v - 0.5f), d2 = (t2v - 0.5f) * (t2v - 0.5f);
            t = d2 < d1 ? t2v : t1v;
        } else {
            t = -q / p;
        }
        const float g1 = gamma * t + beta, g2 = zeta * t + epsilon;
        const float s = g1 * g1 <= g2 * g2 ? (delta * t + dy) / g2 : (alpha * t + dx) / g1;
        const float w1 = (1.0f - t) * (1.0f - s), w2 = t * (1.0f - s), w3 = (1.0f - t) * s,
                    w4 = t * s;
        u = s1.x * w1 + s2.x * w2 + s3.x * w3 + s4.x * w4;
        v = s1.y * w1 + s2.y * w2 + s3.y * w3 + s4.y * w4;
        return true;
    }
    }
}

int ExposureMapping::overlayBlock() const {
    int w = 1;
    switch (kind) {
    case 1: w = truncF(1.0f / factor + 0.0001f); break;
    case 2:
        w = truncF(std::sqrt(static_cast<float>(truncF(a * a + b * b + 0.01f)) + 0.001f));
        break;
    case 3:
        w = truncF(
            std::sqrt(std::fabs(static_cast<float>(truncF(ux * vy - uy * vx + 0.01f))) + 0.001f));
        break;
    default: w = 1; break;
    }
    return std::max(w, 1);
}

void insertExposure(Image& result, const Image& exposure, std::span<const ReferencePoint> source,
                    std::span<const ReferencePoint> target, const InsertOptions& options,
                    Progress& progress) {
    if (!result.hasSamples() || !result.hasCounters() || !exposure.hasSamples())
        throw std::invalid_argument("insertExposure: result with counters and exposure needed");
    SampleSums* sums = options.sums;
    if (sums && (sums->width() != result.width() || sums->height() != result.height() ||
                 sums->layers() != result.layerCount()))
        throw std::invalid_argument("insertExposure: sums of another size");
    if (options.overwrite && (sums || options.overlayComposition))
        throw std::invalid_argument("insertExposure: overwrite with sums or overlay");
    const ExposureMapping map = exposureMapping(source, target, options.sizeFactor);

    const int resultLayers = result.layerCount();
    const int exposureLayers = exposure.layerCount();
    const Composition* overlay = options.overlayComposition;
    const int row = options.row >= 0 && options.row < resultLayers ? options.row : 0;
    int layer = options.layerIndex;
    if (!overlay && (layer < 0 || layer >= exposureLayers)) layer = 0;
    const bool single = (exposureLayers == 1 && row != 0) || (resultLayers == 1 && layer != 0);
    const bool weighted = !options.factors.empty();
    const bool sum = weighted && !options.average;
    const bool copyOverlay = !overlay && !options.strip && exposure.hasOverlay();
    // The warp limits even a single sampled layer to the sample range.
    const bool limitSingle = map.kind == 4;

    // Everything that can fail happens before the first pixel changes.
    if ((overlay || copyOverlay) && !result.SetOverlay(true)) throw std::bad_alloc();

    // Factor of each result layer; a missing slot repeats the last one. Without factors every
    // value enters with 1, which leaves it as it is.
    std::array<float, kMaxUserLayers> factor;
    factor.fill(1.0f);
    float singleFactor = 1.0f;
    if (weighted) {
        const std::size_t last = options.factors.size() - 1;
        for (std::size_t p = 0; p < factor.size(); ++p)
            factor[p] = options.factors[std::min(p, last)];
        singleFactor =
            options.factors[std::min(static_cast<std::size_t>(std::max(layer, 0)), last)];
    }
    const int layersBoth = std::min(resultLayers, exposureLayers);

    ImageHeader header;
    exposure.GetHeader(header);
    const PlaneRows* planes = header.planes;
    const int ew = exposure.width(), eh = exposure.height();
    const bool canInterpolate = ew >= 4 && eh >= 4;
    const float maxU = static_cast<float>(ew - 1), maxV = static_cast<float>(eh - 1);
    const int block = overlay ? map.overlayBlock() : 1;
    const bool composeWithOverlay =
        overlay && overlay->params().showOverlay && overlay->image().hasOverlay();
    const int method = options.layerIndex;
    const bool transparent = options.strip;
    const int exposureOverlay = exposure.overlayPlane();
    const int resultOverlay = result.overlayPlane();

    // A shift maps columns and rows separately: each column's position and weights are
    // computed once per call instead of once per pixel (the same values).
    const bool shift = map.kind == 1;
    std::vector<float> columnU;
    std::vector<Tap> columnTap;
    if (shift) {
        columnU.resize(static_cast<std::size_t>(result.width()));
        columnTap.resize(columnU.size());
        for (int x = 0; x < result.width(); ++x) {
            float v = 0;
            const auto i = static_cast<std::size_t>(x);
            map.sourcePosition(static_cast<float>(x), 0.0f, columnU[i], v);
            if (canInterpolate) columnTap[i].placeX(columnU[i], ew);
        }
    }

    // The linear mappings without overlays run whole vectors of pixels at once; the scalar
    // loop below finishes each row.
    RowInsertJob vectors;
    ShiftColumns shiftColumns;
    const bool vectorised = !overlay && !copyOverlay && rowInsertApplies(map, ew, eh);
    if (vectorised) {
        vectors.map = &map;
        if (shift) {
            prepareShiftColumns(shiftColumns, map, result.width(), ew);
            vectors.columns = &shiftColumns;
        }
        vectors.resultWidth = result.width();
        vectors.exposureWidth = ew;
        vectors.exposureHeight = eh;
        vectors.sum = sum;
        vectors.sums = sums;
        vectors.clampValues = !single;
        vectors.fresh = options.overwrite;
        vectors.layers = single ? 1 : layersBoth;
        for (int p = 0; p < vectors.layers; ++p) {
            const auto i = static_cast<std::size_t>(p);
            vectors.source[i] = exposure.planeData(single ? layer : p);
            vectors.target[i] = single ? row : p;
            vectors.factor[i] = single ? singleFactor : factor[i];
        }
    }

    progress.begin(kTitles[map.kind], result.height(), 10);
    parallelRows(result.height(), 8, [&](int first, int last) {
        std::array<float, kMaxUserLayers> values{};
        std::array<Sample*, kMaxUserLayers> out{};
        std::array<Count*, kMaxUserLayers> counts{};
        std::array<float*, kMaxUserLayers> sumRows{}, weightRows{};
        Tap tap;
        // One step of the average or sum mode at result layer t, pixel x.
        auto accumulate = [&](std::size_t t, int x, float value, float f) {
            if (sum) {
                addInto(out[t][x], counts[t][x], value, f);
                if (sums) sumRows[t][x] += f * value;
            } else if (sums) {
                averageExact(out[t][x], counts[t][x], sumRows[t][x], weightRows[t][x], f * value);
            } else {
                averageInto(out[t][x], counts[t][x], f * value);
            }
        };
        for (int y = first; y < last; ++y) {
            for (int p = 0; p < resultLayers; ++p) {
                out[static_cast<std::size_t>(p)] = result.row(p, y);
                counts[static_cast<std::size_t>(p)] = result.counterRow(p, y);
                if (sums) {
                    sumRows[static_cast<std::size_t>(p)] = sums->sumRow(p, y);
                    weightRows[static_cast<std::size_t>(p)] = sums->weightRow(p, y);
                }
            }
            if (options.overwrite) {
                const int from = single ? row : 0, to = single ? row + 1 : layersBoth;
                for (int p = from; p < to; ++p) {
                    const auto i = static_cast<std::size_t>(p);
                    std::fill_n(out[i], result.width(), Sample{0});
                    std::fill_n(counts[i], result.width(), Count{0});
                }
            }
            Sample* overlayRow = resultOverlay >= 0 ? result.row(resultOverlay, y) : nullptr;
            const float fy = static_cast<float>(y);
            float rowV = 0;
            if (shift) {
                float u = 0;
                map.sourcePosition(0.0f, fy, u, rowV);
                if (canInterpolate) tap.placeY(rowV, eh);
            }
            const int done =
                vectorised ? insertRowVectors(vectors, y, out.data(), counts.data()) : 0;
            for (int x = done; x < result.width(); ++x) {
                float u = 0, v = 0;
                if (shift) {
                    u = columnU[static_cast<std::size_t>(x)];
                    v = rowV;
                } else if (!map.sourcePosition(static_cast<float>(x), fy, u, v)) {
                    continue;
                }
                if (copyOverlay)
                    overlayRow[x] = static_cast<Sample>(
                        overlayRow[x] |
                        exposure.SampleAt(u, v, static_cast<unsigned>(exposureOverlay)));
                if (!(u >= 0.0f && u <= maxU && v >= 0.0f && v <= maxV)) continue;
                if (overlay) {
                    const std::uint32_t colour =
                        blockColour(*overlay, options.overlayTables, truncF(u + 0.5f),
                                    truncF(v + 0.5f), block, block, composeWithOverlay);
                    if (colour == kOutsideMarker || overlayInactive(colour, method)) continue;
                    overlayRow[x] =
                        static_cast<Sample>(overlayRow[x] | overlaySampleFor(colour, transparent));
                    continue;
                }
                if (canInterpolate) {
                    if (shift) {
                        const Tap& column = columnTap[static_cast<std::size_t>(x)];
                        tap.x0 = column.x0;
                        tap.wx = column.wx;
                    } else {
                        tap.placeX(u, ew);
                        tap.placeY(v, eh);
                    }
                }
                if (single) {
                    float value = canInterpolate ? tap.at(planes[layer]) : 0.0f;
                    if (limitSingle) value = clampToSampleRange(value);
                    accumulate(static_cast<std::size_t>(row), x, value, singleFactor);
                    continue;
                }
                for (int p = 0; p < layersBoth; ++p)
                    values[static_cast<std::size_t>(p)] =
                        canInterpolate ? clampToSampleRange(tap.at(planes[p])) : 0.0f;
                for (int p = 0; p < layersBoth; ++p) {
                    const auto i = static_cast<std::size_t>(p);
                    accumulate(i, x, values[i], factor[i]);
                }
            }
            progress.step();
        }
    });
    progress.end();
    result.samplesChanged();
}

} // namespace quillon
