// The integer codecs of tile-compressed FITS images: Rice (decode and encode), IRAF's PLIO
// line lists and H-compress (decode). Every decoder checks each input byte against the end
// of its buffer and throws Error("Unbekanntes oder Falsches Dateiformat !") on damaged input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon::fits {

// Rice: `bytePix` 1, 2 or 4 is the width of the coded values (first value raw, then blocks
// of `blockSize` differences). Values come back as unsigned bytes (1), signed 16-bit (2) or
// signed 32-bit (4) integers.
void riceDecode(const std::uint8_t* in, std::size_t size, std::int32_t* out, std::size_t n,
                int blockSize, int bytePix);
// The same for bytePix 2, straight into big-endian 16-bit values.
void riceDecode16BigEndian(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                           std::size_t n, int blockSize);
// Encodes n signed 16-bit values (bytePix 2) and appends the code to `out`.
void riceEncode16(const std::int16_t* in, std::size_t n, int blockSize,
                  std::vector<std::uint8_t>& out);

// PLIO: a line list of big-endian 16-bit words into n values.
void plioDecode(const std::uint8_t* in, std::size_t size, std::int32_t* out, std::size_t n);

// H-compress: a tile of `rows` × `columns` values (columns varying fastest). A scale above 1
// (lossy) multiplies the coefficients back; smoothing is not applied.
void hcompressDecode(const std::uint8_t* in, std::size_t size, std::int64_t* out, long long rows,
                     long long columns);

} // namespace quillon::fits
