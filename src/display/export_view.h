// The export command of a view: render the whole image at scale 1 with the view's display
// parameters, then encode it by the file's extension (formats/raster_export.h).
#pragma once

#include <string>

namespace quillon {

class ImageRenderer;

// The view's whole image rendered at scale 1 with its display parameters (8-bit grey for
// TIFF and BMP when the view shows a grey image in grey without a visible overlay), then
// encoded by the extension. A rendering failure is "Unerwarteter Fehler: Code 00061"; every
// failure comes as exportPicture's messages.
void exportView(const ImageRenderer& renderer, const std::string& path);

} // namespace quillon
