// Robust combination of one pixel's values (rejection of outliers, then mean or sum).
#include "composite/combine.h"

#include "core/simd_dispatch.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace quillon {

namespace {

// Up to this many values the pairwise sums are formed directly; beyond, from sorted values.
constexpr int kPairwiseLimit = 64;
// Integers up to 2^24 are exact in a float; a sum of non-negative integers that stays there
// has every partial sum exact too, so it equals the float sum in any order.
constexpr long long kFloatExact = 1LL << 24;
constexpr float kLargestMinimum = 1000000.0f;

// d for one value with the float sum in the order of the values (large sums only).
float orderedDistance(const Sample* values, int n, int v) {
    float d = 0.0f;
    for (int j = 0; j < n; ++j) d += static_cast<float>(std::abs(v - values[j]));
    return d;
}

// The least d as the rule divides by it: at most 1000000, 1 in place of 0.
float limitedMinimum(float m) {
    if (m > kLargestMinimum) m = kLargestMinimum;
    return m == 0.0f ? 1.0f : m;
}

float minimumDistance(const float* d, int n) {
    return limitedMinimum(*std::min_element(d, d + n));
}

// The accepted sum S of a values, scaled by 128 and rounded half away from zero.
Sample fromAccepted(long long sum, long long accepted, long long n, bool averaging) {
    if (accepted == 0) return 0;
    const long long scaled = sum * 128;
    long long q = scaled / accepted;
    if (!averaging) {
        // scaled × n / a without forming scaled × n: with scaled = q·a + r (r of the sign of
        // scaled, |r| < a) the quotient is q·n + r·n / a.
        q = q * n + (scaled % accepted) * n / accepted;
    }
    q = q < 1 ? q - 64 : q + 64;
    return clampSample(q / 128);
}

// The rejection of up to kPairwiseLimit values w (padded with zeros to a multiple of 8), VW
// values at a time: d_i = Σ_j |v_i − v_j| as integer sums (at most 63 × 65535, so exact as
// floats and equal to the float sums in any order), then v_i accepted when d_i / m is below
// the threshold. Fills accept[i] (1 or 0) and gives the accepted values' sum and number.
struct Scored {
    int sum = 0, accepted = 0;
};

template <int VW>
[[gnu::always_inline]] inline void scoreT(Scored& out, int* accept, const int* w, int n,
                                          float threshold) {
    using I = typename simd::Vec<VW>::I;
    using F = typename simd::Vec<VW>::F;
    alignas(64) int d[kPairwiseLimit];
    for (int i = 0; i < n; i += VW) {
        I vi;
        simd::load(vi, w + i);
        I acc{};
        for (int j = 0; j < n; ++j) {
            const I diff = vi - w[j];
            acc += diff < 0 ? -diff : diff;
        }
        simd::store(d + i, acc);
    }
    int least = d[0];
    for (int i = 1; i < n; ++i) least = std::min(least, d[i]);
    float m = static_cast<float>(least);
    if (m > kLargestMinimum) m = kLargestMinimum;
    if (m == 0.0f) m = 1.0f;
    I lane, sum{}, count{};
    for (int k = 0; k < VW; ++k) lane[k] = k;
    for (int i = 0; i < n; i += VW) {
        I di, vi;
        simd::load(di, d + i);
        simd::load(vi, w + i);
        const I ok = (__builtin_convertvector(di, F) / m < threshold) & (lane + i < n);
        sum += vi & ok;
        count -= ok;
        simd::store(accept + i, -ok);
    }
    for (int k = 0; k < VW; ++k) {
        out.sum += sum[k];
        out.accepted += count[k];
    }
}

struct Score {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(Scored& out, int* accept, const int* w, int n,
                                           float threshold) {
        scoreT<simd::kFloats<L>>(out, accept, w, n, threshold);
    }
};

Sample combinePairwise(const Sample* values, int n, float threshold, bool averaging,
                       bool* rejected) {
    constexpr int kLanes = 8;
    const int padded = (n + kLanes - 1) / kLanes * kLanes;
    alignas(64) int w[kPairwiseLimit];
    for (int i = 0; i < n; ++i) w[i] = values[i];
    for (int i = n; i < padded; ++i) w[i] = 0;
    alignas(64) int accept[kPairwiseLimit];
    Scored scored;
    simd::select<Score, void(Scored&, int*, const int*, int, float), simd::Avx2>()(scored, accept,
                                                                                   w, n, threshold);
    if (rejected)
        for (int i = 0; i < n; ++i) rejected[i] = accept[i] == 0;
    return fromAccepted(scored.sum, scored.accepted, n, averaging);
}

Sample combineSorted(const Sample* values, int n, float threshold, bool averaging, bool* rejected) {
    thread_local std::vector<int> sorted;
    thread_local std::vector<float> d;
    sorted.assign(values, values + n);
    std::sort(sorted.begin(), sorted.end());
    d.resize(static_cast<std::size_t>(n));
    long long total = 0;
    for (int v : sorted) total += v;
    // For sorted s_k: d_k = (k·s_k − below) + (above − (n − 1 − k)·s_k), exact in integers.
    long long below = 0;
    for (int k = 0; k < n;) {
        const int v = sorted[static_cast<std::size_t>(k)];
        int run = k;
        while (run < n && sorted[static_cast<std::size_t>(run)] == v) ++run;
        const long long above = total - below - static_cast<long long>(run - k) * v;
        const long long exact =
            (static_cast<long long>(k) * v - below) + (above - static_cast<long long>(n - run) * v);
        const float dk =
            exact <= kFloatExact ? static_cast<float>(exact) : orderedDistance(values, n, v);
        for (; k < run; ++k) {
            d[static_cast<std::size_t>(k)] = dk;
            below += v;
        }
    }
    const float m = minimumDistance(d.data(), n);
    long long sum = 0;
    long long accepted = 0;
    for (int k = 0; k < n; ++k) {
        if (d[static_cast<std::size_t>(k)] / m < threshold) {
            sum += sorted[static_cast<std::size_t>(k)];
            ++accepted;
        }
    }
    if (rejected) {
        // Equal values share their d: look each value's up among the sorted ones.
        for (int i = 0; i < n; ++i) {
            const auto at = std::lower_bound(sorted.begin(), sorted.end(), int{values[i]});
            rejected[i] = !(d[static_cast<std::size_t>(at - sorted.begin())] / m < threshold);
        }
    }
    return fromAccepted(sum, accepted, n, averaging);
}

// Σ_j |x − v_j| over n values, and the number of values at most x, in 32-bit lanes (the
// caller keeps the sum below 2^31); integer sums, so every level gives the same.
template <bool Distance>
struct ValueScan {
    template <simd::Level L>
    [[gnu::always_inline]] static int run(const int* v, int n, int x) {
        constexpr int kLanes = simd::kFloats<L>;
        using I = typename simd::Vec<kLanes>::I;
        I acc{};
        int j = 0;
        for (; j + kLanes <= n; j += kLanes) {
            I vj;
            simd::load(vj, v + j);
            if constexpr (Distance) {
                const I diff = vj - x;
                acc += diff < 0 ? -diff : diff;
            } else {
                acc -= vj <= x; // a true lane is -1
            }
        }
        int r = 0;
        for (int k = 0; k < kLanes; ++k) r += acc[k];
        for (; j < n; ++j) r += Distance ? std::abs(x - v[j]) : (v[j] <= x ? 1 : 0);
        return r;
    }
};

// The last integer from `from` towards `to` (both included) that `holds`, given that `from`
// does and that `holds` turns false at most once on the way: steps of 1, 2, 4, ... until one
// fails, then bisection. A few evaluations when the answer is near `from`, at most about
// 2·log2 |to − from| otherwise.
template <class Holds>
int lastHolding(int from, int to, Holds&& holds) {
    const int dir = to > from ? 1 : -1;
    int in = from, out = to + dir;
    for (long long step = 1; in != to; step *= 2) {
        const long long room = static_cast<long long>(to - in) * dir;
        const int next = in + dir * static_cast<int>(std::min(step, room));
        if (!holds(next)) {
            out = next;
            break;
        }
        in = next;
    }
    while ((out - in) * dir > 1) {
        const int mid = in + (out - in) / 2;
        (holds(mid) ? in : out) = mid;
    }
    return in;
}

// The rule without sorting, for large sets whose distance sums are exact as floats. d(x) =
// Σ_j |x − v_j| is convex in x, least at the median, and whether a value is accepted depends
// only on its d, which grows away from the median: the accepted values are exactly those
// between two integer bounds. The median (from counts) and both bounds (from d) are searched
// outward from the mean with a few vectorised passes over the values each, instead of a sort
// with its mispredicted branches; every value's d is the exact integer the pairwise float sums
// give.
Sample combineByMedian(const Sample* values, int n, int least, int most, float threshold,
                       bool averaging, bool* rejected) {
    thread_local std::vector<int> w;
    w.assign(values, values + n);
    long long total = 0;
    for (int v : w) total += v;
    const auto distanceSum = simd::select<ValueScan<true>, int(const int*, int, int)>();
    const auto atMost = simd::select<ValueScan<false>, int(const int*, int, int)>();
    // The upper median s_{n/2} of the sorted values: the least x with more than n/2 values at
    // most x.
    const int half = n / 2 + 1;
    const int start = static_cast<int>(std::clamp<long long>(total / n, least, most));
    const int median =
        atMost(w.data(), n, start) >= half
            ? lastHolding(start, least, [&](int x) { return atMost(w.data(), n, x) >= half; })
            : lastHolding(start, most, [&](int x) { return atMost(w.data(), n, x) < half; }) + 1;
    const float m = limitedMinimum(static_cast<float>(distanceSum(w.data(), n, median)));
    const auto accept = [&](int x) {
        return static_cast<float>(distanceSum(w.data(), n, x)) / m < threshold;
    };
    // [low, high]: the accepted integers; empty (low > high) when not even the median is.
    int low = median + 1, high = median;
    if (accept(median)) {
        high = lastHolding(median, most, accept);
        low = lastHolding(median, least, accept);
    }
    long long sum = 0;
    long long accepted = 0;
    for (int i = 0; i < n; ++i) {
        const bool ok = values[i] >= low && values[i] <= high;
        if (ok) sum += values[i], ++accepted;
        if (rejected) rejected[i] = !ok;
    }
    return fromAccepted(sum, accepted, n, averaging);
}

} // namespace

float rejectionThreshold(int n) {
    static constexpr float kTable[7] = {99.0f, 99.0f, 99.0f, 1.9f, 2.3f, 2.8f, 3.2f};
    return n >= 0 && n < 7 ? kTable[n] : 2.5f;
}

Sample combineSamples(const Sample* values, int n, float threshold, bool averaging,
                      bool* rejected) {
    if (n <= 0) return 0;
    if (n <= kPairwiseLimit) return combinePairwise(values, n, threshold, averaging, rejected);
    const auto [least, most] = std::minmax_element(values, values + n);
    // Every value's d is at most (n − 1)·(most − least): exact as a float up to 2^24.
    if (static_cast<long long>(n - 1) * (*most - *least) <= kFloatExact)
        return combineByMedian(values, n, *least, *most, threshold, averaging, rejected);
    return combineSorted(values, n, threshold, averaging, rejected);
}

Sample roundedMean(long long sum, long long count) {
    return fromAccepted(sum, count, count, true);
}

} // namespace quillon
