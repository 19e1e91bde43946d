// Aligning and accumulating exposures: the mappings, the accumulation arithmetic, long series,
// the overlay, and a star field that must land where the truth says.
#include "composite/accumulate.h"
#include "core/parallel.h"
#include "display/overlay.h"
#include "display/renderer.h"
#include "ops/sampler.h"
#include "support/progress_recorder.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace quillon {
namespace {

using testkit::makeImage;

// A result image of the given size and type with all samples `value` and all counts `count`.
void makeResult(Image& img, int w, int h, std::uint16_t type, int value, Count count) {
    makeImage(img, w, h, type, testkit::constant(value));
    ASSERT_EQ(img.AllocateCounters(kMaxUserLayers, count), 0);
}

void insertShift(Image& result, const Image& exposure, ReferencePoint s, ReferencePoint t,
                 const InsertOptions& o = {}) {
    insertExposure(result, exposure, std::span(&s, 1), std::span(&t, 1), o);
}

TEST(AlignMapping, WorkedExamplesAndBearings) {
    float u = 0, v = 0;
    const ReferencePoint s1{10, 10}, t1{12, 15};
    ASSERT_TRUE(
        exposureMapping(std::span(&s1, 1), std::span(&t1, 1), 1.0f).sourcePosition(12, 15, u, v));
    EXPECT_EQ(u, 10.0f);
    EXPECT_EQ(v, 10.0f);

    const ReferencePoint origin{0, 0};
    const ExposureMapping doubled =
        exposureMapping(std::span(&origin, 1), std::span(&origin, 1), 2);
    for (int x : {0, 3, 7}) {
        doubled.sourcePosition(static_cast<float>(2 * x), static_cast<float>(2 * x + 2), u, v);
        EXPECT_EQ(u, static_cast<float>(x));
        EXPECT_EQ(v, static_cast<float>(x + 1));
    }
    EXPECT_EQ(doubled.overlayBlock(), 1) << "truncate(0.5001) raised to 1";

    const ReferencePoint s[2] = {{10, 10}, {10, 9}}, t[2] = {{10, 10}, {11, 10}};
    const ExposureMapping rot = exposureMapping(s, t, 1.0f);
    EXPECT_EQ(rot.angle, 1.5707964f);
    EXPECT_EQ(rot.scale, 1.0f);
    rot.sourcePosition(11, 10, u, v);
    EXPECT_EQ(u, 10.0f);
    EXPECT_EQ(v, 9.0f);

    // Bearings, y downwards: up 0, clockwise to 2π; coincident points 2π.
    const double pi = 3.14159265358979;
    const struct {
        ReferencePoint q;
        double want;
    } bearings[] = {{{0, -1}, 0},          {{1, -1}, pi / 4},      {{1, 0}, pi / 2},
                    {{1, 1}, 3 * pi / 4},  {{0, 1}, pi},           {{-1, 1}, 5 * pi / 4},
                    {{-1, 0}, 3 * pi / 2}, {{-1, -1}, 7 * pi / 4}, {{0, 0}, 2 * pi}};
    for (const auto& b : bearings)
        EXPECT_NEAR(alignBearing({0, 0}, b.q), b.want, 1e-6) << b.q.x << "," << b.q.y;
}

// 100 (count 1) receives 101 and 102: truncation at each step keeps 100, in both average modes
// (a grey exposure into a grey result, and into row 1 of an RGB result).
TEST(Accumulate, AveragingTruncatesAtEachStep) {
    for (const std::uint16_t type : {BW_IMAGE, RGB_IMAGE}) {
        const int layer = type == BW_IMAGE ? 0 : 1;
        Image result;
        makeResult(result, 12, 12, type, 100, 1);
        for (const int value : {101, 102}) {
            Image exposure;
            makeImage(exposure, 12, 12, BW_IMAGE, testkit::constant(value));
            InsertOptions o;
            o.row = layer;
            insertShift(result, exposure, {0, 0}, {0, 0}, o);
        }
        EXPECT_EQ(result.row(layer, 6)[6], 100);
        EXPECT_EQ(result.counterRow(layer, 6)[6], 3);
        if (type == RGB_IMAGE) {
            EXPECT_EQ(result.counterRow(0, 6)[6], 1) << "other rows untouched";
        }
    }
}

// With exact sums the same series averages to 101, its true mean, over the vector columns and
// the scalar rest of each row alike; a factor scales the averaged value.
TEST(Accumulate, ExactSumsAverageToTheTrueMean) {
    for (const std::uint16_t type : {BW_IMAGE, RGB_IMAGE}) {
        const int layer = type == BW_IMAGE ? 0 : 1;
        Image result;
        makeResult(result, 37, 12, type, 100, 1);
        SampleSums sums;
        sums.seed(result, true);
        const float two[] = {2.0f, 2.0f, 2.0f};
        for (const int value : {101, 102, 51}) {
            Image exposure;
            makeImage(exposure, 37, 12, BW_IMAGE, testkit::constant(value));
            InsertOptions o;
            o.row = layer;
            o.sums = &sums;
            if (value == 51) { // 2 · 51 = 102: the mean of 100, 101, 102, 102 is 101.25
                o.factors = two;
                o.average = true;
            }
            insertShift(result, exposure, {0, 0}, {0, 0}, o);
            if (value == 102) {
                for (int x = 0; x < 37; ++x) ASSERT_EQ(result.row(layer, 3)[x], 101) << x;
            }
        }
        for (int x = 0; x < 37; ++x) {
            EXPECT_EQ(result.row(layer, 3)[x], 101) << x;
            EXPECT_EQ(result.counterRow(layer, 3)[x], 4);
            EXPECT_FLOAT_EQ(sums.value(layer, x, 3), 101.25f);
        }
    }
}

// Sums: factor · v + 0.5 truncated, then clamped. v = ±1.5 comes from interpolating halfway
// between columns of -1 / -2 (or 1 / 2); u = x + 0.5.
TEST(Accumulate, SumRoundsHalfUpAndClamps) {
    const struct {
        int base, left, right;
        float factor;
        int want;
    } cases[] = {{10000, 30000, 30000, 1.0f, 32767},
                 {0, -1, -2, 1.0f, -1},
                 {0, 1, 2, 1.0f, 2},
                 {-32000, -1000, -1000, 2.0f, -32768}};
    for (const auto& c : cases) {
        Image result, exposure;
        makeResult(result, 16, 12, BW_IMAGE, c.base, 0);
        makeImage(exposure, 16, 12, BW_IMAGE,
                  [&](int, int x, int) { return x <= 7 ? c.left : c.right; });
        InsertOptions o;
        o.factors = std::span(&c.factor, 1);
        insertShift(result, exposure, {0.5f, 0}, {0, 0}, o);
        EXPECT_EQ(result.row(0, 5)[7], c.want) << c.base << " + " << c.left << "/" << c.right;
        EXPECT_EQ(result.counterRow(0, 5)[7], 1);
    }
}

TEST(Accumulate, PositionJustOutsideTheExposureGetsNothing) {
    Image result, exposure;
    makeResult(result, 20, 12, BW_IMAGE, 7, 0);
    makeImage(exposure, 20, 12, BW_IMAGE, testkit::constant(500));
    insertShift(result, exposure, {0, 0}, {-0.4f, 0}); // u = x + 0.4
    EXPECT_EQ(result.row(0, 3)[19], 7) << "u = 19.4 lies 0.4 beyond the last column";
    EXPECT_EQ(result.counterRow(0, 3)[19], 0);
    EXPECT_NEAR(result.row(0, 3)[18], 500, 1) << "interpolated, then truncated";
    EXPECT_EQ(result.counterRow(0, 3)[18], 1);
}

// 255 exposures of 30000 and 45 of 0 average to 25500 (less at most one per truncated step);
// an 8-bit count would wrap after 255 and restart the mean.
TEST(Accumulate, MoreThan255ExposuresAverage) {
    Image result, bright, dark;
    makeResult(result, 10, 10, BW_IMAGE, 0, 0);
    makeImage(bright, 10, 10, BW_IMAGE, testkit::constant(30000));
    makeImage(dark, 10, 10, BW_IMAGE, testkit::constant(0));
    for (int i = 0; i < 300; ++i) insertShift(result, i < 255 ? bright : dark, {0, 0}, {0, 0});
    EXPECT_EQ(result.counterRow(0, 4)[4], 300);
    EXPECT_NEAR(result.row(0, 4)[4], 25500, 45);
}

TEST(Accumulate, OverlayIsCopiedOrFormed) {
    Image exposure;
    makeImage(
        exposure, 16, 16, BW_IMAGE,
        [](int p, int x, int y) {
            return p == 1 ? (x == 5 && y == 5 ? 0x1234 : 0) : (x == 9 && y == 4 ? 1000 : 0);
        },
        true);
    {
        Image result;
        makeResult(result, 16, 16, BW_IMAGE, 0, 0);
        insertShift(result, exposure, {0, 0}, {2, 3});
        ASSERT_TRUE(result.hasOverlay());
        EXPECT_EQ(result.row(1, 8)[7], 0x1234);
        Image strip;
        makeResult(strip, 16, 16, BW_IMAGE, 0, 0);
        InsertOptions o;
        o.strip = true;
        insertShift(strip, exposure, {0, 0}, {2, 3}, o);
        EXPECT_FALSE(strip.hasOverlay()) << "strip images carry no overlay";
    }
    // Overlay list: the bright pixel shows white, the rest black ("Schwarz" is inactive).
    ImageRenderer renderer(exposure);
    renderer.setShowOverlay(false);
    renderer.rebuildLut(); // black 0, white 255
    Image result;
    makeResult(result, 16, 16, BW_IMAGE, 3, 0);
    InsertOptions o;
    o.overlayComposition = &renderer.composition();
    o.overlayTables = renderer.colourTables();
    o.layerIndex = OVERLAY_BLACK;
    insertShift(result, exposure, {0, 0}, {2, 3}, o);
    ASSERT_TRUE(result.hasOverlay());
    EXPECT_EQ(
        testkit::mismatch(
            result, [](int p, int x, int y) { return p == 1 ? (x == 11 && y == 7 ? -1 : 0) : 3; }),
        "");
    EXPECT_EQ(result.counterRow(0, 7)[11], 0) << "counters untouched";
}

// A star field, rotated, scaled and shifted by known amounts, aligned on 1 to 4 of its stars
// (given exactly): every other star's centroid in the result must sit on its true position.
class StarFieldAlignment : public ::testing::TestWithParam<int> {};

TEST_P(StarFieldAlignment, LandsOnTheTruth) {
    const int n = GetParam();
    constexpr int kSize = 200;
    constexpr double kSigma = 1.4, kBackground = 100;
    // Truth in the result frame: the reference stars near the corners (point order 1 top
    // left, 2 top right, 3 bottom left, 4 bottom right), then well separated others.
    std::vector<testkit::Star> truth = {
        {40.3, 38.6, 150000}, {161.2, 44.9, 150000}, {43.7, 158.1, 150000}, {157.4, 163.3, 150000}};
    testkit::SplitMix64 rng{1234};
    while (truth.size() < 24) {
        const testkit::Star s{rng.uniformReal(30, 170), rng.uniformReal(30, 170),
                              rng.uniformReal(40000, 200000)};
        bool apart = true;
        for (const auto& t : truth) apart = apart && std::hypot(s.x - t.x, s.y - t.y) > 14;
        if (apart) truth.push_back(s);
    }
    // Exposure position of a result position: rotation φ and scale k about the centre, shift.
    const double phi = n == 1 ? 0.0 : 3.0 * 3.14159265358979 / 180.0;
    const double k = n == 1 ? 1.0 : 1.01, dx = 3.37, dy = -2.61, c = kSize / 2.0;
    auto toExposure = [&](double x, double y) {
        return std::pair{c + k * (std::cos(phi) * (x - c) - std::sin(phi) * (y - c)) + dx,
                         c + k * (std::sin(phi) * (x - c) + std::cos(phi) * (y - c)) + dy};
    };
    std::vector<testkit::Star> moved;
    for (const auto& s : truth) {
        const auto [x, y] = toExposure(s.x, s.y);
        moved.push_back({x, y, s.flux});
    }
    Image exposure;
    testkit::define(exposure, kSize, kSize);
    testkit::fillStars(exposure, moved, kSigma, kBackground);
    std::vector<ReferencePoint> source, target;
    for (int i = 0; i < n; ++i) {
        const auto& s = moved[static_cast<std::size_t>(i)];
        const auto& t = truth[static_cast<std::size_t>(i)];
        source.push_back({static_cast<float>(s.x), static_cast<float>(s.y)});
        target.push_back({static_cast<float>(t.x), static_cast<float>(t.y)});
    }

    auto run = [&](int threads, Image& result, Progress& progress) {
        ScopedThreadCount scope(threads);
        makeResult(result, kSize, kSize, BW_IMAGE, 0, 0);
        insertExposure(result, exposure, source, target, {}, progress);
    };
    testkit::ProgressRecorder recorder;
    Progress progress(&recorder);
    Image result, again;
    run(1, result, progress);
    run(3, again, Progress::none());
    const char* titles[] = {"Schiebeaddieren", "Drehaddieren", "Zerraddieren", "Woelbaddieren"};
    EXPECT_EQ(recorder.title(), titles[n - 1]);
    EXPECT_EQ(testkit::firstDifference(result, again), "") << "1 and 3 threads";

    // A fresh result receives the sampler's value itself.
    const ExposureMapping map = exposureMapping(source, target, 1.0f);
    const std::pair<int, int> probes[] = {{50, 60}, {101, 99}, {150, 31}};
    for (const auto& [x, y] : probes) {
        float u = 0, v = 0;
        ASSERT_TRUE(map.sourcePosition(static_cast<float>(x), static_cast<float>(y), u, v));
        float want = 0;
        sampleAllLayers(exposure, u, v, 1, 1, &want);
        EXPECT_EQ(result.row(0, y)[x], toSample(want)) << x << "," << y;
    }

    // Centroids of the stars not used as reference points, background removed, in a window
    // of radius 5 around the true position.
    double sumSquares = 0;
    int count = 0;
    for (std::size_t i = 4; i < truth.size(); ++i) {
        const int cx = static_cast<int>(std::lround(truth[i].x));
        const int cy = static_cast<int>(std::lround(truth[i].y));
        double w = 0, wx = 0, wy = 0;
        for (int y = cy - 5; y <= cy + 5; ++y)
            for (int x = cx - 5; x <= cx + 5; ++x) {
                const double v = result.row(0, y)[x] - kBackground;
                w += v, wx += v * x, wy += v * y;
            }
        const double ex = wx / w - truth[i].x, ey = wy / w - truth[i].y;
        EXPECT_LT(std::hypot(ex, ey), 0.02) << "star " << i;
        sumSquares += ex * ex + ey * ey;
        ++count;
    }
    const double rms = std::sqrt(sumSquares / count);
    EXPECT_LT(rms, 0.01) << "pixels rms";
    RecordProperty("rms", std::to_string(rms));
}

INSTANTIATE_TEST_SUITE_P(PointPairs, StarFieldAlignment, ::testing::Values(1, 2, 3, 4));

} // namespace
} // namespace quillon
