// Test images made in the tests: constant, random and patterned planes.
#pragma once

#include "core/image.h"
#include "core/simd.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>

namespace quillon::testimg {

inline std::unique_ptr<Image> make(int w, int h, std::uint16_t type = BW_IMAGE,
                                   bool overlay = false, int userLayers = 0) {
    auto img = std::make_unique<Image>();
    EXPECT_GT(img->Define(w, h, type, overlay, userLayers), 0u);
    EXPECT_EQ(img->AllocateSamples(true), 0);
    return img;
}

// Fills every plane p at (x, y) with f(p, x, y).
inline void fill(Image& img, const std::function<int(int, int, int)>& f) {
    for (int p = 0; p < img.planeCount(); ++p)
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                img.row(p, y)[x] = static_cast<Sample>(f(p, x, y));
}

inline void fillRandom(Image& img, unsigned seed, int lo = -32768, int hi = 32767) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(lo, hi);
    fill(img, [&](int, int, int) { return d(rng); });
}

inline bool samePlane(const Image& a, int pa, const Image& b, int pb) {
    if (a.width() != b.width() || a.height() != b.height()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.row(pa, y)[x] != b.row(pb, y)[x]) return false;
    return true;
}

// First differing pixel as text, or empty when the planes are equal.
inline std::string firstDifference(const Image& a, const Image& b) {
    if (a.width() != b.width() || a.height() != b.height() || a.planeCount() != b.planeCount())
        return "shape differs";
    for (int p = 0; p < a.planeCount(); ++p)
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.row(p, y)[x] != b.row(p, y)[x])
                    return "plane " + std::to_string(p) + " (" + std::to_string(x) + "," +
                           std::to_string(y) + "): " + std::to_string(a.row(p, y)[x]) + " vs " +
                           std::to_string(b.row(p, y)[x]);
    return {};
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

} // namespace quillon::testimg
