// Statistical rejection and weighted combination of one pixel's values: see rejection.h.
#include "composite/rejection.h"

#include "core/simd_dispatch.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace quillon {
namespace {

// The kept values of one pixel, sorted ascending, with the index of the value each came from.
struct Kept {
    std::vector<float> v;
    std::vector<int> at;

    int size() const { return static_cast<int>(v.size()); }
    float median() const {
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : 0.5f * (v[n / 2 - 1] + v[n / 2]);
    }
    void meanSigma(double& mean, double& sigma) const {
        double s = 0, q = 0;
        for (float x : v) s += x;
        mean = s / static_cast<double>(v.size());
        for (float x : v) q += (x - mean) * (x - mean);
        sigma = v.size() > 1 ? std::sqrt(q / static_cast<double>(v.size() - 1)) : 0.0;
    }
    // Drops the values outside [lo, hi] (never below two kept); true when any went.
    bool clip(double lo, double hi, signed char* flags) {
        int first = 0, last = size();
        while (first < last && v[static_cast<std::size_t>(first)] < lo) ++first;
        while (last > first && v[static_cast<std::size_t>(last - 1)] > hi) --last;
        return keep(first, last, flags);
    }
    // Keeps the sorted values first .. last - 1, marking the others; at least two stay.
    bool keep(int first, int last, signed char* flags) {
        while (last - first < 2) {
            // Give back the value nearest to the kept ones.
            if (first > 0)
                --first;
            else if (last < size())
                ++last;
            else
                break;
        }
        if (first == 0 && last == size()) return false;
        for (int i = 0; i < first; ++i) flags[at[static_cast<std::size_t>(i)]] = -1;
        for (int i = last; i < size(); ++i) flags[at[static_cast<std::size_t>(i)]] = 1;
        v.erase(v.begin() + last, v.end());
        at.erase(at.begin() + last, at.end());
        v.erase(v.begin(), v.begin() + first);
        at.erase(at.begin(), at.begin() + first);
        return true;
    }
};

// A float's bits as an unsigned number in the order of the values (negative ones reversed).
std::uint64_t orderedBits(float f) {
    const auto u = std::bit_cast<std::uint32_t>(f);
    return (u & 0x80000000u) ? ~u : (u | 0x80000000u);
}

// Up to this many values a pixel's values are ordered by counting, for each value, the values
// before it (branch-free vector compares, quadratic, yet cheaper than a sort with its
// mispredicted branches up to a few hundred values); beyond, by sorting.
constexpr int kRankLimit = 256;
// Up to this many values the winsorized rounds count the values beyond each end; beyond, they
// bisect.
constexpr int kCountLimit = 64;

// rank[i] = the number of keys below keys[i], plus those equal to it at a lower index: each
// value's place in the order of (key, index). `keys` is readable up to n rounded up to 16.
struct RankKernel {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(const std::int32_t* keys, int n, std::int32_t* rank) {
        constexpr int VW = simd::kFloats<L>;
        using I = typename simd::Vec<VW>::I;
        I lane;
        for (int l = 0; l < VW; ++l) lane[l] = l;
        for (int i = 0; i < n; i += VW) {
            I vi;
            simd::load(vi, keys + i);
            I r{};
            // Keys at lower indices count when not above, keys at higher ones when below.
            for (int j = 0; j < i; ++j) r -= I{} + keys[j] <= vi;
            for (int j = i; j < std::min(n, i + VW); ++j) {
                const I kj = I{} + keys[j];
                const I later = lane > I{} + (j - i);
                r -= later ? kj <= vi : kj < vi;
            }
            for (int j = i + VW; j < n; ++j) r -= I{} + keys[j] < vi;
            simd::store(rank + i, r);
        }
    }
};

// The position of the first of the n sorted values that is not below t (lower_bound), or, with
// `orEqual`, that is above t (upper_bound): a bisection without branches. n >= 1, and t is
// compared as std::lower_bound / std::upper_bound compare it (float widened to double).
template <bool orEqual>
std::size_t bisect(const float* v, std::size_t n, double t) {
    const float* base = v;
    while (n > 1) {
        const std::size_t half = n / 2;
        const bool before = orEqual ? !(t < base[half]) : base[half] < t;
        base = before ? base + half : base;
        n -= half;
    }
    const bool last = orEqual ? !(t < *base) : *base < t;
    return static_cast<std::size_t>(base - v) + (last ? 1 : 0);
}

// The standard normal quantile (Acklam's rational approximation, relative error below 1.2e-9).
double normalQuantile(double p) {
    static const double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,
                               -2.759285104469687e+02, 1.383577518672690e+02,
                               -3.066479806614716e+01, 2.506628277459239e+00};
    static const double b[] = {-5.447609879822406e+01, 1.615858368580409e+02,
                               -1.556989798598866e+02, 6.680131188771972e+01,
                               -1.328068155288572e+01};
    static const double c[] = {-7.784894002430293e-03, -3.223964580411365e-01,
                               -2.400758277161838e+00, -2.549732539343734e+00,
                               4.374664141464968e+00,  2.938163982698783e+00};
    static const double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                               3.754408661907416e+00};
    const double low = 0.02425;
    if (p < low) {
        const double q = std::sqrt(-2 * std::log(p));
        return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
               ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
    }
    if (p > 1 - low) return -normalQuantile(1 - p);
    const double q = p - 0.5, r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

// Student's t quantile for ν degrees of freedom (Cornish-Fisher expansion around the normal
// quantile; close enough for the critical values of the outlier test).
double studentQuantile(double p, double nu) {
    const double z = normalQuantile(p), z2 = z * z;
    return z + (z2 + 1) * z / (4 * nu) + ((5 * z2 + 16) * z2 + 3) * z / (96 * nu * nu) +
           (((3 * z2 + 19) * z2 + 17) * z2 - 15) * z / (384 * nu * nu * nu);
}

// For the n sorted values of `wide` (NaN at [n] when n is odd): how many are below lo, and how
// many are not above hi (the positions lower_bound(lo) and upper_bound(hi)).
void countEnds(const double* wide, int n, double lo, double hi, std::size_t& below,
               std::size_t& upTo) {
    typedef double D2 __attribute__((vector_size(16)));
    typedef long long L2 __attribute__((vector_size(16)));
    const D2 l = {lo, lo}, h = {hi, hi};
    L2 under{}, within{};
    for (int i = 0; i < n; i += 2) {
        D2 v;
        std::memcpy(&v, wide + i, sizeof v);
        under -= v < l;
        within -= v <= h;
    }
    below = static_cast<std::size_t>(under[0] + under[1]);
    upTo = static_cast<std::size_t>(within[0] + within[1]);
}

void sigmaClip(Kept& k, const RejectionParams& p, signed char* flags) {
    while (k.size() > 3) {
        double mean, sigma;
        k.meanSigma(mean, sigma);
        if (sigma <= 0) return;
        const double m = k.median();
        if (!k.clip(m - p.sigmaLow * sigma, m + p.sigmaHigh * sigma, flags)) return;
    }
}

// One step of winsorized clipping of a pixel's kept values (more than three): their median m,
// and their spread with the extremes pulled in to m ± 1.5σ, refined round by round until it
// settles. The values are sorted: those below m − 1.5σ and above m + 1.5σ form the two ends, so
// a round needs only how many lie beyond each end and the running sums of (v − m) and (v − m)²
// over the middle (sums[2i], sums[2i + 1] over the first i values).
struct Winsor {
    double m = 0, sigma = 0;
    int n = 0;
    bool counted = false;
    // Few values are counted against both ends in vector lanes (as doubles, NaN after the last,
    // which no comparison counts); many are bisected.
    alignas(16) double wide[kCountLimit + 2];
    std::vector<double> sums;

    void start(const Kept& k) {
        double mean;
        k.meanSigma(mean, sigma);
        m = k.median();
        n = k.size();
        sums.assign(2 * static_cast<std::size_t>(n) + 2, 0.0);
        for (int i = 0; i < n; ++i) {
            const double d = k.v[static_cast<std::size_t>(i)] - m;
            sums[2 * static_cast<std::size_t>(i) + 2] = sums[2 * static_cast<std::size_t>(i)] + d;
            sums[2 * static_cast<std::size_t>(i) + 3] =
                sums[2 * static_cast<std::size_t>(i) + 1] + d * d;
        }
        counted = n <= kCountLimit;
        if (counted) {
            for (int i = 0; i < n; ++i) wide[i] = k.v[static_cast<std::size_t>(i)];
            wide[n] = std::numeric_limits<double>::quiet_NaN();
        }
    }
    // One round (sigma > 0); true when the spread settled.
    bool round(const Kept& k) {
        const double lo = m - 1.5 * sigma, hi = m + 1.5 * sigma;
        std::size_t below, upTo;
        if (counted) {
            countEnds(wide, n, lo, hi, below, upTo);
        } else {
            below = bisect<false>(k.v.data(), k.v.size(), lo);
            upTo = bisect<true>(k.v.data(), k.v.size(), hi);
        }
        const double a = static_cast<double>(below), c = static_cast<double>(n) - upTo;
        const double dl = lo - m, dh = hi - m;
        const double mid1 = sums[2 * upTo] - sums[2 * below];
        const double mid2 = sums[2 * upTo + 1] - sums[2 * below + 1];
        const double w = (a * dl + mid1 + c * dh) / n; // clamped mean, less m
        const double q = a * (dl - w) * (dl - w) + (mid2 - 2 * w * mid1) +
                         static_cast<double>(upTo - below) * w * w + c * (dh - w) * (dh - w);
        const double next = 1.134 * std::sqrt(std::max(0.0, q) / (n - 1));
        const bool settled = std::fabs(next - sigma) < 0.0005 * sigma;
        sigma = next;
        return settled;
    }
    // Drops the values beyond the thresholds of the settled spread; true when any went.
    bool clip(Kept& k, const RejectionParams& p, signed char* flags) const {
        return sigma > 0 && k.clip(m - p.sigmaLow * sigma, m + p.sigmaHigh * sigma, flags);
    }
};

// Winsorized sigma clipping is one step: its spread is robust, so the outliers go at once, and
// a further step on the values left (whose spread it then underestimates a little) would only
// clip good ones, which costs depth.
void winsorizedClip(Kept& k, const RejectionParams& p, signed char* flags) {
    thread_local Winsor step;
    if (k.size() <= 3) return;
    step.start(k);
    for (int round = 0; round < 10 && step.sigma > 0; ++round)
        if (step.round(k)) break;
    step.clip(k, p, flags);
}

void linearClip(Kept& k, const RejectionParams& p, signed char* flags) {
    while (k.size() > 3) {
        // Least-squares line through (rank, value) of the sorted values.
        const int n = k.size();
        const double xm = (n - 1) / 2.0;
        double ym = 0, sxy = 0, sxx = 0;
        for (float y : k.v) ym += y;
        ym /= n;
        for (int i = 0; i < n; ++i) {
            sxy += (i - xm) * (k.v[static_cast<std::size_t>(i)] - ym);
            sxx += (i - xm) * (i - xm);
        }
        const double slope = sxx > 0 ? sxy / sxx : 0.0;
        double sigma = 0;
        for (int i = 0; i < n; ++i)
            sigma += std::fabs(k.v[static_cast<std::size_t>(i)] - (ym + slope * (i - xm)));
        sigma /= n;
        if (sigma <= 0) return;
        int first = 0, last = n;
        while (first < last && k.v[static_cast<std::size_t>(first)] <
                                   ym + slope * (first - xm) - p.sigmaLow * sigma)
            ++first;
        while (last > first && k.v[static_cast<std::size_t>(last - 1)] >
                                   ym + slope * (last - 1 - xm) + p.sigmaHigh * sigma)
            --last;
        if (!k.keep(first, last, flags)) return;
    }
}

// Generalised ESD test: up to 30 % outliers at significance 0.05, taken from either end.
void gesdClip(Kept& k, signed char* flags) {
    const int n = k.size();
    const int most = std::min(n - 2, static_cast<int>(0.3 * n));
    if (most < 1) return;
    int first = 0, last = n, outliers = 0;
    std::vector<std::pair<int, int>> removed; // (first, last) after each removal
    double s = 0, q = 0;
    for (float x : k.v) s += x, q += static_cast<double>(x) * x;
    for (int i = 1; i <= most; ++i) {
        const int m = last - first;
        const double mean = s / m;
        const double sigma = std::sqrt(std::max(0.0, (q - s * mean) / (m - 1)));
        if (sigma <= 0) break;
        const float lo = k.v[static_cast<std::size_t>(first)];
        const float hi = k.v[static_cast<std::size_t>(last - 1)];
        const bool low = mean - lo > hi - mean;
        const double r = (low ? mean - lo : hi - mean) / sigma;
        const float gone = low ? lo : hi;
        low ? ++first : --last;
        s -= gone;
        q -= static_cast<double>(gone) * gone;
        removed.emplace_back(first, last);
        const double pr = 1.0 - 0.05 / (2.0 * (n - i + 1));
        const double t = studentQuantile(pr, n - i - 1);
        const double lambda = (n - i) * t / std::sqrt((n - i - 1 + t * t) * (n - i + 1));
        if (r > lambda) outliers = i;
    }
    if (outliers > 0)
        k.keep(removed[static_cast<std::size_t>(outliers - 1)].first,
               removed[static_cast<std::size_t>(outliers - 1)].second, flags);
}

// Puts a pixel's n values into k in order, and clears their flags.
void order(const float* values, int n, Kept& k, signed char* flags) {
    k.v.resize(static_cast<std::size_t>(n));
    k.at.resize(static_cast<std::size_t>(n));
    // Ordered by the value's bits in ascending order, then by index (equal values keep their
    // exposure order): few values by their ranks, many as sorted 64-bit keys.
    if (n <= kRankLimit) {
        alignas(64) std::int32_t keys[kRankLimit + 16] = {};
        alignas(64) std::int32_t rank[kRankLimit + 16];
        for (int i = 0; i < n; ++i)
            keys[i] = static_cast<std::int32_t>(orderedBits(values[i]) ^ 0x80000000u);
        simd::select<RankKernel, void(const std::int32_t*, int, std::int32_t*)>()(keys, n, rank);
        for (int i = 0; i < n; ++i) {
            const auto to = static_cast<std::size_t>(rank[i]);
            k.at[to] = i;
            k.v[to] = values[i];
            flags[i] = 0;
        }
    } else {
        thread_local std::vector<std::uint64_t> keys;
        keys.resize(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            keys[static_cast<std::size_t>(i)] =
                orderedBits(values[i]) << 32 | static_cast<unsigned>(i);
        std::sort(keys.begin(), keys.end());
        for (int i = 0; i < n; ++i) {
            const int at = static_cast<int>(keys[static_cast<std::size_t>(i)] & 0xffffffffu);
            k.at[static_cast<std::size_t>(i)] = at;
            k.v[static_cast<std::size_t>(i)] = values[at];
            flags[i] = 0;
        }
    }
}

// The result of a pixel from the values kept in k: their median, or the weighted mean of the
// values not flagged, summed in the order of the exposures.
PixelCombination combination(const Kept& k, const float* values, const float* weights, int n,
                             bool median, const signed char* flags) {
    PixelCombination out;
    for (int i = 0; i < n; ++i) {
        out.rejectedLow += flags[i] < 0;
        out.rejectedHigh += flags[i] > 0;
    }
    if (median) {
        out.value = k.median();
    } else {
        double sw = 0, s = 0;
        for (int i = 0; i < n; ++i) {
            if (flags[i] != 0) continue;
            sw += weights[i];
            s += static_cast<double>(weights[i]) * values[i];
        }
        out.value = sw > 0 ? static_cast<float>(s / sw) : 0.0f;
    }
    return out;
}

// --- many pixels side by side -----------------------------------------------------------------

// Comparators (i, j), i < j, of Batcher's odd-even merge sort for n values: the network for the
// next power of two, less the comparators that reach past n (padding there would be +∞, which
// no comparator moves).
const std::vector<std::uint16_t>& sortingNetwork(int n) {
    thread_local int built = -1;
    thread_local std::vector<std::uint16_t> pairs;
    if (built == n) return pairs;
    pairs.clear();
    int size = 1;
    while (size < n) size *= 2;
    for (int p = 1; p < size; p *= 2)
        for (int k = p; k >= 1; k /= 2)
            for (int j = k % p; j + k < size; j += 2 * k)
                for (int i = 0; i < std::min(k, size - j - k); ++i)
                    if ((i + j) / (2 * p) == (i + j + k) / (2 * p) && i + j + k < n) {
                        pairs.push_back(static_cast<std::uint16_t>(i + j));
                        pairs.push_back(static_cast<std::uint16_t>(i + j + k));
                    }
    built = n;
    return pairs;
}

// Up to this many values per pixel the lanes sort by network; beyond, pixel by pixel.
constexpr int kLaneLimit = 512;

// D double lanes, and the D floats they are loaded from.
template <int D>
struct DoubleLanes {
    typedef double V __attribute__((vector_size(8 * D)));
    typedef float F __attribute__((vector_size(4 * D)));
};

struct LaneJob {
    const float* values = nullptr; // value j of pixel l at values[j * kLanePixels + l]
    const float* weights = nullptr;
    int n = 0;
    const RejectionParams* params = nullptr;
    const std::uint16_t* pairs = nullptr; // the sorting network
    int comparators = 0;
    float* floats = nullptr;  // scratch: n × lanes
    double* sorted = nullptr; // scratch: n × lanes, and (n + 1) × lanes twice
    double* prefix1 = nullptr;
    double* prefix2 = nullptr;
    signed char* sides = nullptr;
    PixelCombination* out = nullptr;
};

// GCC's AVX2 builtins for gathers, square roots and mask bits; other compilers (clang builds
// the fuzzing targets) take the lanes one by one.
#if defined(__GNUC__) && !defined(__clang__)
#define QUILLON_AVX2_BUILTINS 1
#else
#define QUILLON_AVX2_BUILTINS 0
#endif

// The AVX2 builtins below return 256-bit vectors inside code that is only ever inlined into the
// AVX2 build, so GCC's note on passing such vectors between builds does not concern them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

// The clipping and combination of combineRejected, one pixel per double lane: the values are
// sorted by the network, the kept ones are the sorted positions first .. last - 1, and every
// sum runs over them in the same order and with the same operations as the pixel-by-pixel code,
// so that each lane gives its bits. Returns the pixels (bits) whose clipping had to give values
// back or that hold values that are not finite: those are left to the pixel-by-pixel code.
// Sorts the values of kLanePixels pixels (value j of pixel l at f[j · kLanePixels + l]) by the
// comparators of a sorting network, as floats: a float compare orders them as their doubles.
struct SortKernel {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(float* f, const std::uint16_t* pairs, int comparators) {
        constexpr int FW = simd::kFloats<L>;
        using FV = typename simd::Vec<FW>::F;
        for (int k = 0; k < comparators; ++k) {
            float* a = f + pairs[2 * k] * kLanePixels;
            float* b = f + pairs[2 * k + 1] * kLanePixels;
#pragma GCC unroll 16
            for (int w = 0; w < kLanePixels; w += FW) {
                FV x, y;
                simd::load(x, a + w);
                simd::load(y, b + w);
                const auto less = x < y;
                simd::store(a + w, less ? x : y);
                simd::store(b + w, less ? y : x);
            }
        }
    }
};

struct LaneKernel {
    // out[l] = a[index[l] · D + l] in every lane.
    template <simd::Level L, class V>
    [[gnu::always_inline]] static void gather(V& out, const double* a, const V& index) {
        constexpr int D = sizeof(V) / sizeof(double);
#if QUILLON_AVX2_BUILTINS
        if constexpr (L == simd::Avx2 && D % 4 == 0) {
            typedef int I4 __attribute__((vector_size(16)));
            typedef double D4 __attribute__((vector_size(32)));
            typedef long long L4 __attribute__((vector_size(32)));
            for (int k = 0; k < D; k += 4) {
                D4 part;
                std::memcpy(&part, reinterpret_cast<const double*>(&index) + k, sizeof part);
                const I4 at = __builtin_convertvector(part, I4) * D + (I4{0, 1, 2, 3} + k);
                part = __builtin_ia32_gathersiv4df(D4{}, a, at, reinterpret_cast<D4>(L4{} - 1), 8);
                std::memcpy(reinterpret_cast<double*>(&out) + k, &part, sizeof part);
            }
            return;
        }
#endif
        for (int l = 0; l < D; ++l)
            out[l] = a[static_cast<std::size_t>(index[l]) * D + static_cast<std::size_t>(l)];
    }

    // Bit l set where lane l of the mask is set.
    template <simd::Level L, class M>
    [[gnu::always_inline]] static unsigned bits(const M& m) {
        constexpr int D = sizeof(M) / sizeof(long long);
#if QUILLON_AVX2_BUILTINS
        if constexpr (L == simd::Avx2 && D == 4) {
            typedef double D4 __attribute__((vector_size(32)));
            return static_cast<unsigned>(__builtin_ia32_movmskpd256(reinterpret_cast<D4>(m)));
        }
#endif
        long long lanes[D];
        std::memcpy(lanes, &m, sizeof lanes);
        unsigned b = 0;
        for (int l = 0; l < D; ++l) b |= (lanes[l] != 0 ? 1u : 0u) << l;
        return b;
    }

    // x[l] = √x[l] in every lane (x ≥ 0).
    template <simd::Level L, class V>
    [[gnu::always_inline]] static void root(V& x) {
#if QUILLON_AVX2_BUILTINS
        if constexpr (L == simd::Avx2 && sizeof(V) % 32 == 0) {
            typedef double D4 __attribute__((vector_size(32)));
            for (std::size_t k = 0; k < sizeof(V) / sizeof(double); k += 4) {
                D4 part;
                std::memcpy(&part, reinterpret_cast<const double*>(&x) + k, sizeof part);
                part = __builtin_ia32_sqrtpd256(part);
                std::memcpy(reinterpret_cast<double*>(&x) + k, &part, sizeof part);
            }
            return;
        }
#endif
        for (std::size_t l = 0; l < sizeof(V) / sizeof(double); ++l) x[l] = std::sqrt(x[l]);
    }

    template <simd::Level L>
    [[gnu::always_inline]] static unsigned run(const LaneJob& job) {
        constexpr int D = simd::kFloats<L> / 2;
        // The pixels go in C vectors side by side: every step of one vector waits for the one
        // before (divisions, square roots, running sums), so the vectors' chains interleave.
        constexpr int C = kLanePixels / D;
        using V = typename DoubleLanes<D>::V;
        using F = typename DoubleLanes<D>::F;
        using M = decltype(V{} < V{});
        const int n = job.n;
        const RejectionParams& p = *job.params;
        const bool winsorized = p.method == Rejection::Winsorized;
        const bool clipping = n > 3 && (winsorized || p.method == Rejection::Sigma);
        const std::size_t span = static_cast<std::size_t>(n) * D;
        const std::size_t sumSpan = (static_cast<std::size_t>(n) + 1) * D;
        // Vector c's sorted values, value i at s(c) + i · D; its running sums likewise.
        const auto s = [&](int c) { return job.sorted + static_cast<std::size_t>(c) * span; };
        const auto any = [](const M(&m)[C]) __attribute__((always_inline)) {
            unsigned b = 0;
#pragma GCC unroll 16
            for (int c = 0; c < C; ++c) b |= bits<L>(m[c]);
            return b != 0;
        };
        const auto at = [&](const double* a, const V& index, int l) {
            return a[static_cast<std::size_t>(index[l]) * D + static_cast<std::size_t>(l)];
        };
        // The median of the kept values as the pixel-by-pixel code takes it (in floats).
        const auto median = [&](V& m, int c, const V& first, const V& last) {
#pragma GCC unroll 16
            for (int l = 0; l < D; ++l) {
                const int f = static_cast<int>(first[l]), k = static_cast<int>(last[l]) - f;
                const double* v = s(c) + l;
                m[l] =
                    k % 2 ? v[(f + k / 2) * D]
                          : static_cast<double>(0.5f * (static_cast<float>(v[(f + k / 2 - 1) * D]) +
                                                        static_cast<float>(v[(f + k / 2) * D])));
            }
        };
        // For every vector: how many of its sorted values lie below lo (below) and are not
        // above hi (upTo), kept to first .. last. That is what counting the kept values gives,
        // as values before first are not above the first kept one and values after last not
        // below the last one. Few values are counted, many bisected.
        int top = 1;
        while (top * 2 <= n) top *= 2;
        const auto positions = [&](V(&below)[C], V(&upTo)[C], const V(&lo)[C], const V(&hi)[C],
                                   const V(&first)[C], const V(&last)[C], const bool(&live)[C])
            __attribute__((always_inline)) {
            if (n <= kCountLimit) {
                // Counted as integers (a compare gives -1), then made doubles exactly.
                M under[C] = {}, within[C] = {};
                for (int i = 0; i < n; ++i)
#pragma GCC unroll 16
                    for (int c = 0; c < C; ++c) {
                        if (!live[c]) continue;
                        V x;
                        simd::load(x, s(c) + i * D);
                        under[c] -= x < lo[c];
                        within[c] -= x <= hi[c];
                    }
                const M exponent = M{} + 0x4330000000000000LL; // 2^52: the count in the mantissa
#pragma GCC unroll 16
                for (int c = 0; c < C; ++c) {
                    below[c] = reinterpret_cast<V>(under[c] + exponent) - 4503599627370496.0;
                    upTo[c] = reinterpret_cast<V>(within[c] + exponent) - 4503599627370496.0;
                }
            } else {
#pragma GCC unroll 16
                for (int c = 0; c < C; ++c) below[c] = upTo[c] = V{};
                for (int step = top; step >= 1; step /= 2)
#pragma GCC unroll 16
                    for (int c = 0; c < C; ++c) {
                        if (!live[c]) continue;
                        const V nextLow = below[c] + static_cast<double>(step);
                        const V nextHigh = upTo[c] + static_cast<double>(step);
                        const V probeLow = (nextLow < V{} + n ? nextLow : V{} + n) - 1.0;
                        const V probeHigh = (nextHigh < V{} + n ? nextHigh : V{} + n) - 1.0;
                        V low, high;
                        gather<L>(low, s(c), probeLow);
                        gather<L>(high, s(c), probeHigh);
                        below[c] = ((nextLow <= V{} + n) & (low < lo[c])) ? nextLow : below[c];
                        upTo[c] = ((nextHigh <= V{} + n) & (high <= hi[c])) ? nextHigh : upTo[c];
                    }
            }
#pragma GCC unroll 16
            for (int c = 0; c < C; ++c) {
                below[c] = below[c] < first[c] ? first[c] : below[c];
                below[c] = below[c] > last[c] ? last[c] : below[c];
                upTo[c] = upTo[c] < first[c] ? first[c] : upTo[c];
                upTo[c] = upTo[c] > last[c] ? last[c] : upTo[c];
            }
        };

        // The values come sorted as floats (SortKernel), widened to doubles here.
        const float* fl = job.floats;
        M bad[C], active[C];
        V first[C], last[C];
#pragma GCC unroll 16
        for (int c = 0; c < C; ++c) {
            bad[c] = M{};
            for (int j = 0; j < n; ++j) {
                F sorted;
                simd::load(sorted, fl + j * kLanePixels + c * D);
                const V v = __builtin_convertvector(sorted, V);
                bad[c] |= (v - v) != V{};
                simd::store(s(c) + j * D, v);
            }
            first[c] = V{};
            last[c] = V{} + n;
            active[c] = clipping ? ~bad[c] : M{};
        }
        unsigned fallback = 0;
        const auto anyLane = [](const M& m) __attribute__((always_inline)) {
            return bits<L>(m) != 0;
        };
        while (any(active)) {
            // Vectors whose pixels are all done sit the step out.
            bool live[C];
            for (int c = 0; c < C; ++c) live[c] = anyLane(active[c]);
            // Whether every pixel still keeps all its values (the first step): no masks then.
            bool whole = true;
            for (int c = 0; c < C; ++c)
                for (int l = 0; l < D; ++l) whole = whole && first[c][l] == 0 && last[c][l] == n;
            V count[C], sum[C], q[C], sigma[C] = {}, m[C] = {};
#pragma GCC unroll 16
            for (int c = 0; c < C; ++c) {
                count[c] = last[c] - first[c];
                sum[c] = q[c] = V{};
            }
            // The median first; then one pass for the sum and, winsorized, the running sums of
            // (v − m) and (v − m)² over the kept values; then the spread around the mean.
#pragma GCC unroll 16
            for (int c = 0; c < C; ++c)
                if (live[c]) median(m[c], c, first[c], last[c]);
            V run1[C] = {}, run2[C] = {};
            if (winsorized)
#pragma GCC unroll 16
                for (int c = 0; c < C; ++c) {
                    simd::store(job.prefix1 + static_cast<std::size_t>(c) * sumSpan, run1[c]);
                    simd::store(job.prefix2 + static_cast<std::size_t>(c) * sumSpan, run2[c]);
                }
            for (int i = 0; i < n; ++i)
#pragma GCC unroll 16
                for (int c = 0; c < C; ++c) {
                    if (!live[c]) continue;
                    V x;
                    simd::load(x, s(c) + i * D);
                    const V d = x - m[c];
                    if (whole) {
                        sum[c] += x;
                        run1[c] += d;
                        run2[c] += d * d;
                    } else {
                        const M in = (V{} + i >= first[c]) & (V{} + i < last[c]);
                        sum[c] = in ? sum[c] + x : sum[c];
                        run1[c] = in ? run1[c] + d : run1[c];
                        run2[c] = in ? run2[c] + d * d : run2[c];
                    }
                    if (!winsorized) continue;
                    const std::size_t to = static_cast<std::size_t>(c) * sumSpan + (i + 1) * D;
                    simd::store(job.prefix1 + to, run1[c]);
                    simd::store(job.prefix2 + to, run2[c]);
                }
#pragma GCC unroll 16
            for (int c = 0; c < C; ++c) sum[c] = sum[c] / count[c]; // the mean
            for (int i = 0; i < n; ++i)
#pragma GCC unroll 16
                for (int c = 0; c < C; ++c) {
                    if (!live[c]) continue;
                    V x;
                    simd::load(x, s(c) + i * D);
                    const V d = x - sum[c];
                    if (whole) {
                        q[c] += d * d;
                        continue;
                    }
                    const M in = (V{} + i >= first[c]) & (V{} + i < last[c]);
                    q[c] = in ? q[c] + d * d : q[c];
                }
#pragma GCC unroll 16
            for (int c = 0; c < C; ++c) {
                if (!live[c]) continue;
                sigma[c] = q[c] / (count[c] - 1.0);
                root<L>(sigma[c]);
            }
            if (winsorized) {
                M rounds[C];
#pragma GCC unroll 16
                for (int c = 0; c < C; ++c) rounds[c] = active[c] & (sigma[c] > V{});
                // The ends' positions of the last round and the values on either side of
                // them: while the new thresholds stay between those, the positions and the
                // middle's sums stay too.
                V below[C] = {}, upTo[C] = {}, mid1[C] = {}, mid2[C] = {};
                V belowLeft[C] = {}, belowRight[C] = {}, upToLeft[C] = {}, upToRight[C] = {};
                const V infinite = V{} + std::numeric_limits<double>::infinity();
                bool placed = false;
                for (int round = 0; round < 10 && any(rounds); ++round) {
                    V lo[C], hi[C];
                    M stays[C];
                    for (int c = 0; c < C; ++c) live[c] = anyLane(rounds[c]);
#pragma GCC unroll 16
                    for (int c = 0; c < C; ++c) {
                        lo[c] = m[c] - 1.5 * sigma[c];
                        hi[c] = m[c] + 1.5 * sigma[c];
                        stays[c] = (belowLeft[c] < lo[c]) & (lo[c] <= belowRight[c]) &
                                   (upToLeft[c] <= hi[c]) & (hi[c] < upToRight[c]);
                    }
                    bool same = placed;
                    for (int c = 0; c < C; ++c)
                        same = same && (!live[c] || bits<L>(stays[c]) == (1u << D) - 1);
                    if (!same) {
                        // The values either side of each end's position (-∞ and +∞ beyond the
                        // kept ones).
                        const auto brackets = [&](int c) __attribute__((always_inline)) {
                            V left, right;
                            gather<L>(left, s(c),
                                      (below[c] > first[c] ? below[c] : first[c] + 1.0) - 1.0);
                            gather<L>(right, s(c), below[c] < last[c] ? below[c] : last[c] - 1.0);
                            belowLeft[c] = below[c] > first[c] ? left : -infinite;
                            belowRight[c] = below[c] < last[c] ? right : infinite;
                            gather<L>(left, s(c),
                                      (upTo[c] > first[c] ? upTo[c] : first[c] + 1.0) - 1.0);
                            gather<L>(right, s(c), upTo[c] < last[c] ? upTo[c] : last[c] - 1.0);
                            upToLeft[c] = upTo[c] > first[c] ? left : -infinite;
                            upToRight[c] = upTo[c] < last[c] ? right : infinite;
                        };
                        if (!placed) {
                            positions(below, upTo, lo, hi, first, last, live);
                            for (int c = 0; c < C; ++c)
                                if (live[c]) brackets(c);
                        } else {
                            // The thresholds moved a little: the ends step value by value
                            // towards them.
                            for (bool moving = true; moving;) {
                                moving = false;
                                for (int c = 0; c < C; ++c) {
                                    if (!live[c]) continue;
                                    const M belowUp = belowRight[c] < lo[c];
                                    const M belowDown = belowLeft[c] >= lo[c];
                                    const M upToUp = upToRight[c] <= hi[c];
                                    const M upToDown = upToLeft[c] > hi[c];
                                    if (bits<L>(belowUp | belowDown | upToUp | upToDown) == 0)
                                        continue;
                                    moving = true;
                                    below[c] = belowUp     ? below[c] + 1.0
                                               : belowDown ? below[c] - 1.0
                                                           : below[c];
                                    upTo[c] = upToUp     ? upTo[c] + 1.0
                                              : upToDown ? upTo[c] - 1.0
                                                         : upTo[c];
                                    brackets(c);
                                }
                            }
                        }
#pragma GCC unroll 16
                        for (int c = 0; c < C; ++c) {
                            if (!live[c]) continue;
                            const double* p1 = job.prefix1 + static_cast<std::size_t>(c) * sumSpan;
                            const double* p2 = job.prefix2 + static_cast<std::size_t>(c) * sumSpan;
                            V p1Up, p1Below, p2Up, p2Below;
                            gather<L>(p1Up, p1, upTo[c]);
                            gather<L>(p1Below, p1, below[c]);
                            gather<L>(p2Up, p2, upTo[c]);
                            gather<L>(p2Below, p2, below[c]);
                            mid1[c] = p1Up - p1Below;
                            mid2[c] = p2Up - p2Below;
                        }
                        placed = true;
                    }
#pragma GCC unroll 16
                    for (int c = 0; c < C; ++c) {
                        if (!live[c]) continue;
                        const V a = below[c] - first[c], cEnd = count[c] - (upTo[c] - first[c]);
                        const V dl = lo[c] - m[c], dh = hi[c] - m[c];
                        const V w = (a * dl + mid1[c] + cEnd * dh) / count[c];
                        V q2 = a * (dl - w) * (dl - w) + (mid2[c] - 2.0 * w * mid1[c]) +
                               (upTo[c] - below[c]) * w * w + cEnd * (dh - w) * (dh - w);
                        q2 = V{} < q2 ? q2 : V{};
                        V next = q2 / (count[c] - 1.0);
                        root<L>(next);
                        next = 1.134 * next;
                        const V change = next - sigma[c];
                        const V size = change < V{} ? -change : change;
                        const M settled = size < 0.0005 * sigma[c];
                        sigma[c] = rounds[c] ? next : sigma[c];
                        rounds[c] = rounds[c] & ~settled & (next > V{});
                    }
                }
            }
            // Clip at the thresholds; a pixel whose spread is 0 or that keeps its values is done.
            V lo[C], hi[C], from[C], to[C];
#pragma GCC unroll 16
            for (int c = 0; c < C; ++c) {
                lo[c] = m[c] - static_cast<double>(p.sigmaLow) * sigma[c];
                hi[c] = m[c] + static_cast<double>(p.sigmaHigh) * sigma[c];
            }
            for (int c = 0; c < C; ++c) live[c] = anyLane(active[c]);
            positions(from, to, lo, hi, first, last, live);
#pragma GCC unroll 16
            for (int c = 0; c < C; ++c) {
                const M clips = active[c] & (sigma[c] > V{});
                const M giveBack = clips & (to[c] - from[c] < 2.0);
                fallback |= bits<L>(giveBack) << (c * D);
                const M moved = clips & ~giveBack & ((from[c] != first[c]) | (to[c] != last[c]));
                first[c] = moved ? from[c] : first[c];
                last[c] = moved ? to[c] : last[c];
                // Winsorized clipping is one step (see winsorizedClip).
                active[c] = winsorized ? M{} : moved & (to[c] - from[c] > 3.0);
            }
        }

// Flags from the kept range's end values, the weighted mean in exposure order.
#pragma GCC unroll 16
        for (int c = 0; c < C; ++c) {
            fallback |= bits<L>(bad[c]) << (c * D);
            V lowest, highest;
#pragma GCC unroll 16
            for (int l = 0; l < D; ++l) {
                lowest[l] = at(s(c), first[c], l);
                highest[l] = at(s(c), last[c] - 1.0, l);
            }
            V sw{}, sx{};
            for (int j = 0; j < n; ++j) {
                F f;
                simd::load(f, job.values + j * kLanePixels + c * D);
                const V v = __builtin_convertvector(f, V);
                const M low = v<lowest, high = v> highest;
                signed char* side = job.sides + j * kLanePixels + c * D;
                // -1 below the kept values, +1 above (a compare gives -1 where it holds).
                typedef signed char Sides __attribute__((vector_size(D)));
                const Sides sides = __builtin_convertvector(low - high, Sides);
                std::memcpy(side, &sides, D);
                const V w = V{} + static_cast<double>(job.weights[j]);
                const M kept = ~(low | high);
                sw = kept ? sw + w : sw;
                sx = kept ? sx + w * v : sx;
            }
            V medians{};
            if (p.median) median(medians, c, first[c], last[c]);
#pragma GCC unroll 16
            for (int l = 0; l < D; ++l) {
                PixelCombination& r = job.out[c * D + l];
                r.rejectedLow = static_cast<int>(first[c][l]);
                r.rejectedHigh = n - static_cast<int>(last[c][l]);
                r.value = p.median    ? static_cast<float>(medians[l])
                          : sw[l] > 0 ? static_cast<float>(sx[l] / sw[l])
                                      : 0.0f;
            }
        }
        return fallback;
    }
};
#pragma GCC diagnostic pop

} // namespace

PixelCombination combineRejected(const float* values, const float* weights, int n,
                                 const RejectionParams& params, signed char* flags) {
    if (n <= 0) return {};
    thread_local Kept k;
    order(values, n, k, flags);
    if (n >= 3) {
        switch (params.method) {
        case Rejection::None:
        case Rejection::Artefact: break;
        case Rejection::Sigma: sigmaClip(k, params, flags); break;
        case Rejection::Winsorized: winsorizedClip(k, params, flags); break;
        case Rejection::Linear: linearClip(k, params, flags); break;
        case Rejection::Gesd: gesdClip(k, flags); break;
        case Rejection::Percentile: {
            const double m = k.median();
            k.clip(m - params.percentileLow * std::fabs(m),
                   m + params.percentileHigh * std::fabs(m), flags);
            break;
        }
        case Rejection::MinMax: {
            const int lo = std::clamp(params.minmaxLow, 0, n),
                      hi = std::clamp(params.minmaxHigh, 0, n);
            const int first = std::min(lo, n - 2);
            k.keep(first, std::min(n, std::max(n - hi, first + 2)), flags);
            break;
        }
        }
    }
    return combination(k, values, weights, n, params.median, flags);
}

void combineRejectedRow(const float* values, const float* weights, const int* counts, int pixels,
                        std::size_t stride, const RejectionParams& params, signed char* flags,
                        PixelCombination* out) {
    if (params.method != Rejection::Winsorized) {
        for (int x = 0; x < pixels; ++x) {
            const std::size_t at = static_cast<std::size_t>(x) * stride;
            out[x] = combineRejected(values + at, weights + at, counts[x], params, flags + at);
        }
        return;
    }
    // Each winsorized step is a chain of rounds, each waiting for the one before (divisions, a
    // square root): the first steps of a few pixels run side by side, so that their chains
    // overlap; further steps, which few pixels need, follow one by one.
    constexpr int kGroup = 4;
    thread_local Kept kept[kGroup];
    thread_local Winsor step[kGroup];
    for (int first = 0; first < pixels; first += kGroup) {
        const int group = std::min(kGroup, pixels - first);
        bool active[kGroup] = {};
        for (int g = 0; g < group; ++g) {
            const int n = counts[first + g];
            if (n <= 0) continue;
            const std::size_t at = static_cast<std::size_t>(first + g) * stride;
            order(values + at, n, kept[g], flags + at);
            if (n > 3) {
                step[g].start(kept[g]);
                active[g] = step[g].sigma > 0;
            }
        }
        for (int round = 0; round < 10; ++round) {
            bool any = false;
            for (int g = 0; g < group; ++g) {
                if (!active[g]) continue;
                active[g] = !step[g].round(kept[g]) && step[g].sigma > 0;
                any = any || active[g];
            }
            if (!any) break;
        }
        for (int g = 0; g < group; ++g) {
            const int x = first + g, n = counts[x];
            if (n <= 0) {
                out[x] = {};
                continue;
            }
            const std::size_t at = static_cast<std::size_t>(x) * stride;
            if (n > 3) step[g].clip(kept[g], params, flags + at);
            out[x] = combination(kept[g], values + at, weights + at, n, params.median, flags + at);
        }
    }
}

void combineRejectedLanes(const float* values, const float* weights, int n,
                          const RejectionParams& params, signed char* sides,
                          PixelCombination* out) {
    if (n <= 0) {
        for (int l = 0; l < kLanePixels; ++l) out[l] = {};
        return;
    }
    const bool lanes =
        n <= kLaneLimit && !(params.sigmaLow + params.sigmaHigh < 0.0f) &&
        params.sigmaLow + params.sigmaHigh == params.sigmaLow + params.sigmaHigh &&
        (n < 3 || params.method == Rejection::None || params.method == Rejection::Artefact ||
         params.method == Rejection::Sigma || params.method == Rejection::Winsorized);
    unsigned alone = (1u << kLanePixels) - 1;
    if (lanes) {
        constexpr std::size_t kMostLanes = kLanePixels;
        thread_local std::vector<double> scratch;
        scratch.resize((3 * static_cast<std::size_t>(n) + 2) * kMostLanes);
        thread_local std::vector<float> floats;
        floats.resize(static_cast<std::size_t>(n) * kMostLanes);
        const std::vector<std::uint16_t>& network = sortingNetwork(n);
        LaneJob job;
        job.values = values;
        job.weights = weights;
        job.n = n;
        job.params = &params;
        job.pairs = network.data();
        job.comparators = static_cast<int>(network.size() / 2);
        job.floats = floats.data();
        job.sorted = scratch.data();
        job.prefix1 = job.sorted + static_cast<std::size_t>(n) * kMostLanes;
        job.prefix2 = job.prefix1 + (static_cast<std::size_t>(n) + 1) * kMostLanes;
        job.sides = sides;
        job.out = out;
        // The AVX-512 build runs the AVX2 one: with eight double lanes the compiler builds the
        // 64-bit lane masks one lane at a time, which costs more than the wider lanes gain.
        std::memcpy(job.floats, values, static_cast<std::size_t>(n) * kLanePixels * sizeof(float));
        simd::select<SortKernel, void(float*, const std::uint16_t*, int)>()(job.floats, job.pairs,
                                                                            job.comparators);
        alone = simd::select<LaneKernel, unsigned(const LaneJob&), simd::Avx2>()(job);
    }
    if (alone == 0) return;
    thread_local std::vector<float> v, w;
    thread_local std::vector<signed char> flags;
    v.resize(static_cast<std::size_t>(n));
    w.assign(weights, weights + n);
    flags.resize(v.size());
    for (int l = 0; l < kLanePixels; ++l) {
        if (!(alone >> l & 1u)) continue;
        for (int j = 0; j < n; ++j) v[static_cast<std::size_t>(j)] = values[j * kLanePixels + l];
        out[l] = combineRejected(v.data(), w.data(), n, params, flags.data());
        for (int j = 0; j < n; ++j) sides[j * kLanePixels + l] = flags[static_cast<std::size_t>(j)];
    }
}

RobustStats robustStats(std::span<const Sample> samples, int width, int height) {
    RobustStats r;
    const long long total = static_cast<long long>(width) * height;
    if (total <= 0 || samples.size() < static_cast<std::size_t>(total)) return r;
    const long long step = std::max(1LL, total / 250000);
    std::vector<float> v;
    v.reserve(static_cast<std::size_t>(total / step + 1));
    for (long long i = 0; i < total; i += step) v.push_back(samples[static_cast<std::size_t>(i)]);
    auto median = [](std::vector<float>& x) {
        const auto mid = x.begin() + static_cast<std::ptrdiff_t>(x.size() / 2);
        std::nth_element(x.begin(), mid, x.end());
        return *mid;
    };
    r.location = median(v);
    for (float& x : v) x = std::fabs(x - r.location);
    r.scale = 1.4826f * median(v);
    // Quantised flat frames can have a MAD of 0: fall back to a spread of one step.
    if (!(r.scale > 0)) r.scale = 1.0f;
    return r;
}

LinearMap normalizationMap(Normalization method, RobustStats e, RobustStats ref) {
    LinearMap m;
    switch (method) {
    case Normalization::None: break;
    case Normalization::Add: m.offset = ref.location - e.location; break;
    case Normalization::Mul:
        if (e.location != 0) m.gain = ref.location / e.location;
        break;
    case Normalization::AddScale:
        m.gain = ref.scale / e.scale;
        m.offset = ref.location - m.gain * e.location;
        break;
    case Normalization::MulScale: {
        // Scaled by the level ratio, then the spread around the reference level matched.
        const float ratio = e.location != 0 ? ref.location / e.location : 1.0f;
        const float spread = ref.scale / (e.scale * ratio);
        m.gain = ratio * spread;
        m.offset = ref.location * (1.0f - spread);
        break;
    }
    }
    return m;
}

} // namespace quillon
