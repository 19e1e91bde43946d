// Histogram of composed values: counting into the Image's cache, the window's value range
// arithmetic and its two pictures (bars, bars with the lookup curves).
#pragma once

#include "core/image.h"
#include "core/progress.h"
#include "display/renderer.h"

namespace quillon {

// Shown in the histogram window while the counts are computed.
inline constexpr const char* kHistogramBusyText = "Histogramm wird berechnet...";

// Whether the Image's counts can be used for this renderer: valid, and for LRGB and
// user-defined images (whose composition depends on the view) counted by this renderer.
bool histogramValidFor(const Image& image, const ImageRenderer& renderer);

// Counts the composed values of every pixel per channel into the Image's cache (counters
// stop at 65535), sets maxCount, records the renderer and marks its bar picture stale.
// Nothing happens when the cache is already valid for the renderer. Returns 0, or the
// nonzero result of Image::ResetHistogramCache when the counters cannot be allocated.
// Progress "Histogrammberechnung", one step per row; Cancelled propagates (cache invalid).
int computeHistogram(ImageRenderer& renderer, Progress& progress = Progress::none());

// The composed values vLow .. vHigh shown in column x of a drawing area `width` wide.
struct HistogramColumn {
    int low;
    int high;
};
HistogramColumn histogramColumn(const HistogramRange& range, int x, int width);

// Rows at the bottom of the pictures reserved for the colour band (grey images only).
int histogramBase(const Image& image);

// Fills the renderer's bar picture (width × height, 32-bit; row 0 of the bars is the bottom
// picture row). Does nothing when it is valid and has that size. Returns 1 (and draws
// nothing) when the histogram is not valid for the renderer, else 0.
int drawBars(ImageRenderer& renderer, int width, int height);
// Fills the curve picture: the bars plus the lookup curves of the switched-on channels and,
// for grey images, the colour band. Returns 1 when the bar picture is not valid, else 0.
int drawCurves(ImageRenderer& renderer);

// The "-" (wider) and "+" (narrower) buttons of the histogram window.
HistogramRange widenHistogramRange(const HistogramRange& r);
HistogramRange narrowHistogramRange(const HistogramRange& r);

// The window's scroll bar over the whole value range.
struct HistogramScroll {
    int minimum = 0;
    int maximum = 65535;
    int page = 0;
    int position = 0;
    int lineStep = 1;
    int pageStep = 0;
};
HistogramScroll histogramScroll(const HistogramRange& r);
// The range after the scroll bar moved to `position` (kept inside, width unchanged).
HistogramRange scrollHistogramRange(const HistogramRange& r, int position);

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

} // namespace quillon
