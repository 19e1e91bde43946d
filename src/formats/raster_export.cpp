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

void renderForExport(const ExportPicture& picture, ExportEncoder encoder, Bitmap& out) {
    if (!picture.renderRow || picture.width <= 0 || picture.height <= 0)
        throw Error(msg::unexpected(61));
    const bool grey =
        picture.greyDisplay && (encoder == ExportEncoder::Tiff || encoder == ExportEncoder::Bmp);
    out.create(picture.width, picture.height, grey ? 8 : 32);
    if (!grey) {
        for (int y = 0; y < picture.height; ++y) picture.renderRow(y, out.row(y));
        return;
    }
    out.setGreyPalette();
    std::vector<std::uint8_t> row(static_cast<std::size_t>(picture.width) * 4);
    for (int y = 0; y < picture.height; ++y) {
        picture.renderRow(y, row.data());
        std::uint8_t* dst = out.row(y);
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* p = &row[4 * static_cast<std::size_t>(x)];
            dst[x] = static_cast<std::uint8_t>((30 * p[2] + 59 * p[1] + 11 * p[0] + 50) / 100);
        }
    }
}

void encodeBitmap(const Bitmap& bmp, ExportEncoder encoder, const std::string& path) {
    switch (encoder) {
    case ExportEncoder::Bmp: encodeBmp(bmp, path); break;
    case ExportEncoder::Jpeg: encodeJpeg(bmp, path); break;
    case ExportEncoder::Png: encodePng(bmp, path); break;
    case ExportEncoder::Tiff: encodeTiff(bmp, path); break;
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

void exportPicture(const ExportPicture& picture, const std::string& path) {
    const ExportEncoder encoder = encoderForExport(path);
    try {
        Bitmap bmp;
        renderForExport(picture, encoder, bmp);
        encodeBitmap(bmp, encoder, path);
    } catch (const Error& e) {
        throw Error(exportFailureMessage(e.what()));
    } catch (const std::bad_alloc&) {
        throw Error(exportFailureMessage(kBitmapOutOfMemory));
    }
}

} // namespace quillon
