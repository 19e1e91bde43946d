// The tile walk of one printed page and its assembly into a page picture.
#include "display/print_page.h"

#include "core/error.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quillon {

PrintLayout renderPrintPage(const ImageRenderer& r, const PrintSettings& s,
                            const PrinterInfo& printer, bool preview, const PageTileSink& sink) {
    const PrintLayout layout =
        computePrintLayout(s, printer, r.image().width(), r.image().height());
    Picture tile;
    for (const IntRect& t : printTiles(s, printer.printableWidth, printer.printableHeight)) {
        int result = RENDER_OK;
        if (layout.zoomX > 0 && layout.zoomY > 0) {
            result = renderPrintTile(r, layout, t, tile, preview);
        } else {
            // Nothing can be placed: the tile is plain white paper.
            try {
                tile.resize(t.width(), t.height(),
                            layout.monochrome && !preview ? PictureFormat::Grey8
                                                          : PictureFormat::Rgb32);
            } catch (const std::bad_alloc&) {
                result = RENDER_OUT_OF_MEMORY;
            }
            if (result == RENDER_OK && !tile.empty())
                std::memset(tile.bits(), 0xFF,
                            static_cast<std::size_t>(tile.bytesPerLine()) * tile.height());
        }
        if (result == RENDER_OUT_OF_MEMORY) throw Error(kOutOfMemoryBitmap);
        if (result != RENDER_OK) continue;
        sink(t, tile);
    }
    return layout;
}

PrintLayout renderPrintPagePicture(const ImageRenderer& r, const PrintSettings& s,
                                   const PrinterInfo& printer, Picture& page, Progress& progress,
                                   bool preview) {
    const bool grey =
        !preview &&
        computePrintLayout(s, printer, r.image().width(), r.image().height()).monochrome;
    try {
        page.resize(printer.printableWidth, printer.printableHeight,
                    grey ? PictureFormat::Grey8 : PictureFormat::Rgb32);
    } catch (const std::bad_alloc&) {
        throw Error(kOutOfMemoryBitmap);
    }
    if (!page.empty())
        std::memset(page.bits(), 0xFF,
                    static_cast<std::size_t>(page.bytesPerLine()) * page.height());
    const std::size_t pixelBytes = grey ? 1 : 4;
    return renderPrintPage(r, s, printer, preview, [&](const IntRect& t, const Picture& tile) {
        const std::size_t bytes = pixelBytes * static_cast<std::size_t>(tile.width());
        for (int y = 0; y < tile.height(); ++y)
            std::memcpy(page.bits() + static_cast<std::size_t>(t.top + y) * page.bytesPerLine() +
                            pixelBytes * static_cast<std::size_t>(t.left),
                        tile.bits() + static_cast<std::size_t>(y) * tile.bytesPerLine(), bytes);
        progress.step();
    });
}

} // namespace quillon
