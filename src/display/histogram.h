// Histogram of a view's composed values: counting into the image's shared cache, per-channel
// statistics and the automatic presets that pick black and white points from the counts. The
// histogram window's model and pictures are display/histogram_view.h.
#pragma once

#include "core/image.h"
#include "core/progress.h"
#include "display/histogram_cache.h"
#include "display/histogram_view.h"
#include "display/renderer.h"

namespace quillon {

// Shown in the histogram window while the counts are computed.
inline constexpr const char* kHistogramBusyText = "Histogramm wird berechnet...";

// Counts the composed values of every pixel per channel into the renderer's histogram cache
// (counters stop at 65535), sets maxCount, records the renderer, the sample generation and a
// new generation number. Nothing happens when the cache is already valid for the renderer.
// Returns 0, or the nonzero result of HistogramCache::reset when the counters cannot be
// allocated.
// Progress "Histogrammberechnung", one step per row; Cancelled propagates (cache invalid).
int computeHistogram(ImageRenderer& renderer, Progress& progress = Progress::none());

// Summary of one channel of the cache (for reports). Saturated counters count 65535.
struct ChannelStatistics {
    long long count = 0; // sum of the counters
    int minimum = 0;
    int maximum = 0;
    double mean = 0;
    int median = 0;
    int mode = 0;            // value with the largest counter (the lowest such)
    int saturatedValues = 0; // counters that stopped at 65535
};
ChannelStatistics histogramStatistics(const HistogramCache& cache, int channel);

// Black and white points per display channel.
struct ScalePoints {
    Points black{};
    Points white{};
};
// The points of automatic preset -1..6 from the histogram of composed values (counted first
// when needed), balanced to the renderer's weights when it keeps their ratio. Returns 1
// (`points` unchanged) when the histogram cannot be computed, 2 for a preset outside the
// list, else 0. The renderer's points stay as they are.
int autoScale(ImageRenderer& renderer, int preset, ScalePoints& points,
              Progress& progress = Progress::none());
// autoScale's points set into the renderer (only on result 0); the caller rebuilds the
// tables. Returns the autoScale result.
int applyAutoScale(ImageRenderer& renderer, int preset, Progress& progress = Progress::none());
// An entry of the preset list: position 0 is "<auto-scaling...>" (preset -1); the tables are
// rebuilt on success. Returns the autoScale result.
int applyPresetEntry(ImageRenderer& r, int listPosition);
// ImageRenderer::initFromImage with autoScale's preset 6 for images without stored points.
void initFromImage(ImageRenderer& renderer);

} // namespace quillon
