// Histogram: counting and saturation, validity per renderer, the range buttons and scroll
// bar, column ranges, the bar and curve pictures of the worked example.
#include "core/parallel.h"
#include "display/histogram.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace quillon;
using namespace quillon::testkit;

TEST(Histogram, TenByTenGreyOfValue100) {
    Image im;
    makeImage(im, 10, 10, BW_IMAGE, constant(100));
    ImageRenderer r(im);
    initFromImage(r);
    ASSERT_EQ(computeHistogram(r), 0);
    const HistogramCache& h = r.histogram();
    for (int c = 0; c < 3; ++c) EXPECT_EQ(h.tables[static_cast<std::size_t>(c)][32868], 100);
    EXPECT_EQ(h.maxCount, 100);

    HistogramView hv;
    hv.setRange(50, 149);
    const int W = 200, H = 60;
    ASSERT_EQ(drawBars(hv, r, W, H), 0);
    const Picture& bars = hv.pictures().bars;
    auto at = [&](const Picture& p, int x, int rowFromBottom) {
        return p.rgbAt(x, H - 1 - rowFromBottom);
    };
    for (int x = 0; x < W; ++x) {
        const bool full = x == 100 || x == 101;
        for (int row = 0; row < H; ++row) {
            std::uint32_t want = 0;
            if (row >= 15 && (full || row == 15)) want = 0x5A5A5A;
            ASSERT_EQ(at(bars, x, row), want) << "column " << x << " row " << row;
        }
    }
    ASSERT_EQ(drawCurves(hv, r), 0);
    const Picture& curves = hv.pictures().curves;
    // Points 0..255 from the 8-bit rule: value 100 maps to 100, drawn at row
    // (60 - 15 - 1) × 100 / 255 + 15 = 32 in all three colours.
    EXPECT_EQ(at(curves, 100, 32), 0xFFFFFFu);
    // The colour band (rows 1..12) shows the display colour of the column's middle value.
    EXPECT_EQ(at(curves, 100, 1), makeRgb(100, 100, 100));
    EXPECT_EQ(at(curves, 0, 12), makeRgb(50, 50, 50));
    EXPECT_EQ(at(curves, 0, 0), 0u);
    EXPECT_EQ(at(curves, 0, 13), 0u);

    // Switching a channel off redraws: the full bars lose their red part.
    hv.setChannels(false, true, true);
    ASSERT_EQ(drawBars(hv, r, W, H), 0);
    EXPECT_EQ(at(hv.pictures().bars, 100, 40), 0x005A5Au);
    ASSERT_EQ(drawCurves(hv, r), 0);
    EXPECT_EQ(at(hv.pictures().curves, 100, 32), 0x00FFFFu);
}

TEST(Histogram, CountersStopAt65535AndParallelCountsAgree) {
    Image im;
    makeImage(im, 300, 300, RGB_IMAGE,
              [n = noise(1, -5, 5)](int p, int x, int) { return p == 0 ? 7 : n(p, x, 0); });
    ImageRenderer r(im);
    std::vector<std::uint16_t> one[3];
    {
        ScopedThreadCount t(1);
        ASSERT_EQ(computeHistogram(r), 0);
        for (int c = 0; c < 3; ++c)
            one[c].assign(r.histogram().tables[c].begin(), r.histogram().tables[c].end());
    }
    EXPECT_EQ(one[0][lutIndex(7)], 65535) << "90000 pixels of one value";
    EXPECT_EQ(r.histogram().maxCount, 65535);
    im.samplesChanged();
    {
        ScopedThreadCount t(4);
        ASSERT_EQ(computeHistogram(r), 0);
    }
    for (int c = 0; c < 3; ++c)
        EXPECT_TRUE(std::equal(one[c].begin(), one[c].end(), r.histogram().tables[c].begin())) << c;
}

TEST(Histogram, ValidPerRendererOnlyForLrgbAndUserImages) {
    Image grey;
    makeImage(grey, 10, 10, BW_IMAGE, Ramp{.dx = 1});
    ImageRenderer g1(grey), g2(grey);
    ASSERT_EQ(computeHistogram(g1), 0);
    EXPECT_TRUE(histogramValidFor(grey, g2)) << "a grey image's histogram is shared";

    Image lrgb;
    makeImage(lrgb, 10, 10, LRGB_IMAGE,
              [](int p, int x, int) { return p == 0 ? 1000 : 100 + x * p; });
    ImageRenderer a(lrgb), b(lrgb);
    b.setLrgbBias(0, 50, 50, 50);
    ASSERT_EQ(computeHistogram(a), 0);
    EXPECT_TRUE(histogramValidFor(lrgb, a));
    EXPECT_FALSE(histogramValidFor(lrgb, b));
    Composed va, vb;
    a.composition().composedAt(3, 0, va);
    b.composition().composedAt(3, 0, vb);
    ASSERT_NE(va, vb);
    ASSERT_EQ(computeHistogram(b), 0);
    EXPECT_GE(b.histogram().tables[0][lutIndex(vb[0])], 1) << "recounted with b's bias";
    EXPECT_FALSE(histogramValidFor(lrgb, a));
    HistogramView hv;
    EXPECT_EQ(drawBars(hv, a, 100, 50), 1) << "no bars from another view's counts";
}

// Cached pictures follow what they were drawn from: a new counting redraws the bars, a
// table change the curves, and counts of a renderer that is gone never pass for a new one's.
TEST(Histogram, PicturesAndCountsFollowTheirSources) {
    Image im;
    makeImage(im, 10, 10, BW_IMAGE, constant(100));
    ImageRenderer r(im);
    initFromImage(r);
    HistogramView hv;
    hv.setRange(50, 149);
    ASSERT_EQ(drawBars(hv, r, 200, 60), 0);
    ASSERT_EQ(drawCurves(hv, r), 0);
    const std::uint32_t fullBar = hv.pictures().bars.rgbAt(100, 10);
    ASSERT_EQ(fullBar, 0x5A5A5Au);
    // The samples change and are counted again (as after a turn or a filter in place).
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) im.row(0, y)[x] = 120;
    im.samplesChanged();
    ASSERT_EQ(computeHistogram(r), 0);
    ASSERT_EQ(drawBars(hv, r, 200, 60), 0);
    EXPECT_EQ(hv.pictures().bars.rgbAt(100, 10), 0u) << "the old bar is gone";
    EXPECT_EQ(hv.pictures().bars.rgbAt(140, 10), 0x5A5A5Au) << "value 120 is drawn";
    // Inverting the tables moves the curve without a new counting.
    ASSERT_EQ(drawCurves(hv, r), 0);
    const Picture before = [&] {
        Picture p;
        p.copyFrom(hv.pictures().curves);
        return p;
    }();
    r.setSwitches({.invert = true});
    ASSERT_EQ(drawCurves(hv, r), 0);
    EXPECT_NE(0, std::memcmp(before.bits(), hv.pictures().curves.bits(),
                             static_cast<std::size_t>(before.bytesPerLine()) * 60));

    Image lrgb;
    makeImage(lrgb, 10, 10, LRGB_IMAGE, [](int p, int x, int) { return p == 0 ? 900 : 50 + x; });
    std::uint64_t firstId = 0;
    {
        ImageRenderer gone(lrgb);
        firstId = gone.id();
        ASSERT_EQ(computeHistogram(gone), 0);
    }
    ImageRenderer next(lrgb);
    EXPECT_NE(next.id(), firstId);
    EXPECT_FALSE(histogramValidFor(lrgb, next)) << "even where the new renderer reuses memory";
}

TEST(Histogram, OutOfMemoryReportsTheCode) {
    Image im;
    makeImage(im, 10, 10, BW_IMAGE, constant(1));
    ImageRenderer r(im);
    memory::ScopedLimit limit(memory::inUse() + 1000);
    EXPECT_EQ(computeHistogram(r), 200);
}

TEST(HistogramRange, SetWidenNarrowAndScroll) {
    Image im;
    makeImage(im, 10, 10, BW_IMAGE, constant(1));
    HistogramView r;
    r.setRange(300, -20);
    EXPECT_EQ(r.range().lo, -20) << "a lower value above the upper one is swapped";
    EXPECT_EQ(r.range().hi, 300);
    r.setRange(32767, 32767);
    EXPECT_EQ(r.range().lo, 32766);
    r.setRange(5, 5);
    EXPECT_EQ(r.range().hi, 6);

    HistogramRange full{-32768, 32767};
    HistogramRange n = narrowHistogramRange(full);
    EXPECT_EQ(n.lo, -16383);
    EXPECT_EQ(n.hi, 16384);
    HistogramRange w = widenHistogramRange({0, 100});
    EXPECT_EQ(w.lo, -50);
    EXPECT_EQ(w.hi, 150);
    EXPECT_EQ(widenHistogramRange(full).lo, -32768);
    EXPECT_EQ(widenHistogramRange(full).hi, 32767);

    HistogramScroll s = histogramScroll({-100, 700});
    EXPECT_EQ(s.position, 32668);
    EXPECT_EQ(s.page, 800);
    EXPECT_EQ(s.lineStep, 100);
    EXPECT_EQ(histogramScroll({0, 3}).lineStep, 1);
    HistogramRange moved = scrollHistogramRange({-100, 700}, 65535);
    EXPECT_EQ(moved.hi, 32767);
    EXPECT_EQ(moved.lo, 32767 - 800);
    EXPECT_EQ(scrollHistogramRange({-100, 700}, -9).lo, -32768);
}

TEST(HistogramRange, ColumnsCoverTheRangeAndStayInside) {
    // Narrow ranges repeat values; wide ones never step past the range's top.
    EXPECT_EQ(histogramColumn({50, 149}, 99, 200).low, 99);
    EXPECT_EQ(histogramColumn({50, 149}, 100, 200).low, 100);
    EXPECT_EQ(histogramColumn({50, 149}, 101, 200).high, 100);
    for (int x = 0; x < 256; ++x) {
        HistogramColumn c = histogramColumn({-32768, 32767}, x, 256);
        EXPECT_EQ(c.low, -32768 + 256 * x);
        EXPECT_LE(c.high, 32767);
        EXPECT_GE(c.high, c.low);
    }
}

TEST(HistogramStatistics, MinMaxMeanMedianMode) {
    Image im;
    makeImage(im, 10, 10, BW_IMAGE, [](int, int x, int y) { return y < 5 ? 10 : x; });
    ImageRenderer r(im);
    ASSERT_EQ(computeHistogram(r), 0);
    ChannelStatistics s = histogramStatistics(r.histogram(), 0);
    EXPECT_EQ(s.count, 100);
    EXPECT_EQ(s.minimum, 0);
    EXPECT_EQ(s.maximum, 10);
    EXPECT_EQ(s.mode, 10);
    EXPECT_DOUBLE_EQ(s.mean, (500 + 5 * 45) / 100.0);
    EXPECT_EQ(s.median, 9);
}
