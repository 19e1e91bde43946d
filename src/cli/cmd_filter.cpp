// quillon-cli filter: high-pass, low-pass, special, noise and unsharp-mask filters.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "filters/filter.h"
#include "filters/mask_filter.h"
#include "filters/noise.h"
#include "filters/unsharp.h"

#include <cstdio>
#include <memory>
#include <optional>

namespace quillon::cli {
namespace {

// Mask size 3, 5 or 7 as the dialogs' slider position 0 … 2.
int sizePosition(const OpArgs& a) {
    return a.choice("groesse", 0, {"3", "5", "7"});
}

NoiseKind noiseKind(const OpArgs& a) {
    // In the order of NoiseKind.
    return static_cast<NoiseKind>(a.choice("art", static_cast<int>(NoiseKind::Median),
                                           {"maximal", "minimal", "median", "schwelle"}));
}

std::unique_ptr<Filter> makeFilter(FilterCommand command, const OpArgs& a) {
    switch (command) {
    case FilterCommand::Highpass:
    case FilterCommand::Lowpass: {
        const int strength = a.integer("staerke", 1, 1, 4) - 1;
        return std::make_unique<ConvolutionFilter>(
            command == FilterCommand::Highpass
                ? ConvolutionFilter::highpass(sizePosition(a), strength)
                : ConvolutionFilter::lowpass(sizePosition(a), strength));
    }
    case FilterCommand::Special:
        return std::make_unique<ConvolutionFilter>(
            ConvolutionFilter::special(a.integer("typ", 0, 0, kSpecialKernelCount - 1)));
    case FilterCommand::Noise:
        return std::make_unique<NoiseFilter>(
            a.integer("maske", settings::kNoiseMaskIndexDefault, 0, kNoiseMaskCount - 1),
            noiseKind(a),
            static_cast<std::uint16_t>(
                a.integer("schwelle", settings::kNoiseLimitDefault, 0, 65535)));
    case FilterCommand::Unsharp:
        return std::make_unique<UnsharpMaskFilter>(a.integer("maske", 2, 0, kUnsharpMaskCount - 1),
                                                   a.real("m", 2.0f, 0.0f, 1000.0f),
                                                   a.real("o", 3.0f, 0.0f, 1000.0f));
    default: return nullptr;
    }
}

int runFilter(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"Filter erwartet"};
    const std::string name = args[0];
    const std::optional<FilterCommand> command = findCliCommand("filter", name);
    if (!command) throw UsageError{"unbekannter Filter \"" + name + "\""};
    OpArgs a = OpArgs::parse(
        std::vector<std::string>(args.begin() + 1, args.end()),
        {"staerke", "groesse", "typ", "maske", "art", "schwelle", "m", "o", "ebenen"});
    std::unique_ptr<Filter> filter = makeFilter(*command, a);
    a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet");
    TerminalProgress bar;
    Progress progress(&bar);
    Image source;
    openInput(a.positional[0], a.positional[1], source, progress);
    if (!filterCommandEnabled(*command, source.width(), source.height())) {
        const int m = filterCommandInfo(*command).minimumSize;
        throw Error("Der Filter braucht ein Bild von mindestens " + std::to_string(m) + " x " +
                    std::to_string(m) + " Pixeln.");
    }
    const LayerMask layers =
        a.has("ebenen") ? parseLayers(a.options.at("ebenen"), source.layerCount()) : 0;
    FilterOutcome outcome;
    auto result = applyFilter(*filter, source, layers, progress, &outcome);
    result->storedDisplay() = source.storedDisplay();
    if (outcome.zeroSum) {
        // Results around 0: black and white centred on 0 with the source's contrast.
        const StoredDisplayParams& s = source.storedDisplay();
        const DisplayParams defaults;
        const DisplayPoints p =
            centredDisplayPoints(s.hasPoints ? s.blackPoint : defaults.blackPoint,
                                 s.hasPoints ? s.whitePoint : defaults.whitePoint);
        result->storedDisplay().hasPoints = true;
        result->storedDisplay().blackPoint = p.black;
        result->storedDisplay().whitePoint = p.white;
    }
    saveOutput(*result, a.positional[1], progress);
    if (outcome.replaced >= 0) std::printf("%s\n", replacedPixelsMessage(outcome.replaced).c_str());
    std::printf("%s: %d x %d\n", filter->title(), result->width(), result->height());
    return 0;
}

Registrar reg{
    {"filter", "filter FILTER [OPTIONEN] EINGABE AUSGABE.fts",
     "Hochpass-, Tiefpass-, Spezial-, Rauschfilter oder unscharfe Maske anwenden",
     "FILTER: highpass, lowpass, special, noise oder unsharp\n"
     "highpass, lowpass: --staerke 1..4 (1), --groesse 3|5|7 (3)\n"
     "special:           --typ 0..6 (0: Laplace 1, 1: Laplace 2, 2/3: Prewitt horizontal/\n"
     "                   vertikal, 4/5: Sobel horizontal/vertikal, 6: Sobel diagonal)\n"
     "noise:             --maske 0|1|2 (2; 0: Mitte und 4 Nachbarn, 1: Mitte und 4\n"
     "                   Diagonalen, 2: alle 9),\n"
     "                   --art maximal|minimal|median|schwelle (median), --schwelle N (100)\n"
     "unsharp:           --maske 0..6 (2, schwach ... stark), --m FAKTOR (2), --o FAKTOR (3)\n"
     "alle:              --ebenen alle|1,2,... (alle; Ebenen ab 1 gezählt)\n"
     "Das Ergebnis ist um die Maskengröße minus 1 kleiner als die Eingabe.",
     runFilter}};

} // namespace
} // namespace quillon::cli
