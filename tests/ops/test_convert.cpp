// Grey and RGB conversion, layer and overlay extraction, the new views' points, the overlay plane.
#include "core/error.h"
#include "ops/convert.h"
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
    ASSERT_EQ(grey->type(), BW_IMAGE);
    ASSERT_TRUE(grey->hasOverlay());
    ProgressRecorder rec;
    Progress progress(&rec);
    toGrey(*grey, view, effectiveGreyFactors(c.factors, c.useWeights, view.params().channelWeight),
           progress);
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
        // R = M + Y - C = 0, G = C - M + Y = 400, B = C + M - Y = 200: 100 + 25
        GreyCase{"Cmy", CMY_IMAGE, {300, 100, 200}, {0.5f, 0.25f, 0.125f}, false, 125},
        // CMYK composes with the CMY rule minus K: 3500, 1500, -500
        GreyCase{"Cmyk", CMYK_IMAGE, {500, 1000, 2000, 3000}, {1.0f, 1.0f, 1.0f}, false, 4500}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(GreyFactorsRules, NaturalAndSumOfOne) {
    const GreyFactors n = naturalGreyFactors();
    EXPECT_EQ(n.red, 0.30f);
    EXPECT_EQ(n.green, 0.59f);
    EXPECT_EQ(n.blue, 0.11f);
    const GreyFactors s = normalisedGreyFactors({1.0f, 1.0f, 2.0f});
    EXPECT_EQ(s.red, 0.25f);
    EXPECT_EQ(s.green, 0.25f);
    EXPECT_EQ(s.blue, 0.5f);
    const GreyFactors z = normalisedGreyFactors({1.0f, -1.0f, 0.0f});
    EXPECT_EQ(z.red, 1.0f) << "a zero sum leaves the factors";
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
        toRGB(*rgb, view);
        EXPECT_EQ(mismatch(*rgb,
                           [&](int p, int x, int y) {
                               Composed v{};
                               EXPECT_TRUE(view.composedAt(x, y, v));
                               return v[static_cast<std::size_t>(p)];
                           }),
                  "")
            << "type " << type;
    }
}

TEST(RgbConversion, CarriesTheOverlayWithHeightUnits) {
    Image src;
    makeImage(src, 10, 14, BW_IMAGE, Ramp{-500, 7, 100, 40000}, true);
    ImageRenderer view(src);
    auto rgb = made(rgbDescription(src));
    ProgressRecorder rec;
    Progress progress(&rec);
    toRGB(*rgb, view, progress);
    EXPECT_EQ(mismatch(*rgb, [&](int p, int x, int y) { return src.row(p == 3 ? 1 : 0, y)[x]; }),
              "");
    EXPECT_EQ(rec.title(), "Konvertiere zu RGB");
    EXPECT_EQ(progress.total(), 14);
}

TEST(Conversion, CancelRequestStopsIt) {
    Image src;
    makeImage(src, 20, 400, RGB_IMAGE, constant(5));
    ImageRenderer view(src);
    auto grey = made(greyDescription(src));
    ProgressRecorder rec;
    rec.cancelAfter = 0;
    Progress progress(&rec);
    EXPECT_THROW(toGrey(*grey, view, naturalGreyFactors(), progress), Cancelled);
}

TEST(Split, RgbWithOverlayGivesThreeLayersAndTheOverlayPicture) {
    Image src;
    makeImage(src, 11, 10, RGB_IMAGE, Ramp{-2000, 3, 50, 1000}, true);
    src.row(3, 0)[0] = 0x7FFF;
    src.row(3, 0)[1] = static_cast<Sample>(0x8000);
    src.row(3, 0)[2] = static_cast<Sample>(0x8000 | 31 << 10); // opaque red
    src.row(3, 0)[3] = 1 << 10 | 2 << 5 | 3;
    const std::vector<SplitPart> parts = splitParts(src);
    ASSERT_EQ(parts.size(), 4u);
    const char* titles[] = {"Rot-Anteil", "Gruen-Anteil", "Blau-Anteil", "Overlay"};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(parts[i].title, titles[i]);
    EXPECT_EQ(parts[3].layer, -1);

    ProgressRecorder rec;
    Progress progress(&rec);
    auto green = made(layerDescription(src));
    EXPECT_FALSE(green->hasOverlay());
    extractLayer(*green, src, parts[1].layer, progress);
    EXPECT_EQ(rec.title(), "Ebene 2 extrahieren");
    EXPECT_EQ(mismatch(*green, [&](int, int x, int y) { return src.row(1, y)[x]; }), "");

    auto overlay = made(overlayDescription(src));
    EXPECT_EQ(overlay->type(), RGB_IMAGE);
    EXPECT_FALSE(overlay->hasOverlay());
    extractOverlay(*overlay, src, progress);
    EXPECT_EQ(rec.title(), "Overlay extrahieren");
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
    ConvertedDisplay g = greyDisplay(view, naturalGreyFactors());
    EXPECT_EQ(g.black, (Points{181, 181, 181}));
    EXPECT_EQ(g.white, (Points{4780, 4780, 4780}));
    EXPECT_EQ(g.weights, (std::array<float, 3>{1, 1, 1}));
    EXPECT_EQ(greyDisplay(view, {0, 0, 2}).white[0], 32767);

    ConvertedDisplay l = layerDisplay(view, 2);
    EXPECT_FALSE(l.automatic);
    EXPECT_EQ(l.black, (Points{300, 300, 300}));
    EXPECT_EQ(l.white, (Points{30000, 30000, 30000}));

    Image lrgb;
    makeImage(lrgb, 10, 10, LRGB_IMAGE, constant(0));
    ImageRenderer lrgbView(lrgb);
    EXPECT_TRUE(layerDisplay(lrgbView, 0).automatic);
}

TEST(OverlayPlane, AddingWhenPresentKeepsTheExistingPlane) {
    Image img;
    makeImage(img, 10, 10, CMY_IMAGE, constant(77), true);
    EXPECT_TRUE(img.SetOverlay(true));
    EXPECT_EQ(img.planeCount(), 4);
    EXPECT_EQ(mismatch(img, constant(77), 3), "") << "the overlay's words stay";
}

} // namespace
