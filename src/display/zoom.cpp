// Zoom limits and steps, view coordinates, zoom box text and the navigator slider.
#include "display/zoom.h"

#include "core/sample.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace quillon {

ZoomLimits zoomLimits(int width, int height) {
    double w = std::max(width, 1), h = std::max(height, 1);
    double lo = std::max({10.0 / w, 10.0 / h, 0.01});
    double hi = std::min({16383.0 / w, 16383.0 / h, 50.0});
    return {lo, hi};
}

double clampZoom(double z, int width, int height) {
    ZoomLimits l = zoomLimits(width, height);
    if (!(z == z)) z = 1.0;
    // A tiny image can have a minimum above its maximum only below 10 pixels, which the
    // image record never allows; keep the minimum in charge then.
    return std::max(l.minimum, std::min(z, l.maximum));
}

double zoomInStep(double a) {
    if (!(a > 0)) return 1.0;
    if (a <= 0.999) {
        double k = std::trunc(1.0 / a - (a < 0.142857 ? 1.001 : 0.001));
        return k >= 1 ? 1.0 / k : 1.0;
    }
    if (a <= 5.999) return std::trunc(a + 1.001);
    return std::trunc(a + 2.001);
}

double zoomOutStep(double a) {
    if (!(a > 0)) return 1.0;
    if (a <= 1.001) return 1.0 / std::trunc(1.0 / a + (a < 0.142857 ? 2.001 : 1.001));
    if (a <= 7.001) return std::trunc(a - 0.001);
    return std::trunc(a - 1.001);
}

double ViewState::setZoom(double z, int width, int height) {
    double c = clampZoom(z, width, height);
    if (c != zoom) {
        zoom = c;
        zoomChanged = true;
    }
    return zoom;
}

void ViewState::setVisibleRect(const IntRect& r) {
    visibleRect = r;
    drawn = false;
}

void ViewState::painted() {
    drawn = true;
    zoomChanged = false;
    previousZoom = zoom;
}

bool ViewState::recentre() {
    if (!drawn || !zoomChanged || !(previousZoom > 0)) return false;
    double cx = (visibleRect.left + visibleRect.right) / 2.0 / previousZoom * zoom;
    double cy = (visibleRect.top + visibleRect.bottom) / 2.0 / previousZoom * zoom;
    int w = visibleRect.width(), h = visibleRect.height();
    int left = truncToInt(cx - w / 2.0), top = truncToInt(cy - h / 2.0);
    visibleRect = {left, top, left + w, top + h};
    previousZoom = zoom;
    return true;
}

IntPoint ViewState::toImage(int windowX, int windowY, double* realX, double* realY) const {
    double x = (windowX + visibleRect.left) / zoom;
    double y = (windowY + visibleRect.top) / zoom;
    if (realX) *realX = x;
    if (realY) *realY = y;
    return {truncToInt(x), truncToInt(y)};
}

IntPoint ViewState::toWindow(int imageX, int imageY) const {
    return {truncToInt(imageX * zoom) - visibleRect.left,
            truncToInt(imageY * zoom) - visibleRect.top};
}

FitResult contentSizeForZoom(int width, int height, double zoom, int availWidth, int availHeight) {
    FitResult r;
    r.zoom = zoom;
    r.contentWidth = truncToInt(width * zoom + 0.5);
    r.contentHeight = truncToInt(height * zoom + 0.5);
    if (r.contentWidth > availWidth) {
        r.contentWidth = availWidth;
        r.contentHeight += 16; // horizontal scroll bar
    }
    if (r.contentHeight > availHeight) {
        r.contentHeight = availHeight;
        r.contentWidth += 16; // vertical scroll bar
    }
    r.contentWidth = std::min(r.contentWidth, availWidth);
    return r;
}

FitResult fitWindow(int width, int height, int availWidth, int availHeight, bool fullScreen) {
    double z = std::min(static_cast<double>(availWidth) / std::max(width, 1),
                        static_cast<double>(availHeight) / std::max(height, 1));
    z = clampZoom(z, width, height);
    if (fullScreen) return {z, availWidth, availHeight};
    return contentSizeForZoom(width, height, z, availWidth, availHeight);
}

IntPoint centringOffset(int clientWidth, int clientHeight, int zoomedWidth, int zoomedHeight) {
    return {std::max(0, (clientWidth - zoomedWidth) / 2),
            std::max(0, (clientHeight - zoomedHeight) / 2)};
}

ScrollSteps scrollSteps(int clientWidth, int clientHeight) {
    return {clientWidth, clientHeight, std::max(1, clientWidth / 32),
            std::max(1, clientHeight / 32)};
}

IntRect normaliseSelection(const IntRect& r) {
    if (r == kNoSelection) return r;
    return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
            std::max(r.top, r.bottom)};
}

bool selectionFitsRowRepair(const IntRect& s) {
    return !(s == kNoSelection) && s.width() > 1 && s.height() == 1;
}

bool selectionFitsColumnRepair(const IntRect& s) {
    return !(s == kNoSelection) && s.width() == 1 && s.height() > 1;
}

std::string zoomBoxText(double zoom) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f%%", zoom * 100.0);
    return buf;
}

std::string viewTitle(std::string_view docTitle, double zoom, std::string_view description,
                      bool hasOverlay) {
    char buf[64];
    std::snprintf(buf, sizeof buf, " @ %.0f%% (", zoom * 100.0);
    std::string t(docTitle);
    t += buf;
    t += description;
    if (hasOverlay) t += " + Overlay";
    t += ")";
    return t;
}

ZoomBoxCommand parseZoomBox(std::string_view text) {
    std::string s;
    for (char c : text) s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!s.empty() && s[0] == 'o') return {ZoomBoxCommand::Fit, 0};
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i < s.size() && s[i] == '+') ++i;
    double v = 0;
    auto res = std::from_chars(s.data() + i, s.data() + s.size(), v);
    if (res.ec != std::errc{} || !(v > 0) || !std::isfinite(v)) return {ZoomBoxCommand::Restore, 0};
    return {ZoomBoxCommand::SetZoom, v / 100.0};
}

NavigatorSlider::NavigatorSlider(int width, int height)
    : limits_(zoomLimits(width, height)),
      q_(std::pow(limits_.maximum / limits_.minimum, 1.0 / (kPositions - 1))) {}

double NavigatorSlider::zoomAt(int position) const {
    position = std::clamp(position, 0, kPositions - 1);
    if (position == kPositions - 1) return limits_.maximum;
    return limits_.minimum * std::pow(q_, position);
}

int NavigatorSlider::positionFor(double zoom) const {
    for (int i = 0; i < kPositions - 2; ++i)
        if (zoom <= (zoomAt(i) + zoomAt(i + 1)) / 2) return i;
    return kPositions - 2;
}

double navigatorScale(int pictureWidth, int pictureHeight, int width, int height) {
    return std::min(static_cast<double>(pictureWidth) / std::max(width, 1),
                    static_cast<double>(pictureHeight) / std::max(height, 1));
}

IntRect navigatorFrame(const ViewState& v, double scale) {
    double f = scale / v.zoom;
    return {truncToInt(v.visibleRect.left * f), truncToInt(v.visibleRect.top * f),
            truncToInt(v.visibleRect.right * f), truncToInt(v.visibleRect.bottom * f)};
}

NavigatorMove navigatorDrag(const ViewState& v, const IntRect& dragged, double scale,
                            int clientWidth, int clientHeight, int width, int height) {
    IntRect frame = navigatorFrame(v, scale);
    double zoom = v.zoom;
    int rw = std::max(1, std::abs(dragged.width())), rh = std::max(1, std::abs(dragged.height()));
    if (rw != frame.width() || rh != frame.height())
        zoom =
            clampZoom(std::min(clientHeight * scale / rh, clientWidth * scale / rw), width, height);
    // Centre of the dragged rectangle in image coordinates, placed in the middle of the view.
    double cx = (dragged.left + dragged.right) / 2.0 / scale;
    double cy = (dragged.top + dragged.bottom) / 2.0 / scale;
    int left = truncToInt(cx * zoom - clientWidth / 2.0);
    int top = truncToInt(cy * zoom - clientHeight / 2.0);
    return {zoom, {left, top, left + clientWidth, top + clientHeight}};
}

} // namespace quillon
