// Reference star search, carrying positions between exposures and the automatic check.
#include "analysis/reference_follow.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace quillon {
namespace {

using testkit::Star;

struct Spot {
    int plane, x, y, value;
};

// Each case: a zero image (100 × 100 grey unless said) with a few pixels set, searched with
// half-sizes 12 and 4.
TEST(ReferenceSearch, LocatesByEachMethod) {
    using M = ReferenceMethod;
    struct Case {
        const char* what;
        M method;
        float x, y;
        std::vector<Spot> pixels;
        ReferencePoint want;
        int size = 100;
    };
    const std::vector<Spot> one = {{0, 40, 30, 1000}};
    // Steps below 4 still weigh: ((3 - 0) / 4)³ against ((8 - 0) / 4)³.
    const std::vector<Spot> faint = {{0, 40, 30, 3}, {0, 41, 30, 8}};
    const float faintX = static_cast<float>(40 + 8 / 8.421875);
    const std::vector<Spot> equal = {{0, 47, 28, 5}, {0, 45, 28, 5}, {0, 42, 29, 5}};
    auto negated = [](std::vector<Spot> v) {
        for (Spot& s : v) s.value = -s.value;
        return v;
    };
    const Case cases[] = {
        {"bright pixel, centroid", M::PositiveCentroid, 37.6f, 33.2f, one, {40, 30}},
        {"bright pixel, maximum", M::Maximum, 37.6f, 33.2f, one, {40, 30}},
        {"position unchanged", M::Position, 123.45f, 67.89f, one, {123.45f, 67.89f}},
        {"faint pair, weights in double", M::PositiveCentroid, 37.6f, 33.2f, faint, {faintX, 30}},
        {"equal maxima: upper row, then left", M::Maximum, 45, 30, equal, {45, 28}},
        {"equal minima: upper row, then left", M::Minimum, 45, 30, negated(equal), {45, 28}},
        // Start (1.7, 1.9), h = 12: the window is centred on (12, 12), columns 0 .. 24.
        {"flat: the clamped start", M::Maximum, 1.7f, 1.9f, {}, {12, 12, false}},
        {"last column of the window", M::PositiveCentroid, 1.7f, 1.9f, {{0, 24, 0, 9}}, {24, 0}},
        {"first column beyond it", M::Maximum, 1.7f, 1.9f, {{0, 25, 0, 9}}, {12, 12, false}},
        // 20 × 20 with h = 12: h becomes 10, the window covers the whole image.
        {"lowered half-size, flat", M::Minimum, 0, 0, {}, {10, 10, false}, 20},
        {"lowered half-size, far corner", M::Maximum, 0, 0, {{0, 19, 19, 5}}, {19, 19}, 20},
    };
    for (const Case& c : cases) {
        auto img = testkit::make(c.size, c.size);
        for (const Spot& s : c.pixels) img->row(s.plane, s.y)[s.x] = static_cast<Sample>(s.value);
        const ReferencePoint r = locateReference(*img, c.method, c.x, c.y, 12, 4);
        EXPECT_NEAR(r.x, c.want.x, 1e-5) << c.what;
        EXPECT_NEAR(r.y, c.want.y, 1e-5) << c.what;
        EXPECT_EQ(r.found, c.want.found) << c.what;
    }
    EXPECT_EQ(effectiveHalfSize(12, 20, 20), 10);

    // The colour layers are summed (300 + 300 beats 500); the overlay takes no part.
    auto rgb = testkit::make(100, 100, RGB_IMAGE, true);
    for (const Spot& s :
         {Spot{0, 30, 30, 300}, {1, 30, 30, 300}, {2, 36, 36, 500}, {3, 33, 33, 30000}})
        rgb->row(s.plane, s.y)[s.x] = static_cast<Sample>(s.value);
    const ReferencePoint r = locateReference(*rgb, M::Maximum, 33, 33, 12, 4);
    EXPECT_EQ(r.x, 30);
    EXPECT_EQ(r.y, 30);
}

// A search window of 201 rows is scanned a band of rows at a time: the first of equal maxima
// in reading order still wins across bands, and a peak in a later band is centred exactly.
TEST(ReferenceSearch, TallWindowKeepsReadingOrderAcrossBands) {
    auto img = testkit::make(300, 300);
    for (const Spot& s : {Spot{0, 200, 130, 7}, {0, 120, 130, 7}, {0, 60, 200, 7}, {0, 90, 60, 3}})
        img->row(s.plane, s.y)[s.x] = static_cast<Sample>(s.value);
    const ReferencePoint m = locateReference(*img, ReferenceMethod::Maximum, 150, 150, 100, 4);
    EXPECT_EQ(m.x, 120);
    EXPECT_EQ(m.y, 130);
    img->row(0, 245)[80] = 1000;
    const ReferencePoint c =
        locateReference(*img, ReferenceMethod::PositiveCentroid, 150, 150, 100, 4);
    EXPECT_EQ(c.x, 80);
    EXPECT_EQ(c.y, 245);
    EXPECT_TRUE(c.found);
}

// Stars as a camera records them (pixel-integrated Gaussians on a sky background): the bright
// centroid finds them to a small fraction of a pixel from a start a few pixels off, and the
// dark centroid finds the same positions on the negative image.
TEST(ReferenceSearch, CentroidFindsGaussianStars) {
    const std::vector<Star> stars = {{40.30, 35.70, 150000},
                                     {121.85, 44.12, 60000},
                                     {75.50, 120.50, 250000},
                                     {160.07, 140.93, 90000}};
    Image bright, dark;
    testkit::define(bright, 200, 170);
    testkit::define(dark, 200, 170);
    testkit::fillStars(bright, stars, 1.4, 300.0);
    for (int y = 0; y < bright.height(); ++y)
        for (int x = 0; x < bright.width(); ++x)
            dark.row(0, y)[x] = static_cast<Sample>(20000 - bright.row(0, y)[x]);
    for (const Star& s : stars) {
        const float sx = static_cast<float>(s.x + 4.6), sy = static_cast<float>(s.y - 3.9);
        const ReferencePoint p =
            locateReference(bright, ReferenceMethod::PositiveCentroid, sx, sy, 12, 4);
        const ReferencePoint n =
            locateReference(dark, ReferenceMethod::NegativeCentroid, sx, sy, 12, 4);
        EXPECT_NEAR(p.x, s.x, 0.005) << s.x;
        EXPECT_NEAR(p.y, s.y, 0.005) << s.y;
        EXPECT_NEAR(n.x, p.x, 1e-3);
        EXPECT_NEAR(n.y, p.y, 1e-3);
    }
}

// The four-branch bearing against atan2, clockwise from up with y downwards.
TEST(ReferenceCheck, BearingMatchesAtan2) {
    // Every direction on a grid around P, the axes and the coinciding point included.
    const ReferencePoint p{5.5f, 4.25f};
    for (int j = -6; j <= 6; ++j)
        for (int i = -6; i <= 6; ++i) {
            const ReferencePoint q{p.x + static_cast<float>(i) / 2,
                                   p.y + static_cast<float>(j) / 3};
            double want = std::atan2(q.x - p.x, p.y - q.y) * 180.0 / M_PI;
            if (want < 0) want += 360.0;
            if (i == 0 && j == 0) want = 360.0;
            EXPECT_NEAR(referenceBearing(p, q), want, 1e-4) << i << "," << j;
        }
}

TEST(ReferenceCheck, DistanceAndBearingTolerances) {
    // Q at distance r from P = (100, 200) in bearing b (degrees).
    auto at = [](double r, double b) {
        const double a = b * M_PI / 180.0;
        return ReferencePoint{static_cast<float>(100 + r * std::sin(a)),
                              static_cast<float>(200 - r * std::cos(a))};
    };
    const ReferencePoint p{100, 200};
    struct Case {
        double seedDistance, seedBearing, bearing;
        bool distanceOk, bearingOk;
    } cases[] = {
        {99.81, 30.0, 30.0, true, true},   {99.79, 30.0, 30.0, false, true},
        {100.0, 30.0, 30.1, true, true},   {100.0, 30.0, 30.2, true, false},
        {100.0, 359.95, 0.05, true, true}, {100.0, 0.05, 359.95, true, true},
        {100.0, 359.9, 0.1, true, false},
    };
    for (const Case& c : cases) {
        const ReferenceSet located = {p, at(100.0, c.bearing), {}, {}};
        const ReferenceSet seeds = {p, at(c.seedDistance, c.seedBearing), {}, {}};
        const ReferenceCheck k = checkReferences(located, seeds, 2);
        ASSERT_EQ(k.pairCount, 1);
        EXPECT_EQ(k.pairs[0].distanceOk, c.distanceOk) << c.seedDistance << " " << c.bearing;
        EXPECT_EQ(k.pairs[0].bearingOk, c.bearingOk) << c.seedBearing << " " << c.bearing;
        EXPECT_EQ(k.passed, c.distanceOk && c.bearingOk);
        EXPECT_NEAR(std::abs(k.pairs[0].bearingDeviation),
                    std::abs(std::remainder(c.bearing - c.seedBearing, 360.0)), 1e-3);
    }
    // One point: nothing to compare, always passes.
    const ReferenceSet far = {ReferencePoint{1, 1}, ReferencePoint{500, 500}, {}, {}};
    EXPECT_TRUE(checkReferences(far, defaultReferenceSet(), 1).passed);
}

TEST(ReferenceCarry, ScalesBySizeRatio) {
    const ReferenceSet from = {ReferencePoint{100, 80}, ReferencePoint{501, 399},
                               ReferencePoint{3.5f, 7.25f}, ReferencePoint{999, 799}};
    const ReferenceSet half = carryReferences(from, 1000, 800, 500, 400);
    for (std::size_t i = 0; i < from.size(); ++i) {
        EXPECT_EQ(half[i].x, from[i].x / 2) << i;
        EXPECT_EQ(half[i].y, from[i].y / 2) << i;
    }
    const ReferenceSet narrow = carryReferences(from, 1000, 800, 250, 400);
    EXPECT_EQ(narrow[1].x, 501.0f / 4);
    EXPECT_EQ(narrow[1].y, 399.0f / 2);
    EXPECT_EQ(carryReferences(from, 10, 800, 500, 400)[3].x, 999); // previous size not set
}

// Following a series: a shifted exposure passes the check, a rotated one fails it on the
// bearing by the rotation angle, and both are located where the stars are.
TEST(ReferenceCarry, FollowsShiftAndCatchesRotation) {
    const std::vector<Star> ref = {
        {60.4, 50.2, 120000}, {170.7, 90.6, 90000}, {90.1, 150.3, 100000}};
    const ReferenceSearchSet settings{};
    Image first;
    testkit::define(first, 240, 200);
    testkit::fillStars(first, ref, 1.5, 200.0);
    const ReferenceSet seeds = {ReferencePoint{62, 48}, ReferencePoint{168, 93},
                                ReferencePoint{91, 147}, ReferencePoint{}};
    const ReferenceSet start = locateReferences(first, settings, seeds, 3);

    struct Case {
        double dx, dy, degrees;
        bool passes;
    } cases[] = {{3.35, -2.8, 0.0, true}, {-1.2, 4.6, 0.6, false}};
    for (const Case& c : cases) {
        const double a = c.degrees * M_PI / 180.0;
        std::vector<Star> moved;
        for (const Star& s : ref) // rotation about (120, 100), then the shift
            moved.push_back({120 + (s.x - 120) * std::cos(a) - (s.y - 100) * std::sin(a) + c.dx,
                             100 + (s.x - 120) * std::sin(a) + (s.y - 100) * std::cos(a) + c.dy,
                             s.flux});
        Image next;
        testkit::define(next, 240, 200);
        testkit::fillStars(next, moved, 1.5, 200.0);
        const ReferenceFollow f = followReferences(next, settings, start, 240, 200, 3);
        for (std::size_t i = 0; i < moved.size(); ++i) {
            EXPECT_NEAR(f.located[i].x, moved[i].x, 0.05) << i;
            EXPECT_NEAR(f.located[i].y, moved[i].y, 0.05) << i;
        }
        EXPECT_EQ(f.check.passed, c.passes) << c.degrees;
        for (int k = 0; k < f.check.pairCount; ++k)
            EXPECT_NEAR(f.check.pairs[static_cast<std::size_t>(k)].bearingDeviation, c.degrees,
                        0.05);
    }
}

} // namespace
} // namespace quillon
