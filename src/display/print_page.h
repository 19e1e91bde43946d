// One printed page: the tile walk over the printable area with every tile rendered, handed
// to the printer, the print preview or a page picture (quillon-cli page) alike.
#pragma once

#include "display/print_layout.h"

#include <functional>

namespace quillon {

// Receives each rendered tile with its rectangle on the printable area (pixels).
using PageTileSink = std::function<void(const IntRect& tile, const Picture& picture)>;

// Lays the renderer's image out on the printable area and renders the area tile by tile
// (printTiles order), passing each tile to `sink`. A tile whose rendering fails is left out
// (blank on the page), except that a picture that cannot be allocated abandons the page with
// Error(kOutOfMemoryBitmap). `preview` asks for the 32-bit grey tiles of a monochrome print
// preview; otherwise monochrome tiles are 8-bit grey pictures. Returns the layout; an empty
// layout (zoom 0) still walks the page, whose tiles are then all white.
PrintLayout renderPrintPage(const ImageRenderer& r, const PrintSettings& s,
                            const PrinterInfo& printer, bool preview, const PageTileSink& sink);

// The whole printable area as one picture, white where the image is not: 8-bit grey for a
// monochrome page (32-bit grey with `preview`), 32-bit colour otherwise. Assembled from
// exactly the tiles renderPrintPage delivers, so it is the page a printer receives. Peak
// memory: the page plus one tile. `progress` advances by one per tile (the caller begins it
// with the number of printTiles) and may cancel between tiles.
PrintLayout renderPrintPagePicture(const ImageRenderer& r, const PrintSettings& s,
                                   const PrinterInfo& printer, Picture& page,
                                   Progress& progress = Progress::none(), bool preview = false);

} // namespace quillon
