// Dark/flat calibration and row/column repair: known answers and a plain-loop reference.
#include "core/error.h"
#include "core/parallel.h"
#include "ops/calibration.h"
#include "support/progress_recorder.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <optional>

using namespace quillon;
using namespace quillon::testkit;

namespace {

struct Frame {
    std::uint16_t type;
    PixelFn fill;
    int width = 10;
    int userLayers = 0;
};

struct CalibrationCase {
    const char* what;
    std::uint16_t type;
    PixelFn image;
    std::optional<Frame> dark, flat;
    CalibrationParams params;
    int code;
    PixelFn expected; // null: the image must be unchanged
    long long clamped = 0;
};

// A flat whose row-truncated mean is exactly 5000: row 0 holds 4000 and 6000, the rest 5000.
int flat5000(int, int x, int y) {
    return y == 0 && x == 0 ? 4000 : (y == 0 && x == 1 ? 6000 : 5000);
}

// F = f as given (0: the flat's mean), d and a.
CalibrationParams params(float f, float d, int a) {
    CalibrationParams p;
    p.automaticFactor = false;
    p.flatFactor = f;
    p.darkDivisor = d;
    p.offset = a;
    return p;
}

} // namespace

TEST(Calibration, KnownAnswers) {
    const Frame grey100{BW_IMAGE, constant(100)}, twoLayers{USERDEFINED_IMAGE, constant(1), 10, 2};
    const PixelFn rgb = perPlane({1000, 2000, 3000});
    // clang-format off
    const std::vector<CalibrationCase> cases = {
        {"dark 100, d = 2", BW_IMAGE, constant(1000), grey100, {}, params(0, 2, 0), 0,
         constant(950)},
        {"flat with mean 5000 after the dark", BW_IMAGE, constant(1100), grey100,
         Frame{BW_IMAGE, flat5000}, params(0, 1, 0), 0,
         [](int, int x, int y) { return y != 0 || x > 1 ? 1000 : (x == 0 ? 1250 : 833); }},
        {"grey dark serves every RGB layer", RGB_IMAGE, rgb, grey100, {}, params(0, 1, 0), 0,
         perPlane({900, 1900, 2900})},
        {"CMY dark on RGB, layer by layer", RGB_IMAGE, rgb,
         Frame{CMY_IMAGE, perPlane({10, 20, 30})}, {}, params(0, 1, 0), 0,
         perPlane({990, 1980, 2970})},
        {"grey flat, fixed factor, zero flat pixels keep dark and offset", RGB_IMAGE,
         constant(1000), grey100,
         Frame{BW_IMAGE, [](int, int x, int) { return x < 5 ? 0 : 5000; }},
         params(10000, 1, 5), 0, [](int, int x, int) { return x < 5 ? 905 : 1805; }},
        {"2-layer dark on RGB", RGB_IMAGE, rgb, twoLayers, {}, params(0, 1, 0), 1, nullptr},
        {"dark of another size", BW_IMAGE, rgb, Frame{BW_IMAGE, constant(100), 11}, {},
         params(0, 1, 0), 2, nullptr},
        {"flat of another type", RGB_IMAGE, rgb, {}, twoLayers, params(0, 1, 0), 11, nullptr},
        {"flat of another size", BW_IMAGE, rgb, {}, Frame{BW_IMAGE, constant(9), 12},
         params(0, 1, 0), 12, nullptr},
        {"the dark is checked first", RGB_IMAGE, rgb, Frame{BW_IMAGE, constant(1), 12}, twoLayers,
         params(0, 1, 0), 2, nullptr},
        {"neither frame: nothing, not even the offset", BW_IMAGE, rgb, {}, {}, params(0, 1, 77), 0,
         nullptr},
        {"clamped samples are counted", BW_IMAGE,
         [](int, int x, int) { return x == 9 ? -30000 : 30000; }, {},
         Frame{BW_IMAGE, [](int, int x, int) { return x < 3 ? 10000 : 20000; }},
         params(20000, 1, -2), 0,
         [](int, int x, int) { return x == 9 ? -30002 : (x < 3 ? 32767 : 29998); }, 30},
        {"negative side of the clamp", BW_IMAGE, constant(-30000), Frame{BW_IMAGE, constant(5000)},
         {}, params(0, 1, -10000), 0, constant(-32768), 100},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Image img, dark, flat;
        makeImage(img, 10, 10, c.type, c.image, true);
        fill(img, constant(0x1234), img.overlayPlane());
        if (c.dark)
            makeImage(dark, c.dark->width, 10, c.dark->type, c.dark->fill, false,
                      c.dark->userLayers);
        if (c.flat)
            makeImage(flat, c.flat->width, 10, c.flat->type, c.flat->fill, false,
                      c.flat->userLayers);
        const CalibrationOutcome r =
            darkFlatCorrect(img, c.dark ? &dark : nullptr, c.flat ? &flat : nullptr, c.params);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.clamped, c.clamped);
        const PixelFn& colour = c.expected ? c.expected : c.image;
        EXPECT_EQ(mismatch(img,
                           [&](int p, int x, int y) {
                               return p == img.overlayPlane() ? 0x1234 : colour(p, x, y);
                           }),
                  "");
        EXPECT_EQ(calibrationMessage(c.code).empty(), c.code == 0);
    }
}

TEST(Calibration, MessagesLabelsAndProgress) {
    EXPECT_EQ(calibrationMessage(12), "Das Flatfield-Bild hat die falsche Größe\n(muß genauso groß "
                                      "sein, wie das zu bearbeitende Bild!)");
    EXPECT_EQ(calibrationMessage(0), "");
    EXPECT_EQ(calibrationTitleLabel(true, true), "<Dunkel+Flatkorr.>");
    EXPECT_EQ(calibrationTitleLabel(false, true), "<Flatkorr.>");
    EXPECT_EQ(calibrationTitleLabel(false, false), "");
    EXPECT_EQ(clampedNotice(0), "");
    EXPECT_EQ(clampedNotice(1234),
              "1234 Werte lagen außerhalb des Wertebereichs und wurden begrenzt.");

    Image img, dark;
    makeImage(img, 20, 30, RGB_IMAGE, constant(5));
    makeImage(dark, 20, 30, BW_IMAGE, constant(1));
    ProgressRecorder rec;
    Progress progress(&rec);
    darkFlatCorrect(img, &dark, nullptr, {}, progress);
    EXPECT_EQ(rec.title(), "Dunkelstrom/Flatfield");
    EXPECT_EQ(progress.total(), 90);
    EXPECT_EQ(rec.finishes, 1);
}

// Every sample of random frames against a plain float loop written here, at every instruction
// set level and thread count, with the means given or computed.
TEST(Calibration, MatchesPlainFloatLoopEverywhere) {
    const int w = 77, h = 23; // a width that leaves a scalar tail at every vector width
    Image src, dark, flat;
    makeImage(src, w, h, RGB_IMAGE, noise(1), true);
    makeImage(dark, w, h, BW_IMAGE, noise(2, -3000, 3000));
    makeImage(flat, w, h, RGB_IMAGE, [](int p, int x, int y) {
        return (x * 7 + y * 3 + p) % 13 == 0 ? 0 : noise(3, -200, 9000)(p, x, y);
    });
    for (const CalibrationParams& prm : {params(0, 1.7f, -321), params(12345.6f, 0.3f, 40)}) {
        // The reference: flat means in 64-bit integers, then the formula in float.
        float factor[3];
        for (int q = 0; q < 3; ++q) {
            long long total = 0;
            for (int y = 0; y < h; ++y) {
                long long sum = 0;
                for (int x = 0; x < w; ++x) sum += flat.row(q, y)[x];
                total += sum / w;
            }
            factor[q] = prm.appliedFlatFactor() != 0
                            ? prm.appliedFlatFactor()
                            : static_cast<float>(total) / static_cast<float>(h);
        }
        Image want = src.clone();
        long long wantClamped = 0;
        for (int q = 0; q < 3; ++q)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    float v = src.row(q, y)[x];
                    v -=
                        static_cast<float>(dark.row(0, y)[x]) / static_cast<float>(prm.darkDivisor);
                    const float hv = flat.row(q, y)[x];
                    if (hv != 0) v = factor[q] / hv * v;
                    v += static_cast<float>(prm.offset);
                    if (v > 32767.0f || v < -32768.0f) ++wantClamped;
                    want.row(q, y)[x] = toSample(v);
                }
        ASSERT_GT(wantClamped, 0);
        for (int threads : {1, 3})
            for (bool given : {false, true})
                forEachSimdLevel([&](int level) {
                    SCOPED_TRACE(testing::Message() << "level " << level << ", threads " << threads
                                                    << ", means given " << given);
                    ScopedThreadCount tc(threads);
                    Image img = src.clone();
                    const CalibrationOutcome r =
                        given ? darkFlatCorrect(img, &dark, &flat, prm, flatMeans(flat))
                              : darkFlatCorrect(img, &dark, &flat, prm);
                    EXPECT_EQ(r.code, 0);
                    EXPECT_EQ(r.clamped, wantClamped);
                    EXPECT_EQ(firstDifference(img, want), "");
                });
    }
}

TEST(Repair, ColumnsAndRows) {
    // Odd negative sums show that the mean truncates toward zero.
    const PixelFn base = [](int p, int x, int y) {
        return (p + 1) * (x * (x + 1) / 2 - 5) + y * 100;
    };
    struct RepairCase {
        const char* what;
        bool column;
        int k, from, to, layer;
        PixelFn expected;
    };
    const std::vector<RepairCase> cases = {
        {"column 0 copies column 1", true, 0, 0, 12, kAllLayers,
         [&](int p, int x, int y) { return x == 0 && p < 3 ? base(p, 1, y) : base(p, x, y); }},
        {"the last column copies the one before", true, 9, 2, 5, 1,
         [&](int p, int x, int y) {
             return x == 9 && p == 1 && y >= 2 && y < 5 ? base(p, 8, y) : base(p, x, y);
         }},
        {"an inner column, truncated toward zero", true, 2, 0, 1, 0,
         [&](int p, int x, int y) {
             // (-4 + 1) / 2 = -1 (not -2), in row 0 of layer 0 only
             return x == 2 && p == 0 && y == 0 ? -1 : base(p, x, y);
         }},
        {"an inner row over part of its width", false, 4, 3, 7, kAllLayers,
         [&](int p, int x, int y) {
             return y == 4 && p < 3 && x >= 3 && x < 7 ? base(p, x, 4) : base(p, x, y);
         }},
        {"the last row copies the one above", false, 11, 0, 10, 2,
         [&](int p, int x, int y) { return y == 11 && p == 2 ? base(p, x, 10) : base(p, x, y); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Image img;
        makeImage(img, 10, 12, RGB_IMAGE, base, true);
        if (c.column)
            repairColumn(img, c.k, c.from, c.to, c.layer);
        else
            repairRow(img, c.k, c.from, c.to, c.layer);
        EXPECT_EQ(mismatch(img, c.expected), "");
    }
    Image img;
    makeImage(img, 10, 12, RGB_IMAGE, base);
    EXPECT_THROW(repairColumn(img, 10, 0, 12, kAllLayers), Error);
    EXPECT_THROW(repairColumn(img, 3, 0, 13, kAllLayers), Error);
    EXPECT_THROW(repairRow(img, 3, 0, 10, 3), Error);
    EXPECT_EQ(mismatch(img, base), "");
}
