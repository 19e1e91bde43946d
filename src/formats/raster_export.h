// Export of a rendered picture with the encoders of the format table (BMP, JPEG, PNG, TIFF):
// the row chosen by the file's extension, which encoders keep 8-bit grey, the export dialog's
// filter and the export messages.
#pragma once

#include "core/picture.h"
#include "formats/format_table.h"

#include <string>

namespace quillon {

namespace rasterExport {
inline constexpr const char* kRefused =
    "In diesem Dateiformat können sie nicht speichern: Wählen Sie \"Speichern unter\"";
inline constexpr const char* kUnknownExtension =
    "Unbekannte Dateinamenerweiterung! Speichern abgebrochen.";
// The export dialog's filter, "text|pattern|" for every row that may be exported, in the
// table's order ("Windows Bitmap (*.bmp)|*.bmp|JPEG File (*.jpg)|*.jpg|...").
std::string dialogFilter();
inline constexpr const char* kDefaultExtension = ".bmp";
} // namespace rasterExport

// An encoder is the format row that writes it (never null).
using ExportEncoder = const FileFormat*;

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
