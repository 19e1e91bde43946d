// Whole-file gzip around a FITS file (".fits.gz" and any other gzip stream holding FITS).
#pragma once

#include "core/memory.h"
#include "formats/byte_source.h"

#include <cstdint>

namespace quillon::fits {

// True when the source begins with the gzip signature.
bool isGzip(const ByteSource& src);

// True when `head` (the first bytes of a file, n of them) starts a FITS primary header, plain
// or as the start of a gzip stream: the content test for FITS files under any name.
bool isFitsHead(const std::uint8_t* head, std::size_t n);

// The decompressed bytes the FITS reader needs: the primary header and data, or, behind an
// empty primary header, every HDU up to and including the image the reader picks. Inflating
// stops there, so a stream that expands without end costs no more than the headers claim; the
// claims themselves are bounded by the largest image the program holds and by the memory
// budget. A damaged stream throws "Unbekanntes oder Falsches Dateiformat !".
memory::Buffer<std::uint8_t> inflateFits(const ByteSource& src, std::size_t& size);

} // namespace quillon::fits
