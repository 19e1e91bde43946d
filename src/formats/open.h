// Opening image files: the reader is chosen by the end of the path, from the format table
// (formats/format_table.h) that the open dialog lists as well.
#pragma once

#include "core/image.h"
#include "core/progress.h"
#include "formats/format_table.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Removes trailing blanks, as the open step does before it looks at the extension.
std::string trimTrailingBlanks(std::string_view path);

// One entry of the open dialog, made from the format table's rows (a row without its own text
// adds its endings to the entry above): the filter text, the reader family, and the endings
// that choose it (blank-separated, with their dot). An entry without endings lists every file
// ("*.*") in the dialog and chooses nothing: unlisted endings go to the camera RAW import.
// `decodable` is false for a type whose files are taken only to be refused with a clear text
// (EMF, GIF): its entry stays in the dialog, but "Alle unterstützten Grafikformate" leaves it out.
struct OpenFileType {
    const char* description;
    FileKind kind;
    const char* endings;
    bool decodable = true;
};

// The entries in the open dialog's order; fileKindForPath tries the endings in this order.
std::span<const OpenFileType> openFileTypes();
// The endings of an entry (".fts", ".fit", ...).
std::vector<std::string> fileTypeEndings(const OpenFileType& type);
// The dialog's patterns of an entry, blank-separated: "*.fts *.fit *.fits", or "*.*".
std::string openFilterPatterns(const OpenFileType& type);
// The patterns of "Alle unterstützten Grafikformate": those of every decodable entry, in order.
std::string allSupportedPatterns();

// The reader for a path (after trailing blanks are removed), by its ending compared without
// regard to case; every ending not listed goes to the camera RAW import.
FileKind fileKindForPath(std::string_view path);

// Human-readable name of a kind ("FITS", "SBIG", ...).
const char* fileKindName(FileKind kind);

// The format row whose endings a path (trailing blanks removed) ends in, compared without
// regard to case, or null: every ending not listed goes to the camera RAW import.
const FileFormat* formatForPath(std::string_view path);

// The reader of the first row of a kind, or null while that format is not built in.
ReaderFn readerFor(FileKind kind);

// The reader of every unlisted ending: the camera RAW import. A file LibRaw does not take for a
// camera file but whose first bytes carry a raster signature (a TIFF or JPEG under an unusual
// ending) goes to the raster import instead, recognised by its content alone; its picture or
// its message is then the result.
void readCameraRawOrRaster(const std::string& path, Image& image, Progress& progress);
// The same for a memory block (fuzzing).
void readCameraRawOrRasterMemory(const std::uint8_t* data, std::size_t size, Image& image,
                                 Progress& progress);

// Opens a file into `image` (which must be empty), dispatching by extension.
// Throws Error with the reader's message; the Image is then empty.
void openImage(const std::string& path, Image& image, Progress& progress);

} // namespace quillon
