// Composition: how the layers of an image combine into one composed value per display channel
// (R, G, B), from the image and its display parameters (LRGB bias, layer matrix).
//
// The one place where the colour arithmetic of every image type is written. The renderer
// looks the composed values up in its tables; the histogram, conversions, photometry and the
// composite's overlay read them directly.
//
// Composition by type (sums over the block's pixels, n = block size, "/" truncates):
//   BW_IMAGE      R = G = B = sum(layer 0) / n
//   RGB_IMAGE     channel c = sum(layer c) / n
//   LRGB_IMAGE    per pixel r' = max(R - biasR, 1) (g', b' alike), t = r' + g' + b',
//                 l = L - biasL; adds 3·l·r'/t + offsetR to R (likewise G, B)
//   CMY_IMAGE     per pixel adds M + Y - C to R, C - M + Y to G, C + M - Y to B
//   CMYK_IMAGE    as CMY from layers C, M, Y (1, 2, 3), minus K (layer 0) in every channel:
//                 K is the black component, so it darkens all three channels alike, and an
//                 image with K = 0 shows exactly like the CMY image of its C, M, Y layers.
//   USERDEFINED   per pixel, channel c and layer j adds truncate(sample_j × matrix[c][j])
//   other types   0
// Sums are 64-bit (a 100 × 100 block of LRGB or user-defined values exceeds 32 bits), and
// each result is limited to -32768..32767.
#pragma once

#include "core/display_params.h"
#include "core/image.h"

#include <array>
#include <cstdint>

namespace quillon {

// One composed value per display channel (R, G, B), each -32768..32767.
using Composed = std::array<int, 3>;
using Points = std::array<std::int16_t, 3>;

// Grey and RGB images show planes as they are: the plane that display channel c reads.
inline int plainPlane(int type, int channel) {
    return type == BW_IMAGE ? 0 : channel;
}
// Whether an image type composes by plain plane sums (grey and RGB).
inline bool isPlainType(int type) {
    return type == BW_IMAGE || type == RGB_IMAGE;
}

// A composed sum of n pixels as the value of one channel: sum / n limited to the sample range.
inline int composedMean(std::int64_t sum, std::int64_t n) {
    const std::int64_t v = sum / n;
    return static_cast<int>(v < kSampleMin ? kSampleMin : (v > kSampleMax ? kSampleMax : v));
}

class Composition {
public:
    // Reads the image and the parameters at every call, so both must outlive the composition
    // and later changes of either are seen.
    Composition(const Image& image, const DisplayParams& params)
        : image_(&image), params_(&params) {}

    const Image& image() const { return *image_; }
    const DisplayParams& params() const { return *params_; }

    // Composed values of pixels x0 .. x1-1 of row y (inside the image), interleaved R, G, B
    // into out[3 × (x - x0) + channel].
    void composeRow(int y, int x0, int x1, int* out) const;
    // Composed values of the blockW × blockH block at (x, y). False (values untouched) when
    // the block leaves the image or the image has no samples.
    bool composeBlock(int x, int y, int blockW, int blockH, Composed& values) const;
    // Composed values of one pixel; false when outside the image.
    bool composedAt(int x, int y, Composed& out) const { return composeBlock(x, y, 1, 1, out); }
    // Adds the composed contributions of rows y .. y+rows-1, pixels x0 .. x1-1 (inside the
    // image), to acc[3 × (x - x0) + channel]: the column sums a block average starts from.
    void addRows(int y, int rows, int x0, int x1, std::int64_t* acc) const;

private:
    const Image* image_;
    const DisplayParams* params_;
};

} // namespace quillon
