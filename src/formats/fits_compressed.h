// Tile-compressed FITS images: a binary table whose rows hold the compressed tiles of one
// image (ZIMAGE = T), as archives and fpack/astropy write them. Reading: Rice, GZIP_1, GZIP_2,
// PLIO_1, HCOMPRESS_1 and NOCOMPRESS, floats quantised with or without subtractive dither.
// Writing: Rice-compressed 16-bit images.
#pragma once

#include "core/display_params.h"
#include "core/image.h"
#include "core/memory.h"
#include "core/progress.h"
#include "formats/byte_source.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::fits {

// One column of the tile table.
struct TableColumn {
    bool present = false;
    std::size_t offset = 0; // byte offset within a row
    char type = 0;          // B, I, J, K, E, D (of the heap elements for P and Q)
    bool pointer = false;   // a P (32-bit) or Q (64-bit) heap descriptor
    bool wide = false;      // Q
};

// The cards of a compressed image's table header.
struct TileCompression {
    std::string method; // ZCMPTYPE
    long long bitpix = 0;
    std::vector<long long> axes;  // ZNAXISn
    std::vector<long long> tiles; // ZTILEn (defaults filled in)
    long long blockSize = 32, bytePix = 4, hcScale = 0, hcSmooth = 0;
    std::string quantize;
    long long dither0 = 1;
    bool hasScale = false, hasZero = false, hasBlank = false;
    double scale = 1.0, zero = 0.0;
    long long blank = 0;
    // table structure
    long long rowBytes = 0, rows = 0, pcount = 0, heap = -1;
    TableColumn data, gzipData, rawData, scaleColumn, zeroColumn, blankColumn;
};

// Reads the header blocks at `headerStart` (up to END) and fills `t`. True when they describe
// a compressed image (BINTABLE with ZIMAGE = T); the sizes are not checked yet.
bool scanCompressed(const ByteSource& src, std::uint64_t headerStart, TileCompression& t);

// Decodes the first `planes` planes of the image whose table begins at `dataStart` into an
// uncompressed data section: big-endian values of ZBITPIX (quantised floats restored as the
// FITS tools restore them, undefined values NaN). Every size, offset and length is checked
// against the table and the source first; a damaged file throws "Unbekanntes oder Falsches
// Dateiformat !".
memory::Buffer<std::uint8_t> decodeTiles(const ByteSource& src, std::uint64_t dataStart,
                                         const TileCompression& t, long long planes);

} // namespace quillon::fits

namespace quillon {

// Writes the image as a Rice-compressed FITS file (".fits.fz"): an empty primary header, then
// the table of compressed rows (one tile per image row) with the dialect's cards. Lossless;
// written through a temporary file like writeFits, with the same failure message.
void writeFitsCompressed(Image& image, const std::string& path, Progress& progress,
                         const DisplayParams* display = nullptr);

// True for names ending in ".fz" (any case): the compressed writer's files.
bool isCompressedFitsName(std::string_view path);

} // namespace quillon
