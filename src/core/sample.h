// Sample type and the one conversion from computed values to stored samples.
#pragma once

#include <cmath>
#include <cstdint>

namespace quillon {

using Sample = std::int16_t;

inline constexpr int kSampleMin = -32768;
inline constexpr int kSampleMax = 32767;
// Offset that turns a sample into an index of a 65536-entry table.
inline constexpr int kSampleOffset = 32768;

// Converts a computed value to a sample: truncation toward zero, then clamping to
// -32768..32767. NaN gives 0, +inf gives 32767 and -inf gives -32768. Every operation
// that stores a computed value goes through here so that saturation happens in one place.
inline Sample toSample(float v) {
    if (!(v == v)) return 0; // NaN
    if (v >= 32767.0f) return static_cast<Sample>(kSampleMax);
    if (v <= -32768.0f) return static_cast<Sample>(kSampleMin);
    return static_cast<Sample>(static_cast<int>(v)); // truncates toward zero
}

inline Sample toSample(double v) {
    if (!(v == v)) return 0;
    if (v >= 32767.0) return static_cast<Sample>(kSampleMax);
    if (v <= -32768.0) return static_cast<Sample>(kSampleMin);
    return static_cast<Sample>(static_cast<int>(v));
}

// Rounds (adds 0.5 first: the rounding every operation that rounds uses), then
// converts like toSample.
inline Sample roundToSample(float v) {
    return toSample(v + 0.5f);
}

// Clamps an integer to the sample range.
inline constexpr Sample clampSample(long long v) {
    return static_cast<Sample>(v < kSampleMin ? kSampleMin : (v > kSampleMax ? kSampleMax : v));
}

// Truncates a double toward zero into an int, saturating at the int range and giving 0 for
// NaN; for arithmetic on counts and sizes where an undefined conversion must never happen.
inline int truncToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
}

} // namespace quillon
