// TEMPORARY: the view's link to the display engine. Until the library's ImageRenderer is
// merged this file holds a minimal stand-in (nearest-pixel sampling, linear black/white
// mapping); only this file and its .cpp change when the real renderer arrives.
#pragma once

#include "core/display_params.h"
#include "core/image.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace quillon::ui {

// 32-bit picture: 0x00RRGGBB per pixel, rows packed.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

class ViewRenderer {
public:
    explicit ViewRenderer(Image& image);

    void initFromImage();
    void copyFrom(const ViewRenderer& other);

    double zoom() const { return zoom_; }
    // Clamps to the limits of the image and returns the zoom in effect.
    double setZoom(double z);
    double minZoom() const;
    double maxZoom() const;
    static double zoomInStep(double a);
    static double zoomOutStep(double a);

    // Renders the rectangle [left, right) × [top, bottom) of the zoomed image (image pixel ×
    // zoom) into the picture. Returns 0 on success, else a failure code.
    int render(int left, int top, int right, int bottom, Picture& picture) const;

    // Composed values of the pixel at image position (x, y); false outside the image.
    bool composedAt(int x, int y, int rgb[3]) const;

    // Black/white point from a position; 1 when it yields no pixel of the image.
    int setBlackAtPoint(double x, double y);
    int setWhiteAtPoint(double x, double y);

    bool showOverlay() const { return params_.showOverlay; }
    void setShowOverlay(bool on) { params_.showOverlay = on; }
    const DisplayParams& params() const { return params_; }
    // Marks the rendered picture stale (after the samples changed).
    void invalidate() {}

private:
    Image* image_;
    DisplayParams params_;
    double zoom_ = 1.0;
};

// Zoom box text rule: lower-cased text beginning with "o" fits the window; otherwise the
// number at its start is a percentage (> 0 applies it; 0 or none restores the box text).
struct ZoomBoxCommand {
    enum Kind { Optimal, Percent, Restore } kind = Restore;
    double percent = 0;
};
ZoomBoxCommand parseZoomBoxText(std::string_view text);

} // namespace quillon::ui
