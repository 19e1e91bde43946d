// The overlay plane's colour rules: laying an overlay sample over a display colour, and
// forming overlay samples from rendered colours (used by the composite's overlay list).
//
// An overlay sample holds bits 10..14 red, 5..9 green, 0..4 blue (five bits each); bit 15
// set means opaque; 0 means no overlay at that pixel.
#pragma once

#include "core/picture.h"
#include "core/sample.h"

#include <algorithm>
#include <cstdint>

namespace quillon {

// The colour shown for display colour `colour` (0x00RRGGBB, higher bits kept) under the
// overlay sample o: unchanged for 0; the overlay colour for an opaque sample; otherwise
// overlay and colour added per channel, limited to 255.
inline std::uint32_t applyOverlay(std::uint32_t colour, Sample o) {
    if (o == 0) return colour;
    const unsigned u = static_cast<std::uint16_t>(o);
    const int orr = static_cast<int>((u >> 7) & 0xF8), og = static_cast<int>((u >> 2) & 0xF8),
              ob = static_cast<int>((u << 3) & 0xF8);
    const std::uint32_t high = colour & 0xFF000000u;
    if (u & 0x8000u) return high | makeRgb(orr, og, ob);
    return high | makeRgb(std::min(255, redOf(colour) + orr), std::min(255, greenOf(colour) + og),
                          std::min(255, blueOf(colour) + ob));
}

// "Inaktive Overlaybereiche sind": 0 "Weiss", 1 "heller als Grau", 2 "dunkler als Grau",
// 3 "Schwarz".
enum OverlayMethod {
    OVERLAY_WHITE = 0,
    OVERLAY_BRIGHTER = 1,
    OVERLAY_DARKER = 2,
    OVERLAY_BLACK = 3
};

// Whether a rendered colour d (0x00RRGGBB) is ignored by the method. Unknown methods treat
// nothing as inactive.
inline bool overlayInactive(std::uint32_t d, int method) {
    d &= 0xFFFFFFu;
    switch (method) {
    case OVERLAY_WHITE: return d == 0xFFFFFFu;
    case OVERLAY_BRIGHTER: return blueOf(d) >= 128 || (d & 0xFFFFu) > 0x7F00u || d > 0x7F0000u;
    case OVERLAY_DARKER: return redOf(d) < 128 && greenOf(d) < 128 && blueOf(d) < 128;
    case OVERLAY_BLACK: return d == 0;
    default: return false;
    }
}

// The overlay sample of an active colour: five bits per channel, bit 15 set unless
// transparent. Combined into the plane by bitwise OR.
inline Sample overlaySampleFor(std::uint32_t d, bool transparent) {
    unsigned v = static_cast<unsigned>(redOf(d) >> 3) * 1024u +
                 static_cast<unsigned>(greenOf(d) >> 3) * 32u +
                 static_cast<unsigned>(blueOf(d) >> 3);
    if (!transparent) v |= 0x8000u;
    return static_cast<Sample>(static_cast<std::uint16_t>(v));
}

// The dialog's three choices kept as one setting number: bits 0..3 method, bit 4
// "Transparent", bit 5 "Invertiert".
struct OverlayForming {
    int method = OVERLAY_WHITE;
    bool transparent = false;
    bool invert = false;

    int pack() const { return (method & 0xF) | (transparent ? 0x10 : 0) | (invert ? 0x20 : 0); }
    static OverlayForming unpack(int v) { return {v & 0xF, (v & 0x10) != 0, (v & 0x20) != 0}; }
};

} // namespace quillon
