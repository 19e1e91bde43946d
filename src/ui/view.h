// CWinQuillonView: one window onto a document's image: painting through the view's renderer,
// zoom, scrolling, the selection rectangle, black/white point picking and the context menu.
#pragma once

#include "core/picture.h"
#include "display/renderer.h"
#include "display/scaling.h"
#include "display/view_display.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <array>
#include <vector>

class QPainter;

namespace quillon::ui {

class CWinQuillonDoc;

class CWinQuillonView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // A view of a document; `copyFrom` is the view whose display state, zoom and scroll
    // position the new view takes (another view of the same document, or the source view of
    // a derived image), null for the first view, which starts from the stored display values.
    CWinQuillonView(CWinQuillonDoc* doc, CWinQuillonView* copyFrom, QWidget* parent = nullptr);
    ~CWinQuillonView() override;

    CWinQuillonDoc* document() const { return doc_; }
    ImageRenderer& renderer() { return display_.renderer; }
    const ImageRenderer& renderer() const { return display_.renderer; }
    // The renderer with the view's zoom, histogram window model and thumbnail.
    ViewDisplay& display() { return display_; }
    const ViewDisplay& display() const { return display_; }

    double zoom() const { return display_.zoom(); }
    void zoomIn();
    void zoomOut();
    void zoomTo100();
    // "Optimal": fits zoom and window into the main window's client area.
    void fitWindow(bool fullScreen = false);
    // Sets the zoom (clamped) and redraws when it changed.
    void setZoomAndRedraw(double zoom);
    // The zoom box text rule; returns the text the box shows afterwards.
    QString applyZoomBoxText(const QString& text);
    // Re-centres after a zoom change, optionally fits the window to the zoomed image,
    // updates the scroll ranges and repaints.
    void redraw(bool resizeWindow = false);
    // Marks the picture stale and repaints (RefreshViews); relayout fits the window again.
    void refresh(bool relayout);

    // The part of the zoomed image shown, in zoomed coordinates (negative left/top while the
    // zoomed image is smaller than the window and centred).
    QRect visibleRect() const;
    void setVisibleTopLeft(QPoint p);
    QSize zoomedSize() const;
    QPoint toImage(QPoint window, double* realX = nullptr, double* realY = nullptr) const;
    QPoint toWindow(QPoint image) const;

    // Selection in image coordinates, normalised; (-1, -1, -1, -1) as a null QRect when none.
    QRect selection() const;
    bool hasSelection() const { return selValid_; }
    void setSelection(const QRect& imageRect);
    void clearSelection();
    int dashPhase() const { return dashPhase_; }

    // Black / white point from an image position; shows the outside message on failure.
    bool pickBlackPoint(QPointF imagePos);
    bool pickWhitePoint(QPointF imagePos);

    // "Zoom" title: document title, " @ %.0f%% (", type, " + Overlay", ")".
    QString titleText() const;
    void updateTitle();

    // Full screen: saves zoom, scroll position and window placement, then fills the area.
    void enterFullScreen();
    void leaveFullScreen();
    bool isFullScreen() const { return fullScreen_; }

    // Reference mode of the window "Referenzpunkte setzen": `count` marks (0 ends the mode).
    // The marks are drawn over the picture; the context menu offers one entry per point.
    void setReferenceMode(int count);
    int referenceMarkCount() const { return markCount_; }
    // Mark `index` (0..3) at an image position (pixel centres are integers); NaN hides it.
    void setReferenceMark(int index, QPointF imagePos);
    QPointF referenceMark(int index) const { return marks_[static_cast<std::size_t>(index)]; }

    // "Sterne markieren": measures the image's stars (on the job runner) and draws each as an
    // ellipse over the picture, its axes from the FWHM, turned by its angle, green for a round
    // star to red for an elongated one; called again, removes them. A changed image drops them.
    void toggleStarMarks();
    int starMarkCount() const { return static_cast<int>(starMarks_.size()); }

    // For tests and the benchmark: how many paints and rendered pixels so far.
    long long paintCount() const { return paintCount_; }
    long long renderedPixels() const { return renderedPixels_; }

signals:
    void zoomChanged(double zoom);
    void pixelInfo(bool valid, int x, int y, int r, int g, int b);
    void selectionChanged();
    void activated(CWinQuillonView* view);
    void escapePressed();
    // The display parameters changed here (black or white point picked).
    void displayChanged();
    // The context menu's "Tools &ausblenden".
    void hideToolsRequested();
    // The image position under the mouse (fix off) or "&Photometrie hier fixieren" (fix on).
    void photometryTrack(int x, int y, bool fix);
    // The context menu's "Referenzstern Lucy Richardson..." at this image point.
    void psfStarRequested(QPointF imagePoint);
    // "Referenzposition k hier setzen/suchen" (index k − 1) at an image position.
    void referencePointRequested(int index, QPointF imagePos);
    // "&LRGB Bias hier ermitteln..." at an image position.
    void lrgbBiasRequested(QPointF imagePos);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void updateScrollRanges();
    // Copies the scroll position and client size into the renderer's visible rectangle.
    void syncViewState();
    // After a new zoom: scroll ranges, the shown corner, title and a repaint.
    void showZoomedAt(QPoint topLeft);
    QPoint origin() const; // zoomed coordinate shown at window (0, 0)
    // The renderer's view state with the visible rectangle of the current scroll position.
    ViewState currentState() const;
    QRect selectionWindowRect() const;
    void autoScrollToward(QPoint windowPos);
    void showContextMenu(QPoint windowPos, QPoint globalPos);
    void afterDisplayChange();
    // The reference marks over the picture (view_marks.cpp).
    void paintReferenceMarks(QPainter& p) const;
    // The star marks over the picture (view_star_marks.cpp).
    void paintStarMarks(QPainter& p) const;

    CWinQuillonDoc* doc_;
    ViewDisplay display_;
    Picture picture_;
    bool firstShow_ = true;
    bool fitOnShow_ = true;

    // selection: right/bottom as dragged (not normalised); valid_ false when none
    QRect sel_;
    bool selValid_ = false;
    enum class Drag { None, Select, Move } drag_ = Drag::None;
    QPoint pressWindow_;
    QPoint pressImage_;
    QRect selAtPress_;
    bool movedSincePress_ = false;
    QElapsedTimer autoScrollClock_;
    QTimer dashTimer_;
    int dashPhase_ = 0;

    bool fullScreen_ = false;
    double savedZoom_ = 1;
    QPoint savedTopLeft_;
    QRect savedGeometry_;
    bool savedMaximized_ = false;
    long long paintCount_ = 0;
    long long renderedPixels_ = 0;
    int markCount_ = 0;
    std::array<QPointF, 4> marks_{};
    struct StarMark {
        float x, y, major, minor, angle, roundness;
    };
    std::vector<StarMark> starMarks_;
};

using quillon::kOutsideImage; // "Sie haben eine Position außerhalb des Bildes gewählt!"

} // namespace quillon::ui
