// Reference star search: the five methods, carrying positions between exposures, the check.
#include "composite/reference_search.h"

#include "core/image.h"
#include "core/sample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace quillon {

namespace {

constexpr std::string_view kMethodNames[kReferenceMethodCount] = {
    "Pos. Schwerpunkt", "Neg. Schwerpunkt", "Maximum", "Minimum", "Position"};

// The centroid profiles are meant for windows of fewer than 1000 pixels a side.
constexpr int kMaxCentroidHalfSize = 499;

// Start values of the window scan: beyond any sum of up to 32 layers.
constexpr int kScanMinStart = 3276700;
constexpr int kScanMaxStart = -3276800;

// Sum of a pixel's samples over the colour layers.
class LayerSum {
public:
    explicit LayerSum(const Image& image) : image_(image), layers_(image.layerCount()) {}
    int operator()(int x, int y) const {
        int v = 0;
        for (int p = 0; p < layers_; ++p) v += image_.row(p, y)[x];
        return v;
    }

private:
    const Image& image_;
    int layers_;
};

// Clamps a window centre to half .. size - half - 1. When the window is as wide as the image
// plus one (an even size halved), the lower bound wins and the window is cut at the far edge.
int clampCentre(int c, int half, int size) {
    c = std::min(c, size - half - 1);
    return std::max(c, half);
}

// A square window around a centre, cut to the image.
struct Window {
    int left, top, right, bottom; // inclusive
};

Window windowAround(int cx, int cy, int half, int width, int height) {
    return {std::max(0, cx - half), std::max(0, cy - half), std::min(width - 1, cx + half),
            std::min(height - 1, cy + half)};
}

struct Scan {
    int smallest = kScanMinStart;
    int largest = kScanMaxStart;
    int maxX = 0, maxY = 0; // first pixel greater than every pixel before it
    int minX = 0, minY = 0; // first pixel smaller than every pixel before it
};

// Rows from top to bottom, each from left to right; strict comparisons keep the first peak.
Scan scanWindow(const LayerSum& value, const Window& w) {
    Scan s;
    for (int y = w.top; y <= w.bottom; ++y)
        for (int x = w.left; x <= w.right; ++x) {
            const int v = value(x, y);
            if (v > s.largest) {
                s.largest = v;
                s.maxX = x;
                s.maxY = y;
            }
            if (v < s.smallest) {
                s.smallest = v;
                s.minX = x;
                s.minY = y;
            }
        }
    return s;
}

// Intensity-weighted centroid around a peak. Each pixel weighs ((v - m) / 4)³ (bright) or
// ((M - v) / 4)³ (dark) in double; the position is the mean of the row and column profiles,
// each profile entry being the mean weight of its row or column. A coordinate whose profile
// sums to 0 keeps the fallback.
LocatedPoint centroid(const LayerSum& value, int peakX, int peakY, int g, int width, int height,
                      bool bright, float fallbackX, float fallbackY) {
    const int cx = clampCentre(peakX, g, width);
    const int cy = clampCentre(peakY, g, height);
    const Window w = windowAround(cx, cy, g, width, height);
    const Scan range = scanWindow(value, w);
    const int m = range.smallest;
    const int M = range.largest;

    const int cols = w.right - w.left + 1;
    const int rows = w.bottom - w.top + 1;
    std::vector<double> rowProfile(static_cast<std::size_t>(rows), 0.0);
    std::vector<double> colProfile(static_cast<std::size_t>(cols), 0.0);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) {
            const int v = value(w.left + j, w.top + i);
            const double d = (bright ? v - m : M - v) / 4.0;
            const double weight = d * d * d;
            rowProfile[static_cast<std::size_t>(i)] += weight;
            colProfile[static_cast<std::size_t>(j)] += weight;
        }

    auto position = [](std::vector<double>& profile, int count, int origin, float fallback,
                       bool& ok) {
        double moment = 0.0, total = 0.0;
        for (std::size_t i = 0; i < profile.size(); ++i) {
            profile[i] /= count;
            moment += static_cast<double>(i) * profile[i];
            total += profile[i];
        }
        if (total == 0.0) {
            ok = false;
            return fallback;
        }
        return static_cast<float>(origin + moment / total);
    };
    LocatedPoint r;
    r.y = position(rowProfile, cols, w.top, fallbackY, r.found);
    r.x = position(colProfile, rows, w.left, fallbackX, r.found);
    return r;
}

} // namespace

std::string_view referenceMethodName(ReferenceMethod method) {
    const auto i = static_cast<std::size_t>(method);
    return i < std::size(kMethodNames) ? kMethodNames[i] : kMethodNames[0];
}

ReferenceMethod referenceMethodFromName(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kMethodNames); ++i)
        if (kMethodNames[i] == name) return static_cast<ReferenceMethod>(i);
    return ReferenceMethod::PositiveCentroid;
}

ReferenceSet defaultReferenceSet() {
    return {LocatedPoint{3.0f, 3.0f}, LocatedPoint{8.0f, 3.0f}, LocatedPoint{3.0f, 8.0f},
            LocatedPoint{8.0f, 8.0f}};
}

int effectiveHalfSize(int halfSize, int width, int height) {
    int h = std::max(halfSize, 0);
    if (h > width / 2) h = width / 2;
    if (h > height / 2) h = height / 2;
    return h;
}

LocatedPoint locateReference(const Image& image, ReferenceMethod method, float x, float y,
                             int searchHalfSize, int centroidHalfSize) {
    if (method == ReferenceMethod::Position) return {x, y, true};
    const int width = image.width();
    const int height = image.height();
    if (!image.hasSamples() || width <= 0 || height <= 0 || image.layerCount() <= 0)
        return {x, y, false};

    const LayerSum value(image);
    const int h = effectiveHalfSize(searchHalfSize, width, height);
    // Truncation toward zero, then the window is kept inside the image (a position far off
    // the image, infinite or NaN saturates instead of reaching an undefined conversion).
    const int sx = clampCentre(truncToInt(x), h, width);
    const int sy = clampCentre(truncToInt(y), h, height);
    const LocatedPoint start{static_cast<float>(sx), static_cast<float>(sy), false};

    const Scan s = scanWindow(value, windowAround(sx, sy, h, width, height));
    // A flat window has no star; the centroid methods with h <= 2 take the same way out.
    if (s.smallest == s.largest) return start;

    switch (method) {
    case ReferenceMethod::Maximum:
        return {static_cast<float>(s.maxX), static_cast<float>(s.maxY), true};
    case ReferenceMethod::Minimum:
        return {static_cast<float>(s.minX), static_cast<float>(s.minY), true};
    case ReferenceMethod::PositiveCentroid:
    case ReferenceMethod::NegativeCentroid: break;
    case ReferenceMethod::Position: return {x, y, true};
    }
    const bool bright = method != ReferenceMethod::NegativeCentroid;
    const int g =
        std::min(effectiveHalfSize(centroidHalfSize, width, height), kMaxCentroidHalfSize);
    return centroid(value, bright ? s.maxX : s.minX, bright ? s.maxY : s.minY, g, width, height,
                    bright, start.x, start.y);
}

ReferenceSet carryReferences(const ReferenceSet& points, int previousWidth, int previousHeight,
                             int width, int height) {
    if (previousWidth <= 10 || previousHeight <= 10) return points;
    const float sx = static_cast<float>(width) / static_cast<float>(previousWidth);
    const float sy = static_cast<float>(height) / static_cast<float>(previousHeight);
    ReferenceSet r = points;
    for (LocatedPoint& p : r) {
        p.x *= sx;
        p.y *= sy;
    }
    return r;
}

ReferenceSet locateReferences(const Image& image, const ReferenceSearchSet& settings,
                              const ReferenceSet& seeds, int count) {
    ReferenceSet r = seeds;
    count = std::clamp(count, 0, kMaxReferencePoints);
    for (int k = 0; k < count; ++k) {
        const auto i = static_cast<std::size_t>(k);
        r[i] = locateReference(image, settings[i], seeds[i].x, seeds[i].y);
    }
    return r;
}

double referenceBearing(const LocatedPoint& p, const LocatedPoint& q) {
    constexpr double kPi = 3.1415927;
    const double px = p.x, py = p.y, qx = q.x, qy = q.y;
    if (qy < py) { // Q above P
        if (qx >= px) return std::atan((qx - px) / (py - qy)) * 180.0 / kPi;
        return std::atan((py - qy) / (px - qx)) * 180.0 / kPi + 270.0;
    }
    if (qy > py) return std::atan((px - qx) / (qy - py)) * 180.0 / kPi + 180.0;
    if (qx > px) return 90.0;
    if (qx < px) return 270.0;
    return 360.0;
}

ReferenceCheck checkReferences(const ReferenceSet& located, const ReferenceSet& seeds, int count) {
    constexpr double kBearingTolerance = 0.15; // degrees
    ReferenceCheck check;
    count = std::clamp(count, 1, kMaxReferencePoints);
    check.pairCount = count - 1;
    auto distance = [](const LocatedPoint& a, const LocatedPoint& b) {
        return std::hypot(static_cast<double>(b.x) - a.x, static_cast<double>(b.y) - a.y);
    };
    for (int k = 0; k + 1 < count; ++k) {
        const auto i = static_cast<std::size_t>(k);
        ReferencePairCheck& c = check.pairs[i];
        c.distance = distance(located[i], located[i + 1]);
        c.seedDistance = distance(seeds[i], seeds[i + 1]);
        c.distanceDeviation = c.distance - c.seedDistance;
        c.distanceOk = std::abs(c.distanceDeviation) <= c.distance / 500.0;
        c.bearing = referenceBearing(located[i], located[i + 1]);
        c.seedBearing = referenceBearing(seeds[i], seeds[i + 1]);
        // Bearings live on a circle: 359.95 and 0.05 are 0.1 degree apart, not 359.9. The
        // difference is taken as the shortest turn from the seed's bearing to the located one.
        double d = std::fmod(c.bearing - c.seedBearing, 360.0);
        if (d > 180.0) d -= 360.0;
        if (d <= -180.0) d += 360.0;
        c.bearingDeviation = d;
        c.bearingOk = std::abs(d) <= kBearingTolerance;
        check.passed = check.passed && c.distanceOk && c.bearingOk;
    }
    return check;
}

ReferenceFollow followReferences(const Image& image, const ReferenceSearchSet& settings,
                                 const ReferenceSet& previous, int previousWidth,
                                 int previousHeight, int count) {
    ReferenceFollow f;
    f.seeds =
        carryReferences(previous, previousWidth, previousHeight, image.width(), image.height());
    f.located = locateReferences(image, settings, f.seeds, count);
    f.check = checkReferences(f.located, f.seeds, count);
    return f;
}

} // namespace quillon
