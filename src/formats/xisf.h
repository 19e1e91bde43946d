// XISF 1.0, monolithic files: an 8-byte signature, the length of an XML header, the header,
// then the attached data blocks it points to. The first image is read through the FITS
// reader's mapping to 16 bits (the samples become the planes of the matching BITPIX, the FITS
// keywords and known XISF properties its cards); writing stores 16-bit samples.
#pragma once

#include "core/display_params.h"
#include "core/image.h"
#include "core/progress.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr const char* kXisfDamaged = "Die XISF-Datei ist beschädigt oder unvollständig !";
inline constexpr const char* kXisfUnsupported =
    "Diese XISF-Datei enthält kein unterstütztes Bild !";
inline constexpr const char* kXisfChecksum =
    "Die Prüfsumme der XISF-Datei stimmt nicht: die Daten sind beschädigt !";
inline constexpr const char* kXisfEntities =
    "Die XISF-Datei enthält Entity- oder DOCTYPE-Deklarationen; sie wird nicht gelesen !";

// Whether the bytes begin with the signature "XISF0100".
bool isXisfSignature(const std::uint8_t* data, std::size_t size);

// Reads the first image of an XISF file. Integer samples map to 16 bits as the FITS reader
// maps the BITPIX of the same values: UInt8 as BITPIX 8, UInt16 as unsigned 16-bit FITS data
// (the stored signed value, v - 32768), UInt32 as BITPIX 32 with BZERO 2^31 (the signed value
// then scaled per plane). Float32 and Float64 samples lie within the image's bounds (0:1
// unless given): t = (v - low) / (high - low) clamped to 0..1 (NaN 0) becomes
// t × 65535 - 32768 truncated, the formula of the FITS reader's scaling over those bounds
// (its power-of-two ranges would squeeze 0..1 into a few samples). Throws Error with the
// user's text; the Image is then empty.
void readXisf(const std::string& path, Image& image, Progress& progress);
void readXisfMemory(const std::uint8_t* data, std::size_t size, Image& image, Progress& progress,
                    std::string_view sourcePath = {});

// Writes the image as XISF: UInt16 samples (sample + 32768, so a file written here reads back
// identically), planar, uncompressed or zlib-compressed, with the program's FITS keywords; the
// planes after the colour channels (an overlay) are extra channels. Through a temporary file;
// failures throw "Fehler beim Speichern des Dokuments." with the reason.
void writeXisf(Image& image, const std::string& path, Progress& progress,
               const DisplayParams* display = nullptr, bool zlib = true);

// The compression of the first image's data block as `quillon-cli info` shows it ("zlib",
// "lz4hc, Byte-Shuffling je 2 Bytes"); empty for an uncompressed block or a file that is not
// XISF. Reads the header only.
std::string xisfCompression(const std::string& path);

// True for names ending in ".xisf" (any case).
bool isXisfName(std::string_view path);

namespace xisf {

// The parts of the header the reader uses: elements with their attributes and text, each
// knowing its parent (-1 for the root). The parser takes the five predefined entities and
// character references only and refuses DOCTYPE and entity declarations.
struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;
    int parent = -1;
    const std::string* attribute(std::string_view key) const;
};
std::vector<XmlElement> parseXml(std::string_view xml);

// Message digests of the data checksums.
std::array<std::uint8_t, 20> sha1(const std::uint8_t* data, std::size_t size);
std::array<std::uint8_t, 32> sha256(const std::uint8_t* data, std::size_t size);

} // namespace xisf

} // namespace quillon
