// Generated star frames with known truth for the star measurement tests.
#pragma once

#include "core/image.h"
#include "core/image_type.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace star_frames {

struct TrueStar {
    double x, y, flux;
};

struct FrameSpec {
    int width = 256, height = 256;
    double fwhm = 3;        // geometric mean of the axes
    double ellipticity = 0; // 1 − minor/major
    double angle = 0;       // major axis, radians from +x towards +y
    double beta = 0;        // 0: Gaussian, otherwise Moffat
    double background = 1000, noise = 10;
    unsigned seed = 1;
};

// Unit-flux profile value at offset (dx, dy), elliptical, integrated over 4 × 4 points a
// pixel by the caller.
inline double profile(const FrameSpec& s, double dx, double dy) {
    const double q = 1 - s.ellipticity;
    const double major = s.fwhm / std::sqrt(q), minor = s.fwhm * std::sqrt(q);
    const double c = std::cos(s.angle), sn = std::sin(s.angle);
    const double u = c * dx + sn * dy, v = -sn * dx + c * dy;
    if (s.beta <= 0) {
        const double sa = major / 2.3548200450309493, sb = minor / 2.3548200450309493;
        return std::exp(-0.5 * (u * u / (sa * sa) + v * v / (sb * sb))) / (2 * M_PI * sa * sb);
    }
    const double k = 2 * std::sqrt(std::pow(2.0, 1 / s.beta) - 1);
    const double aa = major / k, ab = minor / k;
    return (s.beta - 1) / (M_PI * aa * ab) *
           std::pow(1 + u * u / (aa * aa) + v * v / (ab * ab), -s.beta);
}

// Fills a grey image with the stars on a flat background plus Gaussian noise.
inline void render(quillon::Image& img, const FrameSpec& s, const std::vector<TrueStar>& stars) {
    img.Define(s.width, s.height, quillon::BW_IMAGE, false);
    img.AllocateSamples(true);
    std::vector<double> v(static_cast<std::size_t>(s.width) * s.height, s.background);
    const int reach = static_cast<int>(std::ceil(s.fwhm * (s.beta > 0 ? 4 : 2.5) + 3));
    constexpr int n = 4;
    for (const TrueStar& t : stars)
        for (int y = std::max(0, int(t.y) - reach); y <= std::min(s.height - 1, int(t.y) + reach);
             ++y)
            for (int x = std::max(0, int(t.x) - reach);
                 x <= std::min(s.width - 1, int(t.x) + reach); ++x) {
                double sum = 0;
                for (int a = 0; a < n; ++a)
                    for (int b = 0; b < n; ++b)
                        sum += profile(s, x - 0.5 + (b + 0.5) / n - t.x,
                                       y - 0.5 + (a + 0.5) / n - t.y);
                v[static_cast<std::size_t>(y) * s.width + x] += t.flux * sum / (n * n);
            }
    std::mt19937 rng(s.seed);
    std::normal_distribution<double> gauss(0, s.noise);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const double d = v[static_cast<std::size_t>(y) * s.width + x] + gauss(rng);
            img.row(0, y)[x] =
                static_cast<quillon::Sample>(std::clamp(std::lround(d), -32768L, 32767L));
        }
}

// Stars on a jittered grid, spacing pixels apart, fluxes from flux to 3 × flux.
inline std::vector<TrueStar> grid(const FrameSpec& s, int spacing, double flux) {
    std::mt19937 rng(s.seed * 7919u + 1);
    std::uniform_real_distribution<double> jitter(-0.5, 0.5), scale(1, 3);
    std::vector<TrueStar> out;
    for (int y = spacing / 2; y < s.height - spacing / 2 + 1; y += spacing)
        for (int x = spacing / 2; x < s.width - spacing / 2 + 1; x += spacing)
            out.push_back({x + jitter(rng), y + jitter(rng), flux * scale(rng)});
    return out;
}

} // namespace star_frames
