// Statistical rejection and weighted combination of the values that several exposures give one
// pixel: sigma clipping, winsorized sigma clipping, linear fit clipping, the generalised
// extreme studentised deviate test, percentile and min/max clipping, then the weighted mean or
// the median of what is kept.
#pragma once

#include "core/sample.h"

#include <cstddef>
#include <span>
#include <string>

namespace quillon {

// In the order of the words of --rejection.
enum class Rejection { None, Artefact, Sigma, Winsorized, Linear, Gesd, Percentile, MinMax };
inline constexpr const char* kRejectionWords[] = {"none",   "artefact", "sigma",      "winsorized",
                                                  "linear", "gesd",     "percentile", "minmax"};

// In the order of the words of --normalize.
enum class Normalization { None, Add, Mul, AddScale, MulScale };
inline constexpr const char* kNormalizationWords[] = {"none", "add", "mul", "addscale", "mulscale"};

struct RejectionParams {
    Rejection method = Rejection::Sigma;
    float sigmaLow = 3.0f, sigmaHigh = 3.0f;           // sigma, winsorized, linear; gesd: α = 0.05
    float percentileLow = 0.2f, percentileHigh = 0.1f; // fractions of the median
    int minmaxLow = 1, minmaxHigh = 1;                 // values dropped at each end
    bool median = false;                               // the median of the kept values
    bool operator==(const RejectionParams&) const = default;
};

// What the combination of one pixel found.
struct PixelCombination {
    float value = 0; // weighted mean (or median) of the kept values; 0 without values
    int rejectedLow = 0, rejectedHigh = 0;
};

// Combines n values with their weights (all > 0). `flags`, n entries, receives per value
// -1 (rejected low), +1 (rejected high) or 0 (kept).
// Rejection::None and Artefact keep every value here (artefact removal has its own rule).
// Fewer than 3 values are never rejected; at least 2 are always kept.
PixelCombination combineRejected(const float* values, const float* weights, int n,
                                 const RejectionParams& params, signed char* flags);

// combineRejected for the pixels of a row at once, with the same results: pixel x has counts[x]
// values at values + x · stride, its weights at weights + x · stride, receives its flags at
// flags + x · stride and its result in out[x].
void combineRejectedRow(const float* values, const float* weights, const int* counts, int pixels,
                        std::size_t stride, const RejectionParams& params, signed char* flags,
                        PixelCombination* out);

// combineRejected for kLanePixels pixels that all have n values, with one weight per value
// index: value j of pixel l at values[j · kLanePixels + l], its flag at sides[j · kLanePixels +
// l], pixel l's result in out[l]; the same results as combineRejected pixel by pixel. Sigma
// and winsorized clipping and the plain combination run in vector lanes, one pixel per lane
// (the values put in order by a sorting network); the other methods, and the rare pixels
// whose clipping has to give values back to keep two, pixel by pixel.
inline constexpr int kLanePixels = 16;
void combineRejectedLanes(const float* values, const float* weights, int n,
                          const RejectionParams& params, signed char* sides, PixelCombination* out);

// Location and scale of an exposure: the median and 1.4826 × the median absolute deviation of
// its samples (a regular subset of at most about 250000 of them), for normalisation and
// noise weights.
struct RobustStats {
    float location = 0;
    float scale = 1;
};
RobustStats robustStats(std::span<const Sample> samples, int width, int height);

// The linear map v' = gain · v + offset that brings an exposure with `stats` onto the
// reference's level (and spread, for the scale methods).
struct LinearMap {
    float gain = 1, offset = 0;
};
LinearMap normalizationMap(Normalization method, RobustStats exposure, RobustStats reference);

} // namespace quillon
