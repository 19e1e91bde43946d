// quillon-cli export: write an image file as BMP, JPEG, PNG or TIFF as a view shows it.
#include "analysis/histogram.h"
#include "cli/command.h"
#include "cli/progress_bar.h"
#include "core/error.h"
#include "display/export_view.h"
#include "display/renderer.h"
#include "formats/open.h"
#include "formats/raster_export.h"

#include <cstdlib>
#include <optional>

namespace quillon::cli {
namespace {

int runExport(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    std::optional<int> preset;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--preset") {
            if (i + 1 >= args.size()) throw UsageError{"--preset braucht einen Wert"};
            char* end = nullptr;
            long v = std::strtol(args[i + 1].c_str(), &end, 10);
            if (*end != '\0' || v < -1 || v > 6)
                throw UsageError{"--preset erwartet eine Zahl von -1 bis 6"};
            preset = static_cast<int>(v);
            ++i;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) throw UsageError{"Eingabe- und Ausgabedatei erwartet"};
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
        if (autoScale(renderer, *preset, progress) != 0) throw Error(msg::kOutOfMemory);
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
