// The image sampler (block mean or 4 × 4 cubic Lagrange interpolation at a real position) and
// resampling an image to another size with it.
//
// Used by the resize command, the composite and the PSF dialog. The whole-image resample
// computes exactly what the per-pixel sampler gives (same float operations in the same
// order), only faster: each source row is interpolated horizontally once and reused.
#pragma once

#include "core/image.h"
#include "core/progress.h"

#include <array>

namespace quillon {

// Lagrange weights of the nodes 0 … 3 at t (denominators -6, 2, -2, 6).
std::array<float, 4> lagrangeWeights(float t);

// The sampler. With binWidth × binHeight > 1 the mean of the block whose top-left corner is
// (x, y), pulled inside the image; with 1 × 1 the cubic Lagrange interpolation on the 4 × 4
// neighbourhood around (x, y) (0 when the image is narrower or lower than 4 pixels).
// `layer` is a colour layer index.
float sampleLayer(const Image& image, float x, float y, int layer, int binWidth, int binHeight);

// The same for every colour layer at once, each value clamped to -32768 … 32767.
// `out` receives layerCount() values.
void sampleAllLayers(const Image& image, float x, float y, int binWidth, int binHeight, float* out);

struct ResampleOptions {
    float scale = 0;                // > 0: sx = sy = 1 / scale, no binning
    const float* factors = nullptr; // per-layer factors (layer count entries), or none
    int targetLayer = 0;            // != 0: only the first sampled value, into this layer
};

// The scales and bins resample uses for the given sizes (exposed for the dialog and tests).
struct ResampleGeometry {
    float sx = 1, sy = 1;
    int binWidth = 1, binHeight = 1;
};
ResampleGeometry resampleGeometry(int sourceWidth, int sourceHeight, int destinationWidth,
                                  int destinationHeight, float scale = 0);

// Fills the destination from the source at positions (x · sx, y · sy): block means when
// shrinking by 2 or more, otherwise interpolation. Adds an overlay plane to the destination
// when the source has one (throws Error when that fails) and fills it with the nearest
// overlay word. Progress "Neue Größe", one step per destination row.
void resample(Image& destination, const Image& source, const ResampleOptions& options = {},
              Progress& progress = Progress::none());

} // namespace quillon
