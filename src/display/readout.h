// The status bar readout of the pixel under the mouse: composed values and position.
#pragma once

#include "display/renderer.h"

#include <array>
#include <cstdio>
#include <string>

namespace quillon {

struct PixelReadout {
    bool inside = false; // false: the panes are left as they are
    int x = 0;
    int y = 0;
    Composed values{0, 0, 0};

    // Texts of the status bar panes 1..5: "R= %d", "G= %d", "B= %d", "x = %d", "y = %d".
    std::array<std::string, 5> paneTexts() const {
        std::array<std::string, 5> t;
        char buf[32];
        static constexpr const char* kFormats[3] = {"R= %d", "G= %d", "B= %d"};
        for (int c = 0; c < 3; ++c) {
            std::snprintf(buf, sizeof buf, kFormats[c], values[static_cast<std::size_t>(c)]);
            t[static_cast<std::size_t>(c)] = buf;
        }
        std::snprintf(buf, sizeof buf, "x = %d", x);
        t[3] = buf;
        std::snprintf(buf, sizeof buf, "y = %d", y);
        t[4] = buf;
        return t;
    }
};

// The readout of image pixel (x, y).
inline PixelReadout readPixel(const ImageRenderer& r, int x, int y) {
    PixelReadout p;
    p.x = x;
    p.y = y;
    p.inside = r.composition().composedAt(x, y, p.values);
    return p;
}

} // namespace quillon
