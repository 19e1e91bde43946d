// What one view keeps beside its renderer: zoom and visible rectangle, the histogram
// window's model and the navigator's thumbnail, grouped so that a new view can take over
// another's state in one step.
#pragma once

#include "core/image.h"
#include "core/picture.h"
#include "display/histogram_view.h"
#include "display/renderer.h"
#include "display/zoom.h"

#include <cstdint>

namespace quillon {

// The navigator's picture of the whole image, cached while the renderer's display and the
// size stay the same.
class Thumbnail {
public:
    // Renders the whole image scaled to fit maxW × maxH. Returns the renderRect result.
    int render(const ImageRenderer& renderer, int maxW, int maxH);
    const Picture& picture() const { return picture_; }
    bool valid(const ImageRenderer& renderer) const {
        return valid_ && version_ == renderer.displayVersion();
    }
    // The image's samples changed.
    void invalidate() { valid_ = false; }

private:
    Picture picture_;
    bool valid_ = false;
    std::uint64_t version_ = 0;
};

// A view's display: its renderer and the per-view state next to it.
struct ViewDisplay {
    explicit ViewDisplay(Image& image) : renderer(image) {}

    ImageRenderer renderer;
    ViewState state;
    HistogramView histogram;
    Thumbnail thumbnail;

    // Clamps to the image's zoom limits; returns the zoom in effect.
    double setZoom(double z) {
        return state.setZoom(z, renderer.image().width(), renderer.image().height());
    }
    double zoom() const { return state.zoom; }
    // A new view of another: the renderer's parameters and tables, the histogram range and
    // switches, zoom (clamped to this image) and visible rectangle.
    void copyFrom(const ViewDisplay& other);
};

} // namespace quillon
