// Export: encoder selection by extension over the format table, the grey rule and the export's
// messages.
#include "formats/raster_export.h"

#include "core/error.h"

#include <algorithm>
#include <cctype>
#include <new>

namespace quillon {

ExportEncoder exportEncoderFor(const std::string& path) {
    auto dot = path.find_last_of('.');
    auto slash = path.find_last_of('/');
    std::string ext;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        ext = path.substr(dot + 1);
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string ending = "." + ext;
    for (const FileFormat& f : fileFormats()) {
        bool found = false;
        forEachEnding(f.exportEndings, [&](std::string_view e) { found = found || e == ending; });
        if (!found) continue;
        if (f.exportRule == ExportRule::Export) return &f;
        if (f.exportRule == ExportRule::ReadOnly) throw Error(rasterExport::kRefused);
    }
    throw Error(rasterExport::kUnknownExtension);
}

std::string rasterExport::dialogFilter() {
    std::string out;
    for (const FileFormat& f : fileFormats()) {
        if (f.exportRule != ExportRule::Export) continue;
        const std::string_view endings = f.exportEndings;
        out += std::string(f.exportText) + "|*" +
               std::string(endings.substr(0, endings.find(' '))) + "|";
    }
    return out;
}

std::string exportFailureMessage(const std::string& text) {
    return "Error saving the file: " + text;
}

bool exportKeepsGrey(ExportEncoder encoder) {
    return encoder->exportKeepsGrey;
}

void encodePicture(const Picture& picture, ExportEncoder encoder, const std::string& path) {
    encoder->encode(picture, path);
}

ExportEncoder encoderForExport(const std::string& path) {
    try {
        return exportEncoderFor(path);
    } catch (const Error& e) {
        if (std::string(e.what()) == rasterExport::kUnknownExtension) throw;
        throw Error(exportFailureMessage(e.what()));
    }
}

void exportPicture(const Picture& picture, const std::string& path) {
    const ExportEncoder encoder = encoderForExport(path);
    try {
        if (picture.empty()) throw Error(msg::unexpected(61));
        encodePicture(picture, encoder, path);
    } catch (const Error& e) {
        throw Error(exportFailureMessage(e.what()));
    } catch (const std::bad_alloc&) {
        throw Error(exportFailureMessage(kBitmapOutOfMemory));
    }
}

} // namespace quillon
