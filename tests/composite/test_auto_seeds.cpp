// Automatic seeds: star detection, triangle matching and the seeds the reference search refines.
#include "analysis/star_match.h"
#include "core/parallel.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace quillon {
namespace {

using testkit::SplitMix64;
using testkit::Star;

constexpr int kSize = 1024;
constexpr double kSigma = 1.5;
constexpr double kShiftX = 173.4, kShiftY = -211.7;
const double kAngle = 2.0 * std::numbers::pi / 180.0;

// The true placement of the exposure: turned by 2 degrees about the frame's centre, then
// shifted.
void truth(double x, double y, double& u, double& v) {
    const double c = kSize / 2.0, cs = std::cos(kAngle), sn = std::sin(kAngle);
    u = cs * (x - c) - sn * (y - c) + c + kShiftX;
    v = sn * (x - c) + cs * (y - c) + c + kShiftY;
}

// Sky (1000 plus a gradient and a broad nebula when asked), uniform noise of ±40 and stars as
// pixel-integrated Gaussians (testkit::starValue's integral, summed only near each star),
// then hot pixels of 25000.
void render(Image& img, const std::vector<Star>& stars, std::uint64_t seed, bool nebula,
            const std::vector<std::pair<int, int>>& hot) {
    std::vector<double> v(static_cast<std::size_t>(kSize) * kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            double sky = 1000;
            if (nebula)
                sky += 0.3 * x + 800 * std::exp(-(std::pow(x - 300, 2) + std::pow(y - 650, 2)) /
                                                (2 * 120.0 * 120.0));
            v[static_cast<std::size_t>(y) * kSize + x] = sky;
        }
    const double k = 1.0 / (kSigma * std::sqrt(2.0));
    for (const Star& s : stars) {
        const int cx = static_cast<int>(std::lround(s.x)), cy = static_cast<int>(std::lround(s.y));
        for (int y = std::max(0, cy - 9); y <= std::min(kSize - 1, cy + 9); ++y)
            for (int x = std::max(0, cx - 9); x <= std::min(kSize - 1, cx + 9); ++x) {
                const double px =
                    0.5 * (std::erf((x + 0.5 - s.x) * k) - std::erf((x - 0.5 - s.x) * k));
                const double py =
                    0.5 * (std::erf((y + 0.5 - s.y) * k) - std::erf((y - 0.5 - s.y) * k));
                v[static_cast<std::size_t>(y) * kSize + x] += s.flux * px * py;
            }
    }
    testkit::define(img, kSize, kSize);
    const testkit::PixelFn noise = testkit::noise(seed, -40, 40);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            img.row(0, y)[x] =
                toSample(v[static_cast<std::size_t>(y) * kSize + x] + noise(0, x, y));
    for (const auto& [x, y] : hot) img.row(0, y)[x] = 25000;
}

std::vector<std::pair<int, int>> hotPixels(SplitMix64& g) {
    std::vector<std::pair<int, int>> hot;
    for (int i = 0; i < 15; ++i)
        hot.push_back({g.uniform(10, kSize - 11), g.uniform(10, kSize - 11)});
    return hot;
}

// Stars of the sky around both frames, fluxes spread evenly in the logarithm from 3000 to
// 300000 (peaks of about 200 to 21000 over the sky).
std::vector<Star> skyStars(SplitMix64& g, int count) {
    std::vector<Star> sky;
    for (int i = 0; i < count; ++i)
        sky.push_back({g.uniformReal(-350, kSize + 350), g.uniformReal(-350, kSize + 350),
                       3000 * std::pow(100.0, g.uniformReal(0, 1))});
    return sky;
}

bool inFrame(double x, double y, double margin) {
    return x >= margin && y >= margin && x <= kSize - 1 - margin && y <= kSize - 1 - margin;
}

// The reference exposure and the exposure: 5 % of the stars missing in the exposure, as many
// spurious ones added, hot pixels in both, a gradient and nebulosity in the exposure.
struct Series {
    std::vector<Star> referenceStars, exposureStars;
    std::vector<bool> missing; // per reference-frame star
    std::vector<std::pair<int, int>> hot;
    Image reference, exposure;
};

const Series& series() {
    static const Series s = [] {
        Series r;
        SplitMix64 g{2026};
        const std::vector<Star> sky = skyStars(g, 500);
        for (const Star& star : sky) {
            double u = 0, v = 0;
            truth(star.x, star.y, u, v);
            const bool missing = g.uniform(0, 19) == 0;
            if (inFrame(star.x, star.y, -10)) {
                r.referenceStars.push_back(star);
                r.missing.push_back(missing);
            }
            if (!missing && inFrame(u, v, -10)) r.exposureStars.push_back({u, v, star.flux});
        }
        for (int i = 0; i < static_cast<int>(r.exposureStars.size()) / 20; ++i)
            r.exposureStars.push_back({g.uniformReal(0, kSize - 1), g.uniformReal(0, kSize - 1),
                                       3000 * std::pow(100.0, g.uniformReal(0, 1))});
        render(r.reference, r.referenceStars, 1, false, hotPixels(g));
        r.hot = hotPixels(g);
        render(r.exposure, r.exposureStars, 2, true, r.hot);
        return r;
    }();
    return s;
}

// Detection against the truth: the bright stars found to a tenth of a pixel, no hot pixel
// taken for a star, and the same list for one thread and several.
TEST(AutoSeeds, DetectsStarsNotHotPixels) {
    const Series& s = series();
    const std::vector<DetectedStar> found = detectStars(s.exposure, 200);
    ASSERT_GE(found.size(), 60u);
    for (std::size_t i = 0; i < found.size(); ++i) {
        const DetectedStar& d = found[i];
        double nearest = 1e9, flux = 0;
        for (const Star& t : s.exposureStars)
            if (const double r = std::hypot(t.x - d.x, t.y - d.y); r < nearest) {
                nearest = r;
                flux = t.flux;
            }
        // Blends of close pairs aside, every detection is a star; the bright ones are exact.
        EXPECT_LT(nearest, 3.0) << "detection " << i << " at " << d.x << "," << d.y;
        if (i < 30 && flux > 30000) {
            EXPECT_LT(nearest, 0.1) << "detection " << i;
        }
    }
    {
        ScopedThreadCount one(1);
        const std::vector<DetectedStar> serial = detectStars(s.exposure, 200);
        ASSERT_EQ(serial.size(), found.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(serial[i].x, found[i].x);
            EXPECT_EQ(serial[i].y, found[i].y);
        }
    }
}

// Seeds for points on four bright, isolated reference stars land within half a pixel of where
// the stars really are in the exposure, and the reference search takes them to 0.05 pixel;
// also when the exposure is turned upside down.
TEST(AutoSeeds, SeedsFarBeyondTheSearchWindow) {
    const Series& s = series();
    ReferenceSet points{};
    std::vector<std::pair<double, double>> want;
    for (std::size_t i = 0; i < s.referenceStars.size() && want.size() < 4; ++i) {
        const Star& star = s.referenceStars[i];
        double u = 0, v = 0;
        truth(star.x, star.y, u, v);
        if (s.missing[i] || star.flux < 50000 || star.flux > 250000 || !inFrame(u, v, 40) ||
            !inFrame(star.x, star.y, 40))
            continue;
        bool isolated = true;
        for (const Star& o : s.referenceStars)
            if (&o != &star && std::hypot(o.x - star.x, o.y - star.y) < 15) isolated = false;
        for (const Star& o : s.exposureStars)
            if (std::hypot(o.x - u, o.y - v) > 0.01 && std::hypot(o.x - u, o.y - v) < 15)
                isolated = false;
        for (const auto& [hx, hy] : s.hot)
            if (std::hypot(hx - u, hy - v) < 15) isolated = false;
        if (!isolated) continue;
        points[want.size()] = {static_cast<float>(star.x), static_cast<float>(star.y)};
        want.push_back({u, v});
    }
    ASSERT_EQ(want.size(), 4u);

    // The exposure as it is, and turned by 180 degrees (a mount flipped at the meridian).
    Image flipped;
    testkit::makeImage(flipped, kSize, kSize, BW_IMAGE, [&](int, int x, int y) {
        return s.exposure.row(0, kSize - 1 - y)[kSize - 1 - x];
    });
    const std::vector<DetectedStar> referenceStars = detectStars(s.reference);
    for (const bool flip : {false, true}) {
        const Image& exposure = flip ? flipped : s.exposure;
        const AutoSeeds a = autoSeeds(referenceStars, points, 4, exposure);
        ASSERT_TRUE(a.match.found) << starMatchFailureText(a.match.failure);
        EXPECT_GE(a.match.matched, 40);
        EXPECT_LT(a.match.rms, 0.3);
        const double turn = kAngle + (flip ? std::numbers::pi : 0.0);
        EXPECT_NEAR(std::remainder(a.match.transform.angle - turn, 2 * std::numbers::pi), 0, 1e-4);
        EXPECT_NEAR(a.match.transform.scale, 1.0, 1e-4);
        for (std::size_t k = 0; k < want.size(); ++k) {
            const double wx = flip ? kSize - 1 - want[k].first : want[k].first;
            const double wy = flip ? kSize - 1 - want[k].second : want[k].second;
            const ReferencePoint& seed = a.seeds[k];
            EXPECT_LT(std::hypot(seed.x - wx, seed.y - wy), 0.5) << k << " flip " << flip;
            const ReferencePoint p =
                locateReference(exposure, ReferenceMethod::PositiveCentroid, seed.x, seed.y, 12, 4);
            EXPECT_NEAR(p.x, wx, 0.05) << k << " flip " << flip;
            EXPECT_NEAR(p.y, wy, 0.05) << k << " flip " << flip;
        }
    }
}

// No transform rather than a wrong one: a frame of noise (and hot pixels) and a frame of
// other stars.
TEST(AutoSeeds, NotFoundWithoutCommonStars) {
    const Series& s = series();
    const std::vector<DetectedStar> referenceStars = detectStars(s.reference);
    SplitMix64 g{77};
    Image noise, other;
    render(noise, {}, 3, true, hotPixels(g));
    std::vector<Star> unrelated;
    for (const Star& star : skyStars(g, 300))
        if (inFrame(star.x, star.y, -10)) unrelated.push_back(star);
    render(other, unrelated, 4, false, hotPixels(g));

    const ReferenceSet points = defaultReferenceSet();
    for (const Image* img : {&noise, &other}) {
        const AutoSeeds a = autoSeeds(referenceStars, points, 2, *img);
        EXPECT_FALSE(a.match.found) << a.match.matched;
        EXPECT_NE(a.match.failure, StarMatchFailure::None);
        EXPECT_FALSE(starMatchFailureText(a.match.failure).empty());
        EXPECT_EQ(a.seeds[0].x, points[0].x);
    }
}

} // namespace
} // namespace quillon
