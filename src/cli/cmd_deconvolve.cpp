// quillon-cli deconvolve: PSF from the given stars as the dialog collects it, then the
// Lucy-Richardson iterations.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "filters/deconvolve.h"
#include "filters/psf.h"

#include <cstdio>
#include <string>
#include <utility>

namespace quillon::cli {
namespace {

// "WxH": each side made odd and pulled into 3 … 39 as the dialog does.
std::pair<int, int> parseSize(const std::string& text) {
    const std::vector<int> v =
        parseIntegers(text, "--psf-size", {2}, 1, 99, "BxH (z. B. 7x7)", "xX");
    return {normalisePsfSide(v[0]), normalisePsfSide(v[1])};
}

int runDeconvolve(const std::vector<std::string>& args) {
    OpArgs a = OpArgs::parse(args, {"psf-size", "iterations", "ebenen"}, {}, {"psf-star"});
    a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet");
    std::vector<std::pair<float, float>> points;
    for (const std::string& s : a.all("psf-star")) {
        const std::vector<float> xy = parseReals(s, "--psf-star", {2}, -1e6f, 1e6f, "X,Y");
        points.emplace_back(xy[0], xy[1]);
    }
    const auto [pw, ph] =
        a.has("psf-size") ? parseSize(a.options.at("psf-size")) : std::pair<int, int>{7, 7};
    const int iterations = a.integer("iterations", 1, kMinIterations, kMaxIterations);
    if (points.empty()) throw Error("Kein Referenzstern angegeben (--psf-star X,Y).");

    TerminalProgress bar;
    Progress progress(&bar);
    Image source;
    openInput(a.positional[0], a.positional[1], source, progress);
    const LayerMask layers =
        a.has("ebenen") ? parseLayers(a.options.at("ebenen"), source.layerCount()) : 0;
    for (const auto& [x, y] : points) {
        if (!(x >= 0 && y >= 0 && x <= source.width() - 1 && y <= source.height() - 1))
            throw Error("Der Referenzstern " + std::to_string(static_cast<int>(x)) + "," +
                        std::to_string(static_cast<int>(y)) + " liegt außerhalb des Bildes (" +
                        std::to_string(source.width()) + " x " + std::to_string(source.height()) +
                        ").");
        const ReferencePoint c = locatePsfStar(source, x, y);
        const Image cut = psfCutout(source, c.x, c.y);
        addReferenceStar(source, cut, pw, ph);
        std::printf("Referenzstern bei %.2f, %.2f\n", static_cast<double>(c.x),
                    static_cast<double>(c.y));
    }
    const PsfKernel& k = source.psf()[0];
    std::printf("Anzahl gemittelter PSF: %d (%d x %d Pixel)\n", source.psfCount(), k.width,
                k.height);
    std::printf("Bearbeitungszeit (ca.): %s\n",
                deconvolutionTimeText(deconvolutionSeconds(selectedLayerCount(source, layers),
                                                           iterations, k.width, k.height,
                                                           source.width(), source.height()))
                    .c_str());
    const DeconvolutionFilter filter(iterations);
    auto result = applyFilter(filter, source, layers, progress);
    result->storedDisplay() = source.storedDisplay();
    saveOutput(*result, a.positional[1], progress);
    std::printf("%s: %d x %d, %d Iterationen\n", filter.title(), result->width(), result->height(),
                iterations);
    return 0;
}

Registrar reg{{"deconvolve",
               "deconvolve EINGABE AUSGABE.fts --psf-star X,Y [--psf-star X,Y ...] [OPTIONEN]",
               "Lucy-Richardson-Deconvolution mit einer PSF aus Sternen des Bildes",
               "--psf-star X,Y       Referenzstern (Bildpixel, mehrfach möglich); die PSF wird\n"
               "                     wie im Dialog aus allen Sternen gemittelt\n"
               "--psf-size BxH       PSF-Größe, ungerade 3..39 (7x7)\n"
               "--iterations N       Anzahl Iterationen 1..1000 (1)\n"
               "--ebenen alle|1,2,...  Ebenen (alle; ab 1 gezählt)",
               runDeconvolve}};

} // namespace
} // namespace quillon::cli
