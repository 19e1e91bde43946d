// Composition of every image type, overlay lookup, rendering at every zoom against the
// block rule, the edge rule, grey and monochrome output, thumbnails, result codes, threads.
#include "core/memory.h"
#include "core/parallel.h"
#include "display/overlay.h"
#include "display/overlay_record.h"
#include "display/readout.h"
#include "display/renderer.h"
#include "display/view_display.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quillon;
using namespace quillon::testkit;

namespace {
// Identity-like tables: points 0..255 so that a composed value 0..255 shows as itself.
void identity(ImageRenderer& r) {
    Points b{0, 0, 0}, w{255, 255, 255};
    r.setPoints(&b, &w);
    r.rebuildLut();
}
} // namespace

TEST(Compose, GreyAtZoomOneIsTheTableEntryInAllChannels) {
    Image im;
    makeImage(im, 12, 10, BW_IMAGE, Ramp{.base = -30, .dx = 20, .dy = 1});
    ImageRenderer r(im);
    Points b{0, 0, 0}, w{200, 200, 200};
    r.setPoints(&b, &w);
    r.setSwitches({.palette = 1});
    Picture p;
    ASSERT_EQ(r.renderRect(0, 0, 12, 10, &p), RENDER_OK);
    ASSERT_EQ(p.format(), PictureFormat::Rgb32);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
            int v = im.row(0, y)[x];
            EXPECT_EQ(p.rgbRow(y)[x],
                      opaque(makeRgb(r.table(0)[lutIndex(v)], r.table(1)[lutIndex(v)],
                                     r.table(2)[lutIndex(v)])));
        }
}

TEST(Compose, EveryTypeByHand) {
    Composed v;
    {
        Image im;
        makeImage(im, 10, 10, RGB_IMAGE, Ramp{.base = 10, .dp = 10});
        ImageRenderer r(im);
        r.blockColour(0, 0, 1, 1, false, &v);
        EXPECT_EQ(v, (Composed{10, 20, 30}));
    }
    {
        Image im; // C, M, Y = 10, 20, 40 -> R = 50, G = 30, B = -10
        makeImage(im, 10, 10, CMY_IMAGE, perPlane({10, 20, 40}));
        ImageRenderer r(im);
        r.blockColour(3, 3, 1, 1, false, &v);
        EXPECT_EQ(v, (Composed{50, 30, -10}));
    }
    {
        Image im; // K = 5 darkens the CMY colour in every channel
        makeImage(im, 10, 10, CMYK_IMAGE, perPlane({5, 10, 20, 40}));
        ImageRenderer r(im);
        r.blockColour(3, 3, 1, 1, false, &v);
        EXPECT_EQ(v, (Composed{45, 25, -15}));
    }
    {
        Image im; // L 300, R 110, G 40, B 10 with bias L 0, R 10, G 20, B 10 -> r' 100, g' 20, b' 1
        makeImage(im, 10, 10, LRGB_IMAGE, perPlane({300, 110, 40, 10}));
        ImageRenderer r(im);
        r.setLrgbBias(0, 10, 20, 10);
        r.blockColour(0, 0, 1, 1, false, &v);
        EXPECT_EQ(v, (Composed{900 * 100 / 121, 900 * 20 / 121, 900 / 121}));
    }
    {
        Image im;
        makeImage(im, 10, 10, USERDEFINED_IMAGE, perPlane({7, -9}), false, 2);
        ImageRenderer r(im);
        r.setLayerMatrix({0.5f, 0.5f, 1.0f, 0.0f, 0.0f, 2.0f});
        r.blockColour(0, 0, 1, 1, false, &v);
        // truncate(3.5) + truncate(-4.5) = 3 - 4; 7; -18
        EXPECT_EQ(v, (Composed{-1, 7, -18}));
    }
}

TEST(Compose, LrgbColoursAtAndBelowTheirBiasesCountAsOne) {
    Image im; // colours at / below their biases: each colour share is 3 × l × 1 / 3 = l
    makeImage(im, 10, 10, LRGB_IMAGE, perPlane({1000, 10, 5, -100}));
    ImageRenderer r(im);
    r.setLrgbBias(400, 10, 20, 30);
    Composed v;
    r.blockColour(0, 0, 1, 1, false, &v);
    const auto& off = r.params().lrgbOffset;
    EXPECT_EQ(v, (Composed{600 + off[0], 600 + off[1], 600 + off[2]}))
        << "l = 1000 - 400 in every channel";
    // Just above the biases the colours take their own shares.
    Image im2;
    makeImage(im2, 10, 10, LRGB_IMAGE, perPlane({1000, 12, 21, 31}));
    ImageRenderer r2(im2);
    r2.setLrgbBias(400, 10, 20, 30);
    r2.blockColour(0, 0, 1, 1, false, &v);
    EXPECT_EQ(v, (Composed{1800 * 2 / 4 + off[0], 1800 / 4 + off[1], 1800 / 4 + off[2]}));
}

TEST(Compose, CmyBlockAveragesPerPixelValuesAndOutsideMarker) {
    Image im;
    makeImage(im, 10, 10, CMY_IMAGE,
              [](int p, int x, int y) { return (p + 1) * (x + 3 * y) - 7 * p; });
    ImageRenderer r(im);
    identity(r);
    long long s[3] = {0, 0, 0};
    for (int y = 2; y < 4; ++y)
        for (int x = 4; x < 6; ++x) {
            int c = im.row(0, y)[x], m = im.row(1, y)[x], ye = im.row(2, y)[x];
            s[0] += m + ye - c, s[1] += c - m + ye, s[2] += c + m - ye;
        }
    Composed v;
    std::uint32_t colour = r.blockColour(4, 2, 2, 2, false, &v);
    EXPECT_EQ(v, (Composed{static_cast<int>(s[0] / 4), static_cast<int>(s[1] / 4),
                           static_cast<int>(s[2] / 4)}));
    EXPECT_EQ(redOf(colour), std::clamp(v[0], 0, 255));
    EXPECT_EQ(r.blockColour(9, 0, 2, 1, false), kOutsideMarker);
    EXPECT_EQ(r.blockColour(-1, 0, 1, 1, false), kOutsideMarker);
    EXPECT_EQ(r.blockColour(0, 9, 1, 2, false), kOutsideMarker);
    EXPECT_NE(r.blockColour(8, 8, 2, 2, false), kOutsideMarker);
}

TEST(Compose, LargeBlocksOfLargeValuesDoNotOverflow) {
    // A 100 × 100 block of user-defined values 32767 × 100 sums to 3.3e10: 32-bit sums wrap.
    Image im;
    makeImage(
        im, 100, 100, USERDEFINED_IMAGE, [](int, int x, int) { return x < 50 ? 32767 : 32000; },
        false, 1);
    ImageRenderer r(im);
    r.setLayerMatrix({100.0f, -100.0f, 1e30f});
    Composed v;
    r.blockColour(0, 0, 100, 100, false, &v);
    EXPECT_EQ(v, (Composed{32767, -32768, 32767})) << "huge coefficients saturate, never wrap";
}

TEST(Overlay, OpaqueReplacesTransparentAddsLimited) {
    EXPECT_EQ(applyOverlay(makeRgb(10, 20, 30), static_cast<Sample>(0x8000 + 31 * 1024)),
              makeRgb(248, 0, 0));
    EXPECT_EQ(applyOverlay(makeRgb(10, 20, 30), static_cast<Sample>(31 * 1024)),
              makeRgb(255, 20, 30));
    EXPECT_EQ(applyOverlay(makeRgb(1, 2, 3), 0), makeRgb(1, 2, 3));
    EXPECT_EQ(applyOverlay(makeRgb(0, 0, 0), static_cast<Sample>(2 * 32 + 3)), makeRgb(0, 16, 24));
    Image im;
    makeImage(
        im, 10, 10, BW_IMAGE,
        [](int p, int x, int) { return p == 1 ? (x == 2 ? 0x8000 + 31 * 1024 : 0) : 77; }, true);
    ImageRenderer r(im);
    identity(r);
    Picture p;
    ASSERT_EQ(r.renderRect(0, 0, 10, 10, &p), RENDER_OK);
    EXPECT_EQ(p.rgbAt(2, 5), makeRgb(248, 0, 0));
    EXPECT_EQ(p.rgbAt(3, 5), makeRgb(77, 77, 77));
    r.setShowOverlay(false);
    ASSERT_EQ(r.renderRect(0, 0, 10, 10, &p), RENDER_OK);
    EXPECT_EQ(p.rgbAt(2, 5), makeRgb(77, 77, 77));
}

TEST(Overlay, FormingRules) {
    EXPECT_TRUE(overlayInactive(0xFFFFFF, OVERLAY_WHITE));
    EXPECT_FALSE(overlayInactive(0xFFFFFE, OVERLAY_WHITE));
    EXPECT_TRUE(overlayInactive(0x000080, OVERLAY_BRIGHTER));
    EXPECT_TRUE(overlayInactive(0x007F01, OVERLAY_BRIGHTER));
    EXPECT_FALSE(overlayInactive(0x007F00, OVERLAY_BRIGHTER));
    EXPECT_TRUE(overlayInactive(0x7F0001, OVERLAY_BRIGHTER));
    EXPECT_FALSE(overlayInactive(0x7F0000, OVERLAY_BRIGHTER));
    EXPECT_TRUE(overlayInactive(0x7F7F7F, OVERLAY_DARKER));
    EXPECT_FALSE(overlayInactive(0x807F7F, OVERLAY_DARKER));
    EXPECT_TRUE(overlayInactive(0, OVERLAY_BLACK));
    EXPECT_EQ(static_cast<std::uint16_t>(overlaySampleFor(0xFF0810, false)),
              0x8000 + 31 * 1024 + 32 + 2);
    EXPECT_EQ(overlaySampleFor(0xFF0810, true), 31 * 1024 + 32 + 2);
    // Forming and lookup agree: the formed opaque colour shows with 5 bits per channel.
    EXPECT_EQ(applyOverlay(0, overlaySampleFor(0xC0A060, false)), 0xC0A060u);
    OverlayForming f = OverlayForming::unpack(0x2B);
    EXPECT_EQ(f.method, 11);
    EXPECT_FALSE(f.transparent);
    EXPECT_TRUE(f.invert);
    EXPECT_EQ((OverlayForming{2, true, false}.pack()), 0x12);
    // The record reads and stores the settings key bit for bit as pack and unpack do.
    SettingsRecord s;
    for (int v = 0; v < 64; ++v) {
        s.overlayForming = v;
        EXPECT_EQ(paramsFromSettings(overlayFormingFields(), s).pack(), v);
        s.overlayForming = 0;
        storeParams(overlayFormingFields(), OverlayForming::unpack(v), s);
        EXPECT_EQ(s.overlayForming, v);
    }
}

namespace {
// Every output pixel must be the background or blockColour of the block the rule picks.
void expectMatchesBlockRule(const ImageRenderer& r, const IntRect& rc, double zx, double zy,
                            std::uint32_t bg) {
    const Image& im = r.image();
    Picture p;
    RenderOptions o{zx, zy, true, false, bg};
    ASSERT_EQ(r.renderRect(rc.left, rc.top, rc.right, rc.bottom, &p, o), RENDER_OK);
    ASSERT_EQ(p.width(), rc.width());
    ASSERT_EQ(p.height(), rc.height());
    int bw = std::max(1, static_cast<int>(1 / zx + 0.0001)),
        bh = std::max(1, static_cast<int>(1 / zy + 0.0001));
    bool overlay = im.hasOverlay() && r.params().showOverlay;
    for (int Y = 0; Y < rc.height(); ++Y) {
        double q = (rc.top + Y) / zy;
        int sy = q < 0 ? -1 : static_cast<int>(q);
        for (int X = 0; X < rc.width(); ++X) {
            double u = (rc.left + X) / zx;
            std::uint32_t want = bg;
            // A zoomed-in column covers 1 / zx of a pixel; its block must lie in the image.
            const double covered = std::min<double>(bw, 1 / zx);
            if (sy >= 0 && sy + bh <= im.height() && u >= 0 && u + covered < im.width() + 0.5 &&
                static_cast<int>(u) + bw <= im.width())
                want = r.blockColour(static_cast<int>(u), sy, bw, bh, overlay);
            ASSERT_EQ(p.rgbAt(X, Y), want) << "zoom " << zx << "," << zy << " at " << X << "," << Y;
        }
    }
}
} // namespace

class RenderMatchesBlockRule : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(RenderMatchesBlockRule, AllZoomsWithOverlay) {
    const std::uint16_t type = GetParam();
    Image im;
    const PixelFn layers = noise(1, -300, 3000), marks = noise(2, 1, 0x7FFF);
    makeImage(
        im, 37, 23, type,
        [&](int p, int x, int y) {
            if (p == im.layerCount())
                return (x * y) % 11 == 0 ? (x % 2 ? 0x8000 : 0) + marks(p, x, y) : 0;
            return layers(p, x, y);
        },
        true, type == USERDEFINED_IMAGE ? 5 : 0);
    ImageRenderer r(im);
    if (type == USERDEFINED_IMAGE)
        r.setLayerMatrix({0.3f, 0.7f, 0, 1.5f, 0, 0, 1, 0, -0.25f, 0, 0, 0, 0.5f, 0.5f, 2});
    if (type == LRGB_IMAGE) r.setLrgbBias(200, 100, 300, 50);
    Points b{-100, 0, 200}, w{2500, 2000, 2800};
    r.setPoints(&b, &w, 0.8f);
    r.rebuildLut();
    for (double z : {1.0, 0.5, 1.0 / 3, 0.4, 1 / 1.2, 2.0, 3.0, 0.1, 2.5})
        expectMatchesBlockRule(
            r, {0, 0, static_cast<int>(37 * z) + 3, static_cast<int>(23 * z) + 2}, z, z, 0x123456);
    expectMatchesBlockRule(r, {-5, -3, 20, 15}, 1.0, 1.0, 0xFFFFFF);
    expectMatchesBlockRule(r, {7, 4, 60, 30}, 2.0, 0.5, 0);
    expectMatchesBlockRule(r, {3, 1, 17, 9}, 0.5, 3.0, 0);
}

INSTANTIATE_TEST_SUITE_P(AllTypes, RenderMatchesBlockRule,
                         ::testing::Values(BW_IMAGE, RGB_IMAGE, LRGB_IMAGE, CMY_IMAGE,
                                           USERDEFINED_IMAGE, CMYK_IMAGE));

// The zoom-1 RGB row reads the tables per instruction-set level (gathers from AVX2 on):
// samples over the whole range, rows with a vector tail, the same pixels at every level.
TEST(RenderZoomOne, RgbLookupsAtEverySimdLevel) {
    Image im;
    makeImage(im, 45, 11, RGB_IMAGE, noise(7), false);
    ImageRenderer r(im);
    const Points black{-30000, -100, 2000}, white{30000, 900, 2100};
    r.setPoints(&black, &white, 1.7f);
    r.rebuildLut();
    forEachSimdLevel([&](int) {
        expectMatchesBlockRule(r, {0, 0, 45, 11}, 1.0, 1.0, 0);
        expectMatchesBlockRule(r, {3, 1, 40, 9}, 1.0, 1.0, 0);
    });
}

TEST(Render, HalfPixelEdgeRuleAndBlockAveraging) {
    Image im;
    makeImage(im, 10, 10, BW_IMAGE, Ramp{.dx = 10, .dy = 1});
    ImageRenderer r(im);
    Points b{0, 0, 0}, w{255, 255, 255};
    r.setPoints(&b, &w);
    r.rebuildLut();
    Picture p;
    // Zoom 1/1.2 has blocks of 1: column 8 maps to u = 9.6, whose block would end at 10.6,
    // half a pixel or more beyond the edge, so it shows the background.
    ASSERT_EQ(r.renderRect(0, 0, 9, 1, &p, {1 / 1.2, 0, true, false, 0xABCDEF}), RENDER_OK);
    EXPECT_EQ(p.rgbAt(7, 0), makeRgb(80, 80, 80)) << "u = 8.4 -> column 8";
    EXPECT_EQ(p.rgbAt(8, 0), 0xABCDEFu);
    // Zoom 1/2: 2 × 2 blocks averaged (x 10 + y over the block: (0 + 1 + 10 + 11) / 4 = 5).
    ASSERT_EQ(r.renderRect(0, 0, 5, 5, &p, {0.5}), RENDER_OK);
    EXPECT_EQ(p.rgbAt(0, 0), makeRgb(5, 5, 5));
    EXPECT_EQ(p.rgbAt(4, 4), makeRgb(93, 93, 93)) << "(88 + 89 + 98 + 99) / 4";
    // Zoom 1/3: the fourth output column would need columns 9..11.
    ASSERT_EQ(r.renderRect(0, 0, 4, 4, &p, {1.0 / 3, 0, true, false, 0x010203}), RENDER_OK);
    EXPECT_EQ(p.rgbAt(2, 0), makeRgb(71, 71, 71)) << "columns 6..8, rows 0..2";
    EXPECT_EQ(p.rgbAt(3, 0), 0x010203u);
    EXPECT_EQ(p.rgbAt(0, 3), 0x010203u) << "rows 9..11 leave the image";
    // Zoom 2: every pixel four times.
    ASSERT_EQ(r.renderRect(0, 0, 20, 20, &p, {2.0}), RENDER_OK);
    EXPECT_EQ(p.rgbAt(6, 9), makeRgb(34, 34, 34));
    EXPECT_EQ(p.rgbAt(7, 8), makeRgb(34, 34, 34));
    // Zoom 4.8: the zoomed image is 48 columns wide; 46 and 47 (u = 9.58, 9.79) end inside
    // it and show pixel 9, column 48 lies beyond.
    ASSERT_EQ(r.renderRect(0, 0, 49, 1, &p, {4.8, 0, true, false, 0xABCDEF}), RENDER_OK);
    EXPECT_EQ(p.rgbAt(46, 0), makeRgb(90, 90, 90));
    EXPECT_EQ(p.rgbAt(47, 0), makeRgb(90, 90, 90));
    EXPECT_EQ(p.rgbAt(48, 0), 0xABCDEFu);
}

TEST(Render, GreyModeMonochromeDeviceAndPreview) {
    Image grey;
    makeImage(grey, 10, 10, BW_IMAGE, Ramp{.dx = 20});
    ImageRenderer g(grey);
    identity(g);
    Picture p;
    ASSERT_EQ(g.renderRect(0, 0, 10, 10, &p, {1, 0, true, true}), RENDER_OK);
    ASSERT_EQ(p.format(), PictureFormat::Grey8);
    EXPECT_EQ(p.greyRow(3)[4], 80);
    EXPECT_EQ(p.bytesPerLine() % 4, 0);
    g.setSwitches({.palette = 1});
    ASSERT_EQ(g.renderRect(0, 0, 10, 10, &p, {1, 0, true, true}), RENDER_OK);
    EXPECT_EQ(p.format(), PictureFormat::Rgb32) << "palettes need colour";

    Image rgb;
    makeImage(rgb, 10, 10, RGB_IMAGE, perPlane({200, 100, 50}));
    ImageRenderer r(rgb);
    identity(r);
    ASSERT_EQ(r.renderRect(0, 0, 10, 10, &p, {1, 0, true, true}), RENDER_OK);
    EXPECT_EQ(p.format(), PictureFormat::Rgb32) << "grey request only for grey images";
    const int gv = (200 * 30 + 100 * 59 + 50 * 11 + 50) / 100;
    ASSERT_EQ(r.renderRect(0, 0, 10, 10, &p, {1, 0, true, false, 0, true, false}), RENDER_OK);
    ASSERT_EQ(p.format(), PictureFormat::Grey8) << "monochrome printer";
    EXPECT_EQ(p.greyRow(0)[0], gv);
    ASSERT_EQ(r.renderRect(0, 0, 10, 10, &p, {1, 0, true, false, 0, true, true}), RENDER_OK);
    ASSERT_EQ(p.format(), PictureFormat::Rgb32) << "monochrome preview";
    EXPECT_EQ(p.rgbAt(0, 0), makeRgb(gv, gv, gv));
}

TEST(Render, ResultCodes) {
    Image empty;
    ImageRenderer re(empty);
    Picture p;
    EXPECT_EQ(re.renderRect(0, 0, 5, 5, &p), RENDER_NO_HEADER);
    Image defined;
    defined.Define(10, 10, BW_IMAGE, false);
    ImageRenderer rd(defined);
    EXPECT_EQ(rd.renderRect(0, 0, 5, 5, &p), RENDER_NO_SAMPLES);
    Image im;
    makeImage(im, 10, 10, BW_IMAGE, constant(1));
    ImageRenderer r(im);
    EXPECT_EQ(r.renderRect(0, 0, 5, 5, nullptr), RENDER_NO_PICTURE);
    EXPECT_EQ(r.renderRect(0, 0, 5, 5, &p, {0.0}), RENDER_BAD_ZOOM);
    EXPECT_EQ(r.renderRect(0, 0, 5, 5, &p, {std::nan("")}), RENDER_BAD_ZOOM);
    {
        memory::ScopedLimit limit(memory::inUse() + 1000);
        EXPECT_EQ(r.renderRect(0, 0, 5000, 5000, &p, {50.0}), RENDER_OUT_OF_MEMORY);
    }
    EXPECT_EQ(r.renderRect(5, 5, 5, 9, &p), RENDER_OK);
    EXPECT_TRUE(p.empty());
}

TEST(Render, IdenticalForAnyThreadCount) {
    Image im;
    makeImage(im, 301, 257, LRGB_IMAGE, noise(1, -1000, 20000), true);
    ImageRenderer r(im);
    r.setLrgbBias(100, 200, 50, 10);
    Points b{0, 100, 200}, w{15000, 16000, 14000};
    r.setPoints(&b, &w, 1.4f);
    r.rebuildLut();
    for (double z : {1.0, 0.25, 3.0}) {
        Picture one, many;
        {
            ScopedThreadCount t(1);
            ASSERT_EQ(r.renderRect(-3, -2, 290, 270, &one, {z}), RENDER_OK);
        }
        {
            ScopedThreadCount t(5);
            ASSERT_EQ(r.renderRect(-3, -2, 290, 270, &many, {z}), RENDER_OK);
        }
        ASSERT_EQ(one.height(), many.height());
        for (int y = 0; y < one.height(); ++y)
            ASSERT_EQ(0, std::memcmp(one.rgbRow(y), many.rgbRow(y),
                                     static_cast<std::size_t>(one.width()) * 4));
    }
}

TEST(Render, LargePicturesWrittenWithStreamingStoresMatchRowRenders) {
    // 4100 × 4100 RGB at zoom 1 is a 64 MiB picture, rendered with streaming stores; single
    // rows (small pictures) take the ordinary path and must agree.
    Image im;
    makeImage(im, 4100, 4100, RGB_IMAGE, noise(1, -500, 9000));
    ImageRenderer r(im);
    Points b{0, 100, -200}, w{8000, 7000, 9000};
    r.setPoints(&b, &w, 0.7f);
    r.rebuildLut();
    Picture big, row;
    ASSERT_EQ(r.renderRect(0, 0, 4101, 4096, &big), RENDER_OK);
    for (int y : {0, 1, 2, 3, 2047, 4095}) {
        ASSERT_EQ(r.renderRect(0, y, 4101, y + 1, &row), RENDER_OK);
        ASSERT_EQ(0, std::memcmp(big.rgbRow(y), row.rgbRow(0), 4101 * 4)) << "row " << y;
    }
}

TEST(Thumbnail, KeepsAspectAndCachesUntilInvalidated) {
    Image im;
    makeImage(im, 200, 100, BW_IMAGE, Ramp{.dx = 1});
    ImageRenderer r(im);
    identity(r);
    Thumbnail t;
    ASSERT_EQ(t.render(r, 50, 50), RENDER_OK);
    EXPECT_EQ(t.picture().width(), 50);
    EXPECT_EQ(t.picture().height(), 25);
    EXPECT_TRUE(t.valid(r));
    std::uint32_t before = t.picture().rgbAt(10, 10);
    im.row(0, 40)[40] = 255, im.row(0, 40)[41] = 255, im.row(0, 41)[40] = 255,
              im.row(0, 41)[41] = 255;
    t.render(r, 50, 50);
    EXPECT_EQ(t.picture().rgbAt(10, 10), before) << "cached";
    r.setSwitches({.invert = true});
    EXPECT_FALSE(t.valid(r));
    t.render(r, 50, 50);
    EXPECT_NE(t.picture().rgbAt(10, 10), before);
    t.render(r, 0, -4);
    EXPECT_EQ(t.picture().width(), 1);
    EXPECT_EQ(t.picture().height(), 1);
}

TEST(Readout, ComposedValuesAndPaneTexts) {
    Image im;
    makeImage(im, 10, 10, RGB_IMAGE, Ramp{.dx = 1, .dy = -1, .dp = 1000});
    ImageRenderer r(im);
    PixelReadout p = readPixel(r, 4, 7);
    ASSERT_TRUE(p.inside);
    auto t = p.paneTexts();
    EXPECT_EQ(t[0], "R= -3");
    EXPECT_EQ(t[1], "G= 997");
    EXPECT_EQ(t[2], "B= 1997");
    EXPECT_EQ(t[3], "x = 4");
    EXPECT_EQ(t[4], "y = 7");
    EXPECT_FALSE(readPixel(r, 10, 0).inside);
    EXPECT_FALSE(readPixel(r, 0, -1).inside);
}
