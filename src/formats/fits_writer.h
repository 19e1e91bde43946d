// FITS writer: the program's own file format, one primary header with the dialect's cards
// followed by the 16-bit planes.
#pragma once

#include "core/display_params.h"
#include "core/image.h"
#include "core/progress.h"

#include <functional>
#include <string>
#include <string_view>

namespace quillon {

// True when the text after the last "." of the path, lower-cased, is "fts", "fits" or "fit".
bool isFitsSaveName(std::string_view path);

// Saving refuses other names with the message that points to the export.
void checkFitsSaveName(std::string_view path);

// The display values an image keeps, in the form the writer stores them when no view is
// given. Groups the image has none of are 0, which the reader takes as "none stored".
DisplayParams displayFromStored(const Image& image);

// The header: every card of the dialect in its order, then END, padded with blank cards to
// a multiple of 2880 bytes. Throws "Unerwarteter Fehler: Code 00051" without samples.
std::string fitsHeader(const Image& image, const DisplayParams& display);

// Writes header and planes (big-endian, the data padded with zeros to a multiple of 2880
// bytes) through a temporary file renamed over the target only when everything was written,
// then records the absolute path as the image's source path. `display` are the active view's
// values; without one the values stored in the image are written. Every failure leaves a
// previous file intact and throws "Fehler beim Speichern des Dokuments.".
void writeFits(Image& image, const std::string& path, Progress& progress,
               const DisplayParams* display = nullptr);

// Runs `write` (which begins `progress` and writes through an AtomicFile), ends the progress
// however it leaves and turns out of memory into "Fehler beim Speichern des Dokuments.".
void writeFileEndingProgress(Progress& progress, const std::function<void()>& write);

// The frame of every writer of an image file: runs `write` (which begins `progress` and writes
// through an AtomicFile), ends the progress however it leaves, turns out of memory into
// "Fehler beim Speichern des Dokuments." and, after success, records the file's absolute path
// as the image's source path.
void saveImageFile(Image& image, const std::string& path, Progress& progress,
                   const std::function<void()>& write);

// Saving a document: checkFitsSaveName, then writeFits.
void saveFits(Image& image, const std::string& path, Progress& progress,
              const DisplayParams* display = nullptr);

} // namespace quillon
