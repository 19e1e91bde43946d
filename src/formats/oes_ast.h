// Reader for OES-ast camera files: a 512-byte little-endian header and grey pixel rows.
#pragma once

#include "core/image.h"
#include "core/progress.h"
#include "formats/byte_source.h"

#include <string>

namespace quillon {

namespace oes {
inline constexpr const char* kOpenFailed = "Datei konnte nicht geöffnet werden!";
inline constexpr const char* kBadBytes = "Dieses OES-Datenformat wird nicht unterstützt!";
inline constexpr const char* kBadFormat = "Dieses OES-Datenformat wird leider nicht unterstützt!";
// A header or pixel block cut short (the file is damaged or incomplete).
inline constexpr const char* kTruncated = "OES-Datei fehlerhaft oder unvollständig!";
} // namespace oes

// The packed date of the header (day + month × 32 + year × 512) as "dd/mm/yy".
std::string oesDateText(double packed);
// Seconds since midnight as "hh:mm:ss".
std::string oesTimeText(double seconds);

// A pixel size as stored in the site block, converted to micrometres: the stored unit is
// recognised by the magnitude (metres, millimetres, micrometres or nanometres), so that the
// result lies between 0.5 and 500 µm. Returns 0 for 0, negative, non-finite or implausible
// values (the size rules by image dimensions then apply).
float oesPixelSizeMicrometres(float stored);

// The default pixel size by image dimensions, when the file holds none.
void oesDefaultPixelSize(int width, int height, float& pw, float& ph);

void readOesAst(const std::string& path, Image& image, Progress& progress);
void readOesAst(ByteSource& src, const std::string& path, Image& image, Progress& progress);

} // namespace quillon
