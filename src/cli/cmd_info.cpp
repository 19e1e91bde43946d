// quillon-cli info: describe an image file.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "core/describe.h"
#include "formats/fits_reader.h"
#include "formats/open.h"
#include "formats/xisf.h"

#include <cstdio>

namespace quillon::cli {
namespace {

int runInfo(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {});
    a.expectPositional(1, "genau eine Datei erwartet");
    const std::vector<std::string>& files = a.positional;
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(files[0], image, progress);
    std::fputs(describeImage(image).c_str(), stdout);
    // FITS also under other names (recognised by content, as the camera RAW fallback does).
    const FileKind kind = fileKindForPath(files[0]);
    std::string c;
    if (kind == FileKind::Fits || kind == FileKind::CameraRaw) c = fitsCompression(files[0]);
    if (c.empty() && (kind == FileKind::Xisf || kind == FileKind::CameraRaw))
        c = xisfCompression(files[0]);
    if (!c.empty()) std::printf("Kompression: %s\n", c.c_str());
    return 0;
}

Registrar reg{{"info", "info DATEI",
               "Typ, Größe, Ebenen, Metadaten, Kommentare und Darstellung einer Bilddatei zeigen",
               "", runInfo}};

} // namespace
} // namespace quillon::cli
