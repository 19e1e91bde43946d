// quillon-cli info: describe an image file.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "core/describe.h"
#include "formats/fits_reader.h"
#include "formats/open.h"

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
    if (fileKindForPath(files[0]) == FileKind::Fits)
        if (const std::string c = fitsCompression(files[0]); !c.empty())
            std::printf("Kompression: %s\n", c.c_str());
    return 0;
}

Registrar reg{{"info", "info DATEI",
               "Typ, Größe, Ebenen, Metadaten, Kommentare und Darstellung einer Bilddatei zeigen",
               "", runInfo}};

} // namespace
} // namespace quillon::cli
