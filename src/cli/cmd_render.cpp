// quillon-cli render and histogram: what a view shows, as a PNG file, and the histogram
// of composed values as numbers.
#include "analysis/histogram.h"
#include "cli/command.h"
#include "cli/progress_bar.h"
#include "core/error.h"
#include "display/renderer.h"
#include "display/scaling.h"
#include "display/zoom.h"
#include "formats/open.h"
#include "formats/png_write.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace quillon::cli {
namespace {

long parseInt(const std::string& text, const char* option, long lo, long hi) {
    long v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc{} || res.ptr != text.data() + text.size() || v < lo || v > hi)
        throw UsageError{std::string(option) + ": ganze Zahl zwischen " + std::to_string(lo) +
                         " und " + std::to_string(hi) + " erwartet, nicht \"" + text + "\""};
    return v;
}

double parseReal(const std::string& text, const char* option) {
    double v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc{} || res.ptr != text.data() + text.size() || !std::isfinite(v))
        throw UsageError{std::string(option) + ": Zahl erwartet, nicht \"" + text + "\""};
    return v;
}

// "v" for all three channels or "r,g,b".
Points parsePoints(const std::string& text, const char* option) {
    Points p{};
    std::size_t a = text.find(','), b = a == std::string::npos ? a : text.find(',', a + 1);
    if (a == std::string::npos) {
        auto v = static_cast<std::int16_t>(parseInt(text, option, -32768, 32767));
        return {v, v, v};
    }
    if (b == std::string::npos || text.find(',', b + 1) != std::string::npos)
        throw UsageError{std::string(option) + ": Wert oder drei Werte r,g,b erwartet"};
    p[0] = static_cast<std::int16_t>(parseInt(text.substr(0, a), option, -32768, 32767));
    p[1] =
        static_cast<std::int16_t>(parseInt(text.substr(a + 1, b - a - 1), option, -32768, 32767));
    p[2] = static_cast<std::int16_t>(parseInt(text.substr(b + 1), option, -32768, 32767));
    return p;
}

int parseChoice(const std::string& text, const char* option, const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
        if (text == names[i]) return i;
    return static_cast<int>(parseInt(text, option, 0, count - 1));
}

int runRender(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    std::optional<int> preset, lutType, palette;
    std::optional<Points> black, white;
    float exponent = 0.0f;
    bool invert = false, periodic = false;
    double zoom = 1.0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError{std::string(name) + " braucht einen Wert"};
            return args[++i];
        };
        if (a == "--preset") {
            preset = static_cast<int>(parseInt(value("--preset"), "--preset", -1, 6));
        } else if (a == "--black") {
            black = parsePoints(value("--black"), "--black");
        } else if (a == "--white") {
            white = parsePoints(value("--white"), "--white");
        } else if (a == "--exponent") {
            double e = parseReal(value("--exponent"), "--exponent");
            if (e < 0.1 || e > 10)
                throw UsageError{"--exponent: Zahl zwischen 0.1 und 10 erwartet"};
            exponent = static_cast<float>(e);
        } else if (a == "--lut") {
            static const char* const kNames[] = {"standard", "stufen", "kontur"};
            lutType = parseChoice(value("--lut"), "--lut", kNames, 3);
        } else if (a == "--palette") {
            static const char* const kNames[] = {"grau", "falschfarben1", "falschfarben2"};
            palette = parseChoice(value("--palette"), "--palette", kNames, 3);
        } else if (a == "--invert") {
            invert = true;
        } else if (a == "--periodic") {
            periodic = true;
        } else if (a == "--zoom") {
            zoom = parseReal(value("--zoom"), "--zoom");
            if (!(zoom > 0)) throw UsageError{"--zoom: Zahl über 0 erwartet"};
        } else if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9')) {
            throw UsageError{"unbekannte Option \"" + a + "\""};
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) throw UsageError{"Eingabedatei und PNG-Datei erwartet"};

    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(files[0], image, progress);
    ImageRenderer renderer(image);
    if (!renderer.hasTables()) throw Error(msg::kOutOfMemory);
    initFromImage(renderer);
    if (preset && autoScale(renderer, *preset, progress) != 0) throw Error(msg::kOutOfMemory);
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
    if (args.size() != 1) throw UsageError{"genau eine Datei erwartet"};
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(args[0], image, progress);
    ImageRenderer renderer(image);
    initFromImage(renderer);
    if (computeHistogram(renderer, progress) != 0) throw Error(msg::kOutOfMemory);
    const HistogramCache& cache = image.histogram();
    static const char* const kNames[3] = {"R", "G", "B"};
    const int channels = image.type() == BW_IMAGE ? 1 : 3;
    std::printf("Histogramm von %s (%d x %d, %d Pixel), größter Zähler %u\n", args[0].c_str(),
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
