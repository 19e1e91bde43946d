// Star measurement against generated frames of known truth, and the frame selection rules.
#include "analysis/frame_quality.h"
#include "analysis/star_frames.h"
#include "analysis/star_measure.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quillon;
using star_frames::FrameSpec;

namespace {

struct Truth {
    double fwhm, beta, ellipticity, angle;
};

class StarTruth : public ::testing::TestWithParam<Truth> {};

// Pixel-integrated Gaussian and Moffat stars: the median FWHM within 3 %, the ellipticity
// within 0.03, the major axis within 3° and every star found within 0.1 px of its centre.
TEST_P(StarTruth, MedianFwhmEllipticityAndPositions) {
    const Truth t = GetParam();
    FrameSpec s;
    s.fwhm = t.fwhm;
    s.beta = t.beta;
    s.ellipticity = t.ellipticity;
    s.angle = t.angle;
    const int spacing = std::max(24, static_cast<int>(s.fwhm * 6));
    s.width = s.height = spacing * 5;
    const auto truth = star_frames::grid(s, spacing, 2500 * s.fwhm * s.fwhm);
    Image img;
    star_frames::render(img, s, truth);
    StarMeasureSettings set;
    set.profile = t.beta > 0 ? StarProfile::Moffat : StarProfile::Gaussian;
    const StarField field = measureStars(img, set);
    ASSERT_EQ(field.stars.size(), truth.size());
    const FrameQuality q = frameQuality(field, 2.0);
    EXPECT_NEAR(q.fwhm, t.fwhm, 0.03 * t.fwhm);
    EXPECT_NEAR(q.fwhmArcsec, 2 * q.fwhm, 1e-9);
    EXPECT_NEAR(1 - q.roundness, t.ellipticity, 0.03);
    for (const auto& ts : truth) {
        const MeasuredStar* best = nullptr;
        for (const MeasuredStar& m : field.stars)
            if (!best ||
                std::hypot(m.x - ts.x, m.y - ts.y) < std::hypot(best->x - ts.x, best->y - ts.y))
                best = &m;
        EXPECT_LT(std::hypot(best->x - ts.x, best->y - ts.y), 0.1) << ts.x << "," << ts.y;
        EXPECT_TRUE(best->fitted);
        if (t.beta == 0) {
            EXPECT_NEAR(best->fwhmMoments, t.fwhm, (t.fwhm < 2 ? 0.15 : 0.05) * t.fwhm);
        }
        if (t.ellipticity > 0) {
            const double d = std::remainder(best->angle - t.angle * 180 / M_PI, 180.0);
            EXPECT_LT(std::abs(d), 3.0);
        }
        // The half-flux diameter of a Gaussian is its FWHM (the half-light radius is
        // √(2 ln 2) σ); the aperture of twice the FWHM holds all but a trace of the light.
        if (t.beta == 0 && t.ellipticity == 0 && t.fwhm >= 3) {
            EXPECT_NEAR(best->hfd, t.fwhm, 0.1 * t.fwhm);
            EXPECT_NEAR(best->flux, ts.flux, 3 * best->fluxError + 0.01 * ts.flux);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(GeneratedStars, StarTruth,
                         ::testing::Values(Truth{1.5, 0, 0, 0}, Truth{3, 0, 0, 0},
                                           Truth{5, 0, 0.2, 0.5}, Truth{8, 0, 0.3, -1.0},
                                           Truth{1.5, 3, 0, 0}, Truth{3, 2.5, 0.15, 1.2},
                                           Truth{5, 4, 0.25, -0.4}, Truth{8, 3, 0, 0}));

// Detection: a hot pixel is no star, a close pair is split, a clipped star is marked
// saturated, and an empty frame has no stars and no score.
TEST(StarMeasure, HotPixelsPairsSaturationAndEmptyFrames) {
    FrameSpec s;
    s.width = s.height = 96;
    std::vector<star_frames::TrueStar> stars{
        {30.2, 40.7, 60000}, {36.1, 41.3, 40000}, {70.4, 70.1, 4.0e6}};
    Image img;
    star_frames::render(img, s, stars);
    img.row(0, 15)[80] = 20000; // hot pixel
    const StarField field = measureStars(img);
    ASSERT_EQ(field.stars.size(), 3u);
    EXPECT_TRUE(field.stars[0].saturated); // the brightest: clipped at 32767
    EXPECT_NEAR(field.stars[0].x, 70.4, 0.1);
    EXPECT_FALSE(field.stars[1].saturated);
    EXPECT_TRUE(field.stars[1].blended);
    EXPECT_TRUE(field.stars[2].blended);
    EXPECT_NEAR(field.background, 1000, 2);
    EXPECT_NEAR(field.noise, 10, 1);

    Image empty;
    star_frames::render(empty, s, {});
    const FrameQuality q = frameQuality(measureStars(empty));
    EXPECT_EQ(q.stars, 0);
    EXPECT_EQ(q.score, 0);
}

TEST(FrameSelection, RulesAndKeepBest) {
    struct Case {
        const char* text;
        bool ok;
    };
    for (const Case c : {Case{"fwhm<3.5", true}, Case{" roundness >= 0.8 ", true},
                         Case{"stars==50", true}, Case{"background!=3", true}, Case{"fwhm", false},
                         Case{"size<3", false}, Case{"fwhm<abc", false}, Case{"fwhm<", false},
                         Case{"fwhm!3", false}, Case{"fwhm<3x", false}}) {
        FrameRule r;
        std::string error;
        EXPECT_EQ(parseFrameRule(c.text, r, error), c.ok) << c.text;
        EXPECT_EQ(error.empty(), c.ok) << c.text;
    }
    std::vector<FrameQuality> frames(8);
    for (int i = 0; i < 8; ++i) {
        frames[static_cast<std::size_t>(i)].score = 10 + i;
        frames[static_cast<std::size_t>(i)].fwhm = i == 7 ? 5 : 2;
    }
    FrameRule rule;
    std::string error;
    ASSERT_TRUE(parseFrameRule("fwhm<3.5", rule, error));
    const auto reasons = selectFrames(frames, {rule}, 50);
    // The rule drops frame 7; of the 8 frames 4 stay: the best-scored 6, 5, 4, 3.
    EXPECT_NE(reasons[7].find("fwhm<3.5"), std::string::npos);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(reasons[static_cast<std::size_t>(i)].empty(), i >= 3) << i;
}

} // namespace
