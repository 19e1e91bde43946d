// Carrying an image's world coordinates along when its pixels move.
#pragma once

#include "core/image.h"
#include "core/wcs.h"
#include "ops/geometry.h"

#include <string>

namespace quillon {

// Replaces the image's WCS and the note on why it was dropped (takes the info write access
// itself; does nothing while it is held elsewhere).
void setImageWcs(Image& image, const WorldCoordinates& wcs, const std::string& note = {});

// After an in-place movement of the image (its size is already the new one).
void moveImageWcs(Image& image, Movement m);

// The destination shows the source's pixel (sx · x + ox, sy · y + oy) at its pixel (x, y).
void scaleImageWcs(Image& destination, const Image& source, double sx, double sy, double ox,
                   double oy);

// For an operation that cannot carry the WCS (a free rotation): drops it, with the reason
// kept in the image information.
void dropImageWcs(Image& image, const std::string& operation);

} // namespace quillon
