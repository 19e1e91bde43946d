// combineSamples against a pairwise implementation written out step by step, and the worked
// values of the rejection rule.
#include "composite/combine.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

using namespace quillon;

namespace {

// The plain definition, step by step: pairwise float sums in the order of the values.
std::vector<float> literalRatios(const std::vector<Sample>& v) {
    std::vector<float> d;
    for (Sample vi : v) {
        float s = 0.0f;
        for (Sample vj : v) s += static_cast<float>(std::abs(vi - vj));
        d.push_back(s);
    }
    float m = d.empty() ? 0.0f : *std::min_element(d.begin(), d.end());
    if (m > 1000000.0f) m = 1000000.0f;
    if (m == 0.0f) m = 1.0f;
    for (float& x : d) x /= m;
    return d;
}

Sample literalCombine(const std::vector<Sample>& v, const std::vector<float>& ratios,
                      float threshold, bool averaging) {
    const long long n = static_cast<long long>(v.size());
    long long sum = 0, accepted = 0;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (ratios[i] < threshold) sum += v[i], ++accepted;
    if (accepted == 0) return 0;
    long long q = averaging ? sum * 128 / accepted : sum * 128 * n / accepted;
    q = q < 1 ? q - 64 : q + 64;
    return static_cast<Sample>(std::clamp(q / 128, -32768LL, 32767LL));
}

// Value sets of several shapes: a tight cluster with outliers (rejection at work), the whole
// range, and values piled at both ends (large distance sums, beyond exact float integers).
std::vector<Sample> valueSet(std::mt19937& rng, int n, int shape) {
    std::vector<Sample> v(static_cast<std::size_t>(n));
    std::uniform_int_distribution<int> full(-32768, 32767), small(-40, 40), pick(0, 9);
    const int centre = full(rng) / 2;
    for (auto& s : v) {
        switch (shape) {
        case 0: s = static_cast<Sample>(pick(rng) == 0 ? full(rng) : centre + small(rng)); break;
        case 1: s = static_cast<Sample>(full(rng)); break;
        default: s = static_cast<Sample>(pick(rng) < 5 ? -32768 + pick(rng) : 32767 - pick(rng));
        }
    }
    return v;
}

} // namespace

TEST(CombineSamples, MatchesPairwiseRuleOnRandomSets) {
    std::mt19937 rng(1234);
    std::vector<int> sizes;
    for (int n = 0; n <= 40; ++n) sizes.push_back(n);
    for (int n : {63, 64, 65, 100, 255, 256, 257, 300, 511, 600, 1000, 2000}) sizes.push_back(n);
    for (int n : sizes) {
        const int rounds = n <= 40 ? 300 : 4;
        for (int r = 0; r < rounds; ++r) {
            const int shape = r % 3;
            const std::vector<Sample> v = valueSet(rng, n, shape);
            const std::vector<float> ratios = literalRatios(v);
            // The table's threshold, and thresholds right at and just above some value's ratio:
            // a distance sum off by one float step moves that value across the boundary.
            std::vector<float> thresholds{rejectionThreshold(n)};
            for (int k = 0; k < std::min(n, 3); ++k) {
                const float at = ratios[static_cast<std::size_t>(rng() % n)];
                thresholds.push_back(at);
                thresholds.push_back(std::nextafter(at, 1e9f));
            }
            const std::unique_ptr<bool[]> rejected(new bool[static_cast<std::size_t>(n) + 1]);
            for (float t : thresholds)
                for (bool averaging : {true, false}) {
                    ASSERT_EQ(combineSamples(v.data(), n, t, averaging, rejected.get()),
                              literalCombine(v, ratios, t, averaging))
                        << "n " << n << " shape " << shape << " threshold " << t;
                    for (int i = 0; i < n; ++i)
                        ASSERT_EQ(rejected[static_cast<std::size_t>(i)],
                                  !(ratios[static_cast<std::size_t>(i)] < t))
                            << "n " << n << " shape " << shape << " value " << i;
                }
        }
    }
}

// The vector lanes of small sets at every instruction-set level, the rejected flags included.
TEST(CombineSamples, EveryLevelFollowsTheRuleOnSmallSets) {
    testkit::forEachSimdLevel([](int level) {
        std::mt19937 rng(99);
        for (int n = 1; n <= 64; ++n)
            for (int r = 0; r < 30; ++r) {
                const std::vector<Sample> v = valueSet(rng, n, r % 3);
                const std::vector<float> ratios = literalRatios(v);
                const float t = rejectionThreshold(n);
                bool rejected[64];
                ASSERT_EQ(combineSamples(v.data(), n, t, true, rejected),
                          literalCombine(v, ratios, t, true))
                    << "level " << level << " n " << n;
                for (int i = 0; i < n; ++i)
                    ASSERT_EQ(rejected[i], !(ratios[static_cast<std::size_t>(i)] < t))
                        << "level " << level << " n " << n << " value " << i;
            }
    });
}

TEST(CombineSamples, WorkedValues) {
    struct Case {
        std::vector<Sample> values;
        bool averaging;
        Sample expected;
    };
    const Case cases[] = {
        {{}, true, 0},
        {{100, 102, 101, 5000}, true, 101},  // 5000: d / m = 2.999 ≥ 2.3, rejected
        {{100, 102, 101, 5000}, false, 404}, // 303 × 4 / 3 in place of the sum
        {{10, 10, 1000}, true, 10},
        {{0, 30000}, true, 15000},             // two values: nothing is rejected
        {{-3, -4}, true, -4},                  // -3.5 rounds away from zero
        {{32767, 32767, 32767}, false, 32767}, // the sum is limited
        {{-32768, -32768}, false, -32768},
    };
    for (const Case& c : cases) {
        const int n = static_cast<int>(c.values.size());
        EXPECT_EQ(combineSamples(c.values.data(), n, rejectionThreshold(n), c.averaging),
                  c.expected)
            << "first value " << (n ? c.values[0] : 0) << " averaging " << c.averaging;
    }
}
