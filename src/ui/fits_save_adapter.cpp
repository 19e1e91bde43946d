// TEMPORARY stand-in for the FITS writer (see the header).
#include "ui/fits_save_adapter.h"

#include "core/error.h"

#include <cctype>

namespace quillon::ui {

bool isFitsSaveName(const std::string& path) {
    auto dot = path.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "fts" || ext == "fits" || ext == "fit";
}

void writeFitsFile(const std::string&, const Image&, const DisplayParams*, Progress&) {
    throw Error("Das FITS-Format kann in dieser Version noch nicht geschrieben werden.");
}

} // namespace quillon::ui
