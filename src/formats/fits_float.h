// 32-bit float FITS: results that must keep their fractions and their range beyond the 16-bit
// samples (the mean or the sum of a composite, a master frame) in the same ADU scale, and
// reading such a frame back in that scale for calibration.
#pragma once

#include "core/image.h"
#include "core/progress.h"

#include <functional>
#include <string>
#include <vector>

namespace quillon {

// Writes a primary header (SIMPLE, BITPIX = -32, NAXIS 2 for one layer or 3, the axes, the
// `comments` as COMMENT cards, END) and the layers' rows, big-endian, the data padded with
// zeros to a multiple of 2880 bytes, through a temporary file renamed over the target only
// when everything was written. `row(layer, y, values)` fills the width values of one row.
// Throws "Fehler beim Speichern des Dokuments." on any write failure (a previous file stays)
// and std::invalid_argument for an empty size.
void writeFloatFits(const std::string& path, int width, int height, int layers,
                    const std::function<void(int layer, int y, float* values)>& row,
                    const std::vector<std::string>& comments = {},
                    Progress& progress = Progress::none());

// Reads a floating-point FITS frame (BITPIX -32 or -64, one or three planes, BZERO and BSCALE
// applied) in its own ADU scale, each value rounded to the nearest sample (NaN as 0), instead
// of stretching its range over the samples as the general reader does: a dark or flat master
// keeps its levels. False, with `image` untouched, when the file is not such a frame or a
// value lies outside the sample range; the caller then reads it as usual. Throws Error when
// the file cannot be read.
bool readFloatFrame(const std::string& path, Image& image);

} // namespace quillon
