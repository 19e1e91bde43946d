// quillon-cli render and histogram: what a view shows, as a PNG file, and the histogram
// of composed values as numbers.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "core/error.h"
#include "display/histogram.h"
#include "display/renderer.h"
#include "display/scaling.h"
#include "display/zoom.h"
#include "formats/open.h"
#include "formats/png_write.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace quillon::cli {
namespace {

// "v" for all three channels or "r,g,b".
Points parsePoints(const std::string& text, const std::string& option) {
    const std::vector<int> v =
        parseIntegers(text, option, {1, 3}, -32768, 32767, "ein Wert oder drei Werte r,g,b");
    const auto at = [&](std::size_t i) { return static_cast<std::int16_t>(v[i % v.size()]); };
    return {at(0), at(1), at(2)};
}

int runRender(const std::vector<std::string>& args) {
    const OpArgs a =
        OpArgs::parse(args, {"preset", "black", "white", "exponent", "lut", "palette", "zoom"},
                      {"invert", "periodic"});
    std::optional<int> preset, lutType, palette;
    std::optional<Points> black, white;
    float exponent = 0.0f;
    const bool invert = a.has("invert"), periodic = a.has("periodic");
    double zoom = 1.0;
    if (a.has("preset")) preset = a.integer("preset", 0, -1, 6);
    if (a.has("black")) black = parsePoints(a.options.at("black"), "--black");
    if (a.has("white")) white = parsePoints(a.options.at("white"), "--white");
    if (a.has("exponent"))
        exponent = static_cast<float>(parseDouble(a.options.at("exponent"), "--exponent", 0.1, 10));
    if (a.has("lut"))
        lutType = parseChoice(a.options.at("lut"), "--lut", {"standard", "stufen", "kontur"}, true);
    if (a.has("palette"))
        palette = parseChoice(a.options.at("palette"), "--palette",
                              {"grau", "falschfarben1", "falschfarben2"}, true);
    if (a.has("zoom")) zoom = parsePositive(a.options.at("zoom"), "--zoom");
    a.expectPositional(2, "Eingabedatei und PNG-Datei erwartet");
    const std::vector<std::string>& files = a.positional;

    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(files[0], image, progress);
    ImageRenderer renderer(image);
    if (!renderer.hasTables()) throw Error(msg::kOutOfMemory);
    initFromImage(renderer);
    if (preset && applyAutoScale(renderer, *preset, progress) != 0) throw Error(msg::kOutOfMemory);
    if (black || white || exponent != 0.0f) {
        Points b = black ? *black : renderer.params().blackPoint;
        Points w = white ? *white : renderer.params().whitePoint;
        renderer.setPoints(&b, &w, exponent);
    }
    Switches sw;
    sw.invert = invert;
    sw.periodic = periodic;
    if (lutType) sw.lutType = *lutType;
    if (palette) {
        if (*palette != 0 && image.type() != BW_IMAGE)
            std::fprintf(stderr, "Hinweis: Farbpaletten gelten nur für Graubilder.\n");
        sw.palette = *palette;
    }
    renderer.setSwitches(sw); // rebuilds the tables

    const double z = clampZoom(zoom, image.width(), image.height());
    if (z != zoom) std::fprintf(stderr, "Hinweis: Zoom auf %g begrenzt.\n", z);
    const int w = truncToInt(image.width() * z + 0.5), h = truncToInt(image.height() * z + 0.5);
    Picture picture;
    int r = renderer.renderRect(0, 0, w, h, &picture, RenderOptions{z, z});
    if (r == RENDER_OUT_OF_MEMORY) throw Error(kOutOfMemoryBitmap);
    if (r != RENDER_OK) throw Error(msg::unexpected(61));
    PngOptions png;
    png.greyWhenNeutral = image.type() == BW_IMAGE; // grey pictures stay 8-bit grey files
    writePng(files[1], picture, png);
    const auto& p = renderer.params();
    std::printf("%s: %d x %d, Schwarz %d,%d,%d, Weiß %d,%d,%d, Exponent %.2f\n", files[1].c_str(),
                w, h, p.blackPoint[0], p.blackPoint[1], p.blackPoint[2], p.whitePoint[0],
                p.whitePoint[1], p.whitePoint[2], static_cast<double>(p.exponent));
    return 0;
}

int runHistogram(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {});
    a.expectPositional(1, "genau eine Datei erwartet");
    const std::string& file = a.positional[0];
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(file, image, progress);
    ImageRenderer renderer(image);
    initFromImage(renderer);
    if (computeHistogram(renderer, progress) != 0) throw Error(msg::kOutOfMemory);
    const HistogramCache& cache = renderer.histogram();
    static const char* const kNames[3] = {"R", "G", "B"};
    const int channels = image.type() == BW_IMAGE ? 1 : 3;
    std::printf("Histogramm von %s (%d x %d, %d Pixel), größter Zähler %u\n", file.c_str(),
                image.width(), image.height(), image.width() * image.height(),
                static_cast<unsigned>(cache.maxCount));
    std::printf("%-5s %8s %8s %10s %8s %8s %10s\n", "Kanal", "Min", "Max", "Mittel", "Median",
                "Modus", "Anzahl");
    for (int c = 0; c < channels; ++c) {
        ChannelStatistics s = histogramStatistics(cache, c);
        std::printf("%-5s %8d %8d %10.2f %8d %8d %10lld\n", channels == 1 ? "Grau" : kNames[c],
                    s.minimum, s.maximum, s.mean, s.median, s.mode, s.count);
        if (s.saturatedValues > 0)
            std::printf("      %d Werte mit mehr als 65535 Pixeln (Zähler begrenzt)\n",
                        s.saturatedValues);
    }
    const auto& p = renderer.params();
    std::printf("Anfangsskalierung: Schwarz %d,%d,%d, Weiß %d,%d,%d\n", p.blackPoint[0],
                p.blackPoint[1], p.blackPoint[2], p.whitePoint[0], p.whitePoint[1],
                p.whitePoint[2]);
    return 0;
}

Registrar regRender{
    {"render", "render EINGABE AUSGABE.png [OPTIONEN]",
     "Bild so als PNG schreiben, wie eine Ansicht es zeigt",
     "Optionen:\n"
     "  --preset N        Voreinstellung -1..6 (-1 <auto-scaling...>, 0 Deepsky, 1 Deepsky hell,\n"
     "                    2 Planet / Landschaft, 3 Mond dunkel, 4 Mond hell, 5 Sonne,\n"
     "                    6 Anfangsskalierung)\n"
     "  --black R,G,B     Schwarzpunkte (oder ein Wert für alle Kanäle)\n"
     "  --white R,G,B     Weißpunkte (oder ein Wert für alle Kanäle)\n"
     "  --exponent E      Exponent 0.1..10\n"
     "  --lut TYP         standard, stufen, kontur (oder 0..2)\n"
     "  --palette P       grau, falschfarben1, falschfarben2 (oder 0..2; nur Graubilder)\n"
     "  --invert          invertieren\n"
     "  --periodic        periodisch fortsetzen\n"
     "  --zoom Z          Zoomfaktor (Standard 1; auf die Grenzen des Bildes begrenzt)\n"
     "Ohne Punkte gelten die in der Datei gespeicherten oder die Anfangsskalierung.",
     runRender}};

Registrar regHistogram{
    {"histogram", "histogram DATEI",
     "Histogramm der dargestellten Werte je Kanal (Min, Max, Mittel, Median, Modus)", "",
     runHistogram}};

} // namespace
} // namespace quillon::cli
