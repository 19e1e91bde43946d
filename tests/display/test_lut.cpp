// Lookup tables: worked examples, every lutType, palette, invert and periodic case, and the
// fast table construction against a literal transcription of the mapping rule.
#include "display/lut.h"
#include "display/renderer.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

using namespace quillon;
using namespace quillon::testkit;

namespace {

// The rule written out step by step, independent of the library's code paths.
float refPalette(int pal, int ch, float p) {
    float d = p;
    if (pal == 1) {
        const float t[3][5] = {{5 * p, 1, 5 * (0.6f - p), 0, 0},
                               {0, 5 * (p - 0.2f), 1, 1, 5 * (1 - p)},
                               {0, 0, 0, 5 * (p - 0.6f), 1}};
        int i = p <= 0.2f ? 0 : p <= 0.4f ? 1 : p <= 0.6f ? 2 : p <= 0.8f ? 3 : 4;
        d = t[ch][i];
    } else if (pal == 2) {
        const float t[3][5] = {{0, 0, 5 * (p - 0.4f), 1, 1},
                               {0, 5 * (p - 0.2f), 5 * (0.6f - p), 5 * (p - 0.6f), 1},
                               {5 * p, 5 * (0.4f - p), 0, 0, 5 * (p - 0.8f)}};
        int i = p <= 0.2f ? 0 : p <= 0.4f ? 1 : p <= 0.6f ? 2 : p <= 0.8f ? 3 : 4;
        d = t[ch][i];
    } else {
        return p;
    }
    return d < 0 ? 0 : d > 1 ? 1 : d;
}

int refEntry(int v, int b, int w, int ch, float ex, int lut, int pal, bool inv) {
    float d = static_cast<float>(v - b) / static_cast<float>(w - b);
    bool inside = true;
    if (d < 0) d = 0, inside = false;
    if (d > 1) d = 1, inside = false;
    if (pal != 0) d = refPalette(pal, ch, d);
    if (inside) {
        if (lut == 1) d = static_cast<float>(static_cast<int>(15 * d + 0.999f)) / 16;
        if (lut == 2 && static_cast<int>(32 * d) % 2 == 1) d = 0;
        d = std::pow(d, ex);
    }
    if (inv) d = 1 - d;
    return static_cast<int>(255 * d + 0.5f);
}

std::vector<int> refTable(int b, int w, bool periodic, int ch, float ex, int lut, int pal,
                          bool inv) {
    std::vector<int> t(65536);
    if (b == w) {
        if (w < 32767)
            ++w;
        else
            --b;
    }
    if (!periodic) {
        for (int v = -32768; v <= 32767; ++v)
            t[v + 32768] = refEntry(v, b, w, ch, ex, lut, pal, inv);
        return t;
    }
    int r = std::abs(w - b), s = std::min(b, w);
    while (s >= -32768) s -= r + 1;
    for (; s < 32768; s += r + 1)
        for (int v = std::max(s, -32768); v <= std::min(s + r, 32767); ++v)
            t[v + 32768] = refEntry(v, s, s + r, ch, ex, lut, pal, inv);
    return t;
}

} // namespace

TEST(LutWorkedExamples, StandardRampStepsAndFalseColour) {
    ToneCurve standard;
    EXPECT_EQ(mapSample(128, 0, 255, 0, standard), 128);
    EXPECT_EQ(mapSample(-1, 0, 255, 0, standard), 0);
    EXPECT_EQ(mapSample(256, 0, 255, 0, standard), 255);
    ToneCurve steps;
    steps.lutType = LUT_STEPS;
    EXPECT_EQ(mapSample(255, 0, 255, 0, steps), 239) << "white shows 15/16";
    EXPECT_EQ(mapSample(0, 0, 255, 0, steps), 0);
    ToneCurve fc1;
    fc1.palette = PALETTE_FALSE1;
    EXPECT_EQ(mapSample(1, 0, 4, 0, fc1), 255);
    EXPECT_EQ(mapSample(1, 0, 4, 1, fc1), 64);
    EXPECT_EQ(mapSample(1, 0, 4, 2, fc1), 0);
}

TEST(LutWorkedExamples, OutsideValuesSkipStepsContourExponentButNotPaletteOrInvert) {
    ToneCurve c;
    c.exponent = 3.0f;
    c.lutType = LUT_STEPS;
    EXPECT_EQ(mapSample(400, 0, 255, 0, c), 255) << "above white: no steps, no exponent";
    EXPECT_EQ(mapSample(255, 0, 255, 0, c),
              static_cast<int>(255 * std::pow(15.0f / 16, 3.0f) + 0.5f));
    c.invert = true;
    EXPECT_EQ(mapSample(400, 0, 255, 0, c), 0);
    EXPECT_EQ(mapSample(-400, 0, 255, 0, c), 255);
    ToneCurve p;
    p.palette = PALETTE_FALSE1;
    // Above white p = 1: R 0, G 5 × (1 - 1) = 0, B 1.
    EXPECT_EQ(mapSample(999, 0, 255, 0, p), 0);
    EXPECT_EQ(mapSample(999, 0, 255, 1, p), 0);
    EXPECT_EQ(mapSample(999, 0, 255, 2, p), 255);
    ToneCurve contour;
    contour.lutType = LUT_CONTOUR;
    // d = 40/255: truncate(32 d) = 5 is odd -> 0; d = 70/255: 8 even -> kept.
    EXPECT_EQ(mapSample(40, 0, 255, 0, contour), 0);
    EXPECT_EQ(mapSample(70, 0, 255, 0, contour), 70);
    EXPECT_EQ(mapSample(999, 0, 255, 0, contour), 255) << "outside values have no contour";
}

TEST(LutWorkedExamples, FallingRampInvertsAndPeriodicMakesASawtooth) {
    std::vector<std::uint8_t> t(65536);
    ToneCurve c;
    buildTable(t.data(), 255, 0, false, 0, c);
    EXPECT_EQ(t[lutIndex(0)], 255);
    EXPECT_EQ(t[lutIndex(255)], 0);
    EXPECT_EQ(t[lutIndex(-5)], 255);
    EXPECT_EQ(t[lutIndex(1000)], 0);
    buildTable(t.data(), 255, 0, true, 0, c);
    EXPECT_EQ(t[lutIndex(0)], 0) << "periodic ramps always rise";
    EXPECT_EQ(t[lutIndex(255)], 255);
    EXPECT_EQ(t[lutIndex(256)], 0) << "repeats every 256 values";
    EXPECT_EQ(t[lutIndex(-1)], 255);
    EXPECT_EQ(t[lutIndex(256 + 128)], 128);
}

// (black, white, exponent, lutType, palette, invert, periodic)
using LutCase = std::tuple<int, int, float, int, int, bool, bool>;
class LutTableMatchesRule : public ::testing::TestWithParam<LutCase> {};

TEST_P(LutTableMatchesRule, EveryEntryOfEveryChannel) {
    auto [b, w, ex, lut, pal, inv, per] = GetParam();
    ToneCurve c{ex, lut, pal, inv};
    std::vector<std::uint8_t> t(65536);
    for (int ch = 0; ch < 3; ++ch) {
        buildTable(t.data(), b, w, per, ch, c);
        std::vector<int> ref = refTable(b, w, per, ch, ex, lut, pal, inv);
        for (int i = 0; i < 65536; ++i)
            ASSERT_EQ(t[static_cast<std::size_t>(i)], ref[static_cast<std::size_t>(i)])
                << "channel " << ch << " value " << i - 32768;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LutTableMatchesRule,
    ::testing::Values(
        LutCase{0, 255, 1.0f, 0, 0, false, false}, LutCase{-32768, 32767, 1.0f, 0, 0, false, false},
        LutCase{-32768, 32767, 0.37f, 0, 0, false, false},
        LutCase{100, 4000, 2.2f, 0, 0, true, false}, LutCase{4000, 100, 1.0f, 0, 0, false, false},
        LutCase{4000, 100, 1.0f, 0, 0, false, true}, LutCase{0, 1000, 0.5f, 1, 0, false, false},
        LutCase{0, 1000, 1.0f, 1, 0, true, true}, LutCase{-500, 3000, 1.7f, 2, 0, false, false},
        LutCase{0, 4, 1.0f, 0, 1, false, false},
        LutCase{-1000, 60000 - 32768, 1.3f, 0, 1, true, false},
        LutCase{0, 999, 0.8f, 1, 2, false, true}, LutCase{0, 999, 1.0f, 2, 2, true, false},
        LutCase{32767, 32767, 1.0f, 0, 0, false, false}, LutCase{7, 7, 1.0f, 0, 0, false, true},
        LutCase{-32768, -32767, 1.0f, 0, 0, false, true},
        LutCase{-20, 30000, 10.0f, 0, 0, false, true},
        LutCase{0, 65535 - 32768, 0.1f, 2, 1, false, true}));

TEST(RebuildLut, SharedAndSeparateChannelTables) {
    Image im;
    makeImage(im, 10, 10, RGB_IMAGE, constant(0));
    ImageRenderer r(im);
    Points b{-32768, -30000, -32000}, w{32767, 30000, 32000};
    r.setPoints(&b, &w, 2.3f);
    r.rebuildLut();
    ToneCurve c{2.3f, 0, 0, false};
    for (int ch = 0; ch < 3; ++ch)
        for (int v : {-32768, -31000, -1, 0, 12345, 32767})
            EXPECT_EQ(r.table(ch)[lutIndex(v)], mapSample(v, b[ch], w[ch], ch, c))
                << ch << " " << v;
    // Equal points share one table, a palette makes channels differ again.
    Image grey;
    makeImage(grey, 10, 10, BW_IMAGE, constant(0));
    ImageRenderer g(grey);
    Points gb{0, 0, 0}, gw{100, 100, 100};
    g.setPoints(&gb, &gw);
    g.setSwitches({.palette = 2});
    EXPECT_EQ(g.table(0)[lutIndex(100)], 255);
    EXPECT_EQ(g.table(1)[lutIndex(100)], 255);
    EXPECT_EQ(g.table(2)[lutIndex(50)], 0) << "Falschfarben 2 blue at p = 0.5";
    EXPECT_EQ(g.table(2)[lutIndex(10)], 128) << "blue 5p at p = 0.1";
    g.setSwitches({.palette = 0});
    EXPECT_EQ(g.table(2)[lutIndex(50)], g.table(0)[lutIndex(50)]);
}
