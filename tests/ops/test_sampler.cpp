// Sampler and resample: known answers and the whole-image path against the per-pixel sampler.
#include "core/error.h"
#include "core/parallel.h"
#include "ops/sampler.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::testkit;

TEST(Sampler, LagrangeWeightsHitTheNodes) {
    for (int node = 0; node < 4; ++node) {
        auto w = lagrangeWeights(static_cast<float>(node));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(w[static_cast<std::size_t>(i)], i == node ? 1.0f : 0.0f);
    }
    auto w = lagrangeWeights(1.5f);
    EXPECT_FLOAT_EQ(w[0] + w[1] + w[2] + w[3], 1.0f);
    EXPECT_FLOAT_EQ(w[1], 0.5625f);
}

TEST(Sampler, BlockMeanAndBorderRule) {
    auto img = make(10, 10);
    fill(*img, [](int, int x, int y) { return x + 10 * y; });
    // Block 2 × 2 at (3, 4): 43, 44, 53, 54 → 48.5
    EXPECT_FLOAT_EQ(sampleLayer(*img, 3.7f, 4.2f, 0, 2, 2), 48.5f);
    // x0 ≥ width − bin is pulled to width − bin − 1.
    EXPECT_FLOAT_EQ(sampleLayer(*img, 8.0f, 0.0f, 0, 2, 1), 7.5f);
    EXPECT_FLOAT_EQ(sampleLayer(*img, -3.0f, 0.0f, 0, 2, 1), 0.5f);
    // Interpolation reproduces a linear ramp exactly inside the image.
    EXPECT_NEAR(sampleLayer(*img, 4.25f, 5.5f, 0, 1, 1), 4.25f + 55.0f, 1e-3);
}

TEST(Sampler, BlockMeanEqualsPlainFloatSum) {
    auto img = make(40, 40);
    fillNoise(*img, 17);
    for (auto [bw, bh] : {std::pair{16, 32}, std::pair{22, 23}, std::pair{30, 30}}) {
        float sum = 0.0f;
        for (int y = 3; y < 3 + bh; ++y)
            for (int x = 2; x < 2 + bw; ++x) sum += static_cast<float>(img->row(0, y)[x]);
        EXPECT_EQ(sampleLayer(*img, 2.0f, 3.0f, 0, bw, bh), sum / static_cast<float>(bw * bh));
    }
}

TEST(Sampler, AllLayersAreClamped) {
    auto img = make(10, 10, RGB_IMAGE);
    // A spike next to full-scale values makes the cubic overshoot.
    fill(*img, [](int p, int x, int) { return p == 0 ? (x == 4 ? -32768 : 32767) : 100; });
    float v[3];
    sampleAllLayers(*img, 5.5f, 5.0f, 1, 1, v);
    EXPECT_LE(v[0], 32767.0f);
    EXPECT_GT(sampleLayer(*img, 5.5f, 5.0f, 0, 1, 1), 32767.0f) << "single layer is not clamped";
    EXPECT_FLOAT_EQ(v[1], 100.0f);
}

TEST(Resample, ChoosesBinningAtTwoAndMore) {
    auto g = resampleGeometry(1000, 1000, 400, 400);
    EXPECT_NEAR(g.sx, 999.0f / 399.0f, 1e-6);
    EXPECT_EQ(g.binWidth, 2);
    EXPECT_EQ(g.binHeight, 2);
    g = resampleGeometry(1000, 1000, 600, 600);
    EXPECT_EQ(g.binWidth, 1);
    EXPECT_EQ(g.binHeight, 1);
    g = resampleGeometry(1000, 500, 100, 400, 0.5f);
    EXPECT_FLOAT_EQ(g.sx, 2.0f);
    EXPECT_EQ(g.binWidth * g.binHeight, 1) << "a given scale never bins";
}

TEST(Resample, EnlargingKeepsTopLeftPixel) {
    auto src = make(10, 12);
    fillNoise(*src, 5);
    auto dst = make(25, 31);
    resample(*dst, *src);
    EXPECT_EQ(dst->row(0, 0)[0], src->row(0, 0)[0]);
    EXPECT_EQ(dst->row(0, 30)[24], src->row(0, 11)[9]) << "the last pixel maps onto the last";
}

TEST(Resample, AddsOverlayAndTakesNearestWord) {
    auto src = make(20, 20, BW_IMAGE, true);
    fill(*src, [](int p, int x, int y) { return p == 1 ? (x == 10 && y == 10 ? 7 : 0) : 0; });
    auto dst = make(39, 39);
    resample(*dst, *src);
    ASSERT_TRUE(dst->hasOverlay());
    EXPECT_EQ(dst->row(1, 20)[20], 7);
}

namespace {
// The per-pixel definition of resample, written out plainly.
void referenceResample(Image& dst, const Image& src, const ResampleOptions& o) {
    auto g = resampleGeometry(src.width(), src.height(), dst.width(), dst.height(), o.scale);
    std::vector<float> v(static_cast<std::size_t>(src.layerCount()));
    const int layers = std::min(src.layerCount(), dst.layerCount());
    for (int y = 0; y < dst.height(); ++y)
        for (int x = 0; x < dst.width(); ++x) {
            sampleAllLayers(src, static_cast<float>(x) * g.sx, static_cast<float>(y) * g.sy,
                            g.binWidth, g.binHeight, v.data());
            for (int l = 0; l < (o.targetLayer ? 1 : layers); ++l) {
                float f = v[static_cast<std::size_t>(l)];
                if (o.factors) f *= o.factors[l];
                dst.row(o.targetLayer ? o.targetLayer : l, y)[x] = toSample(f);
            }
        }
}

struct ResampleCase {
    int sw, sh, dw, dh;
    float scale;
    bool factors;
    int target;
};
} // namespace

class ResampleMatchesSampler : public ::testing::TestWithParam<std::tuple<ResampleCase, int>> {};

TEST_P(ResampleMatchesSampler, OnRandomImages) {
    const ResampleCase& c = std::get<0>(GetParam());
    const int threads = std::get<1>(GetParam());
    ScopedThreadCount tc(threads);
    auto src = make(c.sw, c.sh, RGB_IMAGE);
    fillNoise(*src, static_cast<unsigned>(c.sw * 31 + c.dw));
    const float factors[3] = {0.5f, 1.7f, -1.0f};
    ResampleOptions o;
    o.scale = c.scale;
    o.factors = c.factors ? factors : nullptr;
    o.targetLayer = c.target;
    auto ref = make(c.dw, c.dh, RGB_IMAGE);
    referenceResample(*ref, *src, o);
    forEachSimdLevel([&](int level) {
        auto fast = make(c.dw, c.dh, RGB_IMAGE);
        resample(*fast, *src, o);
        EXPECT_EQ(firstDifference(*fast, *ref), "") << "instruction-set level " << level;
    });
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResampleMatchesSampler,
    ::testing::Combine(::testing::Values(ResampleCase{100, 80, 60, 48, 0, false, 0},  // cubic 0.6
                                         ResampleCase{100, 80, 50, 40, 0, false, 0},  // bin 2
                                         ResampleCase{97, 83, 41, 13, 0, false, 0},   // bins 2 × 6
                                         ResampleCase{300, 300, 12, 10, 0, false, 0}, // big bins
                                         ResampleCase{33, 21, 70, 45, 0, true, 0},    // enlarge
                                         ResampleCase{64, 64, 40, 40, 0.7f, false, 0}, // scale
                                         ResampleCase{50, 40, 20, 30, 0, true, 2}),    // target
                       ::testing::Values(1, 3)));
