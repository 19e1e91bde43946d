// insertExposure's vector loop against a plain per-pixel reference built on the sampler, at every
// instruction-set level and thread count, on odd sizes with positions leaving the exposure.
#include "composite/accumulate.h"
#include "core/parallel.h"
#include "ops/sampler.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace quillon {
namespace {

using testkit::makeImage;

// The result the documented per-pixel rule gives: position by the mapping, value by the sampler,
// then the average or the sum step.
void referenceInsert(Image& result, const Image& exposure, const ExposureMapping& map, int row,
                     int layer, std::span<const float> factors) {
    const bool single =
        (exposure.layerCount() == 1 && row != 0) || (result.layerCount() == 1 && layer != 0);
    const int layers = std::min(result.layerCount(), exposure.layerCount());
    const float maxU = static_cast<float>(exposure.width() - 1);
    const float maxV = static_cast<float>(exposure.height() - 1);
    std::array<float, kMaxUserLayers> all{};
    for (int y = 0; y < result.height(); ++y)
        for (int x = 0; x < result.width(); ++x) {
            float u = 0, v = 0;
            if (!map.sourcePosition(static_cast<float>(x), static_cast<float>(y), u, v)) continue;
            if (!(u >= 0.0f && u <= maxU && v >= 0.0f && v <= maxV)) continue;
            sampleAllLayers(exposure, u, v, 1, 1, all.data());
            for (int p = 0; p < (single ? 1 : layers); ++p) {
                const int dst = single ? row : p;
                const float value = single ? sampleLayer(exposure, u, v, layer, 1, 1) : all[p];
                Sample& r = result.row(dst, y)[x];
                Count& c = result.counterRow(dst, y)[x];
                if (factors.empty()) {
                    const float s = c;
                    r = toSample(static_cast<float>(r) * s / (s + 1.0f) + value / (s + 1.0f));
                } else {
                    const float f =
                        factors[std::min<std::size_t>(single ? layer : p, factors.size() - 1)];
                    r = clampSample(r + truncToInt(static_cast<double>(f * value + 0.5f)));
                }
                if (c < kMaxContributions) ++c;
            }
        }
}

std::string countsDiffer(const Image& a, const Image& b) {
    for (int p = 0; p < a.layerCount(); ++p)
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.counterRow(p, y)[x] != b.counterRow(p, y)[x])
                    return "count of layer " + std::to_string(p) + " at " + std::to_string(x) +
                           "," + std::to_string(y);
    return {};
}

struct Case {
    const char* name;
    std::uint16_t resultType, exposureType;
    int row, layer;
    std::vector<ReferencePoint> source, target;
    std::vector<float> factors;
};

// Mappings that leave the exposure on all sides, every kind and mode.
std::vector<Case> insertCases() {
    return {
        {"shift", BW_IMAGE, BW_IMAGE, 0, 0, {{20.3f, 9.7f}}, {{23.9f, 7.2f}}, {}},
        {"shift, colour, sum",
         RGB_IMAGE,
         RGB_IMAGE,
         0,
         0,
         {{5.5f, 6.25f}},
         {{1.0f, 2.0f}},
         {0.7f, 1.3f}},
        {"rotation, grey into a colour row",
         RGB_IMAGE,
         BW_IMAGE,
         2,
         0,
         {{10, 10}, {30, 17}},
         {{12.5f, 11}, {31, 22.75f}},
         {}},
        // Windows of neighbouring pixels side by side in most vectors (plain loads), with
        // vectors at the edges and the last rows falling back.
        {"near-identity rotation",
         BW_IMAGE,
         BW_IMAGE,
         0,
         0,
         {{10, 10}, {30, 17}},
         {{11.4f, 8.8f}, {31.41f, 15.81f}},
         {}},
        {"near-identity rotation, colour, sum",
         RGB_IMAGE,
         RGB_IMAGE,
         0,
         0,
         {{10, 10}, {30, 17}},
         {{8.6f, 11.3f}, {28.59f, 18.31f}},
         {0.7f, 1.3f}},
        {"rotation and scale, colour",
         RGB_IMAGE,
         RGB_IMAGE,
         0,
         0,
         {{3, 4}, {30, 25}},
         {{1, 2}, {40, 30}},
         {}},
        {"affine, one layer, sum",
         BW_IMAGE,
         RGB_IMAGE,
         0,
         1,
         {{2, 3}, {30, 5}, {6, 28}},
         {{1, 1}, {34, 4}, {3, 33}},
         {-0.5f, 2.0f}},
        {"warp",
         BW_IMAGE,
         BW_IMAGE,
         0,
         0,
         {{2, 2}, {30, 3}, {3, 29}, {31, 30}},
         {{0, 0}, {36, 1}, {1, 30}, {35, 33}},
         {}},
    };
}

TEST(AccumulateVectors, EqualTheSamplerPixelByPixel) {
    // Odd sizes (vector tails at every width), full-range noise (interpolation beyond the
    // sample range), saturated and random counts.
    const std::vector<Case> cases = insertCases();
    const int sizes[][2] = {{37, 29}, {16, 16}, {53, 41}};
    std::uint64_t seed = 1;
    for (const Case& c : cases)
        for (const auto& size : sizes) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(size[0]) + " wide");
            Image exposure;
            makeImage(exposure, 33, 31, c.exposureType, testkit::noise(seed++));
            const std::uint64_t startSeed = seed++;
            const auto makeStart = [&](Image& img) {
                makeImage(img, size[0], size[1], c.resultType, testkit::noise(startSeed));
                ASSERT_EQ(img.AllocateCounters(kMaxUserLayers, 0), 0);
                testkit::SplitMix64 random{startSeed};
                for (int p = 0; p < img.layerCount(); ++p)
                    for (int y = 0; y < img.height(); ++y)
                        for (int x = 0; x < img.width(); ++x)
                            img.counterRow(p, y)[x] = random.next() % 4 == 0
                                                          ? Count{kMaxContributions}
                                                          : static_cast<Count>(random.next() % 40);
            };
            Image expected;
            makeStart(expected);
            referenceInsert(expected, exposure, exposureMapping(c.source, c.target, 1.0f), c.row,
                            c.layer, c.factors);
            InsertOptions o;
            o.row = c.row;
            o.layerIndex = c.layer;
            o.factors = c.factors;
            testkit::forEachSimdLevel([&](int level) {
                for (int threads : {1, 3}) {
                    SCOPED_TRACE("level " + std::to_string(level) + ", " + std::to_string(threads) +
                                 " threads");
                    const ScopedThreadCount scoped(threads);
                    Image result;
                    makeStart(result);
                    insertExposure(result, exposure, c.source, c.target, o);
                    EXPECT_EQ(testkit::firstDifference(result, expected), "");
                    EXPECT_EQ(countsDiffer(result, expected), "");
                }
            });
        }
}

TEST(AccumulateVectors, OverwriteEqualsInsertingIntoAClearedResult) {
    // The layers fed are written whole over stale samples and counts; the others stay.
    std::uint64_t seed = 100;
    for (const Case& c : insertCases()) {
        SCOPED_TRACE(c.name);
        Image exposure;
        makeImage(exposure, 33, 31, c.exposureType, testkit::noise(seed++));
        const std::uint64_t stale = seed++;
        InsertOptions o;
        o.row = c.row;
        o.layerIndex = c.layer;
        o.factors = c.factors;
        Image expected;
        makeImage(expected, 45, 27, c.resultType, testkit::noise(stale));
        ASSERT_EQ(expected.AllocateCounters(kMaxUserLayers, 7), 0);
        const bool single = (exposure.layerCount() == 1 && c.row != 0) ||
                            (expected.layerCount() == 1 && c.layer != 0);
        const int fed = single ? 1 : std::min(expected.layerCount(), exposure.layerCount());
        for (int k = 0; k < fed; ++k) {
            const int p = single ? c.row : k;
            for (int y = 0; y < expected.height(); ++y)
                for (int x = 0; x < expected.width(); ++x) {
                    expected.row(p, y)[x] = 0;
                    expected.counterRow(p, y)[x] = 0;
                }
        }
        insertExposure(expected, exposure, c.source, c.target, o);
        o.overwrite = true;
        testkit::forEachSimdLevel([&](int level) {
            SCOPED_TRACE("level " + std::to_string(level));
            Image result;
            makeImage(result, 45, 27, c.resultType, testkit::noise(stale));
            ASSERT_EQ(result.AllocateCounters(kMaxUserLayers, 7), 0);
            insertExposure(result, exposure, c.source, c.target, o);
            EXPECT_EQ(testkit::firstDifference(result, expected), "");
            EXPECT_EQ(countsDiffer(result, expected), "");
        });
    }
    SampleSums sums;
    Image result;
    makeImage(result, 45, 27, BW_IMAGE, testkit::noise(1));
    ASSERT_EQ(result.AllocateCounters(0, 1), 0);
    sums.seed(result, true);
    InsertOptions o;
    o.overwrite = true;
    o.sums = &sums;
    const std::vector<ReferencePoint> point{{5, 5}};
    EXPECT_THROW(insertExposure(result, result, point, point, o), std::invalid_argument);
}

} // namespace
} // namespace quillon
