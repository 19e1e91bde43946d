// The raster codec layer: recognition of a file's format by its content and the decoders and
// encoders of the individual formats. Every function throws Error with the codec's own text;
// decodeFile/decodeMemory wrap it as "Decoder error: %s\n".
#pragma once

#include "core/picture.h"
#include "formats/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon {

struct FileFormat;

// The format row of a file by its name (".WMF"/".EMF" anywhere in the upper-cased name) and
// then by its first bytes, the format table's probes in their fixed order; null when none
// answers. `name` may be empty.
const FileFormat* detectRasterFormat(const std::string& name, const std::uint8_t* data,
                                     std::size_t size);

// The format a file's first bytes show (detectRasterFormat without a name); null also when the
// file cannot be read.
const FileFormat* detectRasterFileContent(const std::string& path);

// Whether the file's name takes part in the recognition (the metafile test) or only its bytes.
enum class Recognition { NameAndContent, ContentOnly };

// Reads a file (message "Opening %s failed" when impossible), recognises and decodes it.
void decodeFile(const std::string& path, Bitmap& out,
                Recognition how = Recognition::NameAndContent);
// The same for a memory block; `name` only serves the metafile test.
void decodeMemory(const std::uint8_t* data, std::size_t size, Bitmap& out,
                  const std::string& name = {});

// The decoders of the codec layer (data is the whole file).
void decodeBmp(const std::uint8_t* data, std::size_t size, Bitmap& out);
void decodeTga(const std::uint8_t* data, std::size_t size, Bitmap& out);
void decodePcx(const std::uint8_t* data, std::size_t size, Bitmap& out);
void decodePgm(const std::uint8_t* data, std::size_t size, Bitmap& out);
void decodePict(const std::uint8_t* data, std::size_t size, Bitmap& out);
void decodeJpeg(const std::uint8_t* data, std::size_t size, Bitmap& out);
void decodePng(const std::uint8_t* data, std::size_t size, Bitmap& out);
void decodeTiff(const std::uint8_t* data, std::size_t size, Bitmap& out);
// EPS: the TIFF preview whose offset and length stand at bytes 20 and 24.
void decodeEpsTiff(const std::uint8_t* data, std::size_t size, Bitmap& out);
void decodeWmf(const std::uint8_t* data, std::size_t size, Bitmap& out);

// Encoders: write an 8-bit (palette) or 32-bit bitmap to a file through a temporary file.
void encodeBmp(const Picture& picture, const std::string& path);
void encodeJpeg(const Picture& picture, const std::string& path, int quality = 90);
void encodePng(const Picture& picture, const std::string& path);
void encodeTiff(const Picture& picture, const std::string& path);

} // namespace quillon
