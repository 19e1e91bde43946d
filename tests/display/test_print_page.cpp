// The printed page assembled from its tiles against one render of the whole page (pixel
// mode 4 and offsets off the page: tests/cli/test_page_cli.cpp).
#include "display/print_page.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::testkit;

namespace {

// A colour image with an overlay mark and a display from its own values.
struct Scene {
    Image image;
    std::unique_ptr<ImageRenderer> view;
    Scene(int w, int h) {
        makeImage(image, w, h, RGB_IMAGE, Ramp{.base = 10, .dx = 37, .dy = 53, .dp = 401}, true);
        image.row(3, h / 2)[w / 3] = 0x7C00; // a red overlay pixel
        view = std::make_unique<ImageRenderer>(image);
        Points b{0, 0, 0}, white{3000, 3000, 3000};
        view->setPoints(&b, &white);
        view->rebuildLut();
    }
};

PrinterInfo printerOf(int w, int h, int dpiX, int dpiY, int colours = 0) {
    return {w, h, dpiX, dpiY, colours};
}

// One render of the whole printable area with the page's options: what the tiles must add up to.
Picture wholePage(const ImageRenderer& r, const PrintLayout& l, const PrinterInfo& p) {
    Picture out;
    RenderOptions o;
    o.zoomX = l.zoomX;
    o.zoomY = l.zoomY;
    o.background = 0xFFFFFF;
    o.monochromeDevice = l.monochrome;
    EXPECT_EQ(r.renderRect(-l.x, -l.y, p.printableWidth - l.x, p.printableHeight - l.y, &out, o),
              RENDER_OK);
    return out;
}

std::string firstDifference(const Picture& a, const Picture& b) {
    if (a.width() != b.width() || a.height() != b.height() || a.format() != b.format())
        return "size or format differs";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.rgbAt(x, y) != b.rgbAt(x, y))
                return "at " + std::to_string(x) + "," + std::to_string(y);
    return {};
}

} // namespace

TEST(PrintPage, TilesAddUpToOneRenderOfTheWholePage) {
    Scene scene(37, 23);
    struct Case {
        int sizeMode, gridPosition, colourMode, printerColours, tile, overlap, dpiY;
    };
    // Non-integer zooms, non-square printer pixels, uneven tiles with overlap, monochrome
    // by setting and by a two-colour printer.
    for (const Case c : {Case{0, 4, 0, 0, 100, 37, 150}, Case{1, 8, 1, 2, 130, 0, 100},
                         Case{1, 0, 2, 0, 100, 60, 120}, Case{0, 5, 0, 2, 1000, 0, 100}}) {
        PrintSettings s;
        s.sizeMode = c.sizeMode;
        s.sizeX = 50;
        s.sizeY = 40;
        s.gridPosition = c.gridPosition;
        s.colourMode = c.colourMode;
        s.tileX = s.tileY = c.tile;
        s.overlapX = s.overlapY = c.overlap;
        const PrinterInfo printer = printerOf(421, 333, 100, c.dpiY, c.printerColours);
        Picture page;
        const PrintLayout l = renderPrintPagePicture(*scene.view, s, printer, page);
        ASSERT_GT(l.width, 0);
        EXPECT_EQ(page.format(), l.monochrome ? PictureFormat::Grey8 : PictureFormat::Rgb32);
        EXPECT_EQ(firstDifference(page, wholePage(*scene.view, l, printer)), "")
            << "tile " << c.tile << " overlap " << c.overlap;
        EXPECT_EQ(page.rgbAt(l.x > 0 ? 0 : 420, l.y > 0 ? 0 : 332), 0xFFFFFFu) << "white paper";
    }
}
