// The one table of file formats: one row per format with its open-dialog entry, endings, content
// probe, reader or decoder, encoder and export rule. Opening, recognition by content, decoding,
// export, the open and export dialogs and the fuzz driver all read it, so a new format is one
// row here plus its codec.
#pragma once

#include "core/image.h"
#include "core/picture.h"
#include "core/progress.h"
#include "formats/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quillon {

// The reader family a format's files go to (raster formats share the raster import).
enum class FileKind { Fits, OesAst, Sbig, Raster, CameraRaw, Xisf };

// What the content probe sees: the upper-cased file name (may be empty), the first 526 bytes
// (bytes past the end of a short file are 0) and the true size.
struct ProbeInput {
    std::string_view upperName;
    const std::uint8_t* head;
    std::size_t size;
};
inline constexpr std::size_t kProbeHeadSize = 526;

// A reader fills an empty Image (Define, AllocateSamples, samples, metadata, stored display)
// or throws Error with the user's text. On failure the Image is left empty.
using ReaderFn = void (*)(const std::string& path, Image& image, Progress& progress);
// The same from a memory block (fuzzing); throws Error like the reader.
using MemoryReaderFn = void (*)(const std::uint8_t* data, std::size_t size, Image& image,
                                Progress& progress);
using ProbeFn = bool (*)(const ProbeInput& in);
// A raster decoder: the whole file in memory to a bitmap; throws Error with the codec's text.
using DecodeFn = void (*)(const std::uint8_t* data, std::size_t size, Bitmap& out);
// A raster encoder: an 8-bit (palette) or 32-bit picture to a file through a temporary file.
using EncodeFn = void (*)(const Picture& picture, const std::string& path);

// How the export treats a format's export endings: not at all (they are unknown extensions),
// refused as read-only, or written with the row's encoder.
enum class ExportRule { Unknown, ReadOnly, Export };

struct FileFormat {
    // Short lower-case name: the fuzz targets, corpora and tests use it ("bmp", "fits").
    const char* name;
    // The open dialog's entry text; null lists the row's endings under the entry above.
    const char* openText;
    // The endings that choose the row when opening (blank-separated, with their dot); a row
    // without endings lists "*.*" and chooses nothing: unlisted endings go to the camera RAW
    // import.
    const char* endings;
    FileKind kind;
    // False for a type that is taken only to be refused with a clear text (EMF, GIF): its entry
    // stays in the dialog, but "Alle unterstützten Grafikformate" leaves it out.
    bool supported;
    ReaderFn read;
    // The reader on a memory block; null for raster rows, which decode and import instead.
    MemoryReaderFn readMemory;
    // Recognition by content: rows with a probe are tried in ascending probeRank (the first
    // that answers yes wins), so the order of tests is kept apart from the dialog's order.
    int probeRank;
    ProbeFn probe;
    DecodeFn decode;
    EncodeFn encode;
    // The export dialog's entry text (its pattern is the first export ending).
    const char* exportText;
    // The endings (blank-separated, with their dot) the export compares the text after a
    // path's last "." with, lowered.
    const char* exportEndings;
    ExportRule exportRule;
    // Whether the encoder takes the 8-bit grey picture of a grey display.
    bool exportKeepsGrey;
};

// Every row, in the open dialog's order; the endings are tried in this order.
std::span<const FileFormat> fileFormats();
// Whether the rows keep the table's rules (an exported row has an encoder and an export text,
// a probe has a rank, a row has either a decoder or a memory reader, the first row opens).
bool formatRowsAreSound();
// The row of a name, or null.
const FileFormat* findFormat(std::string_view name);
// The rows with a probe, in the order they are tried.
std::span<const FileFormat* const> probeOrder();

// Calls fn(ending) for each blank-separated ending of a list.
template <class Fn>
void forEachEnding(std::string_view list, Fn&& fn) {
    while (!list.empty()) {
        const std::size_t blank = list.find(' ');
        const std::string_view e = list.substr(0, blank);
        if (!e.empty()) fn(e);
        if (blank == std::string_view::npos) break;
        list.remove_prefix(blank + 1);
    }
}

// Reads a whole memory block with a row: its memory reader, or its decoder and the import.
void readFormatMemory(const FileFormat& format, const std::uint8_t* data, std::size_t size,
                      Image& image, Progress& progress);

} // namespace quillon
