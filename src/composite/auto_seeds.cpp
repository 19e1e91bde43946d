// Star detection, triangle matching of two star lists and seeds mapped through the fit.
#include "composite/auto_seeds.h"

#include "core/image.h"
#include "core/memory.h"
#include "core/parallel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace quillon {

namespace {

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

// The sum of each pixel's samples over the colour layers.
struct LayerSums {
    int width = 0, height = 0;
    memory::Buffer<std::int32_t> values;
    const std::int32_t* row(int y) const {
        return values.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    }
};

LayerSums sumLayers(const Image& image) {
    LayerSums s;
    s.width = image.width();
    s.height = image.height();
    s.values.allocate(static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height),
                      false);
    const int layers = image.layerCount();
    parallelRows(s.height, 32, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            std::int32_t* out = s.values.data() + static_cast<std::size_t>(y) * s.width;
            const Sample* in = image.row(0, y);
            for (int x = 0; x < s.width; ++x) out[x] = in[x];
            for (int p = 1; p < layers; ++p) {
                in = image.row(p, y);
                for (int x = 0; x < s.width; ++x) out[x] += in[x];
            }
        }
    });
    return s;
}

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
void clippedLevel(const LayerSums& s, int x0, int x1, int y0, int y1, double& level,
                  double& noise) {
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
    explicit Background(const LayerSums& s)
        : width_(s.width), height_(s.height), cellsX_(std::max(1, s.width / kCellSize)),
          cellsY_(std::max(1, s.height / kCellSize)) {
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
std::vector<Candidate> findMaxima(const LayerSums& s, const Background& sky) {
    const double threshold = kDetectSigma * sky.noise();
    std::vector<std::vector<Candidate>> perRow(static_cast<std::size_t>(s.height));
    parallelRows(s.height, 16, [&](int first, int last) {
        std::vector<double> bg;
        for (int y = std::max(first, kBorder); y < std::min(last, s.height - kBorder); ++y) {
            sky.row(y, bg);
            const std::int32_t* up = s.row(y - 1);
            const std::int32_t* mid = s.row(y);
            const std::int32_t* down = s.row(y + 1);
            for (int x = kBorder; x < s.width - kBorder; ++x) {
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
int centroidRadius(const LayerSums& s, const Candidate& c) {
    const double half = c.excess / 2;
    int area = 0;
    for (int y = std::max(0, c.y - kMaxRadius); y <= std::min(s.height - 1, c.y + kMaxRadius); ++y)
        for (int x = std::max(0, c.x - kMaxRadius); x <= std::min(s.width - 1, c.x + kMaxRadius);
             ++x)
            if (s.row(y)[x] - c.background >= half) ++area;
    const double sigma = std::sqrt(area / std::numbers::pi) / 1.1774;
    return std::clamp(static_cast<int>(std::ceil(2.5 * sigma + 1)), kMinRadius, kMaxRadius);
}

// Background-subtracted centroid, its window moved onto the last estimate until it stays.
// False when the light in the window does not add up or the centroid runs off its peak.
bool centroid(const LayerSums& s, const Candidate& c, DetectedStar& star) {
    const int r = centroidRadius(s, c);
    double cx = c.x, cy = c.y, flux = 0;
    int wx = c.x, wy = c.y;
    for (int round = 0; round < kCentroidRounds; ++round) {
        double sum = 0, mx = 0, my = 0;
        for (int y = std::max(0, wy - r); y <= std::min(s.height - 1, wy + r); ++y)
            for (int x = std::max(0, wx - r); x <= std::min(s.width - 1, wx + r); ++x) {
                const double e = s.row(y)[x] - c.background;
                sum += e;
                mx += e * (x - wx);
                my += e * (y - wy);
            }
        if (sum <= 0) return false;
        cx = wx + mx / sum;
        cy = wy + my / sum;
        flux = sum;
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

// ---- Matching ----

constexpr int kTriangleStars = 36;       // brightest stars of each list forming triangles
constexpr int kFitStars = 100;           // brightest stars of each list taking part in the fit
constexpr double kMinSide = 4.0;         // shortest side of a usable triangle, in pixels
constexpr double kMinFlatness = 0.01;    // (a + b) / c - 1 below this: too flat to orient
constexpr double kShapeTolerance = 0.01; // of the side ratios
constexpr double kMaxScaleDeviation = 0.1;
constexpr int kHypothesisPairs = 20;     // best-voted pairs proposing transforms
constexpr double kMinBaseline = 10.0;    // of two pairs proposing a transform, in pixels
constexpr double kSearchTolerance = 3.0; // pixels, while choosing and refining the transform
constexpr double kFinalTolerance = 1.5;  // pixels, for the pairs of the final fit
constexpr int kRefineRounds = 4;
constexpr int kMinStars = 6;
constexpr int kMinMatches = 6;

// A triangle of three stars: its sides a <= b <= c as ratios to c, its size, its turning
// sense and its vertices, each named by the side opposite it.
struct Triangle {
    double r1, r2, c;
    bool clockwise;
    std::array<int, 3> vertex; // opposite a, b, c
};

std::vector<Triangle> triangles(std::span<const DetectedStar> stars) {
    const int n = std::min(static_cast<int>(stars.size()), kTriangleStars);
    std::vector<Triangle> result;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            for (int k = j + 1; k < n; ++k) {
                const std::array<int, 3> v = {i, j, k};
                // Side opposite vertex v[m] joins the other two.
                std::array<std::pair<double, int>, 3> sides;
                for (int m = 0; m < 3; ++m) {
                    const DetectedStar& p = stars[static_cast<std::size_t>(v[(m + 1) % 3])];
                    const DetectedStar& q = stars[static_cast<std::size_t>(v[(m + 2) % 3])];
                    sides[static_cast<std::size_t>(m)] = {std::hypot(p.x - q.x, p.y - q.y), v[m]};
                }
                std::sort(sides.begin(), sides.end());
                const double a = sides[0].first, b = sides[1].first, c = sides[2].first;
                if (a < kMinSide || (a + b) / c - 1 < kMinFlatness) continue;
                const DetectedStar& pa = stars[static_cast<std::size_t>(sides[0].second)];
                const DetectedStar& pb = stars[static_cast<std::size_t>(sides[1].second)];
                const DetectedStar& pc = stars[static_cast<std::size_t>(sides[2].second)];
                const double cross = (pb.x - pa.x) * (pc.y - pa.y) - (pb.y - pa.y) * (pc.x - pa.x);
                result.push_back({a / c,
                                  b / c,
                                  c,
                                  cross > 0,
                                  {sides[0].second, sides[1].second, sides[2].second}});
            }
    return result;
}

struct Pair {
    int ref, exp;
};

// Votes of similar triangles for vertex pairs; the pairs whose stars voted for each other
// most, best-voted first.
std::vector<Pair> votedPairs(std::span<const DetectedStar> reference,
                             std::span<const DetectedStar> exposure) {
    const std::vector<Triangle> ref = triangles(reference);
    std::vector<Triangle> exp = triangles(exposure);
    std::sort(exp.begin(), exp.end(),
              [](const Triangle& a, const Triangle& b) { return a.r1 < b.r1; });
    std::array<std::array<int, kTriangleStars>, kTriangleStars> votes{};
    for (const Triangle& t : ref) {
        auto it = std::lower_bound(exp.begin(), exp.end(), t.r1 - kShapeTolerance,
                                   [](const Triangle& e, double value) { return e.r1 < value; });
        for (; it != exp.end() && it->r1 <= t.r1 + kShapeTolerance; ++it) {
            if (std::abs(it->r2 - t.r2) > kShapeTolerance || it->clockwise != t.clockwise) continue;
            if (std::abs(it->c / t.c - 1) > kMaxScaleDeviation) continue;
            for (std::size_t m = 0; m < 3; ++m)
                ++votes[static_cast<std::size_t>(t.vertex[m])]
                       [static_cast<std::size_t>(it->vertex[m])];
        }
    }
    std::vector<std::pair<int, Pair>> pairs;
    for (int i = 0; i < kTriangleStars; ++i) {
        const auto& row = votes[static_cast<std::size_t>(i)];
        const int j = static_cast<int>(std::max_element(row.begin(), row.end()) - row.begin());
        const int best = row[static_cast<std::size_t>(j)];
        if (best == 0) continue;
        bool mutual = true;
        for (int k = 0; k < kTriangleStars && mutual; ++k)
            if (k != i && votes[static_cast<std::size_t>(k)][static_cast<std::size_t>(j)] >= best)
                mutual = false;
        if (mutual) pairs.push_back({best, {i, j}});
    }
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<Pair> result;
    for (const auto& p : pairs) result.push_back(p.second);
    return result;
}

struct Point {
    double x, y;
};

Point map(const StarTransform& t, const DetectedStar& s) {
    Point p;
    t.apply(s.x, s.y, p.x, p.y);
    return p;
}

// Least-squares similarity of reference positions onto exposure positions.
StarTransform fitSimilarity(std::span<const DetectedStar> reference,
                            std::span<const DetectedStar> exposure, std::span<const Pair> pairs) {
    double rx = 0, ry = 0, ex = 0, ey = 0;
    for (const Pair& p : pairs) {
        rx += reference[static_cast<std::size_t>(p.ref)].x;
        ry += reference[static_cast<std::size_t>(p.ref)].y;
        ex += exposure[static_cast<std::size_t>(p.exp)].x;
        ey += exposure[static_cast<std::size_t>(p.exp)].y;
    }
    const double n = static_cast<double>(pairs.size());
    rx /= n;
    ry /= n;
    ex /= n;
    ey /= n;
    double dot = 0, cross = 0, norm = 0;
    for (const Pair& p : pairs) {
        const double ax = reference[static_cast<std::size_t>(p.ref)].x - rx;
        const double ay = reference[static_cast<std::size_t>(p.ref)].y - ry;
        const double bx = exposure[static_cast<std::size_t>(p.exp)].x - ex;
        const double by = exposure[static_cast<std::size_t>(p.exp)].y - ey;
        dot += ax * bx + ay * by;
        cross += ax * by - ay * bx;
        norm += ax * ax + ay * ay;
    }
    StarTransform t;
    if (norm <= 0) {
        t.shiftX = ex - rx;
        t.shiftY = ey - ry;
        return t;
    }
    const double a = dot / norm, b = cross / norm;
    t.scale = std::hypot(a, b);
    t.angle = std::atan2(b, a);
    t.shiftX = ex - (a * rx - b * ry);
    t.shiftY = ey - (b * rx + a * ry);
    return t;
}

// Reference stars paired with the nearest mapped exposure star within the tolerance, where
// each of the two is the other's nearest.
std::vector<Pair> pairsWithin(const StarTransform& t, std::span<const DetectedStar> reference,
                              std::span<const DetectedStar> exposure, double tolerance) {
    const double limit = tolerance * tolerance;
    std::vector<Point> mapped;
    for (const DetectedStar& s : reference) mapped.push_back(map(t, s));
    std::vector<int> nearestRef(exposure.size(), -1);
    std::vector<double> nearestRefDistance(exposure.size(), limit);
    std::vector<int> nearestExp(mapped.size(), -1);
    for (std::size_t i = 0; i < mapped.size(); ++i) {
        double best = limit;
        for (std::size_t j = 0; j < exposure.size(); ++j) {
            const double dx = exposure[j].x - mapped[i].x, dy = exposure[j].y - mapped[i].y;
            const double d = dx * dx + dy * dy;
            if (d <= best) {
                best = d;
                nearestExp[i] = static_cast<int>(j);
            }
            if (d <= nearestRefDistance[j]) {
                nearestRefDistance[j] = d;
                nearestRef[j] = static_cast<int>(i);
            }
        }
    }
    std::vector<Pair> pairs;
    for (std::size_t i = 0; i < mapped.size(); ++i) {
        const int j = nearestExp[i];
        if (j >= 0 && nearestRef[static_cast<std::size_t>(j)] == static_cast<int>(i))
            pairs.push_back({static_cast<int>(i), j});
    }
    return pairs;
}

// The similarity taking reference stars p, q onto exposure stars; false when the two are too
// close to fix it or the scale is far from 1.
bool similarityOf(const DetectedStar& p, const DetectedStar& q, const DetectedStar& pe,
                  const DetectedStar& qe, StarTransform& t) {
    const double dx = q.x - p.x, dy = q.y - p.y;
    const double ex = qe.x - pe.x, ey = qe.y - pe.y;
    const double d = std::hypot(dx, dy);
    if (d < kMinBaseline) return false;
    t.scale = std::hypot(ex, ey) / d;
    if (std::abs(t.scale - 1) > kMaxScaleDeviation) return false;
    t.angle = std::atan2(ey, ex) - std::atan2(dy, dx);
    const double a = t.scale * std::cos(t.angle), b = t.scale * std::sin(t.angle);
    t.shiftX = pe.x - (a * p.x - b * p.y);
    t.shiftY = pe.y - (b * p.x + a * p.y);
    return true;
}

double rmsOf(const StarTransform& t, std::span<const DetectedStar> reference,
             std::span<const DetectedStar> exposure, std::span<const Pair> pairs) {
    double sum = 0;
    for (const Pair& p : pairs) {
        const Point m = map(t, reference[static_cast<std::size_t>(p.ref)]);
        const DetectedStar& e = exposure[static_cast<std::size_t>(p.exp)];
        sum += (m.x - e.x) * (m.x - e.x) + (m.y - e.y) * (m.y - e.y);
    }
    return pairs.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(pairs.size()));
}

} // namespace

std::vector<DetectedStar> detectStars(const Image& image, int maxStars) {
    if (!image.hasSamples() || image.layerCount() <= 0 || image.width() <= 2 * kBorder ||
        image.height() <= 2 * kBorder || maxStars <= 0)
        return {};
    const LayerSums sums = sumLayers(image);
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
        if (centroid(sums, c, s)) found.push_back(s);
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

void StarTransform::apply(double x, double y, double& outX, double& outY) const {
    const double a = scale * std::cos(angle), b = scale * std::sin(angle);
    outX = a * x - b * y + shiftX;
    outY = b * x + a * y + shiftY;
}

std::string_view starMatchFailureText(StarMatchFailure failure) {
    switch (failure) {
    case StarMatchFailure::None: return "";
    case StarMatchFailure::TooFewReferenceStars:
        return "Im Referenzbild wurden zu wenige Sterne gefunden.";
    case StarMatchFailure::TooFewExposureStars: return "Im Bild wurden zu wenige Sterne gefunden.";
    case StarMatchFailure::NoCommonTriangles:
        return "Das Bild hat keine Sterndreiecke mit dem Referenzbild gemeinsam.";
    case StarMatchFailure::TooFewMatches:
        return "Zu wenige Sterne stimmen mit dem Referenzbild überein.";
    }
    return "";
}

StarMatch matchStars(std::span<const DetectedStar> reference,
                     std::span<const DetectedStar> exposure) {
    StarMatch result;
    auto fail = [&](StarMatchFailure f) {
        result.failure = f;
        return result;
    };
    if (reference.size() < kMinStars) return fail(StarMatchFailure::TooFewReferenceStars);
    if (exposure.size() < kMinStars) return fail(StarMatchFailure::TooFewExposureStars);

    const std::vector<Pair> voted = votedPairs(reference, exposure);
    if (voted.size() < 2) return fail(StarMatchFailure::NoCommonTriangles);

    const auto ref = reference.first(std::min<std::size_t>(reference.size(), kFitStars));
    const auto exp = exposure.first(std::min<std::size_t>(exposure.size(), kFitStars));

    // Every two of the best-voted pairs propose a transform; the one bringing the most
    // reference stars onto exposure stars wins (the first of equals).
    const std::size_t h = std::min<std::size_t>(voted.size(), kHypothesisPairs);
    StarTransform best;
    std::size_t bestCount = 0;
    for (std::size_t i = 0; i < h; ++i)
        for (std::size_t k = i + 1; k < h; ++k) {
            StarTransform t;
            if (!similarityOf(reference[static_cast<std::size_t>(voted[i].ref)],
                              reference[static_cast<std::size_t>(voted[k].ref)],
                              exposure[static_cast<std::size_t>(voted[i].exp)],
                              exposure[static_cast<std::size_t>(voted[k].exp)], t))
                continue;
            const std::size_t count = pairsWithin(t, ref, exp, kSearchTolerance).size();
            if (count > bestCount) {
                bestCount = count;
                best = t;
            }
        }
    if (bestCount < 2) return fail(StarMatchFailure::TooFewMatches);

    // Refit on the pairs within the tolerance, the last rounds with the final tolerance.
    std::vector<Pair> pairs;
    for (int round = 0; round < kRefineRounds; ++round) {
        pairs = pairsWithin(best, ref, exp, round < 2 ? kSearchTolerance : kFinalTolerance);
        if (pairs.size() < 2) return fail(StarMatchFailure::TooFewMatches);
        best = fitSimilarity(ref, exp, pairs);
    }
    pairs = pairsWithin(best, ref, exp, kFinalTolerance);
    result.matched = static_cast<int>(pairs.size());
    if (static_cast<int>(pairs.size()) < kMinMatches ||
        std::abs(best.scale - 1) > kMaxScaleDeviation)
        return fail(StarMatchFailure::TooFewMatches);

    result.found = true;
    result.transform = best;
    result.rms = rmsOf(best, ref, exp, pairs);
    return result;
}

AutoSeeds autoSeeds(std::span<const DetectedStar> referenceStars,
                    const ReferenceSet& referencePoints, int count, const Image& exposure,
                    int maxStars) {
    AutoSeeds r;
    r.seeds = referencePoints;
    const std::vector<DetectedStar> stars = detectStars(exposure, maxStars);
    r.exposureStars = static_cast<int>(stars.size());
    r.match = matchStars(referenceStars, stars);
    if (!r.match.found) return r;
    for (int k = 0; k < std::clamp(count, 0, kMaxReferencePoints); ++k) {
        LocatedPoint& p = r.seeds[static_cast<std::size_t>(k)];
        double x = 0, y = 0;
        r.match.transform.apply(p.x, p.y, x, y);
        p = {static_cast<float>(x), static_cast<float>(y), true};
    }
    return r;
}

} // namespace quillon
