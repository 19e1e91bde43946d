// The images the tests build (constant, ramp, seeded noise, Gaussian stars) and compare.
#pragma once

#include "core/image.h"
#include "core/sample.h"
#include "core/simd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quillon::testkit {

// Defines the image and allocates its samples, all 0.
inline void define(Image& img, int w, int h, std::uint16_t type = BW_IMAGE, bool overlay = false,
                   int userLayers = 0) {
    ASSERT_GT(img.Define(w, h, type, overlay, userLayers), 0u);
    ASSERT_EQ(img.AllocateSamples(true), 0);
}

inline std::unique_ptr<Image> make(int w, int h, std::uint16_t type = BW_IMAGE,
                                   bool overlay = false, int userLayers = 0) {
    auto img = std::make_unique<Image>();
    define(*img, w, h, type, overlay, userLayers);
    return img;
}

// A sample for plane p (the overlay plane is the index equal to the layer count) at (x, y).
using PixelFn = std::function<int(int p, int x, int y)>;

// Fills one plane, or every plane (the overlay plane included) with plane = -1.
inline void fill(Image& img, const PixelFn& f, int plane = -1) {
    for (int p = 0; p < img.planeCount(); ++p) {
        if (plane >= 0 && p != plane) continue;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                img.row(p, y)[x] = static_cast<Sample>(f(p, x, y));
    }
}

// Defines and fills in one step.
inline void makeImage(Image& img, int w, int h, std::uint16_t type, const PixelFn& f,
                      bool overlay = false, int userLayers = 0) {
    define(img, w, h, type, overlay, userLayers);
    if (img.hasSamples()) fill(img, f);
}

// The type comes after the size: an image type in front of the size is refused at compile time
// instead of being read as a width.
template <class... Rest>
void makeImage(Image&, ImageType, int, int, Rest&&...) = delete;
template <class... Rest>
void define(Image&, ImageType, int, Rest&&...) = delete;

inline PixelFn constant(int value) {
    return [value](int, int, int) { return value; };
}

// Plane p holds values[p] everywhere; planes beyond the list (an overlay) hold 0.
inline PixelFn perPlane(std::vector<int> values) {
    return [v = std::move(values)](int p, int, int) {
        return static_cast<std::size_t>(p) < v.size() ? v[static_cast<std::size_t>(p)] : 0;
    };
}

// base + dx·x + dy·y + dp·p.
struct Ramp {
    int base = 0, dx = 0, dy = 0, dp = 0;
    int operator()(int p, int x, int y) const { return base + dx * x + dy * y + dp * p; }
};

// splitmix64: the same numbers on every platform and standard library.
struct SplitMix64 {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in lo..hi (both included).
    int uniform(int lo, int hi) {
        return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    // Uniform in [lo, hi).
    double uniformReal(double lo, double hi) {
        return lo + (hi - lo) * static_cast<double>(next() >> 11) * 0x1.0p-53;
    }
};

// Noise in lo..hi that depends only on the seed and the position, so that it is the same
// whatever order the pixels are filled in.
inline PixelFn noise(std::uint64_t seed, int lo = kSampleMin, int hi = kSampleMax) {
    return [key = SplitMix64{seed}.next(), lo, hi](int p, int x, int y) {
        SplitMix64 g{key ^ (static_cast<std::uint64_t>(p) << 48) ^
                     (static_cast<std::uint64_t>(static_cast<std::uint32_t>(y)) << 24) ^
                     static_cast<std::uint32_t>(x)};
        return g.uniform(lo, hi);
    };
}

inline void fillNoise(Image& img, std::uint64_t seed, int lo = kSampleMin, int hi = kSampleMax) {
    fill(img, noise(seed, lo, hi));
}

// A star: centre in pixel coordinates and its total flux in sample units.
struct Star {
    double x, y, flux;
};

// Pixel (i, j) covers [i - 0.5, i + 0.5] × [j - 0.5, j + 0.5], so integer positions are pixel
// centres. A star of flux F at (x, y) gives the pixel F · Px · Py, the integral of a circular
// Gaussian of standard deviation sigma over the pixel's square, with
// Px = (erf((i + 0.5 - x) / (sigma·√2)) - erf((i - 0.5 - x) / (sigma·√2))) / 2, likewise Py.
// The value is background plus the sum over the stars.
inline double starValue(const std::vector<Star>& stars, double sigma, double background, int i,
                        int j) {
    const double k = 1.0 / (sigma * std::sqrt(2.0));
    double v = background;
    for (const Star& s : stars) {
        const double px = 0.5 * (std::erf((i + 0.5 - s.x) * k) - std::erf((i - 0.5 - s.x) * k));
        const double py = 0.5 * (std::erf((j + 0.5 - s.y) * k) - std::erf((j - 0.5 - s.y) * k));
        v += s.flux * px * py;
    }
    return v;
}

// Stores starValue in `plane`, converted like every computed value (toSample: truncated toward
// zero, clamped to the sample range).
inline void fillStars(Image& img, const std::vector<Star>& stars, double sigma,
                      double background = 0.0, int plane = 0) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.row(plane, y)[x] = toSample(starValue(stars, sigma, background, x, y));
}

// The first pixel where img differs from expected(p, x, y), as text, or empty; in one plane
// or, with plane = -1, in all of them.
inline std::string mismatch(const Image& img, const PixelFn& expected, int plane = -1) {
    for (int p = plane < 0 ? 0 : plane; p < (plane < 0 ? img.planeCount() : plane + 1); ++p)
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (const int want = expected(p, x, y); img.row(p, y)[x] != want)
                    return "plane " + std::to_string(p) + " (" + std::to_string(x) + "," +
                           std::to_string(y) + "): " + std::to_string(img.row(p, y)[x]) + " vs " +
                           std::to_string(want);
    return {};
}

// First differing pixel as text, or empty when the images are equal.
inline std::string firstDifference(const Image& a, const Image& b) {
    if (a.width() != b.width() || a.height() != b.height() || a.planeCount() != b.planeCount())
        return "shape differs";
    return mismatch(a, [&b](int p, int x, int y) { return b.row(p, y)[x]; });
}

// Runs fn once for every instruction-set level this processor has (the others must be
// refused), then restores the choice by processor.
inline void forEachSimdLevel(const std::function<void(int)>& fn) {
    for (int level = simd::Sse2; level <= simd::Avx512; ++level) {
        if (!simd::available(static_cast<simd::Level>(level))) {
            EXPECT_FALSE(simd::force(level));
            continue;
        }
        EXPECT_TRUE(simd::force(level));
        fn(level);
    }
    simd::force(0);
}

} // namespace quillon::testkit
