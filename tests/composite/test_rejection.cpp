// Statistical rejection of one pixel's values, and normalisation maps.
#include "composite/rejection.h"

#include "core/simd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace quillon {
namespace {

// 21 values spread evenly around 1000 (σ about 18) and the outliers given.
std::vector<float> sky(std::initializer_list<float> outliers) {
    std::vector<float> v;
    for (int i = -10; i <= 10; ++i) v.push_back(1000.0f + 3.0f * static_cast<float>(i));
    v.insert(v.end(), outliers);
    return v;
}

TEST(Rejection, EveryMethodDropsTheOutliersOfACleanSky) {
    for (const Rejection m : {Rejection::Sigma, Rejection::Winsorized, Rejection::Linear,
                              Rejection::Gesd, Rejection::Percentile, Rejection::MinMax}) {
        std::vector<float> v = sky({9000.0f, -3000.0f});
        std::vector<float> w(v.size(), 1.0f);
        std::vector<signed char> flags(v.size());
        RejectionParams p;
        p.method = m;
        const PixelCombination c =
            combineRejected(v.data(), w.data(), static_cast<int>(v.size()), p, flags.data());
        EXPECT_EQ(flags[21], 1) << static_cast<int>(m);
        EXPECT_EQ(flags[22], -1) << static_cast<int>(m);
        EXPECT_GE(c.rejectedLow, 1);
        EXPECT_GE(c.rejectedHigh, 1);
        // What is kept is the clean sky (min/max drops one more at each end: still symmetric).
        EXPECT_NEAR(c.value, 1000.0f, 0.01f) << static_cast<int>(m);
    }
}

TEST(Rejection, CleanValuesStayAndWeightsAndMedianCombine) {
    std::vector<float> v = sky({});
    std::vector<float> w(v.size(), 1.0f);
    std::vector<signed char> flags(v.size());
    RejectionParams p;
    for (const Rejection m : {Rejection::Sigma, Rejection::Winsorized, Rejection::Gesd}) {
        p.method = m;
        const PixelCombination c =
            combineRejected(v.data(), w.data(), static_cast<int>(v.size()), p, flags.data());
        EXPECT_EQ(c.rejectedLow + c.rejectedHigh, 0) << static_cast<int>(m);
    }
    const float values[] = {10.0f, 20.0f, 90.0f}, weights[] = {1.0f, 3.0f, 0.5f};
    signed char f3[3];
    p.method = Rejection::None;
    EXPECT_FLOAT_EQ(combineRejected(values, weights, 3, p, f3).value,
                    (10.0f + 60.0f + 45.0f) / 4.5f);
    p.median = true;
    EXPECT_FLOAT_EQ(combineRejected(values, weights, 3, p, f3).value, 20.0f);
}

TEST(Rejection, NormalisationMapsBringLevelAndSpreadToTheReference) {
    const RobustStats e{1200.0f, 25.0f}, ref{1000.0f, 20.0f};
    const struct {
        Normalization method;
        float level, spread; // where e's level lands, and e's spread after the map
    } cases[] = {{Normalization::None, 1200, 25},
                 {Normalization::Add, 1000, 25},
                 {Normalization::Mul, 1000, 25 * 1000.0f / 1200},
                 {Normalization::AddScale, 1000, 20},
                 {Normalization::MulScale, 1000, 20}};
    for (const auto& c : cases) {
        const LinearMap m = normalizationMap(c.method, e, ref);
        EXPECT_NEAR(m.gain * e.location + m.offset, c.level, 1e-3) << static_cast<int>(c.method);
        EXPECT_NEAR(m.gain * e.scale, c.spread, 1e-3) << static_cast<int>(c.method);
    }
    std::vector<Sample> samples(100 * 100);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<Sample>(500 + static_cast<int>(i % 7) - 3); // MAD 2
    const RobustStats st = robustStats(samples, 100, 100);
    EXPECT_EQ(st.location, 500.0f);
    EXPECT_NEAR(st.scale, 1.4826f * 2.0f, 1e-4);
}

// Values are taken in the order of their value, equal ones in exposure order, whether a pixel
// has few values (ranked in vector lanes) or many (sorted), at every instruction-set level:
// min/max clipping drops exactly the first and last two of a stable sort.
TEST(Rejection, EqualValuesGoInExposureOrderAtEveryLevelAndCount) {
    for (const int level : {1, 2, 3}) {
        if (!simd::force(level)) continue;
        for (const int n : {6, 17, 65, 256, 257}) {
            std::vector<float> v(static_cast<std::size_t>(n)), w(v.size(), 1.0f);
            for (int i = 0; i < n; ++i)
                v[static_cast<std::size_t>(i)] = static_cast<float>((i * 7) % 4);
            std::vector<int> order(v.size());
            for (int i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = i;
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                return v[static_cast<std::size_t>(a)] < v[static_cast<std::size_t>(b)];
            });
            std::vector<signed char> expected(v.size(), 0), flags(v.size());
            for (int k = 0; k < 2; ++k) {
                expected[static_cast<std::size_t>(order[static_cast<std::size_t>(k)])] = -1;
                expected[static_cast<std::size_t>(order[static_cast<std::size_t>(n - 1 - k)])] = 1;
            }
            RejectionParams p;
            p.method = Rejection::MinMax;
            p.minmaxLow = p.minmaxHigh = 2;
            combineRejected(v.data(), w.data(), n, p, flags.data());
            EXPECT_EQ(flags, expected) << "level " << level << ", " << n << " values";
        }
    }
    simd::force(0);
}

// A row combined at once gives each pixel what combining it alone gives, for every method:
// pixels of 0 to 90 values, outliers and ties, winsorized ones side by side in groups.
TEST(Rejection, ARowAtOnceMatchesPixelByPixel) {
    constexpr int kPixels = 23, kStride = 90;
    std::vector<float> v(kPixels * kStride), w(v.size());
    std::vector<int> counts(kPixels);
    unsigned seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 8) % 1000u; };
    for (int x = 0; x < kPixels; ++x)
        counts[static_cast<std::size_t>(x)] = (x * 37) % (kStride + 1);
    for (std::size_t i = 0; i < v.size(); ++i) {
        v[i] = 1000.0f + static_cast<float>(next() % 41) + (next() < 30 ? 4000.0f : 0.0f);
        w[i] = 0.5f + static_cast<float>(next()) / 500.0f;
    }
    for (int m = 0; m < 8; ++m) {
        RejectionParams p;
        p.method = static_cast<Rejection>(m);
        p.median = m == 3;
        std::vector<signed char> rowFlags(v.size()), flags(kStride);
        std::vector<PixelCombination> row(kPixels);
        combineRejectedRow(v.data(), w.data(), counts.data(), kPixels, kStride, p, rowFlags.data(),
                           row.data());
        for (int x = 0; x < kPixels; ++x) {
            const std::size_t at = static_cast<std::size_t>(x) * kStride;
            const int n = counts[static_cast<std::size_t>(x)];
            const PixelCombination c =
                combineRejected(v.data() + at, w.data() + at, n, p, flags.data());
            EXPECT_EQ(std::bit_cast<std::uint32_t>(row[static_cast<std::size_t>(x)].value),
                      std::bit_cast<std::uint32_t>(c.value))
                << m << ", pixel " << x;
            EXPECT_EQ(row[static_cast<std::size_t>(x)].rejectedLow, c.rejectedLow);
            EXPECT_EQ(row[static_cast<std::size_t>(x)].rejectedHigh, c.rejectedHigh);
            EXPECT_TRUE(std::equal(flags.begin(), flags.begin() + n,
                                   rowFlags.begin() + static_cast<std::ptrdiff_t>(at)));
        }
    }
}

// Pixels combined side by side in lanes give what each gives alone, bit for bit, at every
// instruction-set level: every method, 0 to 600 values, ties, outliers, a value that is not a
// number, and pixels whose clipping keeps fewer than two values unless some are given back.
TEST(Rejection, LanesMatchPixelByPixel) {
    unsigned seed = 777;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 8) % 1000u; };
    for (const int n : {0, 1, 2, 3, 4, 5, 20, 21, 64, 65, 201, 600}) {
        const std::size_t size = static_cast<std::size_t>(n) * kLanePixels;
        std::vector<float> v(size), w(static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t lane = i % kLanePixels;
            v[i] = lane == 3   ? static_cast<float>(next() % 3)         // ties
                   : lane == 5 ? (i < kLanePixels ? 50000.0f : 1000.0f) // one far value
                               : 1000.0f + static_cast<float>(next() % 41) +
                                     (next() < 40 ? 4000.0f : 0.0f) - (next() < 20 ? 900.0f : 0.0f);
        }
        if (n > 2) v[7 + kLanePixels] = std::nanf("");
        for (float& x : w) x = 0.5f + static_cast<float>(next()) / 500.0f;
        for (int level = 1; level <= 3; ++level) {
            if (!simd::force(level)) continue;
            for (int m = 0; m < 8; ++m) {
                RejectionParams p;
                p.method = static_cast<Rejection>(m);
                p.median = m == 2;
                // Narrow thresholds: sigma clipping keeps fewer than two values in some pixels.
                p.sigmaLow = m == 2 ? 0.01f : m == 3 ? 0.1f : 3.0f;
                p.sigmaHigh = m == 2 ? 0.01f : 3.0f;
                std::vector<signed char> sides(size), flags(static_cast<std::size_t>(n));
                PixelCombination lanes[kLanePixels];
                combineRejectedLanes(v.data(), w.data(), n, p, sides.data(), lanes);
                std::vector<float> one(static_cast<std::size_t>(n));
                for (int l = 0; l < kLanePixels; ++l) {
                    for (int j = 0; j < n; ++j)
                        one[static_cast<std::size_t>(j)] =
                            v[static_cast<std::size_t>(j * kLanePixels + l)];
                    const PixelCombination c =
                        combineRejected(one.data(), w.data(), n, p, flags.data());
                    const auto what = testing::Message() << "level " << level << ", method " << m
                                                         << ", " << n << " values, lane " << l;
                    EXPECT_EQ(std::bit_cast<std::uint32_t>(lanes[l].value),
                              std::bit_cast<std::uint32_t>(c.value))
                        << what;
                    EXPECT_EQ(lanes[l].rejectedLow, c.rejectedLow) << what;
                    EXPECT_EQ(lanes[l].rejectedHigh, c.rejectedHigh) << what;
                    for (int j = 0; j < n; ++j)
                        ASSERT_EQ(sides[static_cast<std::size_t>(j * kLanePixels + l)],
                                  flags[static_cast<std::size_t>(j)])
                            << what << ", value " << j;
                }
            }
        }
    }
    simd::force(0);
}

// The lanes' sorting network for every count up to 300: the median of each pixel (which needs
// the values in order) matches the pixel-by-pixel one, at every level.
TEST(Rejection, LanesSortEveryCount) {
    unsigned seed = 4242;
    for (int n = 1; n <= 300; ++n) {
        std::vector<float> v(static_cast<std::size_t>(n) * kLanePixels),
            w(static_cast<std::size_t>(n), 1.0f);
        for (float& x : v) x = static_cast<float>((seed = seed * 1103515245u + 12345u) >> 20);
        std::vector<signed char> sides(v.size()), flags(static_cast<std::size_t>(n));
        std::vector<float> one(static_cast<std::size_t>(n));
        RejectionParams p;
        p.method = Rejection::None;
        p.median = true;
        for (int level = 1; level <= 3; ++level) {
            if (!simd::force(level)) continue;
            PixelCombination lanes[kLanePixels];
            combineRejectedLanes(v.data(), w.data(), n, p, sides.data(), lanes);
            for (int l = 0; l < kLanePixels; ++l) {
                for (int j = 0; j < n; ++j)
                    one[static_cast<std::size_t>(j)] =
                        v[static_cast<std::size_t>(j * kLanePixels + l)];
                ASSERT_EQ(lanes[l].value,
                          combineRejected(one.data(), w.data(), n, p, flags.data()).value)
                    << n << " values, level " << level << ", lane " << l;
            }
        }
    }
    simd::force(0);
}

} // namespace
} // namespace quillon
