// Master frames: darks, flats or bias frames of one size and type combined pixel by pixel into
// one image, in strips so that memory stays bounded however many frames there are.
#pragma once

#include "core/image.h"
#include "core/operation.h"
#include "core/progress.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace quillon {

enum class MasterMethod {
    Mean,   // mean of all values, rounded half away from zero
    Median, // middle value; for an even count the rounded mean of the two middle values
    Reject, // combineSamples with averaging and rejectionThreshold(n): the composite's rule
};

// The method's word on the command line and in the image's comment ("mean", ...).
const char* masterMethodName(MasterMethod method);

struct MasterOptions {
    MasterMethod method = MasterMethod::Reject;
    // Bytes of strip buffers: every frame's rows of one strip are held together. At least one
    // row per frame is always taken, however small the budget.
    std::size_t stripBytes = std::size_t{64} << 20;
    // Folder of the temporary sample file; empty: the system's temporary folder.
    std::string spillFolder;
    // When given, receives the unrounded master in the frames' ADU scale, layer by layer and
    // row by row (layers × height × width floats): the exact mean, the median (the mean of the
    // two middle values for an even count) or the mean of the values the rejection kept.
    std::vector<float>* exact = nullptr;
};

// The operation record of the master frame: the method as the option "--method
// mean|median|reject" (default reject), in the order of MasterMethod; not stored in the settings.
struct MasterParams {
    int method = static_cast<int>(MasterMethod::Reject);
};
std::span<const ParamField<MasterParams>> masterFields();
// The options for buildMaster with the default strip budget and temporary folder.
MasterOptions masterOptions(const MasterParams& p);

// Combines the colour layers of `files` (at least one, all of the first file's size, type and
// layer count) into `result`, which must be empty. The result keeps the first file's metadata
// and display values, gets no overlay (overlays are not combined) and one comment line naming
// the frame count and method.
//
// Memory: each file is opened once, its samples go to an unlinked temporary file, and only
// then is the next one opened; the combination reads that file back in strips. At most two
// whole frames (the one being read and the first, which becomes the result) plus
// `stripBytes` of strips are held.
//
// Throws Error naming the file for one that cannot be read or does not match the first, or
// when the temporary file cannot be written; Cancelled through `progress`. On any exception
// `result` is empty and the temporary file is gone.
void buildMaster(const std::vector<std::string>& files, const MasterOptions& options, Image& result,
                 Progress& progress = Progress::none());

} // namespace quillon
