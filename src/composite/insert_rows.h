// Vectorised pixel loop of insertExposure for the linear mappings (shift, rotation, affine).
#pragma once

#include "composite/accumulate.h"
#include "core/image.h"

#include <array>
#include <vector>

namespace quillon {

// A shift's columns, the same in every row: where the window starts, its Lagrange weights and
// whether the column's exposure position lies inside the exposure (-1) or not (0).
struct ShiftColumns {
    std::vector<int> inside, start;
    std::array<std::vector<float>, 4> weight;
};

// Fills the columns of a shift (kind 1) onto a result of the given width.
void prepareShiftColumns(ShiftColumns& columns, const ExposureMapping& map, int resultWidth,
                         int exposureWidth);

// One insertion's fixed data for the vector loop: the mapping, the exposure planes sampled and
// the result layers they feed, and how values are accumulated.
struct RowInsertJob {
    const ExposureMapping* map = nullptr;  // kind 1 .. 3
    const ShiftColumns* columns = nullptr; // a shift's columns (optional)
    int resultWidth = 0;
    int exposureWidth = 0, exposureHeight = 0; // at least 4 × 4, fewer than 2^31 samples
    bool sum = false;                          // add factor · value; else average it
    SampleSums* sums = nullptr;                // exact sums (InsertOptions::sums), or none
    bool clampValues = true;                   // limit interpolated values to the sample range
    bool fresh = false; // the rows hold 0 with count 0 (an overwrite): averaging just stores
    int layers = 0;
    std::array<const Sample*, kMaxUserLayers> source{}; // contiguous exposure planes
    std::array<int, kMaxUserLayers> target{};           // result layer fed by each
    std::array<float, kMaxUserLayers> factor{};
};

// Whether the vector loop can take an insertion with this exposure and mapping.
bool rowInsertApplies(const ExposureMapping& map, int exposureWidth, int exposureHeight);

// Accumulates result row y from column 0 on in whole vectors, with exactly the float operations
// of the per-pixel loop, and returns the first column it left to that loop. out[p] and
// counts[p] are row y of result layer p.
int insertRowVectors(const RowInsertJob& job, int y, Sample* const* out, Count* const* counts);

} // namespace quillon
