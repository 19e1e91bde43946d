// Raster import: a decoded bitmap becomes a grey or RGB Image with the import's metadata.
#pragma once

#include "core/image.h"
#include "core/progress.h"
#include "formats/bitmap.h"

#include <string>

namespace quillon {

namespace raster {
inline constexpr const char* kProgressTitle = "Bild öffnen";
inline constexpr const char* kSourceComment = " Quelle war ein \"nicht-Astro\"-Bildformat !!! ";
inline constexpr const char* kHalvedComment =
    " 16-Bit-Daten: Werte halbiert (mehr als 0,5 % der Werte > 32767)";
inline constexpr const char* kClippedComment = " 16-Bit-Daten: Werte > 32767 auf 32767 begrenzt";
} // namespace raster

// True when every pixel (32-bit) or palette entry (8-bit) has blue within 2 of green and red.
bool bitmapIsGrey(const Bitmap& bmp);

// Fills an empty Image from a bitmap (8-bit, 32-bit, or 16/48-bit with full precision).
void importBitmap(const Bitmap& bmp, Image& image, const std::string& path, Progress& progress);

// The registered reader for the raster extensions: decodeFile, then importBitmap.
void readRaster(const std::string& path, Image& image, Progress& progress);

} // namespace quillon
