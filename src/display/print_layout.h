// Print layout: scale, size and position of the image on the printable area, the tile walk
// over the page and the rendering of one tile; and the clipboard copy of a view.
//
// The printer itself (device values, setup dialog, preview frame) belongs to the GUI, which
// fills PrinterInfo, asks for the layout and tiles, renders each tile and draws it at the
// tile's position.
#pragma once

#include "display/renderer.h"
#include "display/zoom.h"

#include <vector>

namespace quillon {

struct PrintSettings {
    int placementMode = 0; // 0 automatic (gridPosition), 1 numeric (offset in mm)
    int gridPosition = 4;  // 0..8 row by row from the top-left
    int offsetX = 0;       // mm, -1000..1000
    int offsetY = 0;
    int sizeMode = 0; // 0 as large as possible, 1 numeric (sizeX × sizeY mm)
    int sizeX = 100;  // mm, 10..1000
    int sizeY = 100;  // mm
    int tileX = 1000; // printer pixels, 100..1000
    int tileY = 1000;
    int overlapX = 0; // printer pixels, 0..100
    int overlapY = 0;
    int colourMode = 0; // 0 automatic, 1 colour, 2 black and white
    int pixelMode = 0;  // 0 automatic size, 1 one printer pixel, 2 2 × 2 printer pixels
};

// The device values used by the layout (the rest of the printer's values is only shown).
struct PrinterInfo {
    int printableWidth = 0; // pixels
    int printableHeight = 0;
    int dpiX = 0;
    int dpiY = 0;
    int colours = 0; // number of colours the printer reports
    bool operator==(const PrinterInfo&) const = default;
};

struct PrintLayout {
    bool monochrome = false;
    double zoomX = 0; // printer pixels per image pixel
    double zoomY = 0;
    int width = 0; // printed size in printer pixels
    int height = 0;
    int x = 0; // top-left corner on the printable area
    int y = 0;
};

// Scale, size and position for an image of width × height. Printer values that cannot be
// used (resolution or printable size not above 0) give an empty layout: nothing is printed.
PrintLayout computePrintLayout(const PrintSettings& s, const PrinterInfo& printer, int width,
                               int height);

// The tiles covering the printable area, row by row. Each tile starts at the previous
// tile's end minus the overlap, but always at least one pixel further than the previous
// start (a tile size equal to its overlap would otherwise never advance).
std::vector<IntRect> printTiles(const PrintSettings& s, int printableWidth, int printableHeight);

// Renders one tile of the page (white outside the image); preview selects the 32-bit grey
// picture of a monochrome print preview instead of the 8-bit grey picture of the printer.
int renderPrintTile(const ImageRenderer& r, const PrintLayout& layout, const IntRect& tile,
                    Picture& picture, bool preview);

// The clipboard copy: the whole image, or a selection of at least 10 × 10 pixels, at zoom
// 1 with overlay into a 32-bit picture.
bool canCopySelection(const IntRect& selection);
int renderForClipboard(const ImageRenderer& r, const IntRect* selection, Picture& picture);

} // namespace quillon
