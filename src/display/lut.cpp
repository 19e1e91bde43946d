// Tone mapping of composed values and the fast construction of the lookup tables.
#include "display/lut.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace quillon {

float paletteValue(int palette, int channel, float p) {
    float d = p;
    if (palette == PALETTE_FALSE1) {
        switch (channel) {
        case 0:
            d = p <= 0.2f ? 5.0f * p : p <= 0.4f ? 1.0f : p <= 0.6f ? 5.0f * (0.6f - p) : 0.0f;
            break;
        case 1:
            d = p <= 0.2f   ? 0.0f
                : p <= 0.4f ? 5.0f * (p - 0.2f)
                : p <= 0.8f ? 1.0f
                            : 5.0f * (1.0f - p);
            break;
        default: d = p <= 0.6f ? 0.0f : p <= 0.8f ? 5.0f * (p - 0.6f) : 1.0f; break;
        }
    } else if (palette == PALETTE_FALSE2) {
        switch (channel) {
        case 0: d = p <= 0.4f ? 0.0f : p <= 0.6f ? 5.0f * (p - 0.4f) : 1.0f; break;
        case 1:
            d = p <= 0.2f   ? 0.0f
                : p <= 0.4f ? 5.0f * (p - 0.2f)
                : p <= 0.6f ? 5.0f * (0.6f - p)
                : p <= 0.8f ? 5.0f * (p - 0.6f)
                            : 1.0f;
            break;
        default:
            d = p <= 0.2f   ? 5.0f * p
                : p <= 0.4f ? 5.0f * (0.4f - p)
                : p <= 0.8f ? 0.0f
                            : 5.0f * (p - 0.8f);
            break;
        }
    } else {
        return p;
    }
    return std::clamp(d, 0.0f, 1.0f);
}

namespace {

inline std::uint8_t finish(float d, bool invert) {
    if (invert) d = 1.0f - d;
    return static_cast<std::uint8_t>(static_cast<int>(255.0f * d + 0.5f));
}

// Steps or contour on a value inside the black..white span (d in 0..1).
inline float shape(float d, int lutType) {
    if (lutType == LUT_STEPS) {
        d = static_cast<float>(static_cast<int>(15.0f * d + 0.999f)) / 16.0f;
    } else if (lutType == LUT_CONTOUR) {
        if ((static_cast<int>(32.0f * d) & 1) != 0) d = 0.0f;
    }
    return d;
}

// Entry of a normalised value known to lie inside 0..1 (black..white span).
inline std::uint8_t insideEntry(float d, int channel, const ToneCurve& c) {
    if (c.palette != PALETTE_GREY) d = paletteValue(c.palette, channel, d);
    d = shape(d, c.lutType);
    d = std::pow(d, c.exponent);
    return finish(d, c.invert);
}

// Entry of a value outside the span (d clamped to 0 or 1): palette and invert only.
inline std::uint8_t outsideEntry(float d, int channel, const ToneCurve& c) {
    if (c.palette != PALETTE_GREY) d = paletteValue(c.palette, channel, d);
    return finish(d, c.invert);
}

// Entries of the span v = b .. w (or w .. b) written to out[0 .. |w-b|], in the order of
// rising v. The work per entry is one division; the exponent is applied through std::pow
// except where the result is known exactly without it (exponent 1, the 16 step levels).
void fillSpan(std::uint8_t* out, int b, int w, int channel, const ToneCurve& c) {
    const int lo = std::min(b, w), hi = std::max(b, w);
    const float den = static_cast<float>(w - b);
    const bool plainPow = c.exponent == 1.0f;
    if (c.lutType == LUT_STEPS) {
        // Only 16 results of the exponent stage exist; compute each once.
        std::array<float, 16> powLevel{};
        for (int k = 0; k < 16; ++k) {
            float lv = static_cast<float>(k) / 16.0f;
            powLevel[static_cast<std::size_t>(k)] = plainPow ? lv : std::pow(lv, c.exponent);
        }
        for (int v = lo; v <= hi; ++v) {
            float d = static_cast<float>(v - b) / den;
            if (c.palette != PALETTE_GREY) d = paletteValue(c.palette, channel, d);
            int k = static_cast<int>(15.0f * d + 0.999f);
            out[v - lo] = finish(powLevel[static_cast<std::size_t>(k)], c.invert);
        }
        return;
    }
    if (plainPow) {
        for (int v = lo; v <= hi; ++v) {
            float d = static_cast<float>(v - b) / den;
            if (c.palette != PALETTE_GREY) d = paletteValue(c.palette, channel, d);
            out[v - lo] = finish(shape(d, c.lutType), c.invert);
        }
        return;
    }
    for (int v = lo; v <= hi; ++v)
        out[v - lo] = insideEntry(static_cast<float>(v - b) / den, channel, c);
}

} // namespace

std::uint8_t mapSample(int v, int black, int white, int channel, const ToneCurve& curve) {
    float d = static_cast<float>(v - black) / static_cast<float>(white - black);
    bool inside = true;
    if (d < 0.0f) {
        d = 0.0f;
        inside = false;
    } else if (d > 1.0f) {
        d = 1.0f;
        inside = false;
    }
    return inside ? insideEntry(d, channel, curve) : outsideEntry(d, channel, curve);
}

void buildTable(std::uint8_t* table, int black, int white, bool periodic, int channel,
                const ToneCurve& curve) {
    if (black == white) {
        if (white < kSampleMax)
            ++white;
        else
            --black;
    }
    if (!periodic) {
        const int lo = std::min(black, white), hi = std::max(black, white);
        // Below and above the span every value maps to the same clamped entry.
        if (lo > kSampleMin) {
            std::uint8_t e = outsideEntry(white > black ? 0.0f : 1.0f, channel, curve);
            std::memset(table, e, static_cast<std::size_t>(lutIndex(lo)));
        }
        if (hi < kSampleMax) {
            std::uint8_t e = outsideEntry(white > black ? 1.0f : 0.0f, channel, curve);
            std::memset(table + lutIndex(hi + 1), e, static_cast<std::size_t>(kSampleMax - hi));
        }
        fillSpan(table + lutIndex(lo), black, white, channel, curve);
        return;
    }
    // Periodic: every segment s .. s + r is the same rising ramp, so build it once.
    const int r = std::abs(white - black);
    int s = std::min(black, white);
    while (s >= kSampleMin) s -= r + 1;
    std::uint8_t segment[kLutSize];
    fillSpan(segment, 0, r, channel, curve);
    for (; s <= kSampleMax; s += r + 1) {
        int from = std::max(s, kSampleMin), to = std::min(s + r, kSampleMax);
        std::memcpy(table + lutIndex(from), segment + (from - s),
                    static_cast<std::size_t>(to - from + 1));
    }
}

} // namespace quillon
