// Debayering: pattern arithmetic of the cards, flat areas and edges of a known picture through
// every pattern, an independent bilinear reference, thread counts, super-pixels and the cards in
// FITS files.
#include "core/error.h"
#include "core/parallel.h"
#include "formats/fits_reader.h"
#include "formats/fits_writer.h"
#include "ops/debayer.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace quillon {
namespace {

using testkit::makeImage;

constexpr BayerPattern kPatterns[] = {BayerPattern::Rggb, BayerPattern::Bggr, BayerPattern::Grbg,
                                      BayerPattern::Gbrg};

// The mosaic a camera with pattern p takes of an RGB picture.
Image mosaicOf(const Image& rgb, BayerPattern p) {
    Image m;
    makeImage(m, rgb.width(), rgb.height(), BW_IMAGE,
              [&](int, int x, int y) { return rgb.row(bayerColour(p, x, y), y)[x]; });
    return m;
}

// Four blocks of different colours meeting at (24, 20).
constexpr int kW = 48, kH = 40, kEdgeX = 24, kEdgeY = 20;
constexpr int kBlocks[4][3] = {
    {1000, 2000, 3000}, {-5000, 800, 12000}, {20000, 20000, 100}, {300, -300, 7000}};
int blockOf(int x, int y) {
    return (x >= kEdgeX ? 1 : 0) + (y >= kEdgeY ? 2 : 0);
}
// Distance from the nearest block edge (in x or y).
int edgeDistance(int x, int y) {
    const int dx = x < kEdgeX ? kEdgeX - 1 - x : x - kEdgeX;
    const int dy = y < kEdgeY ? kEdgeY - 1 - y : y - kEdgeY;
    return std::min(dx, dy);
}

Image blockPicture() {
    Image rgb;
    makeImage(rgb, kW, kH, RGB_IMAGE,
              [](int p, int x, int y) { return kBlocks[blockOf(x, y)][p]; });
    return rgb;
}

TEST(BayerPattern, CardsMoveThePatternAsTheSensorReadsIt) {
    // Colour of image pixel (x, y) by the cards' own definition: BAYERPAT names the sensor's
    // colours from sensor pixel (XBAYROFF, YBAYROFF); bottom-up files hold the sensor's last row
    // first.
    for (BayerPattern named : kPatterns)
        for (int xo : {0, 1, 2, 3})
            for (int yo : {0, 1, -1})
                for (const char* order : {"", "TOP-DOWN", "BOTTOM-UP "})
                    for (int h : {40, 41}) {
                        BayerCards c;
                        c.pattern = std::string(" ") + bayerPatternName(named);
                        c.xOffset = xo, c.yOffset = yo, c.rowOrder = order;
                        const auto p = bayerPatternFromCards(c, h);
                        ASSERT_TRUE(p);
                        const bool bottomUp = std::string(order).rfind("BOTTOM", 0) == 0;
                        for (int y = 0; y < 4; ++y)
                            for (int x = 0; x < 4; ++x) {
                                const int ys = bottomUp ? h - 1 - y : y;
                                EXPECT_EQ(bayerColour(*p, x, y),
                                          bayerColour(named, x + xo, ys + yo + 2))
                                    << bayerPatternName(named) << " " << xo << "," << yo << " "
                                    << order << " h=" << h;
                            }
                    }
    // The familiar cases spelled out.
    BayerCards c{"RGGB", 0, 0, false, false, "BOTTOM-UP"};
    EXPECT_EQ(bayerPatternFromCards(c, 2160), BayerPattern::Gbrg);
    EXPECT_EQ(bayerPatternFromCards(c, 2161), BayerPattern::Rggb);
    EXPECT_EQ(bayerPatternFromCards({"rggb", 1, 0, true, false, ""}, 10), BayerPattern::Grbg);
    EXPECT_FALSE(bayerPatternFromCards({"RGBG", 0, 0, false, false, ""}, 10));
    EXPECT_FALSE(bayerPatternFromCards({}, 10));
}

TEST(Debayer, FlatAreasComeBackExactlyAndEdgesStayWithinTheirBounds) {
    const Image rgb = blockPicture();
    // Within 2 pixels of an edge, as a share of 40000 (about the largest jump between the blocks
    // in any channel): no error above 0.42 (16800) and a mean below 0.027 for bilinear, which
    // averages across the edge, and below 0.016 for VNG, which leaves out the directions across
    // it (measured: worst 0.25 to 0.40, mean 0.025 and 0.014 to 0.015).
    struct Bound {
        DebayerMethod method;
        double maxShare, meanShare;
    };
    double meanOf[2] = {0, 0};
    for (const Bound b :
         {Bound{DebayerMethod::Bilinear, 0.42, 0.027}, Bound{DebayerMethod::Vng, 0.42, 0.016}}) {
        for (BayerPattern p : kPatterns) {
            const Image out = debayerImage(mosaicOf(rgb, p), p, b.method);
            ASSERT_EQ(out.type(), RGB_IMAGE);
            double worst = 0, sum = 0;
            int edgeCount = 0;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    for (int c = 0; c < 3; ++c) {
                        const int want = rgb.row(c, y)[x], got = out.row(c, y)[x];
                        if (edgeDistance(x, y) >= 2) {
                            ASSERT_EQ(got, want) << bayerPatternName(p) << " " << x << "," << y;
                            continue;
                        }
                        const double share = std::abs(got - want) / 40000.0;
                        worst = std::max(worst, share);
                        sum += share;
                        ++edgeCount;
                    }
            const double mean = sum / edgeCount;
            EXPECT_LE(worst, b.maxShare) << debayerMethodName(b.method) << bayerPatternName(p);
            EXPECT_LE(mean, b.meanShare) << debayerMethodName(b.method) << bayerPatternName(p);
            meanOf[static_cast<int>(b.method)] += mean;
        }
    }
    EXPECT_LT(meanOf[1], meanOf[0]);
}

TEST(Debayer, BilinearEqualsThePlainMeanOfTheNearestSamplesOfEachColour) {
    Image m;
    makeImage(m, 37, 23, BW_IMAGE, testkit::noise(22));
    auto at = [&](int x, int y) {
        auto mirror = [](int i, int n) { return i < 0 ? -i : (i >= n ? 2 * (n - 1) - i : i); };
        return static_cast<int>(m.row(0, mirror(y, m.height()))[mirror(x, m.width())]);
    };
    // At every instruction-set level: each level has its own vector code for the row.
    testkit::forEachSimdLevel([&](int level) {
        for (BayerPattern p : kPatterns) {
            Image one, three;
            {
                ScopedThreadCount t(1);
                one = debayerImage(m, p, DebayerMethod::Bilinear);
            }
            {
                ScopedThreadCount t(3);
                three = debayerImage(m, p, DebayerMethod::Bilinear);
            }
            EXPECT_EQ(testkit::firstDifference(one, three), "");
            // Each colour: the sample itself, else the mean of the 3 × 3 neighbours of that colour
            // (two or four of them), rounded half up.
            EXPECT_EQ(testkit::mismatch(one,
                                        [&](int c, int x, int y) {
                                            if (bayerColour(p, x, y) == c) return at(x, y);
                                            int sum = 0, n = 0;
                                            for (int dy = -1; dy <= 1; ++dy)
                                                for (int dx = -1; dx <= 1; ++dx)
                                                    if (bayerColour(p, x + dx + 2, y + dy + 2) == c)
                                                        sum += at(x + dx, y + dy), ++n;
                                            const int q = (sum + n / 2);
                                            return q >= 0 ? q / n : -((-q + n - 1) / n);
                                        }),
                      "")
                << bayerPatternName(p) << " level " << level;
        }
    });
}

TEST(Debayer, VngIsTheSameForAnyThreadCountAndLevelAndKeepsTheOverlay) {
    // 303 columns: every vector width leaves columns for the per-pixel code at the row's end.
    Image m;
    makeImage(m, 303, 97, BW_IMAGE, testkit::noise(7), true);
    Image one;
    {
        ScopedThreadCount t(1);
        one = debayerImage(m, BayerPattern::Grbg, DebayerMethod::Vng);
    }
    testkit::forEachSimdLevel([&](int level) {
        ScopedThreadCount t(4);
        const Image many = debayerImage(m, BayerPattern::Grbg, DebayerMethod::Vng);
        EXPECT_EQ(testkit::firstDifference(one, many), "") << "level " << level;
        // The same columns computed in vector lanes and by the per-pixel code: a mosaic moved
        // by 16 columns (one colour-cell step) gives the moved result away from the edges.
        Image moved;
        makeImage(moved, 303, 97, BW_IMAGE,
                  [&](int, int x, int y) { return m.row(0, y)[std::min(x + 16, 302)]; });
        const Image r = debayerImage(moved, BayerPattern::Grbg, DebayerMethod::Vng);
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < 97; ++y)
                for (int x = 2; x < 285; ++x)
                    ASSERT_EQ(r.row(c, y)[x], one.row(c, y)[x + 16])
                        << "level " << level << " " << c << " " << x << "," << y;
    });
    ASSERT_TRUE(one.hasOverlay());
    EXPECT_EQ(testkit::mismatch(
                  one, [&](int, int x, int y) { return m.row(1, y)[x]; }, one.overlayPlane()),
              "");
}

TEST(Debayer, SuperPixelsHalveTheSizeAndTakeEachCellsColours) {
    // The block picture with green 2 higher on odd rows: a cell's two greens (one per row)
    // average to green + 1; odd sizes lose their last column and row.
    const Image rgb = blockPicture();
    Image wider;
    makeImage(wider, kW + 1, kH + 1, RGB_IMAGE, [&](int c, int x, int y) {
        return rgb.row(c, std::min(y, kH - 1))[std::min(x, kW - 1)] + (c == 1 ? 2 * (y & 1) : 0);
    });
    for (BayerPattern p : kPatterns) {
        Image mosaic = mosaicOf(wider, p);
        mosaic.SetPixelSize(3.75f, 3.75f);
        const Image half = debayerImage(mosaic, p, DebayerMethod::SuperPixel);
        ASSERT_EQ(half.width(), kW / 2);
        ASSERT_EQ(half.height(), kH / 2);
        EXPECT_FLOAT_EQ(half.pixelWidth(), 7.5f);
        EXPECT_EQ(testkit::mismatch(half,
                                    [&](int c, int x, int y) {
                                        return rgb.row(c, 2 * y)[2 * x] + (c == 1 ? 1 : 0);
                                    }),
                  "")
            << bayerPatternName(p);
    }
}

TEST(Debayer, RefusesImagesOfSeveralLayersAndImagesWithoutPattern) {
    Image rgb = blockPicture();
    EXPECT_THROW(debayerImage(rgb, BayerPattern::Rggb, DebayerMethod::Vng), Error);
    Image m;
    makeImage(m, 20, 20, BW_IMAGE, testkit::constant(5));
    EXPECT_THROW(bayerPatternOf(m), Error);
}

TEST(Debayer, FitsFilesKeepTheCardsAndTheResultDropsThem) {
    testkit::TempDir dir;
    Image m;
    makeImage(m, 24, 16, BW_IMAGE, testkit::noise(5));
    ImageInfo* info = nullptr;
    ASSERT_EQ(m.BeginInfoWrite(info), 0);
    info->bayer = {"GRBG", 1, 0, true, true, "BOTTOM-UP"};
    m.EndInfoWrite();
    const std::string path = dir.file("mosaic.fts");
    writeFits(m, path, Progress::none());
    Image back;
    readFits(path, back, Progress::none());
    EXPECT_EQ(back.info().bayer, m.info().bayer);
    EXPECT_EQ(testkit::firstDifference(back, m), "");
    // GRBG read from sensor column 1 is RGGB; 16 rows bottom-up move it by one row.
    EXPECT_EQ(bayerPatternOf(back), BayerPattern::Gbrg);
    const Image colour = debayerImage(back, bayerPatternOf(back), DebayerMethod::Bilinear);
    EXPECT_FALSE(colour.info().bayer.present());
    EXPECT_EQ(fitsHeader(colour, displayFromStored(colour)).find("BAYERPAT"), std::string::npos);
}

} // namespace
} // namespace quillon
