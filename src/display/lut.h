// Tone mapping: one composed 16-bit value to an 8-bit display value, and the 65536-entry
// tables built from it.
#pragma once

#include "core/sample.h"

#include <cstdint>

namespace quillon {

inline constexpr int kLutSize = 65536;
// Table index of a composed value (the one place where the 32768 offset enters the display).
inline constexpr int lutIndex(int value) {
    return value + kSampleOffset;
}

// A renderer's packed tables (ImageRenderer::packedTable): OR-ing the three entries of a
// composed colour gives the opaque pixel; grey holds the whole pixel of a grey value.
struct ColourTables {
    const std::uint32_t* r = nullptr;
    const std::uint32_t* g = nullptr;
    const std::uint32_t* b = nullptr;
    const std::uint32_t* grey = nullptr;
    std::uint32_t colour(int vr, int vg, int vb) const {
        return r[lutIndex(vr)] | g[lutIndex(vg)] | b[lutIndex(vb)];
    }
};

enum LutType : std::int16_t { LUT_STANDARD = 0, LUT_STEPS = 1, LUT_CONTOUR = 2 };
enum Palette : std::int16_t { PALETTE_GREY = 0, PALETTE_FALSE1 = 1, PALETTE_FALSE2 = 2 };

// What one table needs besides the channel's black and white point.
struct ToneCurve {
    float exponent = 1.0f;
    int lutType = LUT_STANDARD;
    int palette = PALETTE_GREY;
    bool invert = false;
};

// The palette function of a display channel (0 R, 1 G, 2 B) for a normalised p in 0..1,
// clamped to 0..1. Palette 0 returns p.
float paletteValue(int palette, int channel, float p);

// The table entry of composed value v for black b and white w (b != w) on channel `channel`:
// normalise in single precision, clamp (values outside skip steps, contour and exponent),
// palette, steps or contour, exponent, invert, then truncate(255 × d + 0.5).
std::uint8_t mapSample(int v, int black, int white, int channel, const ToneCurve& curve);

// Fills table[0..65535] (index = value + 32768) for one channel. Periodic continuation
// repeats the ramp every |w - b| + 1 values, rising, locked to the lower point. A black equal
// to the white point is treated as white = black + 1 (black - 1 at 32767), so the table is
// always defined. Gives exactly the entries of mapSample; only faster.
void buildTable(std::uint8_t* table, int black, int white, bool periodic, int channel,
                const ToneCurve& curve);

} // namespace quillon
