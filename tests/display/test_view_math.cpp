// Window arithmetic: zoom limits and steps, coordinates, zoom box, navigator; print layout
// and tiles; the scaling window's adjustments.
#include "display/print_layout.h"
#include "display/scaling.h"
#include "display/zoom.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quillon;
using namespace quillon::testkit;

TEST(Zoom, StepSequencesBothWays) {
    const double up[] = {1.0 / 12, 1.0 / 10, 1.0 / 8, 1.0 / 6, 1.0 / 5, 1.0 / 4,
                         1.0 / 3,  1.0 / 2,  1,       2,       3,       4,
                         5,        6,        8,       10,      12};
    for (std::size_t i = 0; i + 1 < std::size(up); ++i)
        EXPECT_DOUBLE_EQ(zoomInStep(up[i]), up[i + 1]) << "from " << up[i];
    const double down[] = {12,      10,      8,        6,        5,       4,       3,
                           2,       1,       1.0 / 2,  1.0 / 3,  1.0 / 4, 1.0 / 5, 1.0 / 6,
                           1.0 / 7, 1.0 / 8, 1.0 / 10, 1.0 / 12, 1.0 / 14};
    for (std::size_t i = 0; i + 1 < std::size(down); ++i)
        EXPECT_DOUBLE_EQ(zoomOutStep(down[i]), down[i + 1]) << "from " << down[i];
    EXPECT_DOUBLE_EQ(zoomInStep(0.37), 0.5);
    EXPECT_DOUBLE_EQ(zoomOutStep(0.37), 1.0 / 3);
    EXPECT_DOUBLE_EQ(zoomInStep(6), 8);
    EXPECT_DOUBLE_EQ(zoomInStep(2.5), 3);
    EXPECT_DOUBLE_EQ(zoomOutStep(2.5), 2);
}

TEST(Zoom, LimitsOfSmallAndWideImages) {
    ZoomLimits small = zoomLimits(10, 10);
    EXPECT_DOUBLE_EQ(small.minimum, 1.0);
    EXPECT_DOUBLE_EQ(small.maximum, 50.0);
    ZoomLimits wide = zoomLimits(14000, 500);
    EXPECT_DOUBLE_EQ(wide.maximum, 16383.0 / 14000);
    EXPECT_DOUBLE_EQ(wide.minimum, 0.02);
    EXPECT_DOUBLE_EQ(zoomLimits(14000, 14000).minimum, 0.01);
    ViewState v;
    EXPECT_DOUBLE_EQ(v.setZoom(2.0, 14000, 500), 16383.0 / 14000) << "200% clamped";
    EXPECT_TRUE(v.zoomChanged);
    EXPECT_DOUBLE_EQ(v.setZoom(4.0, 14000, 500), 16383.0 / 14000);
    ViewState s;
    EXPECT_DOUBLE_EQ(s.zoomOut(10, 10), 1.0) << "a 10 × 10 image cannot shrink";
    EXPECT_FALSE(s.zoomChanged);
    for (int i = 0; i < 30; ++i) s.zoomIn(10, 10);
    EXPECT_DOUBLE_EQ(s.zoom, 50.0);
}

TEST(Zoom, CoordinatesAndRecentring) {
    ViewState v;
    v.zoom = 2.0;
    v.visibleRect = {100, 40, 500, 340};
    double rx, ry;
    EXPECT_EQ(v.toImage(11, 3, &rx, &ry), (IntPoint{55, 21}));
    EXPECT_DOUBLE_EQ(rx, 55.5);
    EXPECT_DOUBLE_EQ(ry, 21.5);
    EXPECT_EQ(v.toWindow(55, 21), (IntPoint{10, 2}));
    v.previousZoom = 2.0;
    v.drawn = true;
    v.setZoom(4.0, 1000, 1000);
    ASSERT_TRUE(v.recentre());
    // Old centre (300, 190) at zoom 2 is image (150, 95), at zoom 4 (600, 380).
    EXPECT_EQ(v.visibleRect, (IntRect{400, 230, 800, 530}));
    v.setVisibleRect({0, 0, 10, 10});
    EXPECT_FALSE(v.drawn);
    EXPECT_FALSE(v.recentre());
}

TEST(Zoom, BoxTextTitleAndParsing) {
    EXPECT_EQ(zoomBoxText(1.0 / 3), "33%");
    EXPECT_EQ(zoomBoxText(16383.0 / 14000), "117%");
    EXPECT_EQ(viewTitle("M42", 0.5, "RGB 100 x 80", true), "M42 @ 50% (RGB 100 x 80 + Overlay)");
    EXPECT_EQ(viewTitle("M42", 1, "Graubild", false), "M42 @ 100% (Graubild)");
    EXPECT_EQ(parseZoomBox("abc").kind, ZoomBoxCommand::Restore);
    EXPECT_EQ(parseZoomBox("Opt").kind, ZoomBoxCommand::Fit);
    EXPECT_EQ(parseZoomBox("Optimal").kind, ZoomBoxCommand::Fit);
    EXPECT_EQ(parseZoomBox("0%").kind, ZoomBoxCommand::Restore);
    EXPECT_EQ(parseZoomBox("-5").kind, ZoomBoxCommand::Restore);
    ZoomBoxCommand c = parseZoomBox("250%");
    EXPECT_EQ(c.kind, ZoomBoxCommand::SetZoom);
    EXPECT_DOUBLE_EQ(c.zoom, 2.5);
    EXPECT_DOUBLE_EQ(parseZoomBox(" 12.5").zoom, 0.125);
}

TEST(Zoom, ScrollStepsAndSelection) {
    ScrollSteps st = scrollSteps(640, 20);
    EXPECT_EQ(st.pageX, 640);
    EXPECT_EQ(st.lineX, 20);
    EXPECT_EQ(st.lineY, 1);
    EXPECT_EQ(normaliseSelection({11, 9, 10, 4}), (IntRect{10, 4, 11, 9}));
    EXPECT_EQ(normaliseSelection(kNoSelection), kNoSelection);
    EXPECT_TRUE(selectionFitsRowRepair({3, 5, 9, 6}));
    EXPECT_FALSE(selectionFitsRowRepair({3, 5, 4, 6}));
    EXPECT_TRUE(selectionFitsColumnRepair({3, 5, 4, 9}));
    EXPECT_FALSE(selectionFitsColumnRepair(kNoSelection));
}

TEST(Zoom, FitWindowAndCentring) {
    FitResult f = fitWindow(1000, 500, 800, 600, false);
    EXPECT_DOUBLE_EQ(f.zoom, 0.8);
    EXPECT_EQ(f.contentWidth, 800);
    EXPECT_EQ(f.contentHeight, 400);
    // A 10 × 10 image cannot go below zoom 1: content wider than available gets a scroll bar.
    FitResult s = fitWindow(10, 10, 5, 40, false);
    EXPECT_DOUBLE_EQ(s.zoom, 1.0);
    EXPECT_EQ(s.contentWidth, 5);
    EXPECT_EQ(s.contentHeight, 26);
    FitResult full = fitWindow(1000, 500, 800, 600, true);
    EXPECT_EQ(full.contentWidth, 800);
    EXPECT_EQ(full.contentHeight, 600);
    EXPECT_EQ(centringOffset(800, 600, 400, 700), (IntPoint{200, 0}));
}

TEST(Navigator, SliderPositionsAndDrag) {
    NavigatorSlider s(1000, 800);
    ZoomLimits l = zoomLimits(1000, 800);
    EXPECT_DOUBLE_EQ(s.zoomAt(0), l.minimum);
    EXPECT_DOUBLE_EQ(s.zoomAt(199), l.maximum);
    EXPECT_EQ(s.positionFor(l.minimum), 0);
    EXPECT_EQ(s.positionFor(l.maximum), 198) << "the slider never shows 199";
    for (int i = 0; i < 198; ++i) EXPECT_EQ(s.positionFor(s.zoomAt(i)), i);
    EXPECT_DOUBLE_EQ(navigatorScale(200, 200, 1000, 800), 0.2);
    ViewState v;
    v.zoom = 1.0;
    v.visibleRect = {0, 0, 500, 400};
    EXPECT_EQ(navigatorFrame(v, 0.2), (IntRect{0, 0, 100, 80}));
    NavigatorMove same = navigatorDrag(v, {50, 20, 150, 100}, 0.2, 500, 400, 1000, 800);
    EXPECT_DOUBLE_EQ(same.zoom, 1.0) << "same size: only moved";
    EXPECT_EQ(same.visibleRect, (IntRect{250, 100, 750, 500}));
    NavigatorMove zoomed = navigatorDrag(v, {0, 0, 50, 40}, 0.2, 500, 400, 1000, 800);
    EXPECT_DOUBLE_EQ(zoomed.zoom, 2.0);
}

TEST(PrintLayout, WorkedExampleAndModes) {
    PrintSettings s;
    PrinterInfo p{4800, 6600, 600, 600, 256};
    PrintLayout l = computePrintLayout(s, p, 1000, 500);
    EXPECT_DOUBLE_EQ(l.zoomX, 4.8);
    EXPECT_DOUBLE_EQ(l.zoomY, 4.8);
    EXPECT_EQ(l.width, 4800);
    EXPECT_EQ(l.height, 2400);
    EXPECT_EQ(l.x, 0);
    EXPECT_EQ(l.y, 2100);
    EXPECT_FALSE(l.monochrome);
    s.gridPosition = 8;
    EXPECT_EQ(computePrintLayout(s, p, 1000, 500).y, 4200);
    s.pixelMode = 2;
    s.sizeMode = 1;
    PrintLayout two = computePrintLayout(s, p, 1000, 500);
    EXPECT_EQ(two.width, 2000) << "2 × 2 printer pixels per image pixel";
    EXPECT_EQ(two.height, 1000);
    // Numeric size 100 × 50 mm at 600 × 300 dpi: the height limit rules, aspect kept.
    PrintSettings n;
    n.sizeMode = 1;
    n.sizeX = 100;
    n.sizeY = 50;
    PrintLayout nl = computePrintLayout(n, {4800, 6600, 600, 300, 2}, 1000, 1000);
    EXPECT_TRUE(nl.monochrome);
    EXPECT_NEAR(nl.zoomY, 50 / 25.4 * 300 / 1000, 1e-12);
    EXPECT_NEAR(nl.zoomX, nl.zoomY * 2, 1e-12);
    n.placementMode = 1;
    n.offsetX = -1000;
    n.offsetY = 10;
    PrintLayout off = computePrintLayout(n, {4800, 6600, 600, 300, 2}, 1000, 1000);
    EXPECT_EQ(off.x, static_cast<int>(-1000 / 25.4 * 600 + 0.5));
    EXPECT_EQ(off.y, 118);
    EXPECT_EQ(computePrintLayout(s, {4800, 6600, 0, 600, 2}, 1000, 500).width, 0)
        << "unusable printer";
}

TEST(PrintLayout, TileWalk) {
    PrintSettings s;
    s.tileX = 300;
    s.overlapX = 50;
    s.tileY = 1000;
    auto tiles = printTiles(s, 1000, 1500);
    ASSERT_EQ(tiles.size(), 8u);
    EXPECT_EQ(tiles[0], (IntRect{0, 0, 300, 1000}));
    EXPECT_EQ(tiles[1].left, 250);
    EXPECT_EQ(tiles[2].left, 500);
    EXPECT_EQ(tiles[3], (IntRect{750, 0, 1000, 1000}));
    EXPECT_EQ(tiles[4], (IntRect{0, 1000, 300, 1500}));
    s.tileX = s.overlapX = 100;
    auto slow = printTiles(s, 105, 10);
    ASSERT_EQ(slow.size(), 6u) << "starts 0..5 advance by one when tile equals overlap";
    EXPECT_EQ(slow.back(), (IntRect{5, 0, 105, 10}));
}

TEST(PrintLayout, TilesAreWhiteOutsideTheImage) {
    Image im;
    makeImage(im, 10, 10, BW_IMAGE, constant(0));
    ImageRenderer r(im);
    Points b{0, 0, 0}, w{255, 255, 255};
    r.setPoints(&b, &w);
    r.rebuildLut();
    PrintLayout l{false, 2, 2, 20, 20, 5, 5};
    Picture p;
    ASSERT_EQ(renderPrintTile(r, l, {0, 0, 30, 30}, p, false), RENDER_OK);
    EXPECT_EQ(p.rgbAt(4, 4), 0xFFFFFFu);
    EXPECT_EQ(p.rgbAt(5, 5), 0u);
    EXPECT_EQ(p.rgbAt(23, 24), 0u) << "u = 9: last column";
    EXPECT_EQ(p.rgbAt(24, 24), 0u) << "u = 9.5: the printed width of 20 ends here";
    EXPECT_EQ(p.rgbAt(25, 24), 0xFFFFFFu) << "u = 10 is beyond the image";
    EXPECT_EQ(p.rgbAt(23, 25), 0xFFFFFFu) << "row 10 is below the image";
    l.monochrome = true;
    ASSERT_EQ(renderPrintTile(r, l, {0, 0, 30, 30}, p, false), RENDER_OK);
    EXPECT_EQ(p.format(), PictureFormat::Grey8);
    ASSERT_EQ(renderPrintTile(r, l, {0, 0, 30, 30}, p, true), RENDER_OK);
    EXPECT_EQ(p.format(), PictureFormat::Rgb32);
    EXPECT_FALSE(canCopySelection({0, 0, 9, 20}));
    EXPECT_TRUE(canCopySelection({0, 0, 10, 10}));
    ASSERT_EQ(renderForClipboard(r, nullptr, p), RENDER_OK);
    EXPECT_EQ(p.width(), 10);
}

namespace {
struct ScalingFixture : ::testing::Test {
    Image im;
    std::unique_ptr<ImageRenderer> r;
    void SetUp() override {
        makeImage(im, 20, 20, RGB_IMAGE, Ramp{.dx = 1, .dy = 1, .dp = 100});
        r = std::make_unique<ImageRenderer>(im);
        Points b{0, 0, 0}, w{200, 200, 200};
        r->setPoints(&b, &w);
        r->rebuildLut();
    }
};
} // namespace

TEST_F(ScalingFixture, EditPointWithAndWithoutKeepRatio) {
    r->setKeepRatio(false);
    editPoint(*r, 0, false, 300);
    EXPECT_EQ(r->params().whitePoint, (Points{300, 200, 200}));
    EXPECT_EQ(r->table(0)[lutIndex(150)], 128) << "tables rebuilt";
    r->setKeepRatio(true);
    Points b{0, 0, 0}, w{200, 200, 200};
    r->setPoints(&b, &w);
    r->setWeights({1.0f, 2.0f, 1.0f});
    editPoint(*r, 0, false, 300);
    // Red range 300 around centre 150 (shift +50); green weight 2: half range 75, shift 25.
    EXPECT_EQ(r->params().blackPoint, (Points{0, 50, 0}));
    EXPECT_EQ(r->params().whitePoint, (Points{300, 200, 300}));
    // Pushing a channel out of range clamps it and lets it lead.
    editPoint(*r, 5, false, 32767);
    const auto& p = r->params();
    for (int c = 0; c < 3; ++c) EXPECT_LE(p.whitePoint[static_cast<std::size_t>(c)], 32767);
    EXPECT_EQ(p.whitePoint[2], 32767) << "channel above 2 counts as 2";
}

TEST_F(ScalingFixture, StepsAndTheirLimits) {
    EXPECT_TRUE(applyScalingStep(*r, ScalingStep::BrightnessPlus));
    EXPECT_EQ(r->params().blackPoint[0], -10);
    EXPECT_EQ(r->params().whitePoint[0], 190);
    EXPECT_TRUE(applyScalingStep(*r, ScalingStep::ContrastPlus));
    EXPECT_EQ(r->params().blackPoint[0], -5);
    EXPECT_EQ(r->params().whitePoint[0], 185);
    Points b{-32760, 0, 0}, w{32767, 10, 10};
    r->setPoints(&b, &w);
    EXPECT_FALSE(applyScalingStep(*r, ScalingStep::ContrastMinus)) << "would leave the range";
    EXPECT_EQ(r->params().blackPoint[0], -32760);
    float last = 0;
    while (applyScalingStep(*r, ScalingStep::GammaPlus)) last = r->params().exponent;
    EXPECT_GE(r->params().exponent, 4.0f);
    EXPECT_LT(last - 0.05f, 4.0f);
    while (applyScalingStep(*r, ScalingStep::GammaMinus)) {
    }
    EXPECT_LE(r->params().exponent, 0.2f);
    EXPECT_GT(r->params().exponent, 0.14f);
}

TEST_F(ScalingFixture, BlackAndWhiteFromThePicture) {
    // Disc of radius 5 around (10, 10): values x + y symmetric around 20 -> mean 20.
    ASSERT_EQ(setBlackAtPoint(*r, 10, 10), 0);
    EXPECT_EQ(r->params().blackPoint, (Points{20, 120, 220}));
    EXPECT_EQ(r->params().whitePoint, (Points{220, 320, 420})) << "range kept with keepRatio";
    ASSERT_EQ(setWhiteAtPoint(*r, 19, 19), 0);
    EXPECT_EQ(r->params().whitePoint, (Points{38, 138, 238}));
    EXPECT_EQ(setWhiteAtPoint(*r, 20, 0), 1);
    EXPECT_EQ(setBlackAtPoint(*r, -20, -20), 1);
    r->setKeepRatio(false);
    ASSERT_EQ(setBlackAtPoint(*r, 0, 0), 0); // quarter disc inside the image
    EXPECT_EQ(r->params().whitePoint, (Points{38, 138, 238})) << "white stays without keepRatio";
}

TEST(LayerMatrixDialog, NormaliseAndTexts) {
    std::vector<float> m{1, 1, 2, 0, 0, 0, 3, -3, 1};
    normaliseLayerMatrix(m, 3);
    EXPECT_EQ(matrixCellText(m[0]), "0.250");
    EXPECT_EQ(matrixCellText(m[1]), "0.250");
    EXPECT_EQ(matrixCellText(m[2]), "0.500");
    EXPECT_EQ(m[3], 0.0f) << "a zero column is divided by 1";
    EXPECT_FLOAT_EQ(m[6], 3.0f);
    EXPECT_EQ(layerNumberText(3), " 3");
    EXPECT_EQ(layerNumberText(12), "12");
}
