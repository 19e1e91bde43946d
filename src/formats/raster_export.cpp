// Export: encoder selection by extension, the grey rule and the export's messages.
#include "formats/raster_export.h"

#include "core/error.h"
#include "formats/codecs.h"

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
    if (ext == "jpg" || ext == "jpeg" || ext == "jif") return ExportEncoder::Jpeg;
    if (ext == "tif") return ExportEncoder::Tiff;
    if (ext == "png") return ExportEncoder::Png;
    if (ext == "bmp" || ext == "dib" || ext == "rle") return ExportEncoder::Bmp;
    for (const char* e : {"pct", "eps", "pcx", "tga", "wmf", "emf", "pgm", "gif", "ast"})
        if (ext == e) throw Error(rasterExport::kRefused);
    throw Error(rasterExport::kUnknownExtension);
}

std::string exportFailureMessage(const std::string& text) {
    return "Error saving the file: " + text;
}

bool exportKeepsGrey(ExportEncoder encoder) {
    return encoder == ExportEncoder::Tiff || encoder == ExportEncoder::Bmp;
}

void encodePicture(const Picture& picture, ExportEncoder encoder, const std::string& path) {
    switch (encoder) {
    case ExportEncoder::Bmp: encodeBmp(picture, path); break;
    case ExportEncoder::Jpeg: encodeJpeg(picture, path); break;
    case ExportEncoder::Png: encodePng(picture, path); break;
    case ExportEncoder::Tiff: encodeTiff(picture, path); break;
    }
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
