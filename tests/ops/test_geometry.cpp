// Mirror, rotation (mapping, memory failure), crop and the resize dialog rules.
#include "core/error.h"
#include "core/parallel.h"
#include "ops/geometry.h"
#include "support/progress_recorder.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <new>
#include <vector>

using namespace quillon;
using namespace quillon::testkit;

namespace {
int code(int p, int x, int y) {
    return p * 10000 + y * 100 + x;
}

} // namespace

TEST(Mirror, HorizontalSwapsRowsAndKeepsOddMiddleRow) {
    auto img = make(12, 11, RGB_IMAGE, true);
    fill(*img, code);
    testkit::ProgressRecorder rec;
    Progress progress(&rec);
    mirror(*img, true, progress);
    EXPECT_EQ(mismatch(*img, [](int p, int x, int y) { return code(p, x, 10 - y); }), "");
    EXPECT_EQ(img->row(0, 5)[3], code(0, 3, 5)) << "middle row unchanged";
    ASSERT_EQ(rec.titles.size(), 1u);
    EXPECT_EQ(rec.titles[0], "Horiz. Spiegeln");
}

TEST(Mirror, VerticalReversesEveryRowOfEveryPlane) {
    auto img = make(13, 10, BW_IMAGE, true);
    fill(*img, code);
    mirror(*img, false);
    EXPECT_EQ(mismatch(*img, [](int p, int x, int y) { return code(p, 12 - x, y); }), "");
}

TEST(Rotate, PlaneMappingOfThreeByFive) {
    // width 3, height 5
    std::vector<Sample> src(15), dst(15);
    for (int i = 0; i < 15; ++i) src[static_cast<std::size_t>(i)] = static_cast<Sample>(i + 1);
    rotatePlane(dst.data(), src.data(), 3, 5, true);
    // Result is 5 wide, 3 high; (0, 0) moves to column 4 of row 0.
    EXPECT_EQ(dst[4], 1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(dst[static_cast<std::size_t>(x * 5 + (5 - 1 - y))],
                      src[static_cast<std::size_t>(y * 3 + x)]);
    rotatePlane(dst.data(), src.data(), 3, 5, false);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(dst[static_cast<std::size_t>((3 - 1 - x) * 5 + y)],
                      src[static_cast<std::size_t>(y * 3 + x)]);
}

class RotateImage : public ::testing::TestWithParam<int> {};

TEST_P(RotateImage, NinetyDegreesMovesEveryPlaneAndSwapsSizes) {
    ScopedThreadCount threads(GetParam());
    for (bool clockwise : {true, false}) {
        auto img = make(130, 75, RGB_IMAGE, true);
        auto code130 = [](int p, int x, int y) { return y * 130 + x + p * 11; };
        fill(*img, code130);
        img->SetPixelSize(9.0f, 7.4f);
        ASSERT_NO_THROW(rotate(*img, clockwise ? Rotation::Clockwise : Rotation::CounterClockwise));
        ASSERT_EQ(img->width(), 75);
        ASSERT_EQ(img->height(), 130);
        EXPECT_FLOAT_EQ(img->pixelWidth(), 7.4f);
        EXPECT_FLOAT_EQ(img->pixelHeight(), 9.0f);
        // New pixel (x, y) came from (y, 74 - x) turning clockwise, else from (129 - y, x).
        const auto from = [&](int p, int x, int y) {
            return clockwise ? code130(p, y, 74 - x) : code130(p, 129 - y, x);
        };
        EXPECT_EQ(mismatch(*img, from), "") << clockwise;
    }
}
INSTANTIATE_TEST_SUITE_P(Threads, RotateImage, ::testing::Values(1, 3));

TEST(Rotate, HalfTurnIsBothMirrors) {
    auto img = make(10, 12);
    fill(*img, code);
    ASSERT_NO_THROW(rotate(*img, Rotation::Half));
    EXPECT_EQ(mismatch(*img, [](int p, int x, int y) { return code(p, 9 - x, 11 - y); }), "");
}

TEST(Rotate, OutOfMemoryLeavesImageUnchangedAndReportsMessage) {
    auto img = make(40, 20, LRGB_IMAGE, true);
    fill(*img, code);
    {
        memory::ScopedLimit limit(memory::inUse() + 100); // not even one plane
        EXPECT_THROW(rotate(*img, Rotation::Clockwise), std::bad_alloc);
        try {
            rotateImage(*img, Rotation::CounterClockwise);
            FAIL() << "expected an error";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Für diese Aktion steht zu wenig Speicher zur Verfügung!");
        }
        // The working plane fits but not the new row tables.
        memory::ScopedLimit limit2(memory::inUse() + 40 * 20 * 2 + 8);
        EXPECT_THROW(rotate(*img, Rotation::Clockwise), std::bad_alloc);
    }
    EXPECT_EQ(img->width(), 40);
    EXPECT_EQ(img->height(), 20);
    fill(*img, code); // still addressable as 40 × 20 everywhere
    auto ref = make(40, 20, LRGB_IMAGE, true);
    fill(*ref, code);
    EXPECT_EQ(firstDifference(*img, *ref), "");
    ASSERT_NO_THROW(rotate(*img, Rotation::Clockwise)); // works again with memory
}

TEST(Crop, CopiesRegionOverlayAndPsf) {
    auto src = make(30, 20, RGB_IMAGE, true);
    fill(*src, code);
    src->psf()[1].width = 3;
    src->psf()[1].height = 3;
    src->psf()[1].values.assign(9, 0.5f);
    src->setPsfCount(4);
    auto dst = make(10, 12, RGB_IMAGE, true);
    crop(*dst, 7, 5, *src);
    EXPECT_EQ(mismatch(*dst, [](int p, int x, int y) { return code(p, x + 7, y + 5); }), "");
    EXPECT_EQ(dst->psfCount(), 4);
    EXPECT_EQ(dst->psf()[1].values.size(), 9u);
    auto outside = make(10, 12, RGB_IMAGE, true);
    EXPECT_THROW(crop(*outside, 21, 0, *src), Error);
    EXPECT_THROW(crop(*outside, -1, 0, *src), Error);
}

TEST(Crop, SelectionOfTenAllowedNineRefused) {
    EXPECT_TRUE(cropAllowed({5, 5, 15, 15}));
    EXPECT_FALSE(cropAllowed({5, 5, 14, 15}));
    EXPECT_FALSE(cropAllowed({5, 5, 15, 14}));
    EXPECT_FALSE(cropAllowed({15, 5, 5, 15}));
}

struct ResizeCase {
    int srcW, srcH;
    ResizeFields in;
    ResizeField edited;
    int w, h;
    float wp, hp;
};

class ResizeDialog : public ::testing::TestWithParam<ResizeCase> {};

TEST_P(ResizeDialog, Rules) {
    const auto& c = GetParam();
    ResizeFields f = recomputeResize(c.in, c.srcW, c.srcH, c.edited);
    EXPECT_EQ(f.width, c.w);
    EXPECT_EQ(f.height, c.h);
    EXPECT_NEAR(f.widthPercent, c.wp, 1e-4);
    EXPECT_NEAR(f.heightPercent, c.hp, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ResizeDialog,
    ::testing::Values(
        // 15 pixels typed for a 10-pixel-wide image: 150.0 %, aspect copies it to the height.
        ResizeCase{10, 20, {15, 20, 100, 100, true}, ResizeField::Width, 15, 30, 150.0f, 150.0f},
        ResizeCase{10, 20, {15, 20, 100, 100, false}, ResizeField::Width, 15, 20, 150.0f, 100.0f},
        // 50 % typed with the aspect box on.
        ResizeCase{
            800, 600, {800, 600, 50, 100, true}, ResizeField::WidthPercent, 400, 300, 50, 50},
        ResizeCase{
            800, 600, {800, 600, 100, 25, true}, ResizeField::HeightPercent, 200, 150, 25, 25},
        // Clamped to 10 and the percent recomputed and cut to one decimal.
        ResizeCase{
            333, 333, {333, 333, 1, 1, false}, ResizeField::WidthPercent, 10, 10, 3.0f, 3.0f},
        ResizeCase{100,
                   100,
                   {100, 100, 20000, 100, false},
                   ResizeField::WidthPercent,
                   14000,
                   100,
                   14000,
                   100},
        // 1/3: 33.33… % is shown as 33.3.
        ResizeCase{
            300, 300, {100, 300, 100, 100, false}, ResizeField::Width, 100, 300, 33.3f, 100}));

TEST(ResizeDialog, InitialAndConfirmation) {
    ResizeFields f = initialResizeFields(640, 480);
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.height, 480);
    EXPECT_FLOAT_EQ(f.widthPercent, 100);
    EXPECT_TRUE(f.keepAspect);
    // width × height × 6 > 268435456
    EXPECT_FALSE(resizeNeedsConfirmation(6688, 6688));
    EXPECT_TRUE(resizeNeedsConfirmation(6689, 6689));
    EXPECT_FALSE(resizeNeedsConfirmation(14000, 3195));
    EXPECT_TRUE(resizeNeedsConfirmation(14000, 3196));
    EXPECT_EQ(resizeConfirmationText(14000, 14000),
              "Es wird ein Bild mit 196 Megapixeln erzeugt.\n Vergewissern Sie sich, dass Ihr "
              "System über genügend Arbeitsspeicher verfügt.");
}
