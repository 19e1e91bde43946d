// Registration by all stars: triangle match, pairing, least squares with outlier rounds.
#include "analysis/star_register.h"

#include "analysis/star_match.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace quillon {
namespace {

constexpr int kMatchStars = 200; // brightest stars handed to the triangle match
constexpr int kPairStars = 1000; // brightest stars paired for the fit
constexpr double kMinTolerance = 0.1;
// Beyond this S/N a centroid's error no longer falls with the noise (pixel phase, wings).
constexpr double kMaxWeight = 200;

// A star pair and its weight: a centroid's error falls as the star's S/N rises, so each
// pair's equations are weighted by the smaller S/N of its two stars (the inverse of the
// larger position error).
struct Pair {
    double rx, ry, ex, ey, weight = 1;
};

std::vector<DetectedStar> detected(std::span<const MeasuredStar> stars, bool mirror) {
    std::vector<DetectedStar> out;
    for (const MeasuredStar& s : stars) {
        if (s.saturated) continue;
        out.push_back({mirror ? -s.x : s.x, s.y, s.flux, s.peak});
        if (static_cast<int>(out.size()) >= kMatchStars) break;
    }
    return out;
}

// Least squares of A p = b (rows of k values) by the normal equations; false when singular.
bool solve(const std::vector<std::vector<double>>& rows, const std::vector<double>& b, int k,
           std::vector<double>& p) {
    std::vector<std::vector<double>> m(static_cast<std::size_t>(k),
                                       std::vector<double>(static_cast<std::size_t>(k) + 1, 0));
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (int i = 0; i < k; ++i) {
            const auto ui = static_cast<std::size_t>(i);
            for (int j = 0; j < k; ++j)
                m[ui][static_cast<std::size_t>(j)] +=
                    rows[r][ui] * rows[r][static_cast<std::size_t>(j)];
            m[ui][static_cast<std::size_t>(k)] += rows[r][ui] * b[r];
        }
    for (int c = 0; c < k; ++c) {
        int piv = c;
        for (int i = c + 1; i < k; ++i)
            if (std::abs(m[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)]) >
                std::abs(m[static_cast<std::size_t>(piv)][static_cast<std::size_t>(c)]))
                piv = i;
        if (!(std::abs(m[static_cast<std::size_t>(piv)][static_cast<std::size_t>(c)]) > 1e-12))
            return false;
        std::swap(m[static_cast<std::size_t>(c)], m[static_cast<std::size_t>(piv)]);
        for (int i = 0; i < k; ++i) {
            if (i == c) continue;
            const double f = m[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)] /
                             m[static_cast<std::size_t>(c)][static_cast<std::size_t>(c)];
            for (int j = c; j <= k; ++j)
                m[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] -=
                    f * m[static_cast<std::size_t>(c)][static_cast<std::size_t>(j)];
        }
    }
    p.assign(static_cast<std::size_t>(k), 0);
    for (int i = 0; i < k; ++i)
        p[static_cast<std::size_t>(i)] =
            m[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)] /
            m[static_cast<std::size_t>(i)][static_cast<std::size_t>(i)];
    return true;
}

// Fits the model to the pairs; coordinates are centred and scaled first for a well-conditioned
// homography. The exposure's x is negated for a mirrored similarity fit and put back after.
bool fit(const std::vector<Pair>& pairs, RegistrationModel model, bool mirrored,
         std::array<double, 9>& h) {
    if (pairs.empty()) return false;
    double cx = 0, cy = 0, s = 0;
    for (const Pair& p : pairs) {
        cx += p.rx;
        cy += p.ry;
    }
    cx /= static_cast<double>(pairs.size());
    cy /= static_cast<double>(pairs.size());
    for (const Pair& p : pairs) s += std::hypot(p.rx - cx, p.ry - cy);
    s = s > 0 ? s / static_cast<double>(pairs.size()) : 1;
    const double sign = mirrored && model == RegistrationModel::Similarity ? -1 : 1;
    std::vector<std::vector<double>> rows;
    std::vector<double> b, p;
    std::array<double, 9> n{}; // in normalised reference coordinates
    switch (model) {
    case RegistrationModel::Shift: {
        double dx = 0, dy = 0, sw = 0;
        for (const Pair& q : pairs) {
            const double w = q.weight * q.weight;
            dx += w * (q.ex - q.rx);
            dy += w * (q.ey - q.ry);
            sw += w;
        }
        h = {1, 0, dx / sw, 0, 1, dy / sw, 0, 0, 1};
        return true;
    }
    case RegistrationModel::Similarity:
        for (const Pair& q : pairs) {
            const double u = (q.rx - cx) / s, v = (q.ry - cy) / s, w = q.weight;
            rows.push_back({w * u, -w * v, w, 0});
            b.push_back(w * sign * q.ex);
            rows.push_back({w * v, w * u, 0, w});
            b.push_back(w * q.ey);
        }
        if (!solve(rows, b, 4, p)) return false;
        n = {sign * p[0], -sign * p[1], sign * p[2], p[1], p[0], p[3], 0, 0, 1};
        break;
    case RegistrationModel::Affine:
        for (const Pair& q : pairs) {
            const double u = (q.rx - cx) / s, v = (q.ry - cy) / s, w = q.weight;
            rows.push_back({w * u, w * v, w, 0, 0, 0});
            b.push_back(w * q.ex);
            rows.push_back({0, 0, 0, w * u, w * v, w});
            b.push_back(w * q.ey);
        }
        if (!solve(rows, b, 6, p)) return false;
        n = {p[0], p[1], p[2], p[3], p[4], p[5], 0, 0, 1};
        break;
    case RegistrationModel::Homography: {
        // Linearised, then reweighted by the denominator twice.
        std::vector<double> wgt(pairs.size(), 1.0);
        for (int round = 0; round < 3; ++round) {
            rows.clear();
            b.clear();
            for (std::size_t i = 0; i < pairs.size(); ++i) {
                const Pair& q = pairs[i];
                const double u = (q.rx - cx) / s, v = (q.ry - cy) / s, w = wgt[i] * q.weight;
                rows.push_back({w * u, w * v, w, 0, 0, 0, -w * u * q.ex, -w * v * q.ex});
                b.push_back(w * q.ex);
                rows.push_back({0, 0, 0, w * u, w * v, w, -w * u * q.ey, -w * v * q.ey});
                b.push_back(w * q.ey);
            }
            if (!solve(rows, b, 8, p)) return false;
            for (std::size_t i = 0; i < pairs.size(); ++i) {
                const double u = (pairs[i].rx - cx) / s, v = (pairs[i].ry - cy) / s;
                wgt[i] = 1.0 / std::abs(p[6] * u + p[7] * v + 1);
            }
        }
        n = {p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], 1};
        break;
    }
    }
    // h = n · N with N mapping (x, y) to ((x − cx)/s, (y − cy)/s).
    const std::array<double, 9> N{1 / s, 0, -cx / s, 0, 1 / s, -cy / s, 0, 0, 1};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double v = 0;
            for (int k = 0; k < 3; ++k)
                v +=
                    n[static_cast<std::size_t>(3 * i + k)] * N[static_cast<std::size_t>(3 * k + j)];
            h[static_cast<std::size_t>(3 * i + j)] = v;
        }
    return true;
}

} // namespace

const char* registrationModelName(RegistrationModel model) {
    switch (model) {
    case RegistrationModel::Shift: return "shift";
    case RegistrationModel::Similarity: return "similarity";
    case RegistrationModel::Affine: return "affine";
    case RegistrationModel::Homography: return "homography";
    }
    return "similarity";
}

bool registrationModelFromName(const std::string& name, RegistrationModel& model) {
    for (RegistrationModel m : {RegistrationModel::Shift, RegistrationModel::Similarity,
                                RegistrationModel::Affine, RegistrationModel::Homography})
        if (name == registrationModelName(m)) {
            model = m;
            return true;
        }
    return false;
}

void StarRegistration::apply(double x, double y, double& outX, double& outY) const {
    const double w = h[6] * x + h[7] * y + h[8];
    outX = (h[0] * x + h[1] * y + h[2]) / w;
    outY = (h[3] * x + h[4] * y + h[5]) / w;
}

StarRegistration registerStars(std::span<const MeasuredStar> reference,
                               std::span<const MeasuredStar> exposure, RegistrationModel model) {
    StarRegistration r;
    const std::vector<DetectedStar> ref = detected(reference, false);
    // Both senses are tried: a few stars may agree by chance in the wrong one.
    StarMatch m = matchStars(ref, detected(exposure, false));
    const StarMatch mirrored = matchStars(ref, detected(exposure, true));
    if (mirrored.found && (!m.found || mirrored.matched > m.matched)) {
        m = mirrored;
        r.mirrored = true;
    }
    if (!m.found) {
        r.failure = std::string(starMatchFailureText(m.failure));
        return r;
    }
    r.scale = m.transform.scale;
    r.angleDegrees = m.transform.angle * 180 / std::numbers::pi;
    const double a = m.transform.scale * std::cos(m.transform.angle);
    const double b = m.transform.scale * std::sin(m.transform.angle);
    const double sign = r.mirrored ? -1 : 1;
    r.h = {sign * a, -sign * b, sign * m.transform.shiftX, b, a, m.transform.shiftY, 0, 0, 1};
    if (r.mirrored && model == RegistrationModel::Shift) {
        r.failure = "Das Bild ist gespiegelt; eine Verschiebung genügt nicht.";
        return r;
    }

    // Pairs: each reference star and the nearest exposure star to its mapped position.
    std::vector<const MeasuredStar*> rs, es;
    for (const MeasuredStar& s : reference)
        if (!s.saturated && !s.blended && static_cast<int>(rs.size()) < kPairStars)
            rs.push_back(&s);
    for (const MeasuredStar& s : exposure)
        if (!s.saturated && !s.blended && static_cast<int>(es.size()) < kPairStars)
            es.push_back(&s);
    // The exposure's stars in order of x: each search looks only at the column band of the
    // tolerance.
    std::vector<std::size_t> byX(es.size());
    for (std::size_t i = 0; i < es.size(); ++i) byX[i] = i;
    std::sort(byX.begin(), byX.end(),
              [&](std::size_t p, std::size_t q) { return es[p]->x < es[q]->x; });
    std::vector<double> xs;
    for (std::size_t i : byX) xs.push_back(es[i]->x);
    double tolerance = 3.0;
    std::vector<Pair> pairs;
    const int minPairs = model == RegistrationModel::Homography ? 8 : 6;
    for (int round = 0; round < 6; ++round) {
        pairs.clear();
        for (const MeasuredStar* s : rs) {
            double mx = 0, my = 0;
            r.apply(s->x, s->y, mx, my);
            // The nearest within the tolerance; of equally near ones the first in the list.
            const MeasuredStar* best = nullptr;
            std::size_t bestIndex = es.size();
            double bestD = tolerance;
            const double margin = tolerance * 1e-9 + 1e-9;
            const auto lo = std::lower_bound(xs.begin(), xs.end(), mx - tolerance - margin);
            const auto hi = std::upper_bound(lo, xs.end(), mx + tolerance + margin);
            for (auto it = lo; it != hi; ++it) {
                const std::size_t i = byX[static_cast<std::size_t>(it - xs.begin())];
                const MeasuredStar* e = es[i];
                const double d = std::hypot(e->x - mx, e->y - my);
                if (d < bestD || (best && d == bestD && i < bestIndex)) {
                    bestD = d;
                    best = e;
                    bestIndex = i;
                }
            }
            // Weights only once the pairs are sure: a bright star paired wrongly in the first
            // rounds would otherwise hold the fit.
            if (best)
                pairs.push_back(
                    {s->x, s->y, best->x, best->y,
                     round < 3 ? 1.0 : std::clamp(std::min(s->snr, best->snr), 1.0, kMaxWeight)});
        }
        if (static_cast<int>(pairs.size()) < minPairs) break;
        std::array<double, 9> h = r.h;
        if (!fit(pairs, model, r.mirrored, h)) break;
        r.h = h;
        double sum = 0;
        std::vector<double> distances;
        for (const Pair& p : pairs) {
            double mx = 0, my = 0;
            r.apply(p.rx, p.ry, mx, my);
            const double d2 = (mx - p.ex) * (mx - p.ex) + (my - p.ey) * (my - p.ey);
            sum += d2;
            distances.push_back(std::sqrt(d2));
        }
        r.rms = std::sqrt(sum / static_cast<double>(pairs.size()));
        r.matched = static_cast<int>(pairs.size());
        // The next round keeps pairs within 4 median distances (about 3.5 σ of the centroid
        // noise): a blended or clipped star does not widen the cut as it would an rms.
        const auto mid = distances.begin() + static_cast<std::ptrdiff_t>(distances.size() / 2);
        std::nth_element(distances.begin(), mid, distances.end());
        tolerance = std::clamp(4 * *mid, kMinTolerance, tolerance);
    }
    if (r.matched < minPairs) {
        r.failure = "Zu wenige Sterne passen zum Referenzbild (" + std::to_string(r.matched) + ").";
        return r;
    }
    r.found = true;
    return r;
}

} // namespace quillon
