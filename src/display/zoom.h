// Zoom arithmetic of the image views and the zoom navigator, free of any window system.
//
// The GUI connects its widgets to these functions: the view keeps a ViewState (inside its
// ImageRenderer), the zoom box and the navigator call the text and slider helpers. Zoom
// factors are doubles so that the steps 1/2, 1/3, ... map output pixels onto exactly the
// source pixels k × X (a float 1/3 is slightly above 1/3 and would lose a column).
#pragma once

#include <string>
#include <string_view>

namespace quillon {

struct IntRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const IntRect&) const = default;
};

struct IntPoint {
    int x = 0;
    int y = 0;
    bool operator==(const IntPoint&) const = default;
};

struct ZoomLimits {
    double minimum;
    double maximum;
};

// minimum = max(10 / w, 10 / h) but at least 0.01; maximum = min(16383 / w, 16383 / h)
// but at most 50. Sizes below 1 count as 1.
ZoomLimits zoomLimits(int width, int height);
double clampZoom(double z, int width, int height);

// The next step up or down from zoom a (not yet clamped):
// in: ..., 1/10, 1/8, 1/6, 1/5, 1/4, 1/3, 1/2, 1, 2, 3, 4, 5, 6, 8, 10, ...
// out: ..., 10, 8, 6, 5, 4, 3, 2, 1, 1/2, ..., 1/6, 1/7, 1/8, 1/10, 1/12, ...
double zoomInStep(double a);
double zoomOutStep(double a);

// The zoom-related state of one view.
struct ViewState {
    double zoom = 1.0;
    IntRect visibleRect; // zoomed coordinates of the part shown in the client area
    bool drawn = false;  // set by every paint, cleared when visibleRect is set explicitly
    bool zoomChanged = false;
    double previousZoom = 1.0; // zoom in effect at the last paint (for re-centring)

    // Clamps to the limits of a width × height image; sets zoomChanged when the zoom
    // changes. Returns the zoom in effect.
    double setZoom(double z, int width, int height);
    double zoomIn(int width, int height) { return setZoom(zoomInStep(zoom), width, height); }
    double zoomOut(int width, int height) { return setZoom(zoomOutStep(zoom), width, height); }
    // Sets the visible rectangle explicitly (fit, navigator, restore): clears drawn.
    void setVisibleRect(const IntRect& r);
    // Called after each paint.
    void painted();
    // Re-centring on redraw: when drawn and zoomChanged are set, the centre of the visible
    // rectangle (converted to image coordinates with the zoom of the last paint) is moved
    // to the same image point at the new zoom, keeping width and height. Returns whether
    // the rectangle moved. The scroll area clamps it to the content afterwards.
    bool recentre();

    // Window → image pixel: truncate((windowX + left) / zoom); optionally the real values.
    IntPoint toImage(int windowX, int windowY, double* realX = nullptr,
                     double* realY = nullptr) const;
    // Image pixel → window: truncate(imageX × zoom) - left.
    IntPoint toWindow(int imageX, int imageY) const;
};

// "Optimal": zoom and content size for an image in the available client size.
struct FitResult {
    double zoom = 1.0;
    int contentWidth = 0;
    int contentHeight = 0;
};
FitResult fitWindow(int width, int height, int availWidth, int availHeight, bool fullScreen);
// The window content size for a given zoom (resizing the window keeping the zoom): the
// zoomed size, with 16 pixels added for a scroll bar where the other side does not fit.
FitResult contentSizeForZoom(int width, int height, double zoom, int availWidth, int availHeight);

// Offset of the zoomed image inside a larger client area (centred where it is smaller).
IntPoint centringOffset(int clientWidth, int clientHeight, int zoomedWidth, int zoomedHeight);

// Scrolling a view: a page is the client size, a line 1/32 of it (at least 1 pixel).
struct ScrollSteps {
    int pageX, pageY, lineX, lineY;
};
ScrollSteps scrollSteps(int clientWidth, int clientHeight);

// The selection rectangle in image coordinates: normalised so that left <= right and
// top <= bottom; (-1, -1, -1, -1) stands for "no selection".
inline constexpr IntRect kNoSelection{-1, -1, -1, -1};
IntRect normaliseSelection(const IntRect& r);
// Commands that depend on the selection: "&Zeile reparieren" needs width > 1 and height 1,
// "&Spalte reparieren" width 1 and height > 1 (the copy of a section: print_layout.h).
bool selectionFitsRowRepair(const IntRect& selection);
bool selectionFitsColumnRepair(const IntRect& selection);

// The toolbar zoom box: "%.0f%%" of zoom × 100.
std::string zoomBoxText(double zoom);
// The window title: "<doc> @ <zoom>% (<description>[ + Overlay])".
std::string viewTitle(std::string_view docTitle, double zoom, std::string_view description,
                      bool hasOverlay);

// What a text typed into (or chosen from) the zoom box asks for.
struct ZoomBoxCommand {
    enum Kind { Fit, SetZoom, Restore } kind = Restore;
    double zoom = 0; // SetZoom: value / 100, not yet clamped
};
ZoomBoxCommand parseZoomBox(std::string_view text);
// The entries of the zoom box, in list order.
inline constexpr const char* kZoomBoxEntries[] = {"Optimal", "10%",  "25%",  "50%",
                                                  "75%",     "100%", "200%", "400%"};

// The navigator slider: 200 positions, position i stands for minimum × q^i with
// q = (maximum / minimum)^(1/199).
class NavigatorSlider {
public:
    static constexpr int kPositions = 200;
    NavigatorSlider(int width, int height);
    double zoomAt(int position) const; // positions outside 0..199 are clamped
    // The position shown for a zoom: the first i with zoom <= (z(i) + z(i+1)) / 2, else 198.
    int positionFor(double zoom) const;

private:
    ZoomLimits limits_;
    double q_;
};

// The navigator picture: thumbnail scale s = min(pictureW / w, pictureH / h) and the frame
// of the visible rectangle (each coordinate × s / zoom), relative to the thumbnail.
double navigatorScale(int pictureWidth, int pictureHeight, int width, int height);
IntRect navigatorFrame(const ViewState& v, double scale);
// A rectangle dragged on the navigator (thumbnail coordinates): the new zoom (unchanged
// when the rectangle has the size of the current frame) and the visible rectangle that
// puts the rectangle's centre in the middle of a clientW × clientH view.
struct NavigatorMove {
    double zoom;
    IntRect visibleRect;
};
NavigatorMove navigatorDrag(const ViewState& v, const IntRect& dragged, double scale,
                            int clientWidth, int clientHeight, int width, int height);

} // namespace quillon
