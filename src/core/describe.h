// A plain-text description of an image: what `quillon-cli info` prints.
#pragma once

#include "core/image.h"

#include <string>

namespace quillon {

// Type, size, layers with names, overlay, pixel size, metadata, comment lines and the
// stored display values, one item per line.
std::string describeImage(const Image& image);

} // namespace quillon
