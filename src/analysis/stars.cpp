// Stars in an image: layer sums, the weighted centroid, the reference search, star detection.
#include "analysis/stars.h"

#include "core/image.h"
#include "core/parallel.h"
#include "core/sample.h"
#include "core/simd.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quillon {

ReferenceSet defaultReferenceSet() {
    return {ReferencePoint{3.0f, 3.0f}, ReferencePoint{8.0f, 3.0f}, ReferencePoint{3.0f, 8.0f},
            ReferencePoint{8.0f, 8.0f}};
}

StarWindow windowAround(int cx, int cy, int half, int width, int height) {
    return {std::max(0, cx - half), std::max(0, cy - half), std::min(width - 1, cx + half),
            std::min(height - 1, cy + half)};
}

LayerSum::LayerSum(const Image& image)
    : LayerSum(image, StarWindow{0, 0, image.width() - 1, image.height() - 1}) {}

LayerSum::LayerSum(const Image& image, memory::Buffer<std::int32_t>&& storage)
    : window_(StarWindow{0, 0, image.width() - 1, image.height() - 1}),
      values_(std::move(storage)) {
    fill(image);
}

LayerSum::LayerSum(const Image& image, const StarWindow& window) : window_(window) {
    fill(image);
}

void LayerSum::fill(const Image& image) {
    const StarWindow window = window_;
    const int width = window.width(), height = window.height();
    if (width <= 0 || height <= 0) {
        window_ = StarWindow{};
        return;
    }
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (values_.size() != count) values_.allocate(count, false);
    const int layers = image.layerCount();
    parallelRows(height, 32, [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            std::int32_t* out =
                values_.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(width);
            const Sample* in = image.row(0, window.top + i) + window.left;
            // In lanes of four, as the tail loops.
            using V = simd::Vec<4>;
            int x = 0;
            for (; x + 4 <= width; x += 4) {
                V::S s;
                simd::load(s, in + x);
                const V::I v = __builtin_convertvector(s, V::I);
                simd::store(out + x, v);
            }
            for (; x < width; ++x) out[x] = in[x];
            for (int p = 1; p < layers; ++p) {
                in = image.row(p, window.top + i) + window.left;
                for (x = 0; x + 4 <= width; x += 4) {
                    V::S s;
                    V::I v;
                    simd::load(s, in + x);
                    simd::load(v, out + x);
                    v += __builtin_convertvector(s, V::I);
                    simd::store(out + x, v);
                }
                for (; x < width; ++x) out[x] += in[x];
            }
        }
    });
}

namespace {

// ---- Reference search ----

constexpr std::string_view kMethodNames[kReferenceMethodCount] = {
    "Pos. Schwerpunkt", "Neg. Schwerpunkt", "Maximum", "Minimum", "Position"};

// The centroid profiles are meant for windows of fewer than 1000 pixels a side.
constexpr int kMaxCentroidHalfSize = 499;

// Start values of the window scan: beyond any sum of up to 32 layers.
constexpr int kScanMinStart = 3276700;
constexpr int kScanMaxStart = -3276800;

// Rows of a search window summed at a time (a window may be 14001 pixels wide).
constexpr int kScanBand = 64;

// Clamps a window centre to half .. size - half - 1. When the window is as wide as the image
// plus one (an even size halved), the lower bound wins and the window is cut at the far edge.
int clampCentre(int c, int half, int size) {
    c = std::min(c, size - half - 1);
    return std::max(c, half);
}

struct Scan {
    int smallest = kScanMinStart;
    int largest = kScanMaxStart;
    int maxX = 0, maxY = 0; // first pixel greater than every pixel before it
    int minX = 0, minY = 0; // first pixel smaller than every pixel before it
};

// Rows from top to bottom, each from left to right; strict comparisons keep the first peak.
void scanRows(const LayerSum& sums, const StarWindow& w, Scan& s) {
    for (int y = w.top; y <= w.bottom; ++y) {
        const std::int32_t* row = sums.row(y) + (w.left - sums.window().left);
        for (int x = w.left; x <= w.right; ++x) {
            const int v = row[x - w.left];
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
    }
}

// The scan of a search window, its layer sums taken a band of rows at a time.
Scan scanWindow(const Image& image, const StarWindow& w) {
    Scan s;
    for (int top = w.top; top <= w.bottom; top += kScanBand) {
        const StarWindow band{w.left, top, w.right, std::min(w.bottom, top + kScanBand - 1)};
        scanRows(LayerSum(image, band), band, s);
    }
    return s;
}

// The centroid of a reference star around its peak: the window of half-size g around the
// clamped peak, each pixel weighing ((v - m) / 4)³ (bright) or ((M - v) / 4)³ (dark). A
// coordinate without a centre keeps the fallback.
ReferencePoint referenceCentroid(const Image& image, int peakX, int peakY, int g, bool bright,
                                 float fallbackX, float fallbackY) {
    const int width = image.width(), height = image.height();
    const StarWindow w =
        windowAround(clampCentre(peakX, g, width), clampCentre(peakY, g, height), g, width, height);
    const LayerSum sums(image, w);
    Scan range;
    scanRows(sums, w, range);
    const int m = range.smallest;
    const int M = range.largest;
    const Centroid c = centroid(sums, w, [&](int v) {
        const double d = (bright ? v - m : M - v) / 4.0;
        return d * d * d;
    });
    ReferencePoint r;
    r.found = c.hasX && c.hasY;
    r.x = c.hasX ? static_cast<float>(c.x) : fallbackX;
    r.y = c.hasY ? static_cast<float>(c.y) : fallbackY;
    return r;
}

// ---- Detection ----

constexpr int kCellSize = 32;        // side of a background cell
constexpr int kClipRounds = 3;       // sigma-clipping rounds per cell
constexpr double kClipSigma = 3.0;   // clipping distance in noise levels
constexpr double kDetectSigma = 5.0; // detection threshold in noise levels
constexpr double kMinNoise = 0.5;    // floor of the noise level (flat or quantised skies)
constexpr int kBorder = 3;           // maxima closer to the edge are not taken
// A star's light spreads: at least three of its four direct neighbours carry a fifth of its
// peak's excess over the sky (a hot pixel or a cosmic-ray hit has at most one such neighbour).
constexpr double kNeighbourShare = 0.2;
constexpr int kMinLitNeighbours = 3;
constexpr int kMinRadius = 3; // centroid window half-sizes
constexpr int kMaxRadius = 10;
constexpr int kCentroidRounds = 4;
constexpr double kMinSeparation = 2.5; // a fainter star this close to a brighter one is dropped

// Cell i of n along a side of `size` pixels covers [i·size/n, (i+1)·size/n).
int cellStart(int i, int n, int size) {
    return static_cast<int>(static_cast<long long>(i) * size / n);
}

template <class T>
T median(std::vector<T>& v) {
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

// Sigma-clipped median and noise of a cell from every other pixel of every other row: the
// median and 1.4826 × the median absolute deviation, recomputed on the values within
// kClipSigma noise levels, a few rounds.
void clippedLevel(const LayerSum& s, int x0, int x1, int y0, int y1, double& level, double& noise) {
    std::vector<float> values, work;
    values.reserve(static_cast<std::size_t>(x1 - x0) * static_cast<std::size_t>(y1 - y0) / 4 + 1);
    for (int y = y0; y < y1; y += 2)
        for (int x = x0; x < x1; x += 2) values.push_back(static_cast<float>(s.row(y)[x]));
    level = 0;
    noise = 0;
    for (int round = 0; round < kClipRounds && !values.empty(); ++round) {
        work = values;
        const float m = median(work);
        for (std::size_t i = 0; i < values.size(); ++i) work[i] = std::abs(values[i] - m);
        level = m;
        noise = 1.4826 * median(work);
        const double limit = kClipSigma * std::max(noise, kMinNoise);
        std::erase_if(values, [&](float v) { return std::abs(v - level) > limit; });
    }
}

// The sky: cell levels smoothed by a 3 × 3 median across cells (so that a cell filled by a
// bright star or a knot of nebulosity takes its neighbours' level), bilinear between cell
// centres, and one noise level for the image (the median of the cells').
class Background {
public:
    explicit Background(const LayerSum& s)
        : width_(s.window().width()), height_(s.window().height()),
          cellsX_(std::max(1, s.window().width() / kCellSize)),
          cellsY_(std::max(1, s.window().height() / kCellSize)) {
        const std::size_t cells = static_cast<std::size_t>(cellsX_) * cellsY_;
        std::vector<double> raw(cells), noises(cells);
        parallelRows(cellsY_, 1, [&](int first, int last) {
            for (int j = first; j < last; ++j)
                for (int i = 0; i < cellsX_; ++i) {
                    const std::size_t k = static_cast<std::size_t>(j) * cellsX_ + i;
                    clippedLevel(s, cellStart(i, cellsX_, width_),
                                 cellStart(i + 1, cellsX_, width_), cellStart(j, cellsY_, height_),
                                 cellStart(j + 1, cellsY_, height_), raw[k], noises[k]);
                }
        });
        levels_.resize(cells);
        std::vector<double> around;
        for (int j = 0; j < cellsY_; ++j)
            for (int i = 0; i < cellsX_; ++i) {
                around.clear();
                for (int b = std::max(0, j - 1); b <= std::min(cellsY_ - 1, j + 1); ++b)
                    for (int a = std::max(0, i - 1); a <= std::min(cellsX_ - 1, i + 1); ++a)
                        around.push_back(raw[static_cast<std::size_t>(b) * cellsX_ + a]);
                levels_[static_cast<std::size_t>(j) * cellsX_ + i] = median(around);
            }
        noise_ = std::max(median(noises), kMinNoise);

        // Horizontal interpolation, the same for every row.
        columnCell_.resize(static_cast<std::size_t>(width_));
        columnWeight_.resize(static_cast<std::size_t>(width_));
        for (int x = 0; x < width_; ++x)
            position(x, width_, cellsX_, columnCell_[static_cast<std::size_t>(x)],
                     columnWeight_[static_cast<std::size_t>(x)]);
    }

    double noise() const { return noise_; }

    // The background of row y into out (width values).
    void row(int y, std::vector<double>& out) const {
        int j = 0;
        double t = 0;
        position(y, height_, cellsY_, j, t);
        const int j1 = std::min(j + 1, cellsY_ - 1);
        std::vector<double> across(static_cast<std::size_t>(cellsX_));
        for (int i = 0; i < cellsX_; ++i)
            across[static_cast<std::size_t>(i)] = (1 - t) * level(i, j) + t * level(i, j1);
        out.resize(static_cast<std::size_t>(width_));
        for (int x = 0; x < width_; ++x) {
            const int i = columnCell_[static_cast<std::size_t>(x)];
            const double u = columnWeight_[static_cast<std::size_t>(x)];
            const int i1 = std::min(i + 1, cellsX_ - 1);
            out[static_cast<std::size_t>(x)] = (1 - u) * across[static_cast<std::size_t>(i)] +
                                               u * across[static_cast<std::size_t>(i1)];
        }
    }

private:
    double level(int i, int j) const { return levels_[static_cast<std::size_t>(j) * cellsX_ + i]; }

    // The cell whose centre is at or before pixel c and the weight of the next one.
    static void position(int c, int size, int cells, int& cell, double& weight) {
        const double f = (c + 0.5) * cells / size - 0.5;
        cell = std::clamp(static_cast<int>(std::floor(f)), 0, cells - 1);
        weight = std::clamp(f - cell, 0.0, 1.0);
    }

    int width_, height_, cellsX_, cellsY_;
    std::vector<double> levels_;
    double noise_ = kMinNoise;
    std::vector<int> columnCell_;
    std::vector<double> columnWeight_;
};

struct Candidate {
    int x, y;
    double background, excess;
};

// Local maxima above the threshold whose direct neighbours share their light. Within a
// plateau only the first pixel in reading order counts (strictly above the neighbours before
// it, at least as high as the ones after it).
std::vector<Candidate> findMaxima(const LayerSum& s, const Background& sky) {
    const double threshold = kDetectSigma * sky.noise();
    std::vector<std::vector<Candidate>> perRow(static_cast<std::size_t>(s.window().height()));
    parallelRows(s.window().height(), 16, [&](int first, int last) {
        std::vector<double> bg;
        for (int y = std::max(first, kBorder); y < std::min(last, s.window().height() - kBorder);
             ++y) {
            sky.row(y, bg);
            const std::int32_t* up = s.row(y - 1);
            const std::int32_t* mid = s.row(y);
            const std::int32_t* down = s.row(y + 1);
            for (int x = kBorder; x < s.window().width() - kBorder; ++x) {
                const std::int32_t v = mid[x];
                const double b = bg[static_cast<std::size_t>(x)];
                const double excess = v - b;
                if (excess < threshold) continue;
                if (!(v > mid[x - 1] && v > up[x - 1] && v > up[x] && v > up[x + 1] &&
                      v >= mid[x + 1] && v >= down[x - 1] && v >= down[x] && v >= down[x + 1]))
                    continue;
                const double share = kNeighbourShare * excess;
                const int lit = (mid[x - 1] - b >= share) + (mid[x + 1] - b >= share) +
                                (up[x] - b >= share) + (down[x] - b >= share);
                if (lit < kMinLitNeighbours) continue;
                perRow[static_cast<std::size_t>(y)].push_back({x, y, b, excess});
            }
        }
    });
    std::vector<Candidate> all;
    for (const auto& r : perRow) all.insert(all.end(), r.begin(), r.end());
    return all;
}

// The centroid window's half-size from the area above half the peak (a circle of the
// half-maximum radius): about 2.5 standard deviations of the star plus one pixel.
int centroidRadius(const LayerSum& s, const Candidate& c) {
    const double half = c.excess / 2;
    int area = 0;
    for (int y = std::max(0, c.y - kMaxRadius);
         y <= std::min(s.window().height() - 1, c.y + kMaxRadius); ++y)
        for (int x = std::max(0, c.x - kMaxRadius);
             x <= std::min(s.window().width() - 1, c.x + kMaxRadius); ++x)
            if (s.row(y)[x] - c.background >= half) ++area;
    const double sigma = std::sqrt(area / std::numbers::pi) / 1.1774;
    return std::clamp(static_cast<int>(std::ceil(2.5 * sigma + 1)), kMinRadius, kMaxRadius);
}

// Background-subtracted centroid, its window moved onto the last estimate until it stays.
// False when the light in the window does not add up or the centroid runs off its peak.
bool starCentroid(const LayerSum& s, const Candidate& c, DetectedStar& star) {
    const int r = centroidRadius(s, c);
    double cx = c.x, cy = c.y, flux = 0;
    int wx = c.x, wy = c.y;
    const double background = c.background;
    for (int round = 0; round < kCentroidRounds; ++round) {
        const StarWindow w = windowAround(wx, wy, r, s.window().width(), s.window().height());
        const Centroid m = centroid(s, w, [background](int v) { return v - background; });
        if (m.total <= 0) return false;
        cx = m.x;
        cy = m.y;
        flux = m.total;
        const int nx = static_cast<int>(std::lround(cx));
        const int ny = static_cast<int>(std::lround(cy));
        if (std::abs(nx - c.x) > r / 2 + 1 || std::abs(ny - c.y) > r / 2 + 1) return false;
        if (nx == wx && ny == wy) break;
        wx = nx;
        wy = ny;
    }
    star = {cx, cy, flux, c.excess};
    return true;
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

int effectiveHalfSize(int halfSize, int width, int height) {
    int h = std::max(halfSize, 0);
    if (h > width / 2) h = width / 2;
    if (h > height / 2) h = height / 2;
    return h;
}

ReferencePoint locateReference(const Image& image, ReferenceMethod method, float x, float y,
                               int searchHalfSize, int centroidHalfSize) {
    if (method == ReferenceMethod::Position) return {x, y, true};
    const int width = image.width();
    const int height = image.height();
    if (!image.hasSamples() || width <= 0 || height <= 0 || image.layerCount() <= 0)
        return {x, y, false};

    const int h = effectiveHalfSize(searchHalfSize, width, height);
    // Truncation toward zero, then the window is kept inside the image.
    // A position far off the image, infinite or NaN saturates instead of reaching an
    // undefined conversion; the window is then kept inside the image.
    const int sx = clampCentre(truncToInt(x), h, width);
    const int sy = clampCentre(truncToInt(y), h, height);
    const ReferencePoint start{static_cast<float>(sx), static_cast<float>(sy), false};

    const Scan s = scanWindow(image, windowAround(sx, sy, h, width, height));
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
    return referenceCentroid(image, bright ? s.maxX : s.minX, bright ? s.maxY : s.minY, g, bright,
                             start.x, start.y);
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

std::vector<DetectedStar> detectStars(const Image& image, int maxStars) {
    if (!image.hasSamples() || image.layerCount() <= 0 || image.width() <= 2 * kBorder ||
        image.height() <= 2 * kBorder || maxStars <= 0)
        return {};
    const LayerSum sums(image);
    const Background sky(sums);
    std::vector<Candidate> candidates = findMaxima(sums, sky);
    // Crowded fields and hot sensors: only the highest peaks are worth a centroid.
    const std::size_t keep = std::max<std::size_t>(1000, 4 * static_cast<std::size_t>(maxStars));
    if (candidates.size() > keep) {
        std::stable_sort(
            candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.excess > b.excess; });
        candidates.resize(keep);
    }

    std::vector<DetectedStar> found;
    for (const Candidate& c : candidates) {
        DetectedStar s;
        if (starCentroid(sums, c, s)) found.push_back(s);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const DetectedStar& a, const DetectedStar& b) { return a.flux > b.flux; });
    std::vector<DetectedStar> stars;
    for (const DetectedStar& s : found) {
        if (static_cast<int>(stars.size()) >= maxStars) break;
        const bool crowded = std::any_of(stars.begin(), stars.end(), [&](const DetectedStar& o) {
            return std::hypot(o.x - s.x, o.y - s.y) < kMinSeparation;
        });
        if (!crowded) stars.push_back(s);
    }
    return stars;
}

} // namespace quillon
