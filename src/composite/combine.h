// Robust combination of the values that several exposures give one pixel: values far from the
// others are left out before the rest is averaged or summed.
#pragma once

#include "core/sample.h"

namespace quillon {

// The rejection threshold for n values at a pixel: 99 for up to two values (nothing is
// rejected), 1.9, 2.3, 2.8, 3.2 for three to six, 2.5 from seven on (also beyond 511).
float rejectionThreshold(int n);

// Combines n values into one sample. For each value d_i = Σ_j |v_i − v_j| (as a float);
// m = the smallest d_i, at most 1000000, 1 when it is 0; v_i is accepted when d_i / m is below
// `threshold`. With `averaging` the result is the mean of the accepted values, otherwise the sum
// of all n values with every rejected one replaced by that mean. Rounded half away from zero
// (in steps of 1/128) and limited to the sample range; 0 for n = 0.
//
// Quadratic by definition: up to 64 values the pairwise sums are formed in vector lanes; beyond
// that the accepted values are found as one range around the median by bisection (linear
// passes), or, when the sums leave the exact float integers, from sorted values; always with
// the same float d_i as the pairwise sums give.
// `rejected`, when given, receives for each of the n values whether it was left out.
Sample combineSamples(const Sample* values, int n, float threshold, bool averaging,
                      bool* rejected = nullptr);

// sum ÷ count rounded half away from zero and limited to the sample range: the rounding of
// combineSamples, for the plain mean and median of master frames. count > 0.
Sample roundedMean(long long sum, long long count);

} // namespace quillon
