// Print scale factors, positions and the tile walk.
#include "display/print_layout.h"

#include <algorithm>

namespace quillon {

PrintLayout computePrintLayout(const PrintSettings& s, const PrinterInfo& printer, int width,
                               int height) {
    PrintLayout l;
    l.monochrome = s.colourMode == 2 || (s.colourMode == 0 && printer.colours == 2);
    const int wp = printer.printableWidth, hp = printer.printableHeight;
    if (printer.dpiX <= 0 || printer.dpiY <= 0 || wp <= 0 || hp <= 0 || width <= 0 || height <= 0)
        return l;
    double zx, zy;
    if (s.pixelMode == 1 || s.pixelMode == 2) {
        zx = zy = s.pixelMode;
    } else {
        double f;
        if (s.sizeMode == 1) {
            zx = s.sizeX / 25.4 * printer.dpiX / width;
            f = s.sizeY / 25.4 * printer.dpiY;
        } else {
            zx = static_cast<double>(wp) / width;
            f = hp;
        }
        zy = f / height;
        const double r = static_cast<double>(printer.dpiX) / printer.dpiY;
        if (zy * r >= zx)
            zy = zx / r;
        else
            zx = zy * r;
    }
    if (!(zx > 0) || !(zy > 0)) return l;
    l.zoomX = zx;
    l.zoomY = zy;
    l.width = truncToInt(width * zx + 0.001);
    l.height = truncToInt(height * zy + 0.001);
    if (s.placementMode == 1) {
        l.x = truncToInt(s.offsetX / 25.4 * printer.dpiX + 0.5);
        l.y = truncToInt(s.offsetY / 25.4 * printer.dpiY + 0.5);
    } else {
        const int gx = wp - l.width, gy = hp - l.height;
        const int col = std::clamp(s.gridPosition, 0, 8) % 3,
                  row = std::clamp(s.gridPosition, 0, 8) / 3;
        l.x = col == 0 ? 0 : col == 1 ? gx / 2 : gx;
        l.y = row == 0 ? 0 : row == 1 ? gy / 2 : gy;
    }
    return l;
}

namespace {
// Tile starts and ends along one side.
std::vector<std::pair<int, int>> walk(int total, int tile, int overlap) {
    std::vector<std::pair<int, int>> spans;
    if (total <= 0) return spans;
    tile = std::max(1, std::min(tile, total));
    overlap = std::max(0, overlap);
    int start = 0;
    for (;;) {
        int end = std::min(start + tile, total);
        spans.emplace_back(start, end);
        if (end >= total) break;
        start = std::max(end - overlap, start + 1);
    }
    return spans;
}
} // namespace

std::vector<IntRect> printTiles(const PrintSettings& s, int printableWidth, int printableHeight) {
    std::vector<IntRect> tiles;
    const auto rows = walk(printableHeight, s.tileY, s.overlapY);
    const auto cols = walk(printableWidth, s.tileX, s.overlapX);
    tiles.reserve(rows.size() * cols.size());
    for (const auto& [y0, y1] : rows)
        for (const auto& [x0, x1] : cols) tiles.push_back({x0, y0, x1, y1});
    return tiles;
}

int renderPrintTile(const ImageRenderer& r, const PrintLayout& layout, const IntRect& tile,
                    Picture& picture, bool preview) {
    if (!(layout.zoomX > 0) || !(layout.zoomY > 0)) return RENDER_BAD_ZOOM;
    RenderOptions o;
    o.zoomX = layout.zoomX;
    o.zoomY = layout.zoomY;
    o.allowOverlay = true;
    o.background = 0xFFFFFF;
    o.monochromeDevice = layout.monochrome;
    o.previewOutput = preview;
    return r.renderRect(tile.left - layout.x, tile.top - layout.y, tile.right - layout.x,
                        tile.bottom - layout.y, &picture, o);
}

bool canCopySelection(const IntRect& selection) {
    return selection.left >= 0 && selection.width() >= 10 && selection.height() >= 10;
}

int renderForClipboard(const ImageRenderer& r, const IntRect* selection, Picture& picture) {
    IntRect area{0, 0, r.image().width(), r.image().height()};
    if (selection) area = *selection;
    return r.renderRect(area.left, area.top, area.right, area.bottom, &picture, RenderOptions{});
}

} // namespace quillon
