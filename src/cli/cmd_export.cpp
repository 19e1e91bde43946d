// quillon-cli export: write an image file as BMP, JPEG, PNG or TIFF as a view shows it.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "core/error.h"
#include "display/export_view.h"
#include "display/histogram.h"
#include "display/renderer.h"
#include "formats/open.h"
#include "formats/raster_export.h"

#include <optional>

namespace quillon::cli {
namespace {

int runExport(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {"preset"});
    std::optional<int> preset;
    if (a.has("preset")) preset = a.integer("preset", 0, -1, 6);
    a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet");
    const std::vector<std::string>& files = a.positional;
    // The target's extension is checked first, so nothing is read for a name that cannot be
    // written.
    try {
        exportEncoderFor(files[1]);
    } catch (const Error& e) {
        if (std::string(e.what()) == rasterExport::kUnknownExtension) throw;
        throw Error(exportFailureMessage(e.what()));
    }
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(files[0], image, progress);
    ImageRenderer renderer(image);
    initFromImage(renderer);
    if (preset) {
        if (applyAutoScale(renderer, *preset, progress) != 0) throw Error(msg::kOutOfMemory);
        renderer.rebuildLut();
    }
    exportView(renderer, files[1]);
    return 0;
}

Registrar reg{{"export", "export EINGABE AUSGABE.{bmp,jpg,png,tif} [--preset N]",
               "Bild als BMP, JPEG, PNG oder TIFF exportieren, wie eine Ansicht es zeigt",
               "Die Endung der Ausgabedatei wählt das Format (bmp, dib, rle, jpg, jpeg, jif, png, "
               "tif).\nDargestellt wird mit den im Bild gespeicherten Darstellungswerten, mit\n"
               "--preset N (-1..6) mit der automatischen Skalierung. Graubilder werden als BMP\n"
               "und TIFF mit 8 Bit Grau geschrieben. Die Eingabe darf jedes lesbare Format haben\n"
               "(FITS, SBIG, OES-ast, Rastergrafik, Kamera-RAW).",
               runExport}};

} // namespace
} // namespace quillon::cli
