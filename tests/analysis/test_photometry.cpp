// Photometry: membership, the statistics text, totals, keeping the area inside the image,
// the calibration rules and the honesty of the error estimate.
#include "analysis/photometry.h"
#include "display/renderer.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace quillon {
namespace {

using testkit::makeImage;

// Reference sums computed pixel by pixel in real arithmetic, independently of the span walk.
struct Reference {
    long f = 0, g = 0;
    double ell = 0, ring = 0;
};
Reference referenceSums(const Image& img, int x, int y, double a, double b, double A, double B) {
    Reference r;
    for (int py = 0; py < img.height(); ++py)
        for (int px = 0; px < img.width(); ++px) {
            const double dx = px - x, dy = py - y;
            if (dx * dx / (A * A) + dy * dy / (B * B) > 1) continue;
            const double v = img.row(0, py)[px];
            if (dx * dx / (a * a) + dy * dy / (b * b) > 1) {
                ++r.g;
                r.ring += v;
            } else {
                ++r.f;
                r.ell += v;
            }
        }
    return r;
}

TEST(Photometry, MembershipAndSumsFollowTheEllipseRule) {
    Image img;
    makeImage(img, 101, 81, BW_IMAGE, [](int, int x, int y) { return x * 7 + y * 13 % 50; });
    struct Case {
        int ex, ey, rx, ry;
    };
    for (Case c : {Case{11, 11, 1, 1}, Case{11, 7, 3, 5}, Case{1, 1, 1, 1}, Case{21, 9, 4, 2}}) {
        SCOPED_TRACE(testing::Message() << c.ex << "x" << c.ey << " ring " << c.rx << "x" << c.ry);
        const PhotometryResult r = measure(img, {50, 40, c.ex, c.ey, c.rx, c.ry});
        ASSERT_TRUE(r.valid);
        const Reference ref = referenceSums(img, 50, 40, c.ex / 2.0, c.ey / 2.0, c.rx + c.ex / 2.0,
                                            c.ry + c.ey / 2.0);
        EXPECT_EQ(r.ellipseCount, ref.f);
        EXPECT_EQ(r.ringCount, ref.g);
        EXPECT_EQ(r.layers[0].sum, ref.ell);
        EXPECT_EQ(r.layers[0].ringSum, ref.ring);
        EXPECT_EQ(r.layers[0].relSum,
                  static_cast<int>(ref.ell - ref.f * (ref.ring / static_cast<double>(ref.g))));
    }
    // The 11 × 11 ellipse with a 1-pixel ring: 97 pixels with dx² + dy² <= 30.25, the ring
    // those up to 42.25.
    const PhotometryResult r = measure(img, {50, 40});
    EXPECT_EQ(r.ellipseCount, 97);
    EXPECT_EQ(r.ringCount, 137 - 97);
}

TEST(Photometry, FlatImageGivesTheTextLayoutAndNoBrightness) {
    Image img;
    makeImage(img, 40, 30, RGB_IMAGE, testkit::perPlane({10, 20, 30}));
    ImageRenderer renderer(img);
    const PhotometryResult r = measure(img, {20, 15}, &renderer.composition());
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.text, "\t   Rot  \tGruen  \tBlau    \r\n"
                      "   Pixelwert:\t(  10 ,\t20 ,\t30   )\r\n"
                      "   Mittelwert:\t(  10.0 ,\t20.0 ,\t30.0   )\r\n"
                      "   Minimum:\t(  10 ,\t20 ,\t30   )\r\n"
                      "   Maximum:\t(  10 ,\t20 ,\t30   )\r\n"
                      "   Max-Min:\t(  0 ,\t0 ,\t0   )\r\n"
                      "   Rauschen:\t(  0.0 ,\t0.0 ,\t0.0   )\r\n"
                      "   rel.Pixelsumme:\t(  0 ,\t0 ,\t0   )");
    EXPECT_TRUE(r.hasTotal);
    EXPECT_EQ(r.total, 0);
    EXPECT_FALSE(ratioShown(r.ratio)); // 0 / 0
    EXPECT_EQ(magnitudeText(r.total, 1000.0f), "-----");
}

TEST(Photometry, TotalsOfGreyAndLrgbImages) {
    // A grey star: the total counts the background-free sum once per display channel.
    Image grey;
    testkit::define(grey, 60, 60);
    testkit::fillStars(grey, {{30, 30, 20000}}, 1.5, 100);
    ImageRenderer gr(grey);
    const PhotometryResult g = measure(grey, {30, 30, 11, 11, 3, 3}, &gr.composition());
    EXPECT_EQ(g.total, 3 * g.layers[0].relSum);
    EXPECT_NEAR(g.layers[0].relSum, 20000, 200);
    EXPECT_EQ(g.ratio, (std::array<float, 3>{1, 1, 1}));

    // LRGB: the total is the luminance sum, the ratio that of the colour layers to red.
    Image lrgb;
    testkit::define(lrgb, 60, 60, LRGB_IMAGE);
    const int flux[] = {9000, 2000, 4000, 6000};
    for (int p = 0; p < 4; ++p) testkit::fillStars(lrgb, {{30, 30, flux[p] * 1.0}}, 1.5, 50, p);
    ImageRenderer lr(lrgb);
    const PhotometryResult l = measure(lrgb, {30, 30, 11, 11, 3, 3}, &lr.composition());
    EXPECT_EQ(l.total, l.layers[0].relSum);
    EXPECT_NEAR(l.ratio[1], 2.0, 0.05); // every stored sample lost its fraction
    EXPECT_NEAR(l.ratio[2], 3.0, 0.08);
    EXPECT_FLOAT_EQ(l.ratio[2], static_cast<float>(l.layers[3].relSum) / l.layers[1].relSum);
}

TEST(Photometry, KeepsTheAreaInsideTheImage) {
    struct Case {
        PhotometryArea in;
        int w, h;
        PhotometryArea out;
    };
    const Case cases[] = {
        {{0, 0, 11, 11, 1, 1}, 100, 100, {6, 6, 11, 11, 1, 1}},         // x = 0 moves to 6
        {{99, 99, 11, 11, 1, 1}, 100, 100, {93, 93, 11, 11, 1, 1}},     // the far edge
        {{5, 5, 121, 121, 61, 61}, 200, 200, {61, 61, 121, 121, 1, 1}}, // ring limited by 123
        {{5, 5, 21, 21, 10, 10}, 12, 10, {5, 4, 10, 8, 1, 1}},          // a tiny image
    };
    for (const Case& c : cases)
        EXPECT_EQ(keepInside(c.in, c.w, c.h), c.out) << c.in.x << "," << c.in.y << " in " << c.w;
}

TEST(Photometry, MagnitudeAndCalibrationRules) {
    const float c = 12345.0f;
    EXPECT_EQ(magnitudeText(c, c), "10.00");
    EXPECT_EQ(magnitudeText(100.0 * c, c), "5.00");
    EXPECT_EQ(magnitudeText(0.5, c), "-----"); // total below 1
    EXPECT_EQ(magnitudeText(c, 0.0f), "-----");

    PhotometricCalibration cal;
    ASSERT_TRUE(addReference(cal, 5000, 10.0f));
    EXPECT_FLOAT_EQ(cal.coefficient, 5000.0f);
    EXPECT_EQ(cal.referenceCount, 1);
    // A star one magnitude fainter than its brightness says is averaged in at 10^0.4.
    ASSERT_TRUE(addReference(cal, 5000, 11.0f));
    EXPECT_NEAR(cal.coefficient, (5000.0 + 5000.0 * std::pow(10.0, 0.4)) / 2, 0.01);
    EXPECT_FALSE(addReference(cal, 0, 10.0f));
    while (cal.referenceCount < 99) ASSERT_TRUE(addReference(cal, 5000, 10.0f));
    const float before = cal.coefficient;
    EXPECT_FALSE(addReference(cal, 5000, 10.0f)); // the 100th
    EXPECT_EQ(cal.referenceCount, 99);
    EXPECT_EQ(cal.coefficient, before);

    // A typed coefficient: below 0.001 ignored, within 0.1 % of the shown value ignored.
    PhotometricCalibration t{1000.0f, 7};
    EXPECT_FALSE(typeCoefficient(t, 0.0005, 1000));
    EXPECT_FALSE(typeCoefficient(t, 1000.9, 1000));
    EXPECT_EQ(t.referenceCount, 7);
    EXPECT_TRUE(typeCoefficient(t, 1001.5, 1000));
    EXPECT_FLOAT_EQ(t.coefficient, 1001.5f);
    EXPECT_EQ(t.referenceCount, 1);

    // The list of references rebuilds the same calibration; each residual is preset minus
    // measured magnitude.
    const std::vector<PhotometryReference> refs{{5000, 10.0f}, {500, 12.6f}};
    const PhotometricCalibration fromList = calibrationFrom(refs);
    EXPECT_EQ(fromList.referenceCount, 2);
    const double mean = (5000.0 + 500.0 * std::pow(10.0, 0.4 * 2.6)) / 2;
    EXPECT_NEAR(fromList.coefficient, mean, 0.01);
    EXPECT_NEAR(*referenceResidual(refs[0], fromList.coefficient),
                10.0 - (10.0 - 2.5 * std::log10(5000.0 / mean)), 1e-4);
}

// Over many empty sky patches the totals scatter as much as their estimated error says.
TEST(Photometry, ErrorEstimateMatchesTheScatterOfSkyTotals) {
    Image img;
    testkit::define(img, 480, 480);
    std::mt19937 gen(7);
    std::normal_distribution<double> sky(1000.0, 12.0);
    testkit::fill(img, [&](int, int, int) { return static_cast<int>(std::lround(sky(gen))); });
    ImageRenderer renderer(img);
    double sum = 0, sum2 = 0, err = 0;
    int n = 0;
    for (int y = 12; y + 12 < 480; y += 24)
        for (int x = 12; x + 12 < 480; x += 24) {
            const PhotometryResult r = measure(img, {x, y, 11, 11, 5, 5}, &renderer.composition());
            sum += r.total;
            sum2 += static_cast<double>(r.total) * r.total;
            err += r.totalError;
            ++n;
        }
    const double scatter = std::sqrt((sum2 - sum * sum / n) / (n - 1));
    EXPECT_NEAR(err / n / scatter, 1.0, 0.15) << "estimated " << err / n << ", seen " << scatter;
}

} // namespace
} // namespace quillon
