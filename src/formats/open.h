// Opening image files: the reader is chosen by the end of the path.
#pragma once

#include "core/image.h"
#include "core/progress.h"

#include <string>
#include <string_view>

namespace quillon {

enum class FileKind { Fits, OesAst, Sbig, Raster, CameraRaw };

// Removes trailing blanks, as the open step does before it looks at the extension.
std::string trimTrailingBlanks(std::string_view path);

// The reader for a path (after trailing blanks are removed), by its ending compared without
// regard to case; every ending not listed goes to the camera RAW import.
FileKind fileKindForPath(std::string_view path);

// Human-readable name of a kind ("FITS", "SBIG", ...).
const char* fileKindName(FileKind kind);

// A reader fills an empty Image (Define, AllocateSamples, samples, metadata, stored display)
// or throws Error with the user's text. On failure the Image is left empty.
using ReaderFn = void (*)(const std::string& path, Image& image, Progress& progress);

// The reader registered for a kind, or null while that format is not built in.
ReaderFn readerFor(FileKind kind);

// Opens a file into `image` (which must be empty), dispatching by extension.
// Throws Error with the reader's message; the Image is then empty.
void openImage(const std::string& path, Image& image, Progress& progress);

} // namespace quillon
