// Export of a rendered picture as BMP, JPEG, PNG or TIFF: the encoder chosen by the file's
// extension, the 8-bit grey rule for TIFF and BMP, and the export messages.
#pragma once

#include "formats/bitmap.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

namespace rasterExport {
inline constexpr const char* kRefused =
    "In diesem Dateiformat können sie nicht speichern: Wählen Sie \"Speichern unter\"";
inline constexpr const char* kUnknownExtension =
    "Unbekannte Dateinamenerweiterung! Speichern abgebrochen.";
inline constexpr const char* kDialogFilter = "Windows Bitmap (*.bmp)|*.bmp|JPEG File (*.jpg)|*.jpg|"
                                             "PNG File (*.png)|*.png|TIFF File (*.tif)|*.tif|";
inline constexpr const char* kDefaultExtension = ".bmp";
} // namespace rasterExport

enum class ExportEncoder { Bmp, Jpeg, Png, Tiff };

// The encoder for a path by the text after its last "." (lowered). Throws Error with
// kRefused for the formats that can only be read, and with kUnknownExtension otherwise.
ExportEncoder exportEncoderFor(const std::string& path);

// "Error saving the file: %s" with the text of a raised error.
std::string exportFailureMessage(const std::string& text);

// exportEncoderFor for the export command: the unknown extension's message stands alone,
// every other refusal comes inside exportFailureMessage.
ExportEncoder encoderForExport(const std::string& path);

// What export needs of a rendered view (display/export_view.h renders it): the whole image rendered
// at scale 1 with the view's display parameters, one 32-bit (blue, green, red, alpha) row at a
// time, row 0 at the top.
struct ExportPicture {
    int width = 0;
    int height = 0;
    // A grey image shown in grey without a visible overlay.
    bool greyDisplay = false;
    std::function<void(int y, std::uint8_t* bgraRow)> renderRow;
};

// Renders the picture into the bitmap that the encoder takes: 8-bit grey (each value
// (30 × red + 59 × green + 11 × blue + 50) ÷ 100) for TIFF and BMP of a grey display,
// otherwise 32-bit.
void renderForExport(const ExportPicture& picture, ExportEncoder encoder, Bitmap& out);

// Writes a bitmap with the encoder (through a temporary file).
void encodeBitmap(const Bitmap& bmp, ExportEncoder encoder, const std::string& path);

// The whole export: encoder by extension, rendering, encoding. Every failure is thrown as
// Error(exportFailureMessage(text)), except the unknown extension, whose message stands alone.
// Nothing is written on failure.
void exportPicture(const ExportPicture& picture, const std::string& path);

} // namespace quillon
