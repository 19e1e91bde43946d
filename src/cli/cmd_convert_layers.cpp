// quillon-cli grey, rgb, split and overlay: type conversions and layer operations of the
// image menu, on FITS output.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "display/histogram.h"
#include "formats/fits_writer.h"
#include "formats/open.h"
#include "ops/convert.h"
#include "ops/grey_op.h"

#include <cstdio>
#include <memory>
#include <set>

namespace quillon::cli {
namespace {

// The input with the renderer its first view would get (the display stored in the file,
// automatic points when it stores none): the colours the conversions start from.
struct SourceView {
    Image image;
    std::unique_ptr<ImageRenderer> view;

    SourceView(const std::string& path, Progress& progress) {
        openImage(path, image, progress);
        view = std::make_unique<ImageRenderer>(image);
        if (!view->hasTables()) throw Error(msg::kOutOfMemory);
        initFromImage(*view);
    }
};

std::unique_ptr<Image> created(const NewDocumentParams& d) {
    auto img = std::make_unique<Image>();
    createImage(d, *img);
    return img;
}

// Gives the result the display its new view gets in the program (weights 1, the converted
// points or the automatic ones, the source view's exponent) and keeps it for the FITS file.
void storeDisplay(Image& result, const ConvertedDisplay& d, float exponent, Progress& progress) {
    ImageRenderer view(result);
    if (!view.hasTables()) throw Error(msg::kOutOfMemory);
    view.setWeights(d.weights);
    if (d.automatic) {
        view.setPoints(nullptr, nullptr, exponent);
        if (applyAutoScale(view, 0, progress) != 0) throw Error(msg::kOutOfMemory);
    } else {
        view.setPoints(&d.black, &d.white, exponent);
    }
    view.storeInto(result.storedDisplay());
}

// A layer name as part of a file name: letters, digits, "-", "_", "." and non-ASCII bytes stay,
// everything else (path separators, blanks, shell characters) becomes "_".
std::string safeName(const std::string& name) {
    std::string s = name.empty() ? "Ebene" : name;
    for (char& ch : s) {
        const unsigned char u = static_cast<unsigned char>(ch);
        const bool keep = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') ||
                          (u >= 'a' && u <= 'z') || u == '-' || u == '_' || u == '.' || u >= 0x80;
        if (!keep) ch = '_';
    }
    return s;
}

int runGrey(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {kGreyFactorsOption}, {kGreyNoWeightsFlag});
    a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet");
    checkFitsSaveName(a.positional[1]);
    GreyParams params;
    if (const auto f = a.numbers(kGreyFactorsOption, 3, -kGreyFactorOptionLimit,
                                 kGreyFactorOptionLimit, kGreyFactorsExpected))
        params.factors = {(*f)[0], (*f)[1], (*f)[2]};
    params.useWeights = !a.has(kGreyNoWeightsFlag);
    TerminalProgress bar;
    Progress progress(&bar);
    SourceView src(a.positional[0], progress);
    if (src.image.type() == BW_IMAGE) throw Error("Das Bild ist bereits ein Graubild.");
    const GreyFactors f = effectiveFactors(params, src.view->params().channelWeight);
    auto result = created(greyDescription(src.image));
    toGrey(*result, src.view->composition(), f, progress);
    storeDisplay(*result, greyDisplay(src.view->composition(), f), src.view->params().exponent,
                 progress);
    saveOutput(*result, a.positional[1], progress);
    std::printf("Graubild: Faktoren %.4f, %.4f, %.4f\n", static_cast<double>(f.red),
                static_cast<double>(f.green), static_cast<double>(f.blue));
    return 0;
}

int runRgb(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {});
    a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet");
    checkFitsSaveName(a.positional[1]);
    TerminalProgress bar;
    Progress progress(&bar);
    SourceView src(a.positional[0], progress);
    if (src.image.type() == RGB_IMAGE) throw Error("Das Bild ist bereits ein RGB-Bild.");
    auto result = created(rgbDescription(src.image));
    toRGB(*result, src.view->composition(), progress);
    // The new view keeps the source view's display of the same composed values.
    ConvertedDisplay d;
    d.weights = src.view->params().channelWeight;
    d.black = src.view->params().blackPoint;
    d.white = src.view->params().whitePoint;
    storeDisplay(*result, d, src.view->params().exponent, progress);
    saveOutput(*result, a.positional[1], progress);
    return 0;
}

int runSplit(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {});
    a.expectPositional(2, "Eingabedatei und Präfix erwartet");
    const std::string& prefix = a.positional[1];
    TerminalProgress bar;
    Progress progress(&bar);
    SourceView src(a.positional[0], progress);
    if (src.image.type() == BW_IMAGE) throw Error("Ein Graubild hat nur eine Ebene.");
    std::set<std::string> used;
    for (const SplitPart& part : splitParts(src.image)) {
        const bool overlay = part.layer < 0;
        const std::string base = safeName(overlay ? std::string("Overlay")
                                                  : std::string(src.image.layerName(part.layer)));
        // Layer names of user-defined images may coincide once made safe.
        std::string name = base;
        for (int n = 2; used.count(name) != 0; ++n) name = base + "_" + std::to_string(n);
        used.insert(name);
        const std::string path = prefix + name + ".fts";

        auto result =
            created(overlay ? overlayDescription(src.image) : layerDescription(src.image));
        if (overlay)
            extractOverlay(*result, src.image, progress);
        else
            extractLayer(*result, src.image, part.layer, progress);
        storeDisplay(*result,
                     overlay ? overlayDisplay() : layerDisplay(src.view->composition(), part.layer),
                     src.view->params().exponent, progress);
        saveOutput(*result, path, progress);
        std::printf("%s: %s\n", part.title.c_str(), path.c_str());
    }
    return 0;
}

int runOverlay(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {});
    a.expectPositional(3, "add oder remove, Eingabe- und Ausgabedatei erwartet");
    const bool add = parseChoice(a.positional[0], "Aktion", {"remove", "add"}) == 1;
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openInput(a.positional[1], a.positional[2], image, progress);
    if (image.hasOverlay() == add)
        std::fprintf(stderr, add ? "Hinweis: Das Bild hat bereits ein Overlay.\n"
                                 : "Hinweis: Das Bild hat kein Overlay.\n");
    if (!image.SetOverlay(add)) throw Error(msg::kOutOfMemoryAction);
    saveOutput(image, a.positional[2], progress);
    return 0;
}

Registrar regGrey{
    {"grey", "grey EINGABE AUSGABE.fts [--factors R,G,B] [--no-weights]",
     "in ein Graubild umwandeln (Faktoren mal zusammengesetzte Farbwerte)",
     "Optionen:\n"
     "  --factors R,G,B   Rot-, Grün- und Blauanteil (Vorgabe 0.3,0.59,0.11)\n"
     "  --no-weights      Farbgewichtung der Darstellung nicht berücksichtigen\n"
     "Die Farbwerte sind die der Darstellung, die in der Datei gespeichert ist (LRGB-Bias,\n"
     "Ebenenmatrix, Farbgewichtung). Schwarz- und Weißpunkt des Ergebnisses sind die mit den\n"
     "Faktoren gewichteten Punkte der Eingabe. Graubilder werden abgelehnt.",
     runGrey}};

Registrar regRgb{{"rgb", "rgb EINGABE AUSGABE.fts", "in ein RGB-Bild umwandeln",
                  "Speichert die zusammengesetzten Farbwerte der in der Datei gespeicherten\n"
                  "Darstellung als drei Ebenen; ein Overlay wird übernommen. RGB-Bilder werden\n"
                  "abgelehnt.",
                  runRgb}};

Registrar regSplit{
    {"split", "split EINGABE PRÄFIX", "Bild in Einzelebenen auftrennen",
     "Schreibt je Farbebene eine Graubild-Datei PRÄFIX + Ebenenname + \".fts\" und, wenn das\n"
     "Bild ein Overlay hat, das Overlay als RGB-Bild PRÄFIX + \"Overlay.fts\" (Werte 0 ... 248).\n"
     "Zeichen außer Buchstaben, Ziffern, \"-\", \"_\" und \".\" werden im Dateinamen zu \"_\".\n"
     "Graubilder werden abgelehnt.",
     runSplit}};

Registrar regOverlay{
    {"overlay", "overlay add|remove EINGABE AUSGABE.fts",
     "leeres Overlay hinzufügen oder das Overlay entfernen",
     "add hängt eine mit 0 gefüllte Overlay-Ebene an, remove löscht sie.\n"
     "Hat das Bild schon den gewünschten Zustand, wird es unverändert geschrieben.",
     runOverlay}};

} // namespace
} // namespace quillon::cli
