// TEMPORARY stand-in for the library's ImageRenderer and zoom arithmetic (see the header).
#include "ui/view_render_adapter.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

namespace quillon::ui {

ViewRenderer::ViewRenderer(Image& image) : image_(&image) {}

void ViewRenderer::initFromImage() {
    const auto& s = image_->storedDisplay();
    params_ = DisplayParams{};
    if (s.hasPoints) {
        params_.blackPoint = s.blackPoint;
        params_.whitePoint = s.whitePoint;
    }
}

void ViewRenderer::copyFrom(const ViewRenderer& other) {
    params_ = other.params_;
    zoom_ = other.zoom_;
}

double ViewRenderer::minZoom() const {
    double w = std::max(1, image_->width()), h = std::max(1, image_->height());
    return std::max({10.0 / w, 10.0 / h, 0.01});
}

double ViewRenderer::maxZoom() const {
    double w = std::max(1, image_->width()), h = std::max(1, image_->height());
    return std::min({16383.0 / w, 16383.0 / h, 50.0});
}

double ViewRenderer::setZoom(double z) {
    zoom_ = std::clamp(z, minZoom(), maxZoom());
    return zoom_;
}

double ViewRenderer::zoomInStep(double a) {
    if (a <= 0.999) {
        double d = a < 0.142857 ? 1.001 : 0.001;
        return 1.0 / std::max(1.0, std::trunc(1.0 / a - d));
    }
    return a <= 5.999 ? std::trunc(a + 1.001) : std::trunc(a + 2.001);
}

double ViewRenderer::zoomOutStep(double a) {
    if (a <= 1.001) {
        double d = a < 0.142857 ? 2.001 : 1.001;
        return 1.0 / std::trunc(1.0 / a + d);
    }
    return a <= 7.001 ? std::trunc(a - 0.001) : std::trunc(a - 1.001);
}

bool ViewRenderer::composedAt(int x, int y, int rgb[3]) const {
    if (!image_->hasSamples() || x < 0 || y < 0 || x >= image_->width() || y >= image_->height())
        return false;
    int layers = image_->layerCount();
    for (int c = 0; c < 3; ++c) rgb[c] = image_->row(layers >= 3 ? c : 0, y)[x];
    return true;
}

int ViewRenderer::render(int left, int top, int right, int bottom, Picture& pic) const {
    if (!image_->hasSamples()) return 100;
    pic.width = std::max(0, right - left);
    pic.height = std::max(0, bottom - top);
    pic.pixels.assign(static_cast<std::size_t>(pic.width) * static_cast<std::size_t>(pic.height),
                      0);
    const int layers = image_->layerCount();
    for (int py = 0; py < pic.height; ++py) {
        int y = static_cast<int>((py + top) / zoom_);
        if (y < 0 || y >= image_->height()) continue;
        std::uint32_t* out = pic.pixels.data() + static_cast<std::size_t>(py) * pic.width;
        for (int px = 0; px < pic.width; ++px) {
            int x = static_cast<int>((px + left) / zoom_);
            if (x < 0 || x >= image_->width()) continue;
            std::uint32_t rgb = 0;
            for (int c = 0; c < 3; ++c) {
                int v = image_->row(layers >= 3 ? c : 0, y)[x];
                int b = params_.blackPoint[static_cast<std::size_t>(c)];
                int w = params_.whitePoint[static_cast<std::size_t>(c)];
                double d = std::clamp(double(v - b) / double(w == b ? 1 : w - b), 0.0, 1.0);
                rgb = (rgb << 8) | static_cast<std::uint32_t>(d * 255 + 0.5);
            }
            out[px] = rgb;
        }
    }
    return 0;
}

int ViewRenderer::setBlackAtPoint(double x, double y) {
    int rgb[3];
    if (!composedAt(static_cast<int>(x), static_cast<int>(y), rgb)) return 1;
    for (int c = 0; c < 3; ++c)
        params_.blackPoint[static_cast<std::size_t>(c)] = static_cast<std::int16_t>(rgb[c]);
    return 0;
}

int ViewRenderer::setWhiteAtPoint(double x, double y) {
    int rgb[3];
    if (!composedAt(static_cast<int>(x), static_cast<int>(y), rgb)) return 1;
    for (int c = 0; c < 3; ++c)
        params_.whitePoint[static_cast<std::size_t>(c)] = static_cast<std::int16_t>(rgb[c]);
    return 0;
}

ZoomBoxCommand parseZoomBoxText(std::string_view text) {
    std::string t(text);
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!t.empty() && t[0] == 'o') return {ZoomBoxCommand::Optimal, 0};
    double v = std::atof(t.c_str());
    if (v > 0) return {ZoomBoxCommand::Percent, v};
    return {ZoomBoxCommand::Restore, 0};
}

} // namespace quillon::ui
