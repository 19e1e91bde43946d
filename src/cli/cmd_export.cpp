// quillon-cli export: write an image file as BMP, JPEG, PNG or TIFF as a view would show it.
#include "cli/command.h"
#include "cli/progress_bar.h"
#include "core/error.h"
#include "formats/open.h"
#include "formats/raster_export.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace quillon::cli {
namespace {

// The picture of a view with the image's stored display points: each colour layer mapped
// linearly from its black to its white point (without stored points: from the smallest to the
// largest sample). A grey image is shown in grey; RGB-like types show their first three layers.
ExportPicture storedPointsPicture(const Image& image) {
    ExportPicture p;
    p.width = image.width();
    p.height = image.height();
    const bool grey = image.layerCount() == 1;
    p.greyDisplay = grey;
    const int channels = grey ? 1 : std::min(3, image.layerCount());
    std::array<int, 3> lo{0, 0, 0}, hi{255, 255, 255};
    const auto& d = image.storedDisplay();
    for (int c = 0; c < channels; ++c) {
        if (d.hasPoints && d.whitePoint[c] > d.blackPoint[c]) {
            lo[c] = d.blackPoint[c];
            hi[c] = d.whitePoint[c];
            continue;
        }
        int mn = 32767, mx = -32768;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                int v = image.row(c, y)[x];
                mn = std::min(mn, v), mx = std::max(mx, v);
            }
        lo[c] = mn;
        hi[c] = mx > mn ? mx : mn + 1;
    }
    p.renderRow = [&image, grey, channels, lo, hi](int y, std::uint8_t* row) {
        for (int x = 0; x < image.width(); ++x) {
            std::uint8_t v[3];
            for (int c = 0; c < 3; ++c) {
                int layer = grey ? 0 : std::min(c, channels - 1);
                int ch = grey ? 0 : layer;
                long s = image.row(layer, y)[x];
                long t = (s - lo[ch]) * 255 / (hi[ch] - lo[ch]);
                v[c] = static_cast<std::uint8_t>(std::clamp(t, 0L, 255L));
            }
            row[4 * x] = v[2], row[4 * x + 1] = v[1], row[4 * x + 2] = v[0], row[4 * x + 3] = 255;
        }
    };
    return p;
}

int runExport(const std::vector<std::string>& args) {
    if (args.size() != 2) throw UsageError{"Eingabe- und Ausgabedatei erwartet"};
    // Check the target's extension first, so that nothing is read for a name that cannot
    // be written.
    try {
        exportEncoderFor(args[1]);
    } catch (const Error& e) {
        if (std::string(e.what()) == rasterExport::kUnknownExtension) throw;
        throw Error(exportFailureMessage(e.what()));
    }
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(args[0], image, progress);
    exportPicture(storedPointsPicture(image), args[1]);
    return 0;
}

Registrar reg{{"export", "export EINGABE AUSGABE.{bmp,jpg,png,tif}",
               "Bild als BMP, JPEG, PNG oder TIFF exportieren, wie es dargestellt wird",
               "Die Endung der Ausgabedatei wählt das Format (bmp, dib, rle, jpg, jpeg, jif, png, "
               "tif).\nGraubilder werden als BMP und TIFF mit 8 Bit Grau geschrieben.\n"
               "Die Eingabe darf jedes lesbare Format haben (FITS, SBIG, OES-ast, Rastergrafik,\n"
               "Kamera-RAW).",
               runExport}};

} // namespace
} // namespace quillon::cli
