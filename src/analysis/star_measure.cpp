// Star measurement: detection over the background mesh, deblending, adaptive moments,
// profile fit, aperture flux and half-flux diameter.
#include "analysis/star_measure.h"

#include "analysis/background_mesh.h"
#include "analysis/stars.h"
#include "core/image.h"
#include "core/memory.h"
#include "core/parallel.h"
#include "core/simd.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <type_traits>
#include <utility>

namespace quillon {
namespace {

constexpr double kSigmaToFwhm = 2.3548200450309493; // 2 √(2 ln 2)
constexpr double kSinglePixelShare = 0.6;
constexpr double kMinFitSnr = 10;
constexpr double kNeighbourShare = 0.1; // see removeHotPixels
constexpr int kMinLitNeighbours = 2;

// The frame as the measurement sees it: excess over the background, noise, raw sums.
struct Frame {
    int width = 0, height = 0;
    memory::Buffer<float> excess;
    const LayerSum* sums = nullptr;
    const BackgroundMesh* mesh = nullptr; // the noise, by row or by pixel (no frame of it)
    float at(int x, int y) const {
        return excess.data()[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                             static_cast<std::size_t>(x)];
    }
    float noiseAt(int x, int y) const { return mesh->noiseAt(x, y); }
    // The 1 2 1 smoothing in both directions (edges repeated) of one pixel, the value the
    // detection pass computes for it by rows.
    float acrossAt(int x, int y) const {
        const float* in = excess.data() + static_cast<std::size_t>(y) * width;
        const float v =
            0.25f * in[std::max(x - 1, 0)] + 0.5f * in[x] + 0.25f * in[std::min(x + 1, width - 1)];
        return v;
    }
    float smoothAt(int x, int y) const {
        const float up = acrossAt(x, std::max(y - 1, 0)), mid = acrossAt(x, y),
                    down = acrossAt(x, std::min(y + 1, height - 1));
        const float v = 0.25f * up + 0.5f * mid + 0.25f * down;
        return v;
    }
};

// ---- Detection and deblending ----

struct Object {
    std::vector<int> pixels; // indices y·width + x
    bool blended = false;
};

// ---- Row loops in lanes of four (plain element-wise float operations: the same bits as the
// scalar loops) ----

using F4 = simd::Vec<4>::F;

// Whether any of n values reaches t.
bool anyAtLeast(const float* v, int n, float t) {
    int x = 0;
    const F4 tv = {t, t, t, t};
    for (; x + 4 <= n; x += 4) {
        F4 a;
        simd::load(a, v + x);
        const auto hit = a >= tv;
        if (hit[0] | hit[1] | hit[2] | hit[3]) return true;
    }
    for (; x < n; ++x)
        if (v[x] >= t) return true;
    return false;
}

// The least float at or above d: a float reaches d exactly when it reaches this.
float floatAtLeast(double d) {
    float f = static_cast<float>(d);
    if (static_cast<double>(f) < d) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

// out[x] = 0.25 a[x] + 0.5 b[x] + 0.25 c[x], x < n.
void weigh121(const float* a, const float* b, const float* c, float* out, int n) {
    const F4 quarter = {0.25f, 0.25f, 0.25f, 0.25f}, half = {0.5f, 0.5f, 0.5f, 0.5f};
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        F4 va, vb, vc;
        simd::load(va, a + x);
        simd::load(vb, b + x);
        simd::load(vc, c + x);
        const F4 r = quarter * va + half * vb + quarter * vc;
        simd::store(out + x, r);
    }
    for (; x < n; ++x) out[x] = 0.25f * a[x] + 0.5f * b[x] + 0.25f * c[x];
}

constexpr int kRun = 32; // pixels a run-wise test passes at once

// Hot pixels and cosmic-ray hits in the work buffer (the image keeps them): a pixel above
// the detection level whose light does not spread (fewer than two of its four direct
// neighbours carry a tenth of its excess; a star of FWHM 1.5 centred on a pixel corner still
// gives each neighbour an eighth) takes the median of its eight neighbours, so that
// it neither becomes an object nor pulls the centroid of a star it sits on.
void removeHotPixels(Frame& f, double k) {
    const int w = f.width, h = f.height;
    std::vector<std::vector<std::pair<std::size_t, float>>> perRow(static_cast<std::size_t>(h));
    parallelRows(h, 16, [&](int first, int last) {
        std::array<float, 8> around{};
        for (int y = std::max(first, 1); y < std::min(last, h - 1); ++y) {
            // Nearly every pixel is below the row's lowest level; the others are checked
            // against their own noise.
            const double rowFloor = k * f.mesh->noiseFloor(y);
            const float* row = f.excess.data() + static_cast<std::size_t>(y) * w;
            const float floorValue = floatAtLeast(rowFloor);
            for (int x = 1; x < w - 1; ++x) {
                // Whole runs below the row's level are passed by their largest value.
                if ((x & (kRun - 1)) == 1 && x + kRun <= w - 1 &&
                    !anyAtLeast(row + x, kRun, floorValue)) {
                    x += kRun - 1;
                    continue;
                }
                const float v = row[x];
                if (v < rowFloor || v < k * f.noiseAt(x, y)) continue;
                const float share = static_cast<float>(kNeighbourShare) * v;
                const int lit = (f.at(x - 1, y) >= share) + (f.at(x + 1, y) >= share) +
                                (f.at(x, y - 1) >= share) + (f.at(x, y + 1) >= share);
                if (lit >= kMinLitNeighbours) continue;
                std::size_t n = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (dx || dy) around[n++] = f.at(x + dx, y + dy);
                std::nth_element(around.begin(), around.begin() + 4, around.end());
                perRow[static_cast<std::size_t>(y)].emplace_back(
                    static_cast<std::size_t>(y) * w + x, around[4]);
            }
        }
    });
    for (const auto& row : perRow)
        for (const auto& [i, v] : row) f.excess.data()[i] = v;
}

// 1 2 1 smoothing in both directions, edges repeated, and which smoothed pixels reach k times
// the noise (state 1, else 0). Each block of rows keeps the horizontal pass of three rows at a
// time instead of a whole second frame.
void smoothFrame(Frame& f, double k, memory::Buffer<std::uint8_t>& state) {
    const int w = f.width, h = f.height;
    const std::size_t pixels = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    if (state.size() != pixels) state.allocate(pixels, false);
    auto across = [&](int y, float* out) {
        const float* in = f.excess.data() + static_cast<std::size_t>(y) * w;
        auto at = [&](int x) {
            return 0.25f * in[std::max(x - 1, 0)] + 0.5f * in[x] +
                   0.25f * in[std::min(x + 1, w - 1)];
        };
        // The edges apart, so that the inner loop runs without the clamps (and vectorises).
        out[0] = at(0);
        if (w > 2) weigh121(in, in + 1, in + 2, out + 1, w - 2);
        if (w > 1) out[w - 1] = at(w - 1);
    };
    parallelRows(h, 16, [&](int first, int last) {
        std::vector<float> rows(3 * static_cast<std::size_t>(w)),
            smooth(static_cast<std::size_t>(w));
        float* up = rows.data();
        float* mid = up + w;
        float* down = mid + w;
        across(std::max(first - 1, 0), up);
        across(first, mid);
        for (int y = first; y < last; ++y) {
            across(std::min(y + 1, h - 1), down);
            float* out = smooth.data();
            weigh121(up, mid, down, out, w);
            // As in removeHotPixels: the row's lowest level first (by runs), each pixel's own
            // after.
            const double rowFloor = k * f.mesh->noiseFloor(y);
            const float floorValue = floatAtLeast(rowFloor);
            std::uint8_t* above = state.data() + static_cast<std::size_t>(y) * w;
            for (int x0 = 0; x0 < w; x0 += kRun) {
                const int n = std::min(kRun, w - x0);
                std::memset(above + x0, 0, static_cast<std::size_t>(n));
                if (!anyAtLeast(out + x0, n, floorValue)) continue;
                for (int x = x0; x < x0 + n; ++x)
                    above[x] = out[x] >= rowFloor && out[x] >= k * f.noiseAt(x, y);
            }
            std::swap(up, mid);
            std::swap(mid, down);
        }
    });
}

// Groups of pixels above the threshold (8 neighbours), in reading order of their first pixel.
// state: 0 below, 1 above (from smoothFrame); marked 2 once taken.
std::vector<std::vector<int>> groups(const Frame& f, memory::Buffer<std::uint8_t>& state,
                                     int minArea) {
    const int w = f.width, h = f.height;
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::vector<std::vector<int>> out;
    std::vector<int> stack;
    for (std::size_t start = 0; start < n; ++start) {
        // The next pixel above the threshold not yet taken.
        const void* hit = std::memchr(state.data() + start, 1, n - start);
        if (!hit) break;
        start = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - state.data());
        std::vector<int> group;
        stack.assign(1, static_cast<int>(start));
        state.data()[start] = 2;
        while (!stack.empty()) {
            const int p = stack.back();
            stack.pop_back();
            group.push_back(p);
            const int px = p % w, py = p / w;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int qx = px + dx, qy = py + dy;
                    if (qx < 0 || qy < 0 || qx >= w || qy >= h) continue;
                    const std::size_t q = static_cast<std::size_t>(qy) * w + qx;
                    if (state.data()[q] != 1) continue;
                    state.data()[q] = 2;
                    stack.push_back(static_cast<int>(q));
                }
        }
        if (static_cast<int>(group.size()) >= minArea) out.push_back(std::move(group));
    }
    return out;
}

// Splits a group at its significant maxima (see the header).
// The branch of each pixel of a group: -1 outside the group, -2 in it and not yet owned. Kept
// over the group's bounding box, or over the whole frame (allocated once, at its first use)
// for a sparse group whose box would be far larger than the group.
class OwnerMap {
public:
    explicit OwnerMap(const Frame& f) : width_(f.width), height_(f.height) {}

    void cover(const Frame& f, const std::vector<int>& group) {
        int x0 = width_, y0 = height_, x1 = -1, y1 = -1;
        for (int p : group) {
            const int x = p % width_, y = p / width_;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
        const std::size_t area = static_cast<std::size_t>(x1 - x0 + 1) * (y1 - y0 + 1);
        if (area <= 16 * group.size() + 4096) {
            local_.assign(area, -1);
            localValues_.resize(area);
            data_ = local_.data();
            values_ = localValues_.data();
            x0_ = x0;
            y0_ = y0;
            x1_ = x1;
            y1_ = y1;
        } else {
            if (frame_.empty())
                frame_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
                              -1);
            if (frameValues_.empty())
                frameValues_.resize(static_cast<std::size_t>(width_) *
                                    static_cast<std::size_t>(height_));
            data_ = frame_.data();
            values_ = frameValues_.data();
            x0_ = y0_ = 0;
            x1_ = width_ - 1;
            y1_ = height_ - 1;
        }
        stride_ = x1_ - x0_ + 1;
        for (int p : group) {
            (*this)[p] = -2;
            const int x = p % width_, y = p / width_;
            values_[index(x, y)] = f.smoothAt(x, y);
        }
    }
    // The smoothed excess of a pixel of the group.
    float value(int p) const { return values_[index(p % width_, p / width_)]; }
    // Puts the whole frame map back to -1 after a group (the box map is dropped anyway).
    void release(const std::vector<int>& group) {
        if (data_ == frame_.data())
            for (int p : group) (*this)[p] = -1;
    }
    int& operator[](int p) { return at(p % width_, p / width_); }
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y - y0_) * static_cast<std::size_t>(stride_) +
               static_cast<std::size_t>(x - x0_);
    }
    int& at(int x, int y) { return data_[index(x, y)]; }
    bool inGroup(int x, int y) {
        return x >= x0_ && y >= y0_ && x <= x1_ && y <= y1_ && at(x, y) != -1;
    }

private:
    int width_, height_;
    int x0_ = 0, y0_ = 0, x1_ = -1, y1_ = -1, stride_ = 0;
    int* data_ = nullptr;
    float* values_ = nullptr;
    std::vector<int> local_, frame_;
    std::vector<float> localValues_, frameValues_;
};

void deblend(const Frame& f, std::vector<int> group, const StarMeasureSettings& s, OwnerMap& owner,
             std::vector<Object>& objects) {
    const int w = f.width;
    std::sort(group.begin(), group.end());
    owner.cover(f, group);
    auto v = [&](int p) { return owner.value(p); };
    auto inGroup = [&](int x, int y) { return owner.inGroup(x, y); };
    // Steepest ascent from every pixel to its maximum.
    std::vector<int> maxima, path;
    for (int p : group) {
        if (owner[p] != -2) continue;
        path.clear();
        int q = p;
        while (true) {
            path.push_back(q);
            const int qx = q % w, qy = q / w;
            int best = q;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    if (!inGroup(qx + dx, qy + dy)) continue;
                    const int r = (qy + dy) * w + qx + dx;
                    if (v(r) > v(best) || (v(r) == v(best) && r < best)) best = r;
                }
            if (best == q) {
                maxima.push_back(q);
                owner[q] = static_cast<int>(maxima.size()) - 1;
                break;
            }
            if (owner[best] >= 0) {
                q = best;
                break;
            }
            q = best;
        }
        const int m = owner[q];
        for (int r : path) owner[r] = m;
    }
    const std::size_t nb = maxima.size();
    std::vector<bool> keep(nb, true);
    std::vector<int> partner(nb, -1); // the branch across a branch's highest saddle
    if (nb > 1) {
        // Saddle of each branch: the highest meeting point with another branch.
        std::vector<float> saddle(nb, -std::numeric_limits<float>::infinity());
        for (int p : group) {
            const int a = owner[p];
            const int px = p % w, py = p / w;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    if (!inGroup(px + dx, py + dy)) continue;
                    const int q = (py + dy) * w + px + dx;
                    const int b = owner[q];
                    const float meet = std::min(v(p), v(q));
                    if (b != a && meet > saddle[static_cast<std::size_t>(a)]) {
                        saddle[static_cast<std::size_t>(a)] = meet;
                        partner[static_cast<std::size_t>(a)] = b;
                    }
                }
        }
        double total = 0;
        for (int p : group) total += std::max(0.0f, v(p));
        std::vector<double> fluxAbove(nb, 0.0);
        std::vector<int> countAbove(nb, 0);
        for (int p : group) {
            const auto a = static_cast<std::size_t>(owner[p]);
            if (v(p) > saddle[a]) {
                fluxAbove[a] += v(p) - saddle[a];
                ++countAbove[a];
            }
        }
        std::size_t brightest = 0;
        for (std::size_t i = 1; i < nb; ++i)
            if (v(maxima[i]) > v(maxima[brightest])) brightest = i;
        for (std::size_t i = 0; i < nb; ++i)
            keep[i] = i == brightest ||
                      (countAbove[i] >= s.minArea && fluxAbove[i] >= s.deblendContrast * total);
    }
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < nb; ++i)
        if (keep[i]) kept.push_back(i);
    const std::size_t first = objects.size();
    objects.resize(first + kept.size());
    std::vector<int> slot(nb, -1);
    for (std::size_t k = 0; k < kept.size(); ++k) slot[kept[k]] = static_cast<int>(k);
    // A left-out branch joins the branch across its highest saddle, followed until a kept
    // one (a chain that turns back joins the brightest branch).
    std::vector<int> target(nb, -1);
    for (std::size_t a = 0; a < nb; ++a) {
        std::size_t b = a;
        for (std::size_t steps = 0; slot[b] < 0 && steps < nb; ++steps)
            b = partner[b] >= 0 ? static_cast<std::size_t>(partner[b]) : kept.front();
        target[a] = slot[b] >= 0 ? slot[b] : 0;
    }
    for (int p : group) {
        const auto a = static_cast<std::size_t>(owner[p]);
        objects[first + static_cast<std::size_t>(target[a])].pixels.push_back(p);
    }
    for (std::size_t k = 0; k < kept.size(); ++k) objects[first + k].blended = kept.size() > 1;
    owner.release(group);
}

// ---- Measurement ----

struct Shape {
    double sxx = 0, syy = 0, sxy = 0; // covariance of the star (pixels²)
    bool valid() const { return sxx > 0 && syy > 0 && sxx * syy - sxy * sxy > 0; }
};

void axes(const Shape& s, double& major, double& minor, double& angle) {
    const double mean = (s.sxx + s.syy) / 2;
    const double d = std::sqrt((s.sxx - s.syy) * (s.sxx - s.syy) / 4 + s.sxy * s.sxy);
    major = std::sqrt(std::max(mean + d, 0.0));
    minor = std::sqrt(std::max(mean - d, 0.0));
    angle = 0.5 * std::atan2(2 * s.sxy, s.sxx - s.syy) * 180 / std::numbers::pi;
    if (angle <= -90) angle += 180;
}

// The pixel's width adds 1/(12 n²) to a star's variance along each axis when the model is
// sampled at n × n points a pixel (n = 1: the plain pixel centres).
double removePixel(double fwhm, int n) {
    const double sigma = fwhm / kSigmaToFwhm;
    const double var = sigma * sigma - 1.0 / (12.0 * n * n);
    return kSigmaToFwhm * std::sqrt(std::max(var, 0.25 * sigma * sigma));
}

Shape inverse(const Shape& s) {
    const double det = s.sxx * s.syy - s.sxy * s.sxy;
    return {s.syy / det, s.sxx / det, -s.sxy / det};
}

// The window exp(−Q/2), Q = (d)ᵀ S⁻¹ (d) for d the offset from (ox, oy), over the pixels of w in
// reading order, given S⁻¹ (iw). Along a row Q is a parabola in x, so each row needs only
// two exponentials more than its peak: from the pixel nearest the peak the ratio of
// neighbours changes by the constant factor exp(−a) a column, outwards in both directions
// (the values only fall there, and underflow only where they are negligible).
void gaussianWindow(const Shape& iw, double ox, double oy, const StarWindow& w, double* out) {
    const int cols = w.width();
    const double a = iw.sxx, b = iw.syy, c = iw.sxy;
    const double step = std::exp(-a);
    for (int y = w.top; y <= w.bottom; ++y) {
        const double dy = y - oy;
        double* row = out + static_cast<std::size_t>(y - w.top) * cols;
        const int x0 = std::clamp(static_cast<int>(std::lround(ox - c * dy / a)), w.left, w.right);
        const double dx0 = x0 - ox;
        const double e0 = std::exp(-0.5 * (a * dx0 * dx0 + b * dy * dy + 2 * c * dx0 * dy));
        row[x0 - w.left] = e0;
        double e = e0, ratio = std::exp(-0.5 * (a * (2 * dx0 + 1) + 2 * c * dy));
        for (int x = x0 + 1; x <= w.right; ++x) {
            e *= ratio;
            ratio *= step;
            row[x - w.left] = e;
        }
        e = e0;
        ratio = std::exp(-0.5 * (a * (1 - 2 * dx0) - 2 * c * dy));
        for (int x = x0 - 1; x >= w.left; --x) {
            e *= ratio;
            ratio *= step;
            row[x - w.left] = e;
        }
    }
}

// Centre and shape from Gaussian-windowed moments. Under a Gaussian window of covariance W a
// Gaussian star of covariance S shows the weighted covariance M = (S⁻¹ + W⁻¹)⁻¹; the window
// is iterated towards W = 2M (then W = S), kept at least kMinWindow wide so that it cannot
// collapse onto one row of an undersampled star, and S = (M⁻¹ − W⁻¹)⁻¹. False when the
// moments do not settle into a positive shape.
bool adaptiveMoments(const Frame& f, double& cx, double& cy, Shape& shape) {
    constexpr double kMinWindow = 0.5; // variance, pixels²
    Shape win = shape, star = shape;
    std::vector<double> window;
    for (int round = 0; round < 40; ++round) {
        if (!win.valid()) return false;
        const Shape iw = inverse(win);
        const double extent = std::sqrt(std::max(win.sxx, win.syy));
        if (extent > 60) return false;
        const int r = std::clamp(static_cast<int>(std::ceil(4 * extent)), 3, 60);
        const StarWindow w = windowAround(static_cast<int>(std::lround(cx)),
                                          static_cast<int>(std::lround(cy)), r, f.width, f.height);
        const double ox = cx, oy = cy;
        window.resize(static_cast<std::size_t>(w.width()) * static_cast<std::size_t>(w.height()));
        gaussianWindow(iw, ox, oy, w, window.data());
        std::size_t at = 0; // the window becomes the weights, in reading order
        const Centroid c = centroid(*f.sums, w, [&](std::int32_t, int x, int y) {
            window[at] *= static_cast<double>(f.at(x, y));
            return window[at++];
        });
        if (!c.hasX || !c.hasY || !(c.total > 0)) return false;
        double m0 = 0, mxx = 0, myy = 0, mxy = 0;
        std::size_t k = 0;
        for (int y = w.top; y <= w.bottom; ++y)
            for (int x = w.left; x <= w.right; ++x) {
                const double wt = window[k++]; // the centroid's weights, in reading order
                const double dx = x - c.x, dy = y - c.y;
                m0 += wt;
                mxx += wt * dx * dx;
                myy += wt * dy * dy;
                mxy += wt * dx * dy;
            }
        if (!(m0 > 0)) return false;
        const Shape m{mxx / m0, myy / m0, mxy / m0};
        if (!m.valid()) return false;
        const Shape im = inverse(m);
        star = inverse({im.sxx - iw.sxx, im.syy - iw.syy, im.sxy - iw.sxy});
        if (!star.valid()) star = {2 * m.sxx, 2 * m.syy, 2 * m.sxy};
        if (std::hypot(c.x - cx, c.y - cy) > 3 * extent + 2) return false;
        Shape next{2 * m.sxx, 2 * m.syy, 2 * m.sxy};
        const double mean = (next.sxx + next.syy) / 2;
        const double smallest = mean - std::sqrt((next.sxx - next.syy) * (next.sxx - next.syy) / 4 +
                                                 next.sxy * next.sxy);
        if (smallest < kMinWindow) {
            next.sxx += kMinWindow - smallest;
            next.syy += kMinWindow - smallest;
        }
        const double change = std::abs(next.sxx - win.sxx) + std::abs(next.syy - win.syy) +
                              std::abs(next.sxy - win.sxy);
        const double moved = std::hypot(c.x - cx, c.y - cy);
        cx = c.x;
        cy = c.y;
        win = next;
        if (moved < 1e-4 && change < 1e-4 * (win.sxx + win.syy)) break;
    }
    shape = star;
    return true;
}

// Rows I and J of the lower triangle of the normal matrix Σ ∇ᵢ∇ⱼ and entries I and J of
// Σ ∇ᵢ·residual, over n pixels (gradients 8 a pixel). Two rows a pass keep their sums in
// registers; each sum still runs over the pixels in order, so the figures are those of one
// pass over all sums.
template <int I, int J>
void normalRowPair(const double* gradients, const double* residuals, std::size_t n,
                   double (&A)[8][8], double (&g)[8]) {
    double si[I + 1] = {}, sj[J + 1] = {}, gi = 0, gj = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double* gr = gradients + 8 * k;
        const double a = gr[I], b = gr[J];
        gi += a * residuals[k];
#pragma GCC unroll 8
        for (int c = 0; c <= I; ++c) si[c] += a * gr[c];
        if constexpr (J != I) {
            gj += b * residuals[k];
#pragma GCC unroll 8
            for (int c = 0; c <= J; ++c) sj[c] += b * gr[c];
        }
    }
    for (int c = 0; c <= I; ++c) A[I][c] = si[c];
    g[I] = gi;
    if constexpr (J != I) {
        for (int c = 0; c <= J; ++c) A[J][c] = sj[c];
        g[J] = gj;
    }
}

// The lower triangle of the normal equations of m parameters, rows paired short with long.
template <int M>
void normalRows(const double* gradients, const double* residuals, std::size_t n, double (&A)[8][8],
                double (&g)[8]) {
    [&]<int... P>(std::integer_sequence<int, P...>) {
        (normalRowPair<P, M - 1 - P>(gradients, residuals, n, A, g), ...);
    }
    (std::make_integer_sequence<int, (M + 1) / 2>{});
}

// Profile fit. Parameters: amplitude, x0, y0, a, b, c, offset and (Moffat) β, the core
// Q = a dx² + b dy² + 2c dx dy; Gaussian exp(−Q/2), Moffat (1 + Q)^−β.
struct FitResult {
    bool ok = false;
    double x = 0, y = 0, fwhmMajor = 0, fwhmMinor = 0, angle = 0, beta = 0;
};

FitResult fitProfile(const Frame& f, double cx, double cy, const Shape& moments, double fwhm,
                     StarProfile profile) {
    FitResult out;
    const bool moffat = profile == StarProfile::Moffat;
    const int np = moffat ? 8 : 7;
    const int n = fwhm < 2.5 ? 3 : 1; // sample points a pixel side
    const int r = std::clamp(static_cast<int>(std::ceil(1.5 * fwhm + 2)), 4, 30);
    const StarWindow w = windowAround(static_cast<int>(std::lround(cx)),
                                      static_cast<int>(std::lround(cy)), r, f.width, f.height);
    if (w.width() < 5 || w.height() < 5) return out;

    // Start: the moment shape (its inverse is the Gaussian core; Moffat scaled to the same
    // FWHM at β = 3).
    const double det = moments.sxx * moments.syy - moments.sxy * moments.sxy;
    std::array<double, 8> p{};
    double peak = 0;
    for (int y = w.top; y <= w.bottom; ++y)
        for (int x = w.left; x <= w.right; ++x) peak = std::max(peak, double(f.at(x, y)));
    p[0] = peak;
    p[1] = cx;
    p[2] = cy;
    double scale = 1;
    if (moffat) {
        p[7] = 3;
        // Half maximum at Q = 2 ln 2 (Gaussian) and at Q = 2^(1/β) − 1 (Moffat).
        scale = (std::pow(2.0, 1.0 / 3) - 1) / (2 * std::numbers::ln2);
    }
    p[3] = scale * moments.syy / det;
    p[4] = scale * moments.sxx / det;
    p[5] = -scale * moments.sxy / det;
    p[6] = 0;

    const double step = 1.0 / n;
    const double first = -0.5 + step / 2;
    // The Gaussian at each sample point of the window's pixels, one table a sample point.
    const std::size_t area =
        static_cast<std::size_t>(w.width()) * static_cast<std::size_t>(w.height());
    std::vector<double> table(moffat ? 0 : area * static_cast<std::size_t>(n * n));
    std::array<double, 8> tabled{};
    bool haveTable = false;
    auto prepare = [&](const std::array<double, 8>& q) {
        if (moffat || (haveTable && q == tabled)) return; // an accepted step was tabled by chi2
        tabled = q;
        haveTable = true;
        for (int sy = 0; sy < n; ++sy)
            for (int sx = 0; sx < n; ++sx)
                gaussianWindow({q[3], q[4], q[5]}, q[1] - (first + sx * step),
                               q[2] - (first + sy * step), w,
                               table.data() + static_cast<std::size_t>(sy * n + sx) * area);
    };
    auto evaluate = [&](const std::array<double, 8>& q, int x, int y, double* grad) {
        const std::size_t pixel = static_cast<std::size_t>(y - w.top) * w.width() + (x - w.left);
        double sumP = 0, dQx0 = 0, dQy0 = 0, da = 0, db = 0, dc = 0, dbeta = 0;
        for (int sy = 0; sy < n; ++sy)
            for (int sx = 0; sx < n; ++sx) {
                const double dx = x + first + sx * step - q[1];
                const double dy = y + first + sy * step - q[2];
                double P, dP;
                if (moffat) {
                    const double Q = q[3] * dx * dx + q[4] * dy * dy + 2 * q[5] * dx * dy;
                    const double base = 1 + std::max(Q, -0.999);
                    P = std::pow(base, -q[7]);
                    dP = -q[7] * P / base;
                    dbeta += -std::log(base) * P;
                } else {
                    P = table[static_cast<std::size_t>(sy * n + sx) * area + pixel];
                    dP = -0.5 * P;
                }
                sumP += P;
                dQx0 += dP * -(2 * q[3] * dx + 2 * q[5] * dy);
                dQy0 += dP * -(2 * q[4] * dy + 2 * q[5] * dx);
                da += dP * dx * dx;
                db += dP * dy * dy;
                dc += dP * 2 * dx * dy;
            }
        const double inv = 1.0 / (n * n);
        if (grad) {
            grad[0] = sumP * inv;
            grad[1] = q[0] * dQx0 * inv;
            grad[2] = q[0] * dQy0 * inv;
            grad[3] = q[0] * da * inv;
            grad[4] = q[0] * db * inv;
            grad[5] = q[0] * dc * inv;
            grad[6] = 1;
            grad[7] = q[0] * dbeta * inv;
        }
        return q[0] * sumP * inv + q[6];
    };
    auto chi2 = [&](const std::array<double, 8>& q) {
        prepare(q);
        double s = 0;
        const double inv = 1.0 / (n * n);
        std::size_t pixel = 0;
        for (int y = w.top; y <= w.bottom; ++y)
            for (int x = w.left; x <= w.right; ++x, ++pixel) {
                double model;
                if (moffat) {
                    model = evaluate(q, x, y, nullptr);
                } else { // the value evaluate gives, without its derivatives
                    double sumP = 0;
                    for (int k = 0; k < n * n; ++k)
                        sumP += table[static_cast<std::size_t>(k) * area + pixel];
                    model = q[0] * sumP * inv + q[6];
                }
                const double d = f.at(x, y) - model;
                s += d * d;
            }
        return s;
    };
    auto sane = [&](const std::array<double, 8>& q) {
        return q[0] > 0 && q[3] > 0 && q[4] > 0 && q[3] * q[4] - q[5] * q[5] > 0 &&
               std::hypot(q[1] - cx, q[2] - cy) < 2 + fwhm &&
               (!moffat || (q[7] > 0.6 && q[7] < 30));
    };
    std::vector<double> gradients(8 * area), residuals(area);
    double current = chi2(p), lambda = 1e-3;
    bool converged = false;
    for (int it = 0; it < 60; ++it) {
        double A[8][8] = {}, g[8] = {};
        prepare(p);
        // The gradient and residual of every pixel first, then the normal equations row pair by
        // row pair (see normalRows).
        std::size_t k = 0;
        for (int y = w.top; y <= w.bottom; ++y)
            for (int x = w.left; x <= w.right; ++x, ++k)
                residuals[k] = f.at(x, y) - evaluate(p, x, y, gradients.data() + 8 * k);
        if (moffat)
            normalRows<8>(gradients.data(), residuals.data(), area, A, g);
        else
            normalRows<7>(gradients.data(), residuals.data(), area, A, g);
        bool stepped = false;
        for (int attempt = 0; attempt < 8 && !stepped; ++attempt) {
            // (A + λ diag A) δ = g by Gaussian elimination with partial pivoting.
            double M[8][9];
            for (int i = 0; i < np; ++i) {
                for (int j = 0; j < np; ++j) M[i][j] = i >= j ? A[i][j] : A[j][i];
                M[i][i] *= 1 + lambda;
                M[i][np] = g[i];
            }
            bool singular = false;
            for (int c = 0; c < np && !singular; ++c) {
                int piv = c;
                for (int i = c + 1; i < np; ++i)
                    if (std::abs(M[i][c]) > std::abs(M[piv][c])) piv = i;
                if (!(std::abs(M[piv][c]) > 1e-300)) {
                    singular = true;
                    break;
                }
                if (piv != c)
                    for (int j = 0; j <= np; ++j) std::swap(M[c][j], M[piv][j]);
                for (int i = c + 1; i < np; ++i) {
                    const double factor = M[i][c] / M[c][c];
                    for (int j = c; j <= np; ++j) M[i][j] -= factor * M[c][j];
                }
            }
            if (singular) return out;
            double delta[8] = {};
            for (int i = np - 1; i >= 0; --i) {
                double s = M[i][np];
                for (int j = i + 1; j < np; ++j) s -= M[i][j] * delta[j];
                delta[i] = s / M[i][i];
            }
            std::array<double, 8> trial = p;
            for (int i = 0; i < np; ++i) trial[static_cast<std::size_t>(i)] += delta[i];
            const double next = sane(trial) ? chi2(trial) : std::numeric_limits<double>::infinity();
            if (next <= current) {
                const double gain = current - next;
                p = trial;
                lambda = std::max(lambda / 10, 1e-9);
                stepped = true;
                if (gain <= 1e-6 * current) converged = true;
                current = next;
            } else {
                lambda *= 10;
            }
        }
        if (!stepped) converged = true; // no step improves: at the minimum
        if (converged) break;
    }
    if (!converged || !sane(p)) return out;
    const double mean = (p[3] + p[4]) / 2;
    const double d = std::sqrt((p[3] - p[4]) * (p[3] - p[4]) / 4 + p[5] * p[5]);
    const double small = mean - d, large = mean + d; // small: the major axis
    if (!(small > 0)) return out;
    auto width = [&](double lam) {
        return moffat ? 2 * std::sqrt((std::pow(2.0, 1.0 / p[7]) - 1) / lam)
                      : kSigmaToFwhm / std::sqrt(lam);
    };
    out.fwhmMajor = removePixel(width(small), n);
    out.fwhmMinor = removePixel(width(large), n);
    double angle = 0.5 * std::atan2(2 * p[5], p[3] - p[4]) * 180 / std::numbers::pi + 90;
    if (angle > 90) angle -= 180;
    out.angle = angle;
    out.beta = moffat ? p[7] : 0;
    out.x = p[1];
    out.y = p[2];
    out.ok = out.fwhmMajor > 0.3 && out.fwhmMajor < 200;
    return out;
}

bool measureObject(const Frame& f, const Object& o, double saturation, StarMeasureSettings const&,
                   StarProfile profile, MeasuredStar& star) {
    const int w = f.width;
    double m0 = 0, mx = 0, my = 0;
    std::int32_t maxRaw = std::numeric_limits<std::int32_t>::min();
    int best = o.pixels.front();
    for (int p : o.pixels) {
        const int x = p % w, y = p / w;
        const double v = std::max(0.0f, f.at(x, y));
        m0 += v;
        mx += v * x;
        my += v * y;
        const std::int32_t raw = f.sums->at(x, y);
        if (raw > maxRaw) maxRaw = raw;
        if (f.at(x, y) > f.at(best % w, best / w)) best = p;
    }
    if (!(m0 > 0)) return false;
    // A star's light spreads (the rule of removeHotPixels, here for what is left: a group of
    // hot pixels).
    {
        const int bx = best % w, by = best / w;
        const double share = kNeighbourShare * f.at(bx, by);
        int lit = 0;
        for (const auto& [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
            const int x = bx + dx, y = by + dy;
            if (x >= 0 && y >= 0 && x < f.width && y < f.height && f.at(x, y) >= share) ++lit;
        }
        if (lit < kMinLitNeighbours) return false;
    }
    double cx = mx / m0, cy = my / m0;
    Shape foot;
    for (int p : o.pixels) {
        const int x = p % w, y = p / w;
        const double v = std::max(0.0f, f.at(x, y));
        foot.sxx += v * (x - cx) * (x - cx) / m0;
        foot.syy += v * (y - cy) * (y - cy) / m0;
        foot.sxy += v * (x - cx) * (y - cy) / m0;
    }
    foot.sxx = std::max(foot.sxx, 0.5);
    foot.syy = std::max(foot.syy, 0.5);
    if (!foot.valid()) foot.sxy = 0;
    Shape shape = foot;
    double ax = cx, ay = cy;
    if (adaptiveMoments(f, ax, ay, shape)) {
        cx = ax;
        cy = ay;
    } else {
        shape = foot;
    }
    if (cx < 0 || cy < 0 || cx > f.width - 1 || cy > f.height - 1) return false;
    double major = 0, minor = 0, angle = 0;
    axes(shape, major, minor, angle);
    const double fwhmMajorM = removePixel(kSigmaToFwhm * major, 1);
    const double fwhmMinorM = removePixel(kSigmaToFwhm * minor, 1);
    star.fwhmMoments = std::sqrt(fwhmMajorM * fwhmMinorM);
    star.x = cx;
    star.y = cy;
    star.area = static_cast<int>(o.pixels.size());
    star.blended = o.blended;
    star.peak = f.at(best % w, best / w);
    star.background = f.sums->at(best % w, best / w) - f.at(best % w, best / w);

    // Aperture flux and half-flux diameter.
    const double ra = std::max(3.0, 2 * star.fwhmMoments);
    star.apertureRadius = ra;
    const int ir = static_cast<int>(std::ceil(ra));
    const StarWindow aw = windowAround(static_cast<int>(std::lround(cx)),
                                       static_cast<int>(std::lround(cy)), ir, f.width, f.height);
    std::vector<std::pair<double, double>> ring; // distance, excess
    double flux = 0, var = 0;
    int flat = 0;
    for (int y = aw.top; y <= aw.bottom; ++y)
        for (int x = aw.left; x <= aw.right; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            if (d > ra) continue;
            const double v = f.at(x, y);
            flux += v;
            const double s = f.noiseAt(x, y);
            var += s * s;
            ring.emplace_back(d, v);
            if (f.sums->at(x, y) == maxRaw) ++flat;
        }
    // A hot pixel or a cosmic-ray hit keeps most of its light in one pixel; even a star of
    // FWHM 1.5 centred on a pixel puts only a third of its light there.
    if (!(flux > 0) || star.peak > kSinglePixelShare * flux) return false;
    star.flux = flux;
    star.fluxError = std::sqrt(var);
    star.snr = star.fluxError > 0 ? flux / star.fluxError : 0;
    // The half flux is usually reached well inside the aperture: the pixels are put in order
    // of distance a growing batch at a time (the nearest ones split off, then sorted), which
    // gives the order of a full sort for every pixel the sum passes.
    double sum = 0, prevD = 0, prevSum = 0;
    star.hfd = 0;
    bool reached = false;
    for (std::size_t done = 0, batch = std::max<std::size_t>(16, ring.size() / 8);
         !reached && done < ring.size(); done += batch, batch *= 2) {
        const auto first = ring.begin() + static_cast<std::ptrdiff_t>(done);
        const auto last =
            ring.begin() + static_cast<std::ptrdiff_t>(std::min(ring.size(), done + batch));
        if (last != ring.end()) std::nth_element(first, last, ring.end());
        std::sort(first, last);
        for (auto it = first; it != last; ++it) {
            const auto& [d, v] = *it;
            sum += v;
            if (sum >= flux / 2) {
                const double t = sum > prevSum ? (flux / 2 - prevSum) / (sum - prevSum) : 1;
                star.hfd = 2 * (prevD + t * (d - prevD));
                reached = true;
                break;
            }
            prevD = d;
            prevSum = sum;
        }
    }
    // A profile fit says nothing more than the moments for a faint star.
    const FitResult fit = star.snr >= kMinFitSnr
                              ? fitProfile(f, cx, cy, shape, star.fwhmMoments, profile)
                              : FitResult{};
    if (fit.ok) {
        star.fitted = true;
        star.fwhmMajor = fit.fwhmMajor;
        star.fwhmMinor = fit.fwhmMinor;
        star.angle = fit.angle;
        star.beta = fit.beta;
    } else {
        star.fwhmMajor = fwhmMajorM;
        star.fwhmMinor = fwhmMinorM;
        star.angle = angle;
    }
    star.fwhm = std::sqrt(star.fwhmMajor * star.fwhmMinor);
    star.roundness = star.fwhmMajor > 0 ? star.fwhmMinor / star.fwhmMajor : 1;
    star.ellipticity = 1 - star.roundness;

    // Saturated: the brightest pixel reaches the saturation level, or a flat top of several
    // pixels at one value far above the noise.
    star.saturated =
        maxRaw >= saturation || (flat >= 3 && star.peak > 50 * f.noiseAt(best % w, best / w));
    return true;
}

} // namespace

const char* starProfileName(StarProfile profile) {
    return profile == StarProfile::Moffat ? "moffat" : "gauss";
}

bool starProfileFromName(const std::string& name, StarProfile& profile) {
    if (name == "gauss" || name == "gaussian") {
        profile = StarProfile::Gaussian;
        return true;
    }
    if (name == "moffat") {
        profile = StarProfile::Moffat;
        return true;
    }
    return false;
}

StarField measureStars(const Image& image, const StarMeasureSettings& settings) {
    StarMeasureWork work;
    return measureStars(image, settings, work);
}

StarField measureStars(const Image& image, const StarMeasureSettings& settings,
                       StarMeasureWork& work) {
    StarField field;
    if (!image.hasSamples() || image.layerCount() <= 0 || image.width() < 8 || image.height() < 8)
        return field;
    // The work buffers go back to `work` however this ends.
    struct Keep {
        StarMeasureWork& work;
        LayerSum sums;
        Frame f;
        ~Keep() {
            work.sums = std::move(sums).take();
            work.excess = std::move(f.excess);
        }
    } keep{work, LayerSum(image, std::move(work.sums)), Frame{}};
    const LayerSum& sums = keep.sums;
    const BackgroundMesh mesh(sums, settings.cellSize);
    Frame& f = keep.f;
    f.excess = std::move(work.excess);
    f.width = image.width();
    f.height = image.height();
    f.sums = &sums;
    f.mesh = &mesh;
    field.width = f.width;
    field.height = f.height;
    field.background = mesh.globalLevel();
    field.noise = mesh.globalNoise();
    const std::size_t n = static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height);
    if (f.excess.size() != n) f.excess.allocate(n, false);
    parallelRows(f.height, 16, [&](int first, int last) {
        std::vector<float> level(static_cast<std::size_t>(f.width));
        for (int y = first; y < last; ++y) {
            mesh.levelRow(y, level.data());
            float* out = f.excess.data() + static_cast<std::size_t>(y) * f.width;
            const std::int32_t* in = sums.row(y);
            int x = 0;
            for (; x + 4 <= f.width; x += 4) {
                simd::Vec<4>::I v;
                F4 l;
                simd::load(v, in + x);
                simd::load(l, level.data() + x);
                const F4 r = __builtin_convertvector(v, F4) - l;
                simd::store(out + x, r);
            }
            for (; x < f.width; ++x)
                out[x] = static_cast<float>(in[x]) - level[static_cast<std::size_t>(x)];
        }
    });
    const double k0 = std::max(0.1, settings.threshold);
    removeHotPixels(f, k0);
    const double k = std::max(0.1, settings.threshold);
    memory::Buffer<std::uint8_t>& state = work.state;
    smoothFrame(f, k, state);

    const int minArea = std::max(1, settings.minArea);
    std::vector<Object> objects;
    {
        OwnerMap owner(f);
        for (std::vector<int>& g : groups(f, state, minArea))
            deblend(f, std::move(g), settings, owner, objects);
    }

    const double saturation =
        settings.saturation > 0 ? settings.saturation : 32767.0 * image.layerCount();
    std::vector<MeasuredStar> measured(objects.size());
    std::vector<char> valid(objects.size(), 0);
    parallelRows(static_cast<int>(objects.size()), 8, [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            const auto u = static_cast<std::size_t>(i);
            valid[u] =
                measureObject(f, objects[u], saturation, settings, settings.profile, measured[u]);
        }
    });
    for (std::size_t i = 0; i < measured.size(); ++i)
        if (valid[i]) field.stars.push_back(measured[i]);
    std::stable_sort(field.stars.begin(), field.stars.end(),
                     [](const MeasuredStar& a, const MeasuredStar& b) { return a.flux > b.flux; });
    if (settings.maxStars > 0 && static_cast<int>(field.stars.size()) > settings.maxStars)
        field.stars.resize(static_cast<std::size_t>(settings.maxStars));
    return field;
}

} // namespace quillon
