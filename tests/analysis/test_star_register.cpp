// Registration by all stars: generated exposures of one sky under known shifts, turns, scales
// and a mirror, with hot pixels; the fitted map must put the sky's stars within 0.01 px rms
// of where the truth puts them.
#include "analysis/star_frames.h"
#include "analysis/star_register.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace quillon;

namespace {

constexpr int kSize = 300;

struct Pose {
    double dx, dy, degrees, scale;
    bool mirror;
    RegistrationModel model;
};

// Reference (x, y) to exposure coordinates: mirror x about the centre, turn and scale about
// the centre, shift.
void place(const Pose& p, double x, double y, double& ox, double& oy) {
    const double c = kSize / 2.0;
    double u = x - c, v = y - c;
    if (p.mirror) u = -u;
    const double a = p.degrees * M_PI / 180;
    ox = c + p.scale * (std::cos(a) * u - std::sin(a) * v) + p.dx;
    oy = c + p.scale * (std::sin(a) * u + std::cos(a) * v) + p.dy;
}

std::vector<star_frames::TrueStar> sky() {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> pos(8, kSize - 8), flux(6000, 60000);
    std::vector<star_frames::TrueStar> s;
    for (int i = 0; i < 160; ++i) s.push_back({pos(rng), pos(rng), flux(rng)});
    return s;
}

StarField exposure(const Pose& p, unsigned seed) {
    star_frames::FrameSpec s;
    s.width = s.height = kSize;
    s.fwhm = 2.5;
    s.seed = seed;
    std::vector<star_frames::TrueStar> stars;
    for (const auto& t : sky()) {
        star_frames::TrueStar m = t;
        place(p, t.x, t.y, m.x, m.y);
        if (m.x > 4 && m.y > 4 && m.x < kSize - 5 && m.y < kSize - 5) stars.push_back(m);
    }
    Image img;
    star_frames::render(img, s, stars);
    std::mt19937 rng(seed + 100);
    std::uniform_int_distribution<int> at(0, kSize - 1);
    for (int i = 0; i < kSize * kSize / 50; ++i) img.row(0, at(rng))[at(rng)] = 30000; // 2 % hot
    return measureStars(img);
}

} // namespace

TEST(StarRegister, ShiftsTurnsScalesAndMirrorsWithinAHundredthPixel) {
    const Pose identity{0, 0, 0, 1, false, RegistrationModel::Shift};
    const StarField ref = exposure(identity, 1);
    const Pose poses[] = {
        {37.3, -12.8, 0, 1, false, RegistrationModel::Shift},
        {-150, 20.5, 0, 1, false, RegistrationModel::Shift}, // half the frame
        {5.2, 3.1, 180, 1, false, RegistrationModel::Similarity},
        {-9.7, 14.2, 73.5, 1.03, false, RegistrationModel::Similarity},
        {3.3, -6.6, -31, 0.97, true, RegistrationModel::Similarity},
        {12.1, 8.4, 120, 1.01, true, RegistrationModel::Affine},
        {-4.4, 2.2, 10, 0.99, false, RegistrationModel::Homography},
    };
    unsigned seed = 2;
    for (const Pose& p : poses) {
        const StarRegistration r = registerStars(ref.stars, exposure(p, seed++).stars, p.model);
        ASSERT_TRUE(r.found) << p.degrees << ": " << r.failure;
        EXPECT_EQ(r.mirrored, p.mirror);
        double sum = 0;
        int n = 0;
        for (const auto& t : sky()) {
            double ex = 0, ey = 0, fx = 0, fy = 0;
            place(p, t.x, t.y, ex, ey);
            if (ex < 0 || ey < 0 || ex > kSize || ey > kSize) continue;
            r.apply(t.x, t.y, fx, fy);
            sum += (fx - ex) * (fx - ex) + (fy - ey) * (fy - ey);
            ++n;
        }
        EXPECT_LT(std::sqrt(sum / n), 0.01)
            << p.dx << "," << p.degrees << " matched " << r.matched << " rms " << r.rms;
    }
    // A frame without stars is refused with its reason.
    star_frames::FrameSpec s;
    s.width = s.height = kSize;
    Image empty;
    star_frames::render(empty, s, {});
    const StarRegistration none =
        registerStars(ref.stars, measureStars(empty).stars, RegistrationModel::Similarity);
    EXPECT_FALSE(none.found);
    EXPECT_FALSE(none.failure.empty());
}
