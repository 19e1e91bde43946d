// Stars in an image: the layer sum every star function reads, the one weighted centroid,
// locating a reference star from a rough position, and detecting the stars of a whole frame.
//
// Every colour layer takes part: a pixel's value is the sum of its samples over the colour
// layers (the overlay is ignored). Matching two star lists is star_match.h; following
// reference points along a series is reference_follow.h.
#pragma once

#include "core/memory.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

namespace quillon {

class Image;

inline constexpr int kMaxReferencePoints = 4;

// A position in pixel coordinates (integer values are pixel centres, y grows downwards).
// found is false when a search fell back to the clamped start position because its window was
// flat (or had nothing to weigh); given positions count as found. Two points are equal when
// their positions are.
struct ReferencePoint {
    float x = 0.0f;
    float y = 0.0f;
    bool found = true;
    bool operator==(const ReferencePoint& o) const { return x == o.x && y == o.y; }
};
using ReferenceSet = std::array<ReferencePoint, kMaxReferencePoints>;

// The positions a new exposure entry starts with for points 1 to 4: (3, 3), (8, 3), (3, 8),
// (8, 8).
ReferenceSet defaultReferenceSet();

// A rectangle of pixels, bounds included.
struct StarWindow {
    int left = 0, top = 0, right = -1, bottom = -1;
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

// The square of half-size `half` around (cx, cy), cut to a width × height image.
StarWindow windowAround(int cx, int cy, int half, int width, int height);

// The sum of each pixel's samples over the colour layers, for a window of the image or the
// whole of it (rows in parallel; the sums do not depend on the thread count). Throws
// std::bad_alloc when the sums (4 bytes a pixel) do not fit.
class LayerSum {
public:
    explicit LayerSum(const Image& image);
    LayerSum(const Image& image, const StarWindow& window);
    // The whole image in `storage` (kept when it has the size, else allocated anew); take()
    // gives it back for the next image.
    LayerSum(const Image& image, memory::Buffer<std::int32_t>&& storage);
    memory::Buffer<std::int32_t> take() && { return std::move(values_); }

    const StarWindow& window() const { return window_; }
    // Row y of the image (within the window), starting at column window().left.
    const std::int32_t* row(int y) const {
        return values_.data() + static_cast<std::size_t>(y - window_.top) *
                                    static_cast<std::size_t>(window_.width());
    }
    std::int32_t at(int x, int y) const { return row(y)[x - window_.left]; }

private:
    void fill(const Image& image);

    StarWindow window_;
    memory::Buffer<std::int32_t> values_;
};

// The weighted centre of a window of layer sums. Each pixel weighs weight(value) (a double),
// or weight(value, x, y) when the weight also depends on the pixel's position (a window
// function around an estimate);
// each entry of the row and column profiles is the mean weight of its row or column, and the
// centre is the profile-weighted mean column and row. A direction whose profile sums to 0 has
// no centre (hasX or hasY false). total is the plain sum of the weights, in reading order.
struct Centroid {
    double x = 0.0, y = 0.0;
    bool hasX = false, hasY = false;
    double total = 0.0;
};

template <class Weight>
Centroid centroid(const LayerSum& sums, const StarWindow& w, Weight&& weight) {
    const int cols = w.width(), rows = w.height();
    std::vector<double> rowProfile(static_cast<std::size_t>(rows), 0.0);
    std::vector<double> colProfile(static_cast<std::size_t>(cols), 0.0);
    Centroid c;
    for (int i = 0; i < rows; ++i) {
        const std::int32_t* v = sums.row(w.top + i) + (w.left - sums.window().left);
        for (int j = 0; j < cols; ++j) {
            double wt;
            if constexpr (std::is_invocable_v<Weight&, std::int32_t, int, int>)
                wt = weight(v[j], w.left + j, w.top + i);
            else
                wt = weight(v[j]);
            rowProfile[static_cast<std::size_t>(i)] += wt;
            colProfile[static_cast<std::size_t>(j)] += wt;
            c.total += wt;
        }
    }
    auto centre = [](std::vector<double>& profile, int count, int origin, double& at) {
        double moment = 0.0, total = 0.0;
        for (std::size_t i = 0; i < profile.size(); ++i) {
            profile[i] /= count;
            moment += static_cast<double>(i) * profile[i];
            total += profile[i];
        }
        if (total == 0.0) return false;
        at = origin + moment / total;
        return true;
    };
    c.hasY = centre(rowProfile, cols, w.top, c.y);
    c.hasX = centre(colProfile, rows, w.left, c.x);
    return c;
}

// ---- Reference stars ----

// Method codes in the order of the method chooser.
enum class ReferenceMethod : std::uint16_t {
    PositiveCentroid = 0, // "Pos. Schwerpunkt": centroid of a bright star
    NegativeCentroid = 1, // "Neg. Schwerpunkt": centroid of a dark feature
    Maximum = 2,          // "Maximum": pixel of the largest value
    Minimum = 3,          // "Minimum": pixel of the smallest value
    Position = 4,         // "Position": the given position, unchanged
};

inline constexpr int kReferenceMethodCount = 5;

// The chooser's name of a method ("Pos. Schwerpunkt", ...).
std::string_view referenceMethodName(ReferenceMethod method);
// The method of a chooser name; a name that matches none reads as the positive centroid.
ReferenceMethod referenceMethodFromName(std::string_view name);

// How one reference point is searched; shared by every exposure of a series.
struct ReferenceSearchSettings {
    ReferenceMethod method = ReferenceMethod::PositiveCentroid;
    int searchHalfSize = 12;  // "Such-Bereich:", window of 2h + 1 pixels
    int centroidHalfSize = 4; // "Swp-Bereich:"
};
using ReferenceSearchSet = std::array<ReferenceSearchSettings, kMaxReferencePoints>;

// Locates one reference star near (x, y). Half-sizes larger than half the image are lowered
// to it; negative ones count as 0 and the centroid half-size stays below 500. The centroid
// methods weigh each pixel of the window around the peak by ((v - m) / 4)³ (bright) or
// ((M - v) / 4)³ (dark), m and M the window's smallest and largest value. An image without
// samples gives (x, y) unchanged, not found.
ReferencePoint locateReference(const Image& image, ReferenceMethod method, float x, float y,
                               int searchHalfSize, int centroidHalfSize);
inline ReferencePoint locateReference(const Image& image, const ReferenceSearchSettings& s, float x,
                                      float y) {
    return locateReference(image, s.method, x, y, s.searchHalfSize, s.centroidHalfSize);
}

// The search half-size locateReference really uses on an image of this size.
int effectiveHalfSize(int halfSize, int width, int height);

// Locates points 0 .. count - 1 at their seeds with their own settings; the others stay.
ReferenceSet locateReferences(const Image& image, const ReferenceSearchSet& settings,
                              const ReferenceSet& seeds, int count);

// ---- Star detection ----

// A detected star. Integer positions are pixel centres, y grows downwards.
struct DetectedStar {
    double x = 0;
    double y = 0;
    double flux = 0; // summed excess over the background in the centroid window
    double peak = 0; // excess of the brightest pixel over the background
};

// Finds up to maxStars stars, brightest (by flux) first. The background and noise come from
// sigma-clipped medians of a coarse grid of cells (smoothed across cells, so that nebulosity
// and gradients stay background); a star is a local maximum at least 5 noise levels above the
// background whose neighbours share its light (single hot pixels and cosmic-ray hits are not
// stars); its position is the iterated background-subtracted centroid. An image without
// samples has no stars. Rows run in parallel; the result is the same for any thread count.
// Throws std::bad_alloc when the layer sums do not fit.
std::vector<DetectedStar> detectStars(const Image& image, int maxStars = 200);

} // namespace quillon
