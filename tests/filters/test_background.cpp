// Background extraction against known truth: a seeded star field with added gradients, the
// frames that leave too few samples, flat and tiny frames, saturation and sample toggling.
#include "core/error.h"
#include "filters/background.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace quillon;
using namespace quillon::testkit;

namespace {

constexpr double kSky = 1000;
constexpr double kNoise = 30; // uniform ±30: σ ≈ 17.3

// Sky, seeded noise and Gaussian stars (σ 1.5 px), drawn within 8 σ of each star.
std::vector<double> starField(int w, int h, const std::vector<Star>& stars) {
    std::vector<double> v(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    const PixelFn n = noise(7, -int(kNoise), int(kNoise));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) v[std::size_t(y * w + x)] = kSky + n(0, x, y);
    const double s = 1.5;
    for (const Star& st : stars)
        for (int y = std::max(0, int(st.y) - 12); y < std::min(h, int(st.y) + 13); ++y)
            for (int x = std::max(0, int(st.x) - 12); x < std::min(w, int(st.x) + 13); ++x) {
                const double dx = x - st.x, dy = y - st.y;
                v[std::size_t(y * w + x)] +=
                    st.flux / (2 * M_PI * s * s) * std::exp(-(dx * dx + dy * dy) / (2 * s * s));
            }
    return v;
}

std::vector<Star> randomStars(int w, int h, int count, std::uint64_t seed) {
    SplitMix64 g{seed};
    std::vector<Star> s;
    for (int i = 0; i < count; ++i)
        s.push_back(
            {g.uniformReal(20, w - 20), g.uniformReal(20, h - 20), g.uniformReal(2000, 60000)});
    return s;
}

enum Gradient { kLinear = 1, kDome = 2, kVignette = 4 };

// The added gradients: linear 20 % of the sky across the frame, a quadratic dome from the
// top-left corner, a radial darkening of 15 % of the sky toward the corners.
double gradient(int g, int x, int y, int w, int h) {
    const double u = double(x) / (w - 1), v = double(y) / (h - 1);
    double s = 0;
    if (g & kLinear) s += 0.2 * kSky * u;
    if (g & kDome) s += 0.3 * kSky * ((1 - u) * (1 - u) + (1 - v) * (1 - v)) / 2;
    if (g & kVignette) {
        const double r2 = ((u - 0.5) * (u - 0.5) + (v - 0.5) * (v - 0.5)) / 0.5;
        s -= 0.15 * kSky * r2;
    }
    return s;
}

void toImage(Image& img, const std::vector<double>& v, int w, int h) {
    define(img, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.row(0, y)[x] = toSample(std::floor(v[std::size_t(y * w + x)] + 0.5));
}

// Background-free aperture flux (radius 6, ring 9 … 14 by its median).
double aperture(const Image& img, const Star& s) {
    std::vector<double> ring;
    double sum = 0;
    int n = 0;
    for (int y = int(s.y) - 15; y <= int(s.y) + 15; ++y)
        for (int x = int(s.x) - 15; x <= int(s.x) + 15; ++x) {
            const double r = std::hypot(x - s.x, y - s.y);
            if (r <= 6) sum += img.row(0, y)[x], ++n;
            if (r >= 9 && r <= 14) ring.push_back(img.row(0, y)[x]);
        }
    std::nth_element(ring.begin(), ring.begin() + long(ring.size() / 2), ring.end());
    return sum - n * ring[ring.size() / 2];
}

struct Case {
    int gradient;
    BackgroundMethod method;
};

class BackgroundAccuracy : public ::testing::TestWithParam<Case> {};

} // namespace

// Residual of (result − true scene) averaged in 64 × 64 boxes spans at most 1 % of the added
// gradient's range plus twice the noise of a box mean; isolated stars keep their flux
// within 1 %.
TEST_P(BackgroundAccuracy, RecoversTheScene) {
    const int w = 512, h = 512;
    const std::vector<Star> stars = randomStars(w, h, 150, 11);
    const std::vector<double> truth = starField(w, h, stars);
    std::vector<double> observed = truth;
    double gmin = 1e9, gmax = -1e9;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double g = gradient(GetParam().gradient, x, y, w, h);
            observed[std::size_t(y * w + x)] += g;
            gmin = std::min(gmin, g), gmax = std::max(gmax, g);
        }
    Image img, ref;
    toImage(img, observed, w, h);
    toImage(ref, truth, w, h);
    BackgroundOptions o;
    o.method = GetParam().method;
    o.degree = 2;
    extractBackground(img, o, 0, Progress::none());

    double lo = 1e9, hi = -1e9;
    for (int by = 0; by < h / 64; ++by)
        for (int bx = 0; bx < w / 64; ++bx) {
            double s = 0;
            for (int y = by * 64; y < by * 64 + 64; ++y)
                for (int x = bx * 64; x < bx * 64 + 64; ++x)
                    s += img.row(0, y)[x] - ref.row(0, y)[x];
            lo = std::min(lo, s / 4096), hi = std::max(hi, s / 4096);
        }
    const double boxNoise = kNoise / std::sqrt(3.0) / 64;
    EXPECT_LE(hi - lo, 0.01 * (gmax - gmin) + 2 * boxNoise);

    int measured = 0;
    for (const Star& s : stars) {
        bool alone = s.x > 30 && s.y > 30 && s.x < w - 30 && s.y < h - 30;
        for (const Star& t : stars)
            if (&t != &s && std::hypot(t.x - s.x, t.y - s.y) < 20) alone = false;
        if (!alone || s.flux < 10000) continue;
        EXPECT_NEAR(aperture(img, s), aperture(ref, s), 0.01 * s.flux) << s.x << "," << s.y;
        ++measured;
    }
    EXPECT_GT(measured, 20);
}

INSTANTIATE_TEST_SUITE_P(
    Gradients, BackgroundAccuracy,
    ::testing::Values(Case{kLinear, BackgroundMethod::Polynomial},
                      Case{kDome, BackgroundMethod::Polynomial},
                      Case{kVignette, BackgroundMethod::Polynomial},
                      Case{kLinear | kDome | kVignette, BackgroundMethod::Polynomial},
                      Case{kLinear, BackgroundMethod::Spline},
                      Case{kDome, BackgroundMethod::Spline},
                      Case{kVignette, BackgroundMethod::Spline},
                      Case{kLinear | kDome | kVignette, BackgroundMethod::Spline}));

// Vignetting as it is: the scene multiplied by 1 − 15 % r²; dividing restores it within 1 %.
TEST(Background, DivisionUndoesVignetting) {
    const int w = 256, h = 192;
    Image img;
    define(img, w, h);
    fill(img, [&](int, int x, int y) {
        return int(std::floor(kSky * (1 + gradient(kVignette, x, y, w, h) / kSky) + 0.5));
    });
    BackgroundOptions o;
    o.divide = true;
    o.degree = 2;
    extractBackground(img, o, 0, Progress::none());
    Sample lo = kSampleMax, hi = kSampleMin;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            lo = std::min(lo, img.row(0, y)[x]), hi = std::max(hi, img.row(0, y)[x]);
    EXPECT_LE(hi - lo, 0.01 * kSky);
}

TEST(Background, BadInput) {
    BackgroundOptions o;
    // Flat frames come back unchanged (one with noise: within rounding).
    for (int amplitude : {0, 20}) {
        Image img;
        define(img, 400, 300, RGB_IMAGE, true);
        fill(img, [&](int p, int x, int y) {
            return 500 + 100 * p + noise(3, -amplitude, amplitude)(p, x, y);
        });
        Image before = img.clone();
        extractBackground(img, o, 0, Progress::none());
        for (int p = 0; p < img.planeCount(); ++p)
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    ASSERT_LE(std::abs(img.row(p, y)[x] - before.row(p, y)[x]), amplitude ? 1 : 0)
                        << p << " " << x << "," << y;
    }
    // A frame full of stars leaves too few sky samples: a message, the image unchanged.
    {
        const int w = 256, h = 256;
        std::vector<Star> dense;
        for (int y = 4; y < h; y += 8)
            for (int x = 4; x < w; x += 8) dense.push_back({double(x), double(y), 30000});
        Image img;
        toImage(img, starField(w, h, dense), w, h);
        Image before = img.clone();
        try {
            extractBackground(img, o, 0, Progress::none());
            ADD_FAILURE() << "no message";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("Zu wenige brauchbare"), std::string::npos);
        }
        EXPECT_EQ(firstDifference(img, before), "");
    }
    // Tiny frames work with every method and degree; a ramp is taken out.
    for (int degree = 1; degree <= 4; ++degree)
        for (auto method : {BackgroundMethod::Polynomial, BackgroundMethod::Spline}) {
            Image img;
            makeImage(img, 10, 10, BW_IMAGE, Ramp{1000, 10, 5});
            o.degree = degree;
            o.method = method;
            o.grid = kBackgroundGridMin;
            extractBackground(img, o, 0, Progress::none());
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 10; ++x) EXPECT_NEAR(img.row(0, y)[x], 1000 + 45 + 22.5, 2);
        }
    // A saturated block: its samples are left out, the rest is flat afterwards.
    {
        Image img;
        makeImage(img, 300, 300, BW_IMAGE, [](int, int x, int y) {
            return (x > 100 && x < 200 && y > 100 && y < 200) ? kSampleMax : 800 + x / 3;
        });
        o = {};
        extractBackground(img, o, 0, Progress::none());
        for (int y = 0; y < 300; y += 7)
            for (int x = 0; x < 300; x += 7)
                if (!(x > 90 && x < 210 && y > 90 && y < 210)) {
                    ASSERT_NEAR(img.row(0, y)[x], 850, 2) << x << "," << y;
                }
    }
    // Dividing by a model that reaches 0 is refused, the image unchanged.
    {
        Image img;
        makeImage(img, 100, 80, BW_IMAGE, Ramp{-500, 10});
        Image before = img.clone();
        o = {};
        o.divide = true;
        EXPECT_THROW(extractBackground(img, o, 0, Progress::none()), Error);
        EXPECT_EQ(firstDifference(img, before), "");
    }
    o = {};
    o.grid = 40;
    Image img;
    define(img, 50, 50);
    EXPECT_THROW(extractBackground(img, o, 0, Progress::none()), Error);
}

// Only the selected layers change; a click toggles a grid sample and adds and removes one of
// its own.
TEST(Background, LayersAndSamples) {
    Image img;
    makeImage(img, 120, 100, RGB_IMAGE, Ramp{1000, 3, 2, 50}, true);
    Image before = img.clone();
    BackgroundOptions o;
    o.degree = 1;
    Image model;
    extractBackground(img, o, 0b010, Progress::none(), nullptr, &model);
    EXPECT_EQ(mismatch(
                  img, [&](int p, int x, int y) { return before.row(p, y)[x]; }, 0),
              "");
    EXPECT_EQ(mismatch(
                  img, [&](int p, int x, int y) { return before.row(p, y)[x]; }, 2),
              "");
    EXPECT_EQ(mismatch(
                  img, [&](int p, int x, int y) { return before.row(p, y)[x]; }, 3),
              "");
    EXPECT_NEAR(img.row(1, 50)[10], img.row(1, 10)[110], 1);
    EXPECT_NEAR(model.row(1, 37)[71], 1050 + 3 * 71 + 2 * 37, 1);
    EXPECT_EQ(model.row(0, 37)[71], 0);

    std::vector<BackgroundSample> s = placeBackgroundSamples(before, o, 0);
    const std::size_t n = s.size();
    ASSERT_EQ(n, 16u * 16u);
    ASSERT_TRUE(s[5].used());
    toggleBackgroundSample(s, before, o, 0, s[5].x, s[5].y);
    EXPECT_FALSE(s[5].used());
    toggleBackgroundSample(s, before, o, 0, s[5].x, s[5].y);
    EXPECT_TRUE(s[5].used());
    // Between grid samples (boxes 3 px wide, 7 px apart).
    const int x = (s[0].x + s[1].x) / 2 + 1, y = s[0].y;
    toggleBackgroundSample(s, before, o, 0, x, y);
    ASSERT_EQ(s.size(), n + 1);
    EXPECT_NEAR(s.back().values[2], 1100 + 3 * x + 2 * y, 1);
    toggleBackgroundSample(s, before, o, 0, x, y);
    EXPECT_EQ(s.size(), n);
}

// A smooth nebula over a third of the frame on a linear gradient: its samples are rejected,
// so the gradient is taken out and the nebula stays. The residual against the true scene is
// bounded as in the accuracy test, inside the nebula as well as outside.
TEST(Background, SmoothNebulaIsNotTakenForBackground) {
    const int w = 512, h = 512;
    std::vector<double> truth = starField(w, h, randomStars(w, h, 100, 5));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // 0.4 sky at the centre, falling smoothly to 0 at 0.35 of the frame's side.
            const double dx = (x - 0.3 * w) / (0.35 * w), dy = (y - 0.6 * h) / (0.35 * h);
            const double r2 = dx * dx + dy * dy;
            if (r2 < 1) truth[std::size_t(y * w + x)] += 0.4 * kSky * (1 - r2) * (1 - r2);
        }
    for (auto method : {BackgroundMethod::Polynomial, BackgroundMethod::Spline}) {
        std::vector<double> observed = truth;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                observed[std::size_t(y * w + x)] += gradient(kLinear, x, y, w, h);
        Image img, ref;
        toImage(img, observed, w, h);
        toImage(ref, truth, w, h);
        BackgroundOptions o;
        o.method = method;
        extractBackground(img, o, 0, Progress::none());
        double lo = 1e9, hi = -1e9;
        for (int by = 0; by < h / 64; ++by)
            for (int bx = 0; bx < w / 64; ++bx) {
                double s = 0;
                for (int y = by * 64; y < by * 64 + 64; ++y)
                    for (int x = bx * 64; x < bx * 64 + 64; ++x)
                        s += img.row(0, y)[x] - ref.row(0, y)[x];
                lo = std::min(lo, s / 4096), hi = std::max(hi, s / 4096);
            }
        EXPECT_LE(hi - lo, 0.01 * 0.2 * kSky + 2 * kNoise / std::sqrt(3.0) / 64)
            << (method == BackgroundMethod::Spline ? "spline" : "polynomial");
    }
}
