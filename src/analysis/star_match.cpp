// Matching two star lists: triangles of stars, votes, a similarity fit and the seeds it maps.
#include "analysis/star_match.h"

#include "core/image.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quillon {

namespace {

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
    const std::vector<Triangle> exp = triangles(exposure);
    // The exposure's triangles by turning sense and in cells of the tolerance by both side
    // ratios (both lie in (0, 1]), stored cell by cell, so that each reference triangle looks
    // only at the cells around its own.
    constexpr int kCells = static_cast<int>(1 / kShapeTolerance) + 2;
    auto cellOf = [](double r) {
        return std::clamp(static_cast<int>(std::floor(r / kShapeTolerance)), 0, kCells - 1);
    };
    auto keyOf = [&](bool clockwise, int i, int j) {
        return static_cast<std::size_t>(((clockwise ? kCells : 0) + i) * kCells + j);
    };
    std::vector<int> start(2 * kCells * kCells + 1, 0);
    for (const Triangle& e : exp) ++start[keyOf(e.clockwise, cellOf(e.r1), cellOf(e.r2)) + 1];
    for (std::size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
    std::vector<Triangle> byCell(exp.size());
    {
        std::vector<int> fill(start.begin(), start.end() - 1);
        for (const Triangle& e : exp)
            byCell[static_cast<std::size_t>(
                fill[keyOf(e.clockwise, cellOf(e.r1), cellOf(e.r2))]++)] = e;
    }
    std::array<std::array<int, kTriangleStars>, kTriangleStars> votes{};
    for (const Triangle& t : ref) {
        // (A hair wider than the tolerance: the tests below decide.)
        constexpr double reach = kShapeTolerance * (1 + 1e-9);
        const int i0 = cellOf(t.r1 - reach), i1 = cellOf(t.r1 + reach);
        const int j0 = cellOf(t.r2 - reach), j1 = cellOf(t.r2 + reach);
        for (int i = i0; i <= i1; ++i) {
            // The cells j0 … j1 of one r1 cell lie one after the other.
            const int first = start[keyOf(t.clockwise, i, j0)];
            const int last = start[keyOf(t.clockwise, i, j1) + 1];
            for (int k = first; k < last; ++k) {
                const Triangle& e = byCell[static_cast<std::size_t>(k)];
                if (e.r1 < t.r1 - kShapeTolerance || e.r1 > t.r1 + kShapeTolerance) continue;
                if (std::abs(e.r2 - t.r2) > kShapeTolerance) continue;
                if (std::abs(e.c / t.c - 1) > kMaxScaleDeviation) continue;
                for (std::size_t m = 0; m < 3; ++m)
                    ++votes[static_cast<std::size_t>(t.vertex[m])]
                           [static_cast<std::size_t>(e.vertex[m])];
            }
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

// The exposure stars in order of x, so that a search looks only at those within the
// tolerance of a column.
struct ByX {
    explicit ByX(std::span<const DetectedStar> stars) {
        order.resize(stars.size());
        for (std::size_t i = 0; i < stars.size(); ++i) order[i] = static_cast<int>(i);
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            return stars[static_cast<std::size_t>(a)].x < stars[static_cast<std::size_t>(b)].x;
        });
        xs.reserve(stars.size());
        for (int i : order) xs.push_back(stars[static_cast<std::size_t>(i)].x);
    }
    // Positions in `order` of the stars with x in [x - r, x + r] (and a hair around).
    std::pair<std::size_t, std::size_t> band(double x, double r) const {
        const double margin = r * 1e-9 + 1e-9;
        const auto lo = std::lower_bound(xs.begin(), xs.end(), x - r - margin);
        const auto hi = std::upper_bound(lo, xs.end(), x + r + margin);
        return {static_cast<std::size_t>(lo - xs.begin()),
                static_cast<std::size_t>(hi - xs.begin())};
    }
    std::vector<int> order;
    std::vector<double> xs;
};

// Reference stars paired with the nearest mapped exposure star within the tolerance, where
// each of the two is the other's nearest (of equally near ones the later in its list).
std::vector<Pair> pairsWithin(const StarTransform& t, std::span<const DetectedStar> reference,
                              std::span<const DetectedStar> exposure, const ByX& byX,
                              double tolerance) {
    const double limit = tolerance * tolerance;
    std::vector<int> nearestRef(exposure.size(), -1);
    std::vector<double> nearestRefDistance(exposure.size(), limit);
    std::vector<int> nearestExp(reference.size(), -1);
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const Point m = map(t, reference[i]);
        double best = limit;
        const auto [first, last] = byX.band(m.x, tolerance);
        for (std::size_t k = first; k < last; ++k) {
            const int j = byX.order[k];
            const auto uj = static_cast<std::size_t>(j);
            const double dx = exposure[uj].x - m.x, dy = exposure[uj].y - m.y;
            const double d = dx * dx + dy * dy;
            if (d < best || (d == best && j > nearestExp[i])) {
                best = d;
                nearestExp[i] = j;
            }
            if (d <= nearestRefDistance[uj]) {
                nearestRefDistance[uj] = d;
                nearestRef[uj] = static_cast<int>(i);
            }
        }
    }
    std::vector<Pair> pairs;
    for (std::size_t i = 0; i < reference.size(); ++i) {
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
    const ByX expByX(exp);

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
            const std::size_t count = pairsWithin(t, ref, exp, expByX, kSearchTolerance).size();
            if (count > bestCount) {
                bestCount = count;
                best = t;
            }
        }
    if (bestCount < 2) return fail(StarMatchFailure::TooFewMatches);

    // Refit on the pairs within the tolerance, the last rounds with the final tolerance.
    std::vector<Pair> pairs;
    for (int round = 0; round < kRefineRounds; ++round) {
        pairs = pairsWithin(best, ref, exp, expByX, round < 2 ? kSearchTolerance : kFinalTolerance);
        if (pairs.size() < 2) return fail(StarMatchFailure::TooFewMatches);
        best = fitSimilarity(ref, exp, pairs);
    }
    pairs = pairsWithin(best, ref, exp, expByX, kFinalTolerance);
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
        ReferencePoint& p = r.seeds[static_cast<std::size_t>(k)];
        double x = 0, y = 0;
        r.match.transform.apply(p.x, p.y, x, y);
        p = {static_cast<float>(x), static_cast<float>(y), true};
    }
    return r;
}

} // namespace quillon
