// FITS reader: loads the primary image (or, behind an empty primary header, the first IMAGE
// extension) with the program's own keywords into an Image.
#pragma once

#include "core/image.h"
#include "core/progress.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon {

// Reads a FITS file into an empty Image: samples, layer names, overlay, metadata, pixel size
// and the stored display values. Throws Error with the user's text; the Image is then empty.
//
// Decisions where the file format leaves room:
// - Planes: the Image gets the planes of its type (plus the overlay). When the file holds
//   more, the extra planes are not read; when it holds fewer, the missing planes are 0.
// - A file whose data are shorter than its header claims, or that holds no plane, is refused with
//   "Unbekanntes oder Falsches Dateiformat !" before anything is allocated.
// - Pixel size, weights and black/white points: the exact cards (PIXWIDTH, WEIGHTR, BLACKVR,
//   ...) win over the compatibility cards (PARAM02..05, 0001, 0002) whatever their order.
// - 32-bit and floating planes: the scaling is computed in double precision; a plane whose
//   counted values are all equal is scaled over [value, value + 1], a plane without any
//   counted value as if its range were 0..0. NaN gives the plane's lowest sample -32768,
//   +inf 32767 and -inf -32768.
void readFits(const std::string& path, Image& image, Progress& progress);

// The same from bytes in memory (fuzzing, clipboard, tests). `sourcePath` is recorded as the
// image's source path.
void readFitsMemory(const void* data, std::size_t size, Image& image, Progress& progress,
                    std::string_view sourcePath = {});

// How the image the reader picks from a FITS file is compressed, for describing the file:
// "gzip" for a gzipped file, the tile compression with its tile size ("RICE_1, Kacheln
// 4096 x 1"), or "" for an uncompressed file (and for anything unreadable).
std::string fitsCompression(const std::string& path);

} // namespace quillon
