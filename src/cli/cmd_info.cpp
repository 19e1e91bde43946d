// quillon-cli info: describe an image file.
#include "cli/command.h"
#include "cli/progress_bar.h"
#include "core/describe.h"
#include "formats/open.h"

#include <cstdio>

namespace quillon::cli {
namespace {

int runInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) throw UsageError{"genau eine Datei erwartet"};
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(args[0], image, progress);
    std::fputs(describeImage(image).c_str(), stdout);
    return 0;
}

Registrar reg{{"info", "info DATEI",
               "Typ, Größe, Ebenen, Metadaten, Kommentare und Darstellung einer Bilddatei zeigen",
               "", runInfo}};

} // namespace
} // namespace quillon::cli
