// The histogram window's model: the value range shown, the channel switches, the cached bar
// and curve pictures, the range buttons and the scroll bar arithmetic. The counts come from
// the image's HistogramCache (display/histogram.h counts them).
#pragma once

#include "core/display_params.h"
#include "core/image.h"
#include "core/picture.h"
#include "display/histogram_cache.h"
#include "display/renderer.h"

#include <array>
#include <cstdint>

namespace quillon {

// The range of composed values shown across the histogram window, lo < hi.
struct HistogramRange {
    int lo = 0;
    int hi = 255;
};

// The two cached pictures of the histogram window.
struct HistogramPictures {
    Picture bars;
    Picture curves;
    bool barsValid = false;
    bool curvesValid = false;
};

// What one view's histogram window shows.
class HistogramView {
public:
    HistogramRange range() const { return range_; }
    // Stores min(a, b) .. max(a, b) (equal values widened by one); invalidates the pictures.
    void setRange(int a, int b);
    // The "R", "G", "B" switches; a change invalidates both pictures.
    const std::array<bool, 3>& channels() const { return channels_; }
    void setChannels(bool r, bool g, bool b);
    // "Reset": every channel on, the range over the black and white points.
    void resetTo(const DisplayParams& p);
    // A new view of another: range and switches (the pictures are drawn again).
    void copyFrom(const HistogramView& other);

    HistogramPictures& pictures() { return pics_; }
    const HistogramPictures& pictures() const { return pics_; }

private:
    friend int drawBars(HistogramView& view, const ImageRenderer& renderer, int width, int height);
    friend int drawCurves(HistogramView& view, const ImageRenderer& renderer);

    HistogramRange range_;
    std::array<bool, 3> channels_{true, true, true};
    HistogramPictures pics_;
    std::uint64_t barsGeneration_ = 0; // the counting the bars were drawn from
    std::uint64_t curvesVersion_ = 0;  // the renderer's displayVersion of the curves
};

// Whether the image's counts can be used for this renderer: valid, taken from the current
// samples, and for LRGB and user-defined images (whose composition depends on the view)
// counted by this renderer.
bool histogramValidFor(const Image& image, const ImageRenderer& renderer);

// The composed values vLow .. vHigh shown in column x of a drawing area `width` wide.
struct HistogramColumn {
    int low;
    int high;
};
HistogramColumn histogramColumn(const HistogramRange& range, int x, int width);

// Rows at the bottom of the pictures reserved for the colour band (grey images only).
int histogramBase(const Image& image);

// Fills the bar picture (width × height, 32-bit; row 0 of the bars is the bottom picture
// row). Does nothing when it is current and has that size. Returns 1 (and draws nothing)
// when the histogram is not valid for the renderer, else 0.
int drawBars(HistogramView& view, const ImageRenderer& renderer, int width, int height);
// Fills the curve picture: the bars plus the lookup curves of the switched-on channels and,
// for grey images, the colour band. Returns 1 when the bar picture is not valid, else 0.
int drawCurves(HistogramView& view, const ImageRenderer& renderer);

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

} // namespace quillon
