// ImageRenderer parameters: points, switches, weights, LRGB bias, layer matrix, both
// branches of balanceToWeights, autoScale presets on known histograms, initialisation.
#include "core/memory.h"
#include "display/histogram.h"
#include "display/renderer.h"
#include "display/view_display.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::testkit;

TEST(RendererParams, SetPointsSeparatesEqualPointsAndClampsExponent) {
    Image im;
    makeImage(im, 10, 10, RGB_IMAGE, constant(0));
    ImageRenderer r(im);
    Points b{5, 32767, -3}, w{5, 32767, 10};
    r.setPoints(&b, &w, 0.05f);
    EXPECT_EQ(r.params().whitePoint[0], 6);
    EXPECT_EQ(r.params().blackPoint[1], 32766);
    EXPECT_EQ(r.params().whitePoint[1], 32767);
    EXPECT_EQ(r.params().whitePoint[2], 10);
    EXPECT_FLOAT_EQ(r.params().exponent, 0.1f);
    r.setPoints(nullptr, nullptr, 20.0f);
    EXPECT_FLOAT_EQ(r.params().exponent, 10.0f);
    r.setPoints(nullptr, nullptr, 0.0f);
    EXPECT_FLOAT_EQ(r.params().exponent, 10.0f) << "0 leaves the exponent";
    EXPECT_EQ(r.params().blackPoint[1], 32766) << "null leaves the points";
}

TEST(RendererParams, SwitchesWeightsAndPaletteOnlyForGrey) {
    Image rgb;
    makeImage(rgb, 10, 10, RGB_IMAGE, constant(0));
    ImageRenderer r(rgb);
    r.setSwitches({.invert = true, .lutType = 2, .palette = 1});
    EXPECT_TRUE(r.params().invert);
    EXPECT_EQ(r.params().lutType, 2);
    EXPECT_EQ(r.params().palette, 0) << "palettes are for grey images only";
    r.setSwitches({.lutType = 7});
    EXPECT_EQ(r.params().lutType, 0);
    EXPECT_TRUE(r.params().invert) << "unspecified switches stay";
    r.setWeights({0.0f, -2.0f, 3.5f});
    EXPECT_FLOAT_EQ(r.params().channelWeight[0], 0.01f);
    EXPECT_FLOAT_EQ(r.params().channelWeight[1], 0.01f);
    EXPECT_FLOAT_EQ(r.params().channelWeight[2], 3.5f);
}

TEST(HistogramCache, ResetAllocatesZeroesAndInvalidates) {
    HistogramCache cache;
    ASSERT_EQ(cache.reset(), 0);
    ASSERT_TRUE(cache.allocated());
    cache.tables[1][5] = 3;
    cache.valid = true;
    cache.rendererId = 7;
    ASSERT_EQ(cache.reset(), 0);
    EXPECT_FALSE(cache.valid);
    EXPECT_EQ(cache.rendererId, 0u);
    EXPECT_EQ(cache.tables[1][5], 0);

    HistogramCache other;
    memory::ScopedLimit limit(memory::inUse() + 65536 * 2 * 2);
    EXPECT_EQ(other.reset(), 200);
    EXPECT_FALSE(other.allocated()) << "tables that were allocated are released";
}

TEST(RendererParams, LrgbOffsetsFromBiasAndHistogramInvalidated) {
    Image im;
    makeImage(im, 10, 10, LRGB_IMAGE, constant(50));
    ImageRenderer r(im);
    r.histogram().valid = true;
    r.setLrgbBias(100, 10, 20, 0);
    // Colour biases raised to at least 1: 10, 20, 1, sum 31; offsets truncate(300 c' / 31).
    EXPECT_EQ(r.params().lrgbOffset[0], 96);
    EXPECT_EQ(r.params().lrgbOffset[1], 193);
    EXPECT_EQ(r.params().lrgbOffset[2], 9);
    EXPECT_FALSE(r.histogram().valid);
    r.setLrgbBias(-100, 0, 0, 0);
    EXPECT_EQ(r.params().lrgbOffset[0], -100) << "truncation toward zero";
}

TEST(RendererParams, DefaultLayerMatrix) {
    auto m3 = ImageRenderer::defaultLayerMatrix(3);
    EXPECT_EQ(m3, (std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    auto m6 = ImageRenderer::defaultLayerMatrix(6);
    EXPECT_FLOAT_EQ(m6[0], 0.5f);
    EXPECT_FLOAT_EQ(m6[3], 0.5f) << "layers 1 and 4 averaged into red";
    EXPECT_FLOAT_EQ(m6[6 + 1], 0.5f);
    EXPECT_FLOAT_EQ(m6[12 + 5], 0.5f);
    auto m4 = ImageRenderer::defaultLayerMatrix(4);
    EXPECT_FLOAT_EQ(m4[0], 0.5f);
    EXPECT_FLOAT_EQ(m4[3], 0.5f);
    EXPECT_FLOAT_EQ(m4[4 + 1], 1.0f);
    EXPECT_FLOAT_EQ(m4[8 + 2], 1.0f);
    auto m1 = ImageRenderer::defaultLayerMatrix(1);
    EXPECT_EQ(m1, (std::vector<float>{1, 0, 0}));
}

struct BalanceCase {
    Points black, white;
    std::array<float, 3> weight;
    Points expected;
};
class BalanceToWeights : public ::testing::TestWithParam<BalanceCase> {};

TEST_P(BalanceToWeights, Rewrites) {
    const BalanceCase& c = GetParam();
    Image im;
    makeImage(im, 10, 10, RGB_IMAGE, constant(0));
    ImageRenderer r(im);
    r.setWeights(c.weight);
    Points w = c.white;
    r.balanceToWeights(c.black, w);
    EXPECT_EQ(w, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Branches, BalanceToWeights,
    ::testing::Values(
        // rising: the heavier channel gets the narrower range
        BalanceCase{{0, 0, 0}, {100, 100, 100}, {1, 2, 1}, {200, 100, 200}},
        BalanceCase{{10, 20, 30}, {110, 70, 40}, {1, 1, 1}, {110, 120, 130}},
        // rising, limited so that no white passes 32767
        BalanceCase{{0, 32700, 0}, {100, 32710, 200}, {1, 1, 1}, {67, 32767, 67}},
        // all falling: the most negative weighted range wins
        BalanceCase{{100, 100, 100}, {50, 100, 0}, {1, 1, 1}, {0, 0, 0}},
        // falling, limited at -32768
        BalanceCase{{-32700, 0, 0}, {-32750, 0, -100}, {1, 1, 1}, {-32768, -68, -68}},
        // all zero ranges stay
        BalanceCase{{5, 6, 7}, {5, 6, 7}, {1, 3, 1}, {5, 6, 7}}));

namespace {
// A 100 × 100 grey image holding every value 0..9999 once (value = 100 y + x) plus `base`.
void rampImage(Image& im, int base, std::uint16_t type = BW_IMAGE) {
    makeImage(im, 100, 100, type, Ramp{.base = base, .dx = 1, .dy = 100});
}
} // namespace

struct PresetCase {
    int preset;
    int black;
    int white;
};
class AutoScalePresets : public ::testing::TestWithParam<PresetCase> {};

TEST_P(AutoScalePresets, PointsFromKnownHistogram) {
    // N = 10000: t0 = 1, t1 = 5, t2 = 100, t3 = 800.
    Image im;
    rampImage(im, 1000);
    ImageRenderer r(im);
    ASSERT_EQ(applyAutoScale(r, GetParam().preset), 0);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(r.params().blackPoint[static_cast<std::size_t>(c)], 1000 + GetParam().black);
        EXPECT_EQ(r.params().whitePoint[static_cast<std::size_t>(c)], 1000 + GetParam().white);
    }
}

INSTANTIATE_TEST_SUITE_P(AllPresets, AutoScalePresets,
                         ::testing::Values(PresetCase{-1, 0, 9999}, PresetCase{0, 4, 9900},
                                           PresetCase{1, 4, 9200}, PresetCase{2, 0, 9999},
                                           PresetCase{3, 0, 9999}, PresetCase{4, 0, 9995},
                                           PresetCase{5, 4, 9999}, PresetCase{6, 4, 9995}));

TEST(AutoScale, EightBitRuleOfTheInitialScaling) {
    Image im;
    makeImage(im, 50, 40, RGB_IMAGE, [](int p, int x, int y) { return (x * 5 + y + p * 7) % 201; });
    ImageRenderer r(im);
    r.setWeights({1.0f, 1.25f, 1.0f});
    ASSERT_EQ(applyAutoScale(r, 6), 0);
    EXPECT_EQ(r.params().blackPoint, (Points{0, 0, 0}));
    EXPECT_EQ(r.params().whitePoint, (Points{255, 204, 255})) << "truncate(255 / weight + 0.5)";
    // Balancing first: weights 1, 2, 0.5 push the whites above 256, so the rule does not apply.
    r.setWeights({1.0f, 2.0f, 0.5f});
    ASSERT_EQ(applyAutoScale(r, 6), 0);
    EXPECT_EQ(r.params().whitePoint, (Points{400, 200, 800}));
    // Not 8-bit: a negative black keeps the candidates.
    Image neg;
    rampImage(neg, -100);
    ImageRenderer rn(neg);
    applyAutoScale(rn, 6);
    EXPECT_EQ(rn.params().blackPoint[0], -96);
}

TEST(AutoScale, SaturatedCountersDoNotSendTheWhitePointToTheBottom) {
    // 1000 × 1000 pixels of one value: the counter stops at 65535 while t3 = 80000.
    Image im;
    makeImage(im, 1000, 1000, BW_IMAGE, constant(1234));
    ImageRenderer r(im);
    ASSERT_EQ(applyAutoScale(r, 1), 0);
    EXPECT_EQ(r.params().blackPoint[0], 1234);
    EXPECT_EQ(r.params().whitePoint[0], 1235) << "w3 is the value itself, then separated by one";
}

TEST(AutoScale, FailsWithoutHistogramMemory) {
    Image im;
    rampImage(im, 0);
    ImageRenderer r(im);
    Points before = r.params().whitePoint;
    {
        memory::ScopedLimit limit(memory::inUse() + 1000);
        EXPECT_EQ(applyAutoScale(r, 0), 1);
    }
    EXPECT_EQ(r.params().whitePoint, before);
}

TEST(InitFromImage, EightBitGreyWithoutStoredPointsGets0To255) {
    Image im;
    makeImage(im, 64, 64, BW_IMAGE, [](int, int x, int y) { return (x * 3 + y) % 256; });
    ImageRenderer r(im);
    initFromImage(r);
    EXPECT_EQ(r.params().blackPoint, (Points{0, 0, 0}));
    EXPECT_EQ(r.params().whitePoint, (Points{255, 255, 255}));
    EXPECT_EQ(r.table(0)[lutIndex(128)], 128);
    HistogramView hv;
    hv.resetTo(r.params());
    EXPECT_EQ(hv.range().lo, 0);
    EXPECT_EQ(hv.range().hi, 255);
}

TEST(InitFromImage, StoredRecordIsBalancedAndTablesCopied) {
    Image im;
    makeImage(im, 10, 10, RGB_IMAGE, constant(0));
    StoredDisplayParams& s = im.storedDisplay();
    s.hasPoints = true;
    s.blackPoint = {0, 10, 20};
    s.whitePoint = {100, 60, 520};
    s.hasWeights = true;
    s.channelWeight = {1.0f, 2.0f, 0.0f};
    s.exponent = 2.0f;
    ImageRenderer r(im);
    initFromImage(r);
    // weights 1, 2, 0.01: ranges 100, 100, 5 -> m = 100 -> widths 100, 50, 10000.
    EXPECT_EQ(r.params().whitePoint, (Points{100, 60, 10020}));
    EXPECT_FLOAT_EQ(r.params().exponent, 2.0f);
    HistogramView hv;
    hv.resetTo(r.params());
    EXPECT_EQ(hv.range().lo, 0);
    EXPECT_EQ(hv.range().hi, 10020);
    // Stored tables are taken as they are, with their switches.
    s.tables.assign(3 * 65536, 0);
    s.tables[lutIndex(7)] = 77;
    s.invert = true;
    initFromImage(r);
    EXPECT_EQ(r.table(0)[lutIndex(7)], 77);
    EXPECT_TRUE(r.params().invert);
}

TEST(InitFromImage, StoredRecordRoundTripsThroughARenderer) {
    Image a;
    makeImage(a, 10, 10, LRGB_IMAGE, Ramp{.dx = 1, .dp = 10});
    ImageRenderer ra(a);
    ra.setWeights({1.0f, 1.5f, 2.0f});
    ra.setLrgbBias(5, 1, 2, 3);
    Points b{1, 2, 3}, w{301, 202, 153};
    ra.setPoints(&b, &w, 1.7f);
    ra.setSwitches({.invert = true, .lutType = 1});
    Image copy;
    makeImage(copy, 10, 10, LRGB_IMAGE, Ramp{.dx = 1, .dp = 10});
    ra.storeInto(copy.storedDisplay(), true);
    ImageRenderer rb(copy);
    initFromImage(rb);
    EXPECT_EQ(rb.params().blackPoint, b);
    EXPECT_EQ(rb.params().whitePoint, w) << "already balanced: unchanged";
    EXPECT_FLOAT_EQ(rb.params().exponent, 1.7f);
    EXPECT_EQ(rb.params().lrgbOffset, ra.params().lrgbOffset);
    EXPECT_TRUE(rb.params().invert);
    EXPECT_EQ(rb.params().lutType, 1);
    for (int v = -32768; v < 32768; v += 61)
        EXPECT_EQ(rb.table(2)[lutIndex(v)], ra.table(2)[lutIndex(v)]);
}

TEST(InitFromImage, UserImageMatrixFromRecordOrDefault) {
    Image im;
    makeImage(im, 10, 10, USERDEFINED_IMAGE, constant(0), false, 2);
    ImageRenderer r(im);
    EXPECT_EQ(r.params().layerMatrix, std::vector<float>(6, 0.0f)) << "zero matrix at construction";
    im.storedDisplay().layerMatrix = {1, 2, 3}; // wrong size: default instead
    initFromImage(r);
    EXPECT_EQ(r.params().layerMatrix, ImageRenderer::defaultLayerMatrix(2));
    im.storedDisplay().layerMatrix = {0.5f, 0.5f, 0, 1, 1, 0};
    initFromImage(r);
    EXPECT_EQ(r.params().layerMatrix, im.storedDisplay().layerMatrix);
}

TEST(CopyFromRenderer, CopiesParametersTablesRangeAndZoom) {
    Image im;
    rampImage(im, 0, RGB_IMAGE);
    ViewDisplay a(im), b(im);
    initFromImage(a.renderer);
    a.renderer.setSwitches({.invert = true});
    a.histogram.setRange(-5, 77);
    a.setZoom(3.0);
    a.state.visibleRect = {1, 2, 30, 40};
    b.copyFrom(a);
    EXPECT_TRUE(b.renderer.params().invert);
    EXPECT_EQ(b.renderer.params().whitePoint, a.renderer.params().whitePoint);
    EXPECT_EQ(b.histogram.range().hi, 77);
    EXPECT_DOUBLE_EQ(b.zoom(), 3.0);
    EXPECT_EQ(b.state.visibleRect, (IntRect{1, 2, 30, 40}));
    for (int v = -32768; v < 32768; v += 97)
        EXPECT_EQ(b.renderer.table(1)[lutIndex(v)], a.renderer.table(1)[lutIndex(v)]);
}

TEST(RendererTables, AllocationFailureLeavesNoTables) {
    Image im;
    makeImage(im, 10, 10, BW_IMAGE, constant(0));
    memory::ScopedLimit limit(memory::inUse() + 1000);
    ImageRenderer r(im);
    EXPECT_FALSE(r.hasTables());
    r.rebuildLut(); // harmless
    Picture p;
    EXPECT_EQ(r.renderRect(0, 0, 10, 10, &p), RENDER_NO_TABLES);
}
