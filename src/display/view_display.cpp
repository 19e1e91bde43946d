// A view's display state: copying it to a new view, and the navigator's thumbnail.
#include "display/view_display.h"

#include <algorithm>

namespace quillon {

int Thumbnail::render(const ImageRenderer& renderer, int maxW, int maxH) {
    maxW = std::max(maxW, 1);
    maxH = std::max(maxH, 1);
    const int w = renderer.image().width(), h = renderer.image().height();
    if (w < 1 || h < 1) return RENDER_NO_HEADER;
    const double fx = static_cast<double>(maxW) / w, fy = static_cast<double>(maxH) / h;
    double f;
    int tw, th;
    if (fx <= fy) {
        f = fx;
        tw = maxW;
        th = std::max(1, truncToInt(h * f));
    } else {
        f = fy;
        th = maxH;
        tw = std::max(1, truncToInt(w * f));
    }
    if (valid(renderer) && picture_.width() == tw && picture_.height() == th) return RENDER_OK;
    RenderOptions o;
    o.zoomX = o.zoomY = f;
    int r = renderer.renderRect(0, 0, tw, th, &picture_, o);
    valid_ = r == RENDER_OK;
    version_ = renderer.displayVersion();
    return r;
}

void ViewDisplay::copyFrom(const ViewDisplay& other) {
    if (&other == this) return;
    renderer.copyFromRenderer(other.renderer);
    histogram.copyFrom(other.histogram);
    const Image& image = renderer.image();
    state.zoom = clampZoom(other.state.zoom, image.width(), image.height());
    state.previousZoom = state.zoom;
    state.visibleRect = other.state.visibleRect;
}

} // namespace quillon
