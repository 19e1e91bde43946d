// Small images made in the tests of the display and histogram code.
#pragma once

#include "core/image.h"

#include <gtest/gtest.h>

#include <functional>

namespace quillon::testing {

// Defines and fills an image; fill(layer, x, y) gives each sample (the overlay plane is the
// layer index equal to the layer count).
inline void makeImage(Image& im, std::uint16_t type, int w, int h,
                      const std::function<int(int, int, int)>& fill, bool overlay = false,
                      int userLayers = 0) {
    ASSERT_GT(im.Define(w, h, type, overlay, userLayers), 0u);
    ASSERT_EQ(im.AllocateSamples(true), 0);
    for (int p = 0; p < im.planeCount(); ++p)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) im.row(p, y)[x] = static_cast<Sample>(fill(p, x, y));
}

// A deterministic pseudo-random sample stream (no global state).
inline int noise(int p, int x, int y, int lo, int hi) {
    unsigned v = static_cast<unsigned>(p) * 73856093u ^ static_cast<unsigned>(x) * 19349663u ^
                 static_cast<unsigned>(y) * 83492791u;
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    v ^= v >> 15;
    return lo + static_cast<int>(v % static_cast<unsigned>(hi - lo + 1));
}

} // namespace quillon::testing
