// Grey and RGB conversion, layer and overlay extraction, the new views' points, the overlay plane.
#include "display/renderer.h"
#include "ops/convert.h"
#include "ops/grey_op.h"
#include "support/progress_recorder.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::testkit;

namespace {

std::unique_ptr<Image> made(const NewDocumentParams& d) {
    auto img = std::make_unique<Image>();
    createImage(d, *img);
    return img;
}

struct GreyCase {
    const char* name;
    std::uint16_t type;
    std::vector<int> layers; // every pixel's colour layers
    GreyFactors factors;
    bool useWeights;
    int expected;
};

class GreyConversion : public ::testing::TestWithParam<GreyCase> {};

TEST_P(GreyConversion, ComposedValuesTimesFactors) {
    const GreyCase& c = GetParam();
    Image src;
    std::vector<int> planes = c.layers;
    planes.push_back(0x1234); // the overlay word
    makeImage(src, 12, 11, c.type, perPlane(planes), true);
    ImageRenderer view(src);
    view.setWeights({2.0f, 1.0f, 0.5f});
    auto grey = made(greyDescription(src));
    ASSERT_TRUE(grey->hasOverlay());
    ProgressRecorder rec;
    Progress progress(&rec);
    toGrey(*grey, view.composition(),
           effectiveGreyFactors(c.factors, c.useWeights, view.params().channelWeight), progress);
    EXPECT_EQ(mismatch(*grey, perPlane({c.expected, 0x1234})), "");
    EXPECT_EQ(rec.title(), "in Graubild umwandeln");
    EXPECT_EQ(progress.total(), 2 * 11) << "one unit per row, twice with the overlay copied";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GreyConversion,
    ::testing::Values(
        // truncate(300 + 1180 + 330)
        GreyCase{"Natural", RGB_IMAGE, {1000, 2000, 3000}, {0.30f, 0.59f, 0.11f}, false, 1810},
        // factors 0.6, 0.59, 0.055: 600 + 1180 + 165
        GreyCase{"Weighted", RGB_IMAGE, {1000, 2000, 3000}, {0.30f, 0.59f, 0.11f}, true, 1945},
        GreyCase{"ClampsLow", RGB_IMAGE, {3000, 0, 0}, {-20.0f, 0.0f, 0.0f}, false, -32768},
        // CMYK composes with the CMY rule minus K: 3500, 1500, -500
        GreyCase{"Cmyk", CMYK_IMAGE, {500, 1000, 2000, 3000}, {1.0f, 1.0f, 1.0f}, false, 4500}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(GreyFactorRule, SumOfOneNormalises) {
    const GreyFactors s = normalisedGreyFactors({1.0f, 1.0f, 2.0f});
    EXPECT_EQ((std::array{s.red, s.green, s.blue}), (std::array{0.25f, 0.25f, 0.5f}));
}

// Independent reference: every pixel of the conversion equals the view's composition of that
// pixel alone, for the types whose composition depends on the view (bias, layer matrix).
TEST(RgbConversion, EqualsThePixelByPixelComposition) {
    for (std::uint16_t type : {LRGB_IMAGE, USERDEFINED_IMAGE, CMYK_IMAGE}) {
        Image src;
        makeImage(src, 37, 23, type, noise(type, -3000, 9000), false, 3);
        ImageRenderer view(src);
        if (type == LRGB_IMAGE) view.setLrgbBias(100, 50, -20, 300);
        if (type == USERDEFINED_IMAGE)
            view.setLayerMatrix({0.3f, 0.7f, 0.0f, 1.5f, 0.0f, -2.0f, 4.0f, 0.0f, 0.5f});
        auto rgb = made(rgbDescription(src));
        toRGB(*rgb, view.composition());
        EXPECT_EQ(mismatch(*rgb,
                           [&](int p, int x, int y) {
                               Composed v{};
                               EXPECT_TRUE(view.composition().composedAt(x, y, v));
                               return v[static_cast<std::size_t>(p)];
                           }),
                  "")
            << "type " << type;
    }
}

TEST(Split, RgbWithOverlayGivesThreeLayersAndTheOverlayPicture) {
    Image src;
    makeImage(src, 11, 10, RGB_IMAGE, Ramp{-2000, 3, 50, 1000}, true);
    const int words[] = {0x7FFF, 0x8000, 0x8000 | 31 << 10, 1 << 10 | 2 << 5 | 3};
    for (int x = 0; x < 4; ++x) src.row(3, 0)[x] = static_cast<Sample>(words[x]);
    std::string titles;
    for (const SplitPart& part : splitParts(src)) titles += part.title + "/";
    EXPECT_EQ(titles, "Rot-Anteil/Gruen-Anteil/Blau-Anteil/Overlay/");

    ProgressRecorder rec;
    Progress progress(&rec);
    auto green = made(layerDescription(src));
    extractLayer(*green, src, 1, progress);
    EXPECT_EQ(rec.title(), "Ebene 2 extrahieren");
    EXPECT_EQ(mismatch(*green, [&](int, int x, int y) { return src.row(1, y)[x]; }), "");

    auto overlay = made(overlayDescription(src));
    extractOverlay(*overlay, src, progress);
    const int expected[4][3] = {{248, 248, 248}, {0, 0, 0}, {248, 0, 0}, {8, 16, 24}};
    for (int x = 0; x < 4; ++x)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(overlay->row(c, 0)[x], expected[x][c]) << x;
}

TEST(ConvertedViews, PointsFollowTheSourceView) {
    Image rgb;
    makeImage(rgb, 10, 10, RGB_IMAGE, constant(0));
    ImageRenderer view(rgb);
    const Points black{100, 200, 300}, white{1000, 2000, 30000};
    view.setPoints(&black, &white);
    // 30 + 118 + 33 and 300 + 1180 + 3300; with factor 2 on blue the white sum exceeds 32767.
    const ConvertedDisplay g = greyDisplay(view.composition(), naturalGreyFactors());
    EXPECT_EQ(g.black, (Points{181, 181, 181}));
    EXPECT_EQ(g.white, (Points{4780, 4780, 4780}));
    EXPECT_EQ(greyDisplay(view.composition(), {0, 0, 2}).white[0], 32767);
    EXPECT_EQ(layerDisplay(view.composition(), 2).white, (Points{30000, 30000, 30000}));
}

TEST(OverlayPlane, AddingWhenPresentKeepsTheExistingPlane) {
    Image img;
    makeImage(img, 10, 10, CMY_IMAGE, constant(77), true);
    EXPECT_TRUE(img.SetOverlay(true));
    EXPECT_EQ(img.planeCount(), 4);
    EXPECT_EQ(mismatch(img, constant(77), 3), "") << "the overlay's words stay";
}

} // namespace

// The grey record keeps each factor × 10000 as computed in float: 0.11 stays 1100 (in double it
// would be 1099), a factor of 0 is kept as 0, and the stored weight switch reads back.
TEST(GreyRecord, StoresFactorsScaledInFloatAndReadsThemBack) {
    SettingsRecord s;
    storeInto(GreyParams{{0.11f, 0.0f, -2.5f}, false}, s);
    EXPECT_EQ(s.graypicRed, 1100);
    EXPECT_EQ(s.graypicGreen, 0);
    EXPECT_EQ(s.graypicBlue, -25000);
    EXPECT_EQ(s.graypicWeight, 0);
    const GreyParams back = greyFromSettings(s);
    EXPECT_FLOAT_EQ(back.factors.red, 0.11f);
    EXPECT_EQ(back.factors.green, 0.0f);
    EXPECT_FALSE(back.useWeights);
    EXPECT_EQ(validate(back), -1);
    EXPECT_EQ(validate(GreyParams{{0, 0, 3e5f}, true}), 2);
}
