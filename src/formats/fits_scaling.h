// The two passes of the per-plane scaling of BITPIX 32, -32 and -64 into 16-bit samples:
// finding the counted extremes of the big-endian values and mapping the values onto samples.
#pragma once

#include "core/image.h"

#include <cstddef>
#include <cstdint>

namespace quillon::fits {

// Bytes per value in the file (4 or 8).
int fileBytes(long long bitpix);

// Whether a decoded value takes part in finding the plane's range.
bool countedInt(std::int32_t v);
bool countedFloat(float v);

// The counted extremes seen so far (exact: every decoded value is a double as well).
struct ValueRange {
    bool any = false;
    double minimum = 0.0;
    double maximum = 0.0;
    void fold(double lo, double hi);
    void merge(const ValueRange& o) {
        if (o.any) fold(o.minimum, o.maximum);
    }
};

// Folds the counted extremes of n big-endian values into `range`. Doubles are taken to single
// precision first, as the format's scaling rule has it; values beyond the float range become
// infinite.
void rangeScaled(long long bitpix, const std::uint8_t* raw, std::size_t n, ValueRange& range);

// Maps n big-endian values (decoded as above) onto samples: t = (v - minimum) / range clamped
// to 0..1 (NaN counts as 0), then t × 65535 - 32768 truncated toward zero, all in double
// precision.
void mapScaled(long long bitpix, const std::uint8_t* raw, std::size_t n, Sample* dst,
               double minimum, double range);

} // namespace quillon::fits
