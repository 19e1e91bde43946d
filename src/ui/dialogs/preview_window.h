// PreviewWindow: the modeless window of the filter dialogs that shows a piece of the image
// before (left) and after (right) processing, with its own zoom and scroll bars.
#pragma once

#include "core/image.h"
#include "core/settings_record.h"
#include "display/renderer.h"
#include "filters/filter.h"
#include "ui/view.h"

#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QPushButton;
class QScrollBar;

namespace quillon::ui {

class CWinQuillonView;
class NumberField;

// What a dialog hands back for a preview piece: the processed piece and the renderer that
// draws it (a copy of the source view's display, possibly adjusted). Empty when the dialog
// cannot process the piece; the right panel then stays empty.
struct PreviewResult {
    std::unique_ptr<Image> image;
    std::unique_ptr<ImageRenderer> renderer; // refers to `image`, so it is declared after it
    // Nothing was computed and the right panel keeps what it shows (a preview computed only
    // on request does not follow scrolling and zooming).
    bool keepShown = false;
};
using PreviewProvider = std::function<PreviewResult(const PreviewPiece& piece)>;

// A renderer for `image` with the display settings of `source`.
std::unique_ptr<ImageRenderer> rendererLike(Image& image, const ImageRenderer& source);

// One picture panel: light grey with a picture centred on it.
class PreviewPanel : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPanel(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage picture_;
};

class PreviewWindow : public QWidget {
    Q_OBJECT
public:
    // The panels are fixed in size so that the piece and the zoom rules do not depend on
    // the window manager.
    static constexpr int kPanelWidth = 210;
    static constexpr int kPanelHeight = 135;

    PreviewWindow(CWinQuillonView* source, SettingsRecord& settings, PreviewProvider provider,
                  QWidget* owner);

    float zoom() const { return zoom_; }
    // Applies the zoom rules to the requested zoom (percent), keeps the point at the panel
    // centre in place and computes the preview again.
    void setZoom(float requested);
    void zoomIn();
    void zoomOut();
    // Computes the right panel again (a parameter or the layer selection changed).
    void recompute();
    // Shows the piece centred on this image point.
    void centreOn(QPointF imagePoint);
    // The centre of the shown piece in image pixels.
    QPointF centre() const;
    PreviewPiece piece() const;

    QScrollBar* horizontalBar() const { return hbar_; }
    QScrollBar* verticalBar() const { return vbar_; }
    NumberField* zoomField() const { return zoomField_; }
    QPushButton* zoomInButton() const { return plus_; }
    QPushButton* zoomOutButton() const { return minus_; }
    PreviewPanel* originalPanel() const { return left_; }
    PreviewPanel* resultPanel() const { return right_; }
    // How often the right panel was computed (tests check that dragging does not filter).
    int computeCount() const { return computeCount_; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void updateScrollRanges();
    void drawOriginal();
    void onScroll();
    int zoomedExtent(int imageExtent) const;

    QPointer<CWinQuillonView> source_;
    SettingsRecord& settings_;
    PreviewProvider provider_;
    float zoom_ = 100.0f;
    PreviewPanel* left_ = nullptr;
    PreviewPanel* right_ = nullptr;
    QScrollBar* hbar_ = nullptr;
    QScrollBar* vbar_ = nullptr;
    NumberField* zoomField_ = nullptr;
    QPushButton* plus_ = nullptr;
    QPushButton* minus_ = nullptr;
    int computeCount_ = 0;
};

} // namespace quillon::ui
