// Unsharp mask and combine: worked examples, the layer rule and a plain reference loop.
#include "core/error.h"
#include "core/parallel.h"
#include "filters/kernels.h"
#include "filters/unsharp.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::testkit;

namespace {

// The unsharp mask written out per pixel: normalised blur sum, then b × (−m) + 0.5 + s × o.
void referenceUnsharp(Image& dst, const Image& src, int position, float m, float o,
                      LayerMask layers) {
    const Kernel k = unsharpBlurKernel(position);
    const int c = (k.width - 1) / 2;
    for (int i = 0; i < dst.planeCount(); ++i)
        for (int y = 0; y < dst.height(); ++y)
            for (int x = 0; x < dst.width(); ++x) {
                const bool overlay = i == dst.overlayPlane();
                const Sample s = src.row(i, y + c)[x + c];
                if (overlay || !layerSelected(layers, i)) {
                    dst.row(i, y)[x] = s;
                    continue;
                }
                float acc = 0.0f;
                for (int r = 0; r < k.height; ++r)
                    for (int q = 0; q < k.width; ++q)
                        acc += static_cast<float>(src.row(i, y + r)[x + q]) * k.at(r, q);
                const Sample b = toSample(acc / k.sum());
                float v = static_cast<float>(b) * -m + 0.5f;
                v += static_cast<float>(s) * o;
                dst.row(i, y)[x] = toSample(v);
            }
}

} // namespace

TEST(UnsharpMask, SizesByPosition) {
    const int expected[] = {2, 2, 4, 6, 6, 8, 8};
    for (int p = 0; p < 7; ++p) EXPECT_EQ(unsharpReduction(p), expected[p]);
    EXPECT_EQ(unsharpReduction(7), -1);
    auto src = make(20, 20);
    auto doc = applyFilter(UnsharpMaskFilter(6, 2, 3), *src, 0, Progress::none());
    EXPECT_EQ(doc->width(), 12);
    EXPECT_EQ(doc->height(), 12);
    EXPECT_STREQ(UnsharpMaskFilter(6, 2, 3).title(), "Unscharf Maskiert");
    auto dst = make(12, 12);
    EXPECT_THROW(unsharpMask(*dst, *src, 7, 2, 3, 0), Error) << "position outside 0 … 6";
    EXPECT_THROW(unsharpMask(*dst, *src, 4, 2, 3, 0), Error) << "wrong destination size";
}

TEST(UnsharpMask, FlatAreas) {
    auto src = make(30, 30, RGB_IMAGE);
    fill(*src, constant(1000));
    for (int p = 0; p < 7; ++p) {
        const int r = unsharpReduction(p);
        auto dst = make(30 - r, 30 - r, RGB_IMAGE);
        ASSERT_NO_THROW(unsharpMask(*dst, *src, p, 2.0f, 3.0f, 0));
        EXPECT_EQ(dst->row(1, 5)[5], 1000) << "o = m + 1 keeps flat areas, position " << p;
        ASSERT_NO_THROW(unsharpMask(*dst, *src, p, 2.0f, 2.0f, 0));
        EXPECT_EQ(dst->row(2, 5)[5], 0) << "o = m leaves only edges";
    }
}

TEST(UnsharpMask, UnselectedLayersStayUnchanged) {
    auto src = make(25, 25, RGB_IMAGE, true);
    fillNoise(*src, 9, -5000, 5000);
    auto dst = make(21, 21, RGB_IMAGE, true);
    ASSERT_NO_THROW(unsharpMask(*dst, *src, 2, 4.0f, 7.0f, 0b001));
    const auto centre = [&](int p, int x, int y) { return src->row(p, y + 2)[x + 2]; };
    for (int p : {1, 2, 3}) EXPECT_EQ(mismatch(*dst, centre, p), "") << p;
}

TEST(Combine, RoundingAreaAndOverlay) {
    auto dst = make(12, 12, BW_IMAGE, true);
    auto src = make(10, 10, BW_IMAGE, true);
    fill(*dst, [](int p, int, int) { return p == 0 ? 10 : 1; });
    fill(*src, [](int p, int, int) { return p == 0 ? 1 : 4; });
    // 10 × (−0.32) + 0.5 + 1 × 0 → −2.7 → −2 (0.5 added, truncated toward zero)
    combine(*dst, *src, 5, -3, -0.32f, 0.0f, 0.0f);
    EXPECT_EQ(dst->row(0, 0)[5], -2);
    EXPECT_EQ(dst->row(0, 6)[11], -2);
    EXPECT_EQ(dst->row(0, 7)[5], 10) << "outside the covered area";
    EXPECT_EQ(dst->row(0, 0)[4], 10);
    EXPECT_EQ(dst->row(1, 0)[5], 5) << "overlay ORed";
    EXPECT_EQ(dst->row(1, 0)[4], 1);
    combine(*dst, *src, 1, 1, 1.0f, 30000.0f, 5000.0f);
    EXPECT_EQ(dst->row(0, 8)[8], 32767) << "clamped";
    auto before = make(12, 12, BW_IMAGE, true);
    fill(*before, constant(3));
    combine(*before, *src, 12, 0, 5.0f, 5.0f, 5.0f); // empty area
    EXPECT_EQ(before->row(0, 0)[0], 3);
}

TEST(UnsharpDialog, StrongerWeakerAndStoredValues) {
    UnsharpFactors f{20.0f, 3.0f};
    f = unsharpStronger(f);
    EXPECT_EQ(f.m, 20.0f);
    EXPECT_EQ(f.o, 3.0f) << "nothing at m = 20";
    f = unsharpStronger({5.0f, 1.0f});
    EXPECT_EQ(f.m, 6.0f);
    EXPECT_EQ(f.o, 7.0f);
    f = unsharpWeaker({1.0f, 9.0f});
    EXPECT_EQ(f.m, 1.0f);
    EXPECT_EQ(f.o, 9.0f);
    f = unsharpWeaker({3.0f, 9.0f});
    EXPECT_EQ(f.m, 2.0f);
    EXPECT_EQ(f.o, 3.0f);
    EXPECT_EQ(storedUnsharpFactor(2.0f), 20000);
    EXPECT_EQ(storedUnsharpFactor(0.1f), 1000);
    EXPECT_FLOAT_EQ(unsharpFactorFromStored(0, 3.0f), 3.0f);
    EXPECT_FLOAT_EQ(unsharpFactorFromStored(25000, 3.0f), 2.5f);
    EXPECT_TRUE(unsharpFactorValid(1000.0f));
    EXPECT_FALSE(unsharpFactorValid(1000.5f));
    EXPECT_FALSE(unsharpFactorValid(-0.1f));
}

class UnsharpMatchesPlainLoop : public ::testing::TestWithParam<int> {};

TEST_P(UnsharpMatchesPlainLoop, EveryPosition) {
    ScopedThreadCount tc(GetParam());
    for (int p = 0; p < 7; ++p) {
        auto src = make(83, 37, RGB_IMAGE, true);
        fillNoise(*src, static_cast<unsigned>(p + 100), p % 2 ? -32768 : 0, p % 2 ? 32767 : 3000);
        const int r = unsharpReduction(p);
        auto fast = make(83 - r, 37 - r, RGB_IMAGE, true);
        auto ref = make(83 - r, 37 - r, RGB_IMAGE, true);
        const LayerMask layers = p % 2 ? 0b110 : 0;
        ASSERT_NO_THROW(unsharpMask(*fast, *src, p, 2.5f, 3.25f, layers));
        referenceUnsharp(*ref, *src, p, 2.5f, 3.25f, layers);
        ASSERT_EQ(firstDifference(*fast, *ref), "") << "position " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, UnsharpMatchesPlainLoop, ::testing::Values(1, 3));
