// LRGB bias: the whole-image mode against a plain count (also past 65535 per value), the disc
// at a point, the refusals.
#include "analysis/lrgb_bias.h"
#include "core/error.h"
#include "display/scaling.h"
#include "support/progress_recorder.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <map>

using namespace quillon;
using namespace quillon::testkit;

namespace {

// The most frequent sample of a layer by a plain count, the lowest one on a tie.
int plainMode(const Image& im, int layer) {
    std::map<int, long long> counts;
    for (int y = 0; y < im.height(); ++y)
        for (int x = 0; x < im.width(); ++x) ++counts[im.row(layer, y)[x]];
    int best = counts.begin()->first;
    for (const auto& [value, n] : counts)
        if (n > counts[best]) best = value;
    return best;
}

// Noise around a per-layer sky level with a few bright stars.
int skyWithStars(int p, int x, int y) {
    const unsigned h = static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u ^
                       static_cast<unsigned>(p) * 97u;
    const int noise = static_cast<int>((h >> 7) % 9) + static_cast<int>((h >> 17) % 9) - 8;
    if (x % 37 == 5 && y % 29 == 3) return 20000;
    return 300 + 50 * p + noise;
}

} // namespace

TEST(LrgbBias, WholeImageModeMatchesAPlainCount) {
    Image small; // no value reaches 65535 samples
    makeImage(small, 120, 90, LRGB_IMAGE, skyWithStars);
    // 700 × 300 = 210000 samples per layer: two values pass 65535, the higher one wins.
    Image large;
    makeImage(large, 700, 300, LRGB_IMAGE, [](int p, int x, int) {
        if (x < 250) return 1000 + p;  // 75000 samples
        if (x < 600) return 1002 + p;  // 105000 samples, the mode
        return 900 + (x % 7) * 10 + p; // the rest spread
    });
    for (const Image* im : {&small, &large}) {
        ProgressRecorder rec;
        Progress pr(&rec);
        const LrgbBiasValues b = determineBias(*im, kWholeImageBias, kWholeImageBias, pr);
        for (int l = 0; l < 4; ++l)
            EXPECT_EQ(b[static_cast<std::size_t>(l)], plainMode(*im, l)) << "layer " << l;
        EXPECT_EQ(rec.title(), kBiasProgressTitle);
        EXPECT_EQ(pr.done(), 4LL * im->height());
    }
    EXPECT_EQ(determineBias(large, kWholeImageBias, kWholeImageBias)[0], 1002);
}

TEST(LrgbBias, PointAveragesTheDiscInsideTheImage) {
    Image im; // the value tells the pixel: x + 100 y in every layer, plus 1000 per layer
    makeImage(im, 40, 30, LRGB_IMAGE, [](int p, int x, int y) { return x + 100 * y + 1000 * p; });
    // Inside: the disc is symmetric, so the mean is the centre itself.
    LrgbBiasValues b = determineBias(im, 20, 15);
    EXPECT_EQ(b[0], 20 + 1500);
    EXPECT_EQ(b[3], 20 + 1500 + 3000);
    // At the corner only the quarter disc inside counts: the mean of x + 100 y over it.
    long long sum = 0, n = 0;
    for (int y = 0; y <= 5; ++y)
        for (int x = 0; x <= 5; ++x)
            if (x * x + y * y <= 25) sum += x + 100 * y, ++n;
    EXPECT_EQ(determineBias(im, 0, 0)[1], static_cast<int>(sum / n) + 1000);
    // Six pixels off the image nothing is left.
    try {
        determineBias(im, -6, 10);
        FAIL() << "no pixel must fail";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), kOutsideImage);
    }
    Image rgb;
    makeImage(rgb, 10, 10, RGB_IMAGE, constant(5));
    EXPECT_THROW(determineBias(rgb, kWholeImageBias, kWholeImageBias), Error);
}
