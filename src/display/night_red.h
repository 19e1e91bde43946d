// Night vision at the telescope: a rendered picture shown in red only, so that the screen does
// not spoil the eye's dark adaptation.
#pragma once

#include "core/picture.h"

namespace quillon {

// Each pixel's grey value (greyOf) becomes its red; green and blue are cleared. The tone
// mapping's contrast stays as rendered: what was brighter stays brighter. Grey pictures are
// left as they are (they cannot hold red).
inline void toNightRed(Picture& p) {
    if (p.format() != PictureFormat::Rgb32) return;
    for (int y = 0; y < p.height(); ++y) {
        std::uint32_t* row = p.rgbRow(y);
        for (int x = 0; x < p.width(); ++x)
            row[x] = opaque(static_cast<std::uint32_t>(greyOf(row[x])) << 16);
    }
}

} // namespace quillon
