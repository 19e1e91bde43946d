// Export of a rendered picture as BMP, JPEG, PNG or TIFF: the encoder chosen by the file's
// extension, which encoders keep 8-bit grey, and the export messages.
#pragma once

#include "core/picture.h"

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

// Whether an encoder takes the 8-bit grey picture of a grey display: TIFF and BMP do, JPEG
// and PNG get the 32-bit picture (display/export_view.h renders accordingly).
bool exportKeepsGrey(ExportEncoder encoder);

// Writes a picture (8-bit grey or 32-bit) with the encoder, through a temporary file.
void encodePicture(const Picture& picture, ExportEncoder encoder, const std::string& path);

// The whole export of a rendered picture: encoder by extension, encoding. Every failure is
// thrown as Error(exportFailureMessage(text)) (an empty picture is "Unerwarteter Fehler: Code
// 00061"), except the unknown extension, whose message stands alone. Nothing is written on
// failure.
void exportPicture(const Picture& picture, const std::string& path);

} // namespace quillon
