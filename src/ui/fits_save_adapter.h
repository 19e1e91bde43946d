// TEMPORARY: the document's link to the FITS writer and the save-name check, until the
// library's FITS writer is merged; only this file and its .cpp change then.
#pragma once

#include "core/display_params.h"
#include "core/image.h"
#include "core/progress.h"

#include <string>

namespace quillon::ui {

// True when the text after the last "." of the path, lower-cased, is fts, fits or fit.
bool isFitsSaveName(const std::string& path);

// Writes the image with the given display parameters (those of the active view, or none).
// Throws Error on failure; the target is left as it was.
void writeFitsFile(const std::string& path, const Image& image, const DisplayParams* display,
                   Progress& progress);

} // namespace quillon::ui
