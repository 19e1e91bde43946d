// quillon-cli sky: the sky position of pixel positions through the image's world coordinates.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "core/error.h"
#include "core/wcs.h"
#include "formats/open.h"

#include <cstdio>

namespace quillon::cli {
namespace {

int runSky(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {});
    if (a.positional.size() < 3 || a.positional.size() % 2 == 0)
        throw UsageError{"DATEI und Paare X Y erwartet"};
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(a.positional[0], image, progress);
    if (!image.info().wcs.present) throw Error("Das Bild hat keine Weltkoordinaten.");
    const SkyMapping sky(image.info().wcs);
    for (std::size_t i = 1; i + 1 < a.positional.size(); i += 2) {
        const double x = parseDouble(a.positional[i], "X", -1e6, 1e6);
        const double y = parseDouble(a.positional[i + 1], "Y", -1e6, 1e6);
        double ra = 0, dec = 0;
        if (!sky.pixelToSky(x, y, ra, dec)) {
            std::printf("%.4f %.4f außerhalb der Projektion\n", x, y);
            continue;
        }
        std::printf("%.4f %.4f %.10f %.10f %s %s\n", x, y, ra, dec, formatRa(ra).c_str(),
                    formatDec(dec).c_str());
    }
    return 0;
}

Registrar reg{{"sky", "sky DATEI X Y [X Y ...]",
               "Himmelskoordinaten (RA/Dek, Grad und sexagesimal) an Pixelpositionen zeigen",
               "X und Y sind Pixelpositionen des Bildes: (0, 0) ist die Mitte des ersten\n"
               "Pixels der ersten Zeile.",
               runSky}};

} // namespace
} // namespace quillon::cli
