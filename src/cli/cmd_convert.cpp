// quillon-cli convert: open any readable image file and save it as FITS.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "formats/fits_compressed.h"
#include "formats/fits_writer.h"
#include "formats/open.h"
#include "formats/xisf.h"

#include <cstdio>

namespace quillon::cli {
namespace {

int runConvert(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {});
    a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet");
    const std::vector<std::string>& files = a.positional;
    // A ".fz" name is written Rice-compressed; other names must be FITS names, checked before
    // the work of opening, as saving would refuse them anyway.
    const bool compressed = isCompressedFitsName(files[1]);
    const bool xisf = isXisfName(files[1]);
    if (!compressed && !xisf) checkFitsSaveName(files[1]);
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(files[0], image, progress);
    if (compressed)
        writeFitsCompressed(image, files[1], progress);
    else if (xisf)
        writeXisf(image, files[1], progress);
    else
        saveFits(image, files[1], progress);
    std::printf("%s -> %s (%d x %d, %d Ebene(n)%s)\n", files[0].c_str(), files[1].c_str(),
                image.width(), image.height(), image.layerCount(),
                image.hasOverlay() ? " + Overlay" : "");
    return 0;
}

Registrar reg{
    {"convert", "convert EINGABE AUSGABE.fts",
     "eine lesbare Bilddatei als FITS speichern (mit Metadaten und Darstellung)",
     "AUSGABE muss auf .fts, .fit oder .fits enden (.fits.fz: Rice-komprimiert; .xisf: XISF, "
     "zlib-komprimiert).",
     runConvert}};

} // namespace
} // namespace quillon::cli
