// Noise filters: the worked examples and every mask and kind against the plain algorithm.
#include "core/error.h"
#include "core/parallel.h"
#include "filters/filter_ops.h"
#include "filters/noise.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::testkit;

namespace {

// The algorithm as described: minimum taken out n / 2 + 1 times for the median, integer mean
// of the neighbours (centre excluded) for the threshold filter.
long long referenceNoise(Image& dst, const Image& src, const NoiseMask& m, NoiseKind kind,
                         std::uint16_t threshold, LayerMask layers) {
    long long count = 0;
    for (int i = 0; i < dst.layerCount(); ++i)
        for (int y = 0; y < dst.height(); ++y)
            for (int x = 0; x < dst.width(); ++x) {
                const int centre = src.row(i, y + 1)[x + 1];
                int out = centre;
                if (layerSelected(layers, i)) {
                    std::vector<int> v;
                    for (int k = 0; k < 9; ++k)
                        if (m[static_cast<std::size_t>(k)] &&
                            !(kind == NoiseKind::Threshold && k == 4))
                            v.push_back(src.row(i, y + k / 3)[x + k % 3]);
                    const int n = static_cast<int>(v.size());
                    if (kind == NoiseKind::Maximum) {
                        out = -32768;
                        for (int a : v) out = std::max(out, a);
                    } else if (kind == NoiseKind::Minimum) {
                        out = 32767;
                        for (int a : v) out = std::min(out, a);
                    } else if (kind == NoiseKind::Median) {
                        for (int round = 0; round < n / 2 + 1; ++round) {
                            auto it = std::min_element(v.begin(), v.end());
                            out = *it;
                            *it = 32767;
                        }
                    } else {
                        int sum = 0;
                        for (int a : v) sum += a;
                        const int mean = sum / n;
                        if (centre > mean + threshold || centre < mean - threshold) {
                            out = mean;
                            ++count;
                        }
                    }
                }
                dst.row(i, y)[x] = static_cast<Sample>(out);
            }
    if (dst.hasOverlay() && src.hasOverlay())
        for (int y = 0; y < dst.height(); ++y)
            for (int x = 0; x < dst.width(); ++x)
                dst.row(dst.overlayPlane(), y)[x] = src.row(src.overlayPlane(), y + 1)[x + 1];
    return count;
}

std::unique_ptr<Image> hotPixelField(std::uint16_t type = BW_IMAGE) {
    auto img = make(20, 20, type);
    fill(*img, [](int, int x, int y) { return x == 9 && y == 9 ? 30000 : 1000; });
    return img;
}

} // namespace

TEST(NoiseFilter, MedianRemovesHotPixelWithAnyMask) {
    auto src = hotPixelField();
    for (int m = 0; m < kNoiseMaskCount; ++m) {
        auto dst = make(18, 18);
        EXPECT_EQ(noiseFilter(*dst, *src, noiseMask(m), NoiseKind::Median, 100, 0), 0);
        EXPECT_EQ(mismatch(*dst, constant(1000)), "") << "mask " << m;
    }
}

TEST(NoiseFilter, ThresholdExampleReplacesNinePixelsPerLayer) {
    auto src = hotPixelField(RGB_IMAGE);
    auto dst = make(18, 18, RGB_IMAGE);
    EXPECT_EQ(noiseFilter(*dst, *src, noiseMask(2), NoiseKind::Threshold, 100, 0), 27);
    EXPECT_EQ(dst->row(0, 8)[8], 1000) << "hot pixel gets the mean of its neighbours";
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (dx || dy) {
                EXPECT_EQ(dst->row(2, 8 + dy)[8 + dx], 4625);
            }
    EXPECT_EQ(replacedPixelsMessage(27), "Es wurden 27 Pixel ersetzt !");
    FilterOutcome o;
    auto doc =
        applyFilter(NoiseFilter(2, NoiseKind::Threshold, 100), *src, 0, Progress::none(), &o);
    EXPECT_EQ(o.replaced, 27);
    EXPECT_EQ(doc->width(), 18);
    auto median =
        applyFilter(NoiseFilter(2, NoiseKind::Median, 100), *src, 0, Progress::none(), &o);
    EXPECT_EQ(o.replaced, -1) << "only the threshold filter counts";
}

TEST(NoiseFilter, ThresholdIsStrictAndCrossUsesDiagonals) {
    auto src = make(12, 12);
    fill(*src, [](int, int x, int y) { return x == 5 && y == 5 ? 1100 : 1000; });
    auto dst = make(10, 10);
    EXPECT_EQ(noiseFilter(*dst, *src, noiseMask(2), NoiseKind::Threshold, 100, 0), 0)
        << "1100 is exactly mean + threshold";
    EXPECT_EQ(dst->row(0, 4)[4], 1100);
    // Cross mask: only the four diagonal neighbours form the mean.
    fill(*src, [](int, int x, int y) {
        if (x == 5 && y == 5) return 500;
        if ((x == 4 || x == 6) && (y == 4 || y == 6)) return 200;
        return 9000;
    });
    EXPECT_GT(noiseFilter(*dst, *src, noiseMask(1), NoiseKind::Threshold, 100, 0), 0);
    EXPECT_EQ(dst->row(0, 4)[4], 200);
    noiseFilter(*dst, *src, noiseMask(0), NoiseKind::Threshold, 100, 0);
    EXPECT_EQ(dst->row(0, 4)[4], 9000) << "the plus mask sees only the orthogonal neighbours";
}

TEST(NoiseFilter, MaximumOnUniformAreaAndSizes) {
    auto src = make(12, 12, RGB_IMAGE, true);
    fill(*src, [](int p, int x, int y) { return p == 3 ? x * y : -77; });
    auto dst = make(10, 10, RGB_IMAGE, true);
    noiseFilter(*dst, *src, noiseMask(0), NoiseKind::Maximum, 0, 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            ASSERT_EQ(dst->row(1, y)[x], -77);
            ASSERT_EQ(dst->row(3, y)[x], (x + 1) * (y + 1)) << "overlay from the centre";
        }
    auto wrong = make(11, 10);
    EXPECT_THROW(noiseFilter(*wrong, *src, noiseMask(0), NoiseKind::Maximum, 0, 0), Error);
}

TEST(NoiseFilter, SettingsKeysStaySwapped) {
    const std::vector<const char*> keys = filterOperation(FilterCommand::Noise)->settingsKeys();
    ASSERT_EQ(keys.size(), 3u); // mask, kind, threshold
    EXPECT_STREQ(keys[0], "m_Reg_nNoise_nType");
    EXPECT_STREQ(keys[1], "m_Reg_nNoise_nMask");
    EXPECT_STREQ(noiseKindLabel(NoiseKind::Threshold), "Schwellwertfilter");
}

class NoiseMatchesPlainLoop : public ::testing::TestWithParam<int> {};

TEST_P(NoiseMatchesPlainLoop, EveryMaskAndKind) {
    ScopedThreadCount tc(GetParam());
    int seed = 0;
    std::vector<NoiseMask> masks = {noiseMask(0),
                                    noiseMask(1),
                                    noiseMask(2),
                                    {true, false, false, true, true, false, false, true, true}};
    for (const NoiseMask& m : masks)
        for (int kind = 0; kind < 4; ++kind)
            for (auto size :
                 {std::pair{75, 31}, std::pair{12, 12}, std::pair{40, 14}, std::pair{141, 12}}) {
                const int w = size.first, h = size.second;
                auto src = make(w, h, LRGB_IMAGE, true);
                ++seed;
                fillNoise(*src, static_cast<unsigned>(seed), seed % 2 ? -32768 : 0,
                          seed % 2 ? 32767 : 2000);
                auto ref = make(w - 2, h - 2, LRGB_IMAGE, true);
                const LayerMask layers = seed % 3 == 0 ? 0b0110 : 0;
                const auto k = static_cast<NoiseKind>(kind);
                const long long count = referenceNoise(*ref, *src, m, k, 700, layers);
                forEachSimdLevel([&](int level) {
                    auto fast = make(w - 2, h - 2, LRGB_IMAGE, true);
                    EXPECT_EQ(noiseFilter(*fast, *src, m, k, 700, layers), count);
                    ASSERT_EQ(firstDifference(*fast, *ref), "")
                        << "kind " << kind << " size " << w << " level " << level;
                });
            }
}

INSTANTIATE_TEST_SUITE_P(Threads, NoiseMatchesPlainLoop, ::testing::Values(1, 2, 4));
