// quillon-cli page: the printable page of an image as a PNG, laid out and rendered in tiles
// exactly as printing does, so layouts can be checked and scripted without a printer.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "core/error.h"
#include "display/histogram.h"
#include "display/print_page.h"
#include "formats/open.h"
#include "formats/png_write.h"

#include <cstdio>
#include <string>
#include <utility>

namespace quillon::cli {
namespace {

// "A,B" or "AxB" with an optional "mm" at the end: the two parts as text.
std::pair<std::string, std::string> splitPair(std::string text, char separator,
                                              const std::string& option, const char* expected,
                                              bool millimetres) {
    const std::string original = text;
    if (millimetres && text.size() > 2 && text.compare(text.size() - 2, 2, "mm") == 0)
        text.resize(text.size() - 2);
    const std::size_t at = text.find(separator);
    if (at == std::string::npos || text.find(separator, at + 1) != std::string::npos)
        badValue(option, original, expected);
    return {text.substr(0, at), text.substr(at + 1)};
}

// Pixels of a length in millimetres at `dpi`, to the nearest pixel.
int pixelsOf(double mm, int dpi) {
    return truncToInt(mm / 25.4 * dpi + 0.5);
}

struct Paper {
    double width, height; // mm
};

Paper parsePaper(const std::string& text) {
    const int named = text.find('x') == std::string::npos
                          ? parseChoice(text, "--paper", {"A4", "A3", "Letter"})
                          : -1;
    static constexpr Paper kNamed[] = {{210, 297}, {297, 420}, {215.9, 279.4}};
    if (named >= 0) return kNamed[named];
    const auto [w, h] = splitPair(text, 'x', "--paper", "A4, A3, Letter oder BxHmm", true);
    return {parseDouble(w, "--paper", 10, 10000), parseDouble(h, "--paper", 10, 10000)};
}

PrintSettings settingsFrom(const OpArgs& a) {
    PrintSettings s;
    if (a.has("position") && a.has("offset"))
        throw UsageError{"--position und --offset schließen sich aus"};
    if (a.has("position")) {
        s.placementMode = 0;
        s.gridPosition = a.integer("position", 4, 0, 8);
    }
    if (a.has("offset")) {
        const auto [x, y] =
            splitPair(a.options.at("offset"), ',', "--offset", "X,Ymm (-1000..1000)", true);
        s.placementMode = 1;
        s.offsetX = parseInteger(x, "--offset", -1000, 1000);
        s.offsetY = parseInteger(y, "--offset", -1000, 1000);
    }
    if (a.has("size") && a.options.at("size") != "auto") {
        const auto [w, h] = splitPair(a.options.at("size"), 'x', "--size", "auto oder BxHmm", true);
        s.sizeMode = 1;
        s.sizeX = parseInteger(w, "--size", 10, 1000);
        s.sizeY = parseInteger(h, "--size", 1, 100000);
    }
    if (a.has("pixel"))
        s.pixelMode = parseChoice(a.options.at("pixel"), "--pixel", {"auto", "1", "4"});
    if (a.has("grey")) s.colourMode = 2;
    if (a.has("tile")) {
        const auto [w, h] =
            splitPair(a.options.at("tile"), 'x', "--tile", "BxH (100..1000)", false);
        s.tileX = parseInteger(w, "--tile", 100, 1000);
        s.tileY = parseInteger(h, "--tile", 100, 1000);
    }
    if (a.has("overlap")) {
        const auto [x, y] =
            splitPair(a.options.at("overlap"), ',', "--overlap", "X,Y (0..100)", false);
        s.overlapX = parseInteger(x, "--overlap", 0, 100);
        s.overlapY = parseInteger(y, "--overlap", 0, 100);
    }
    // Each tile must start further on than the one before; an overlap as large as the tile
    // would move the tiles one pixel at a time and take millions of them for a page.
    if (s.overlapX >= s.tileX || s.overlapY >= s.tileY)
        throw UsageError{"--overlap: kleiner als die Kachelgröße (--tile) erwartet"};
    return s;
}

int runPage(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(
        args, {"dpi", "paper", "position", "offset", "size", "pixel", "tile", "overlap"}, {"grey"});
    const int dpi = a.integer("dpi", 300, 10, 2400);
    const Paper paper = parsePaper(a.has("paper") ? a.options.at("paper") : "A4");
    const PrintSettings settings = settingsFrom(a);
    a.expectPositional(2, "Eingabedatei und PNG-Datei erwartet");

    PrinterInfo printer;
    printer.dpiX = printer.dpiY = dpi;
    printer.printableWidth = pixelsOf(paper.width, dpi);
    printer.printableHeight = pixelsOf(paper.height, dpi);

    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(a.positional[0], image, progress);
    ImageRenderer renderer(image);
    if (!renderer.hasTables()) throw Error(msg::kOutOfMemory);
    initFromImage(renderer);
    Picture page;
    const PrintLayout l = renderPrintPagePicture(renderer, settings, printer, page);
    writePng(a.positional[1], page);
    std::printf("%s: Seite %d x %d Pixel (%d dpi), Bild %d x %d bei (%d, %d)%s\n",
                a.positional[1].c_str(), page.width(), page.height(), dpi, l.width, l.height, l.x,
                l.y, l.monochrome ? ", S / W" : "");
    return 0;
}

Registrar regPage{
    {"page", "page EINGABE AUSGABE.png [OPTIONEN]",
     "Druckseite eines Bildes als PNG, gekachelt wie beim Drucken",
     "Optionen:\n"
     "  --dpi D               Druckerauflösung (Standard 300)\n"
     "  --paper P             A4 (Standard), A3, Letter oder BxHmm; die ganze Seite ist\n"
     "                        druckbarer Bereich\n"
     "  --position 0..8       Platz im 3 x 3-Raster, zeilenweise von links oben\n"
     "                        (Standard 4, Mitte)\n"
     "  --offset X,Ymm        Bildecke in mm von der Seitenecke (-1000..1000)\n"
     "  --size auto|BxHmm     größtmöglich (Standard) oder Gesamtgröße in mm\n"
     "  --pixel auto|1|4      Druckerpixel je Bildpixel (auto: nach --size)\n"
     "  --grey                schwarzweiß drucken\n"
     "  --tile BxH            Kachelgröße in Druckerpixeln (100..1000, Standard 1000x1000)\n"
     "  --overlap X,Y         Kachelüberhang in Druckerpixeln (0..100 und kleiner als die\n"
     "                        Kachelgröße, Standard 0,0)\n"
     "Das Bild wird mit seinen gespeicherten Darstellungswerten (oder der Anfangsskalierung)\n"
     "gedruckt, mit Overlay.",
     runPage}};

} // namespace
} // namespace quillon::cli
