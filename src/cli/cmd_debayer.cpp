// quillon-cli debayer: a raw colour-filter-array mosaic into an RGB FITS file.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "core/error.h"
#include "ops/debayer.h"

#include <cstdio>
#include <optional>

namespace quillon::cli {
namespace {

int runDebayer(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {"pattern", "method"});
    a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet");
    DebayerParams params;
    readDebayerOptions(a, "pattern", "method", params);
    const std::optional<BayerPattern> chosen = params.pattern;
    const DebayerMethod method = params.method;
    TerminalProgress bar;
    Progress progress(&bar);
    Image mosaic;
    openInput(a.positional[0], a.positional[1], mosaic, progress);
    if (mosaic.layerCount() != 1) throw Error(kDebayerNeedsOneLayerMessage);
    const BayerPattern pattern = chosen ? *chosen : bayerPatternOf(mosaic);
    Image result = debayerImage(mosaic, pattern, method, progress);
    saveOutput(result, a.positional[1], progress);
    std::printf("%s: %s, %s, %d x %d\n", a.positional[1].c_str(), bayerPatternName(pattern),
                debayerMethodName(method), result.width(), result.height());
    return 0;
}

Registrar reg{{"debayer", "debayer EINGABE AUSGABE.fts [--pattern P] [--method M]",
               "Rohes Farbmosaik (Bayer-Matrix) einer Farbkamera in ein RGB-Bild umrechnen",
               "  --pattern auto|RGGB|BGGR|GRBG|GBRG\n"
               "                      Farbmuster; auto (Vorgabe) liest BAYERPAT, verschoben um\n"
               "                      XBAYROFF/YBAYROFF und gespiegelt bei ROWORDER = BOTTOM-UP\n"
               "  --method bilinear|vng|superpixel\n"
               "                      bilinear: Mittel der nächsten Nachbarn; vng (Vorgabe):\n"
               "                      Mittel nur entlang glatter Richtungen (kantenerhaltend);\n"
               "                      superpixel: je 2 x 2 Pixel ein Bildpunkt, halbe Größe\n"
               "Die Eingabe muss eine Ebene haben. Ausgabe: RGB-FITS ohne die Bayer-Karten.",
               runDebayer}};

} // namespace
} // namespace quillon::cli
