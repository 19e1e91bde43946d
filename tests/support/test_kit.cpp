// The test-image kit itself: stars hold their flux, sit at their positions and have their
// width; comparisons find a changed pixel; the noise generator is the reference splitmix64.
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace quillon;
using namespace quillon::testkit;

TEST(TestKit, StarsHoldTheirFluxPositionAndWidth) {
    const double sigma = 1.6;
    const int background = 1000;
    const std::vector<Star> stars{
        {16.0, 16.0, 400000.0}, {47.3, 18.75, 150000.0}, {22.6, 46.2, 60000.0}};
    Image img;
    define(img, 64, 64);
    fillStars(img, stars, sigma, background);
    for (const Star& s : stars) {
        // A window of ±8 pixels holds all but ~1e-7 of the star and nothing of the others.
        const int cx = static_cast<int>(std::lround(s.x)), cy = static_cast<int>(std::lround(s.y));
        double sum = 0, mx = 0, my = 0, mxx = 0;
        int n = 0;
        for (int y = cy - 8; y <= cy + 8; ++y)
            for (int x = cx - 8; x <= cx + 8; ++x, ++n) {
                const double v = img.row(0, y)[x] - background;
                sum += v;
                mx += v * x;
                my += v * y;
                mxx += v * (x - s.x) * (x - s.x);
            }
        // Truncation takes less than one unit from each pixel.
        EXPECT_LE(sum, s.flux + 1e-6 * s.flux);
        EXPECT_GT(sum, s.flux - n);
        EXPECT_NEAR(mx / sum, s.x, 0.01);
        EXPECT_NEAR(my / sum, s.y, 0.01);
        // Integrating over pixels adds the variance of a unit square's side, 1/12.
        EXPECT_NEAR(mxx / sum, sigma * sigma + 1.0 / 12, 0.03);
    }
}

TEST(TestKit, ComparisonsFindTheOneChangedPixel) {
    auto a = make(12, 10, RGB_IMAGE, true), b = make(12, 10, RGB_IMAGE, true);
    fillNoise(*a, 5);
    fillNoise(*b, 5);
    EXPECT_EQ(firstDifference(*a, *b), "");
    b->row(3, 9)[11] = static_cast<Sample>(a->row(3, 9)[11] ^ 1);
    EXPECT_EQ(firstDifference(*a, *b).rfind("plane 3 (11,9): ", 0), 0u);
}

TEST(TestKit, NoiseIsTheReferenceSplitMix64) {
    SplitMix64 g{0};
    EXPECT_EQ(g.next(), 0xE220A8397B1DCDAFull);
    EXPECT_EQ(g.next(), 0x6E789E6AA1B965F4ull);
}
