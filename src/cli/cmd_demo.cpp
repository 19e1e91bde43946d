// quillon-cli demo: write the bundled sample image (a synthetic RGB star field) as FITS.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "formats/demo_image.h"
#include "formats/fits_writer.h"

#include <cstdio>

namespace quillon::cli {
namespace {

int runDemo(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {});
    a.expectPositional(1, "genau eine Ausgabedatei erwartet");
    const std::vector<std::string>& files = a.positional;
    checkFitsSaveName(files[0]);
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    makeDemoImage(image);
    saveFits(image, files[0], progress);
    std::printf("Beispielbild geschrieben: %s (%d x %d, RGB)\n", files[0].c_str(), image.width(),
                image.height());
    return 0;
}

Registrar reg{{"demo", "demo AUSGABE.fts",
               "das Beispielbild (synthetisches RGB-Sternfeld mit Nebel) als FITS schreiben", "",
               runDemo}};

} // namespace
} // namespace quillon::cli
