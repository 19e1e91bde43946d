// CWinQuillonView: painting the visible rectangle, zoom, scrolling, selection, point picking.
#include "ui/view.h"
#include "ui/shell/night_mode.h"

#include "ui/document.h"
#include "ui/messages.h"

#include "display/histogram.h"
#include "display/zoom.h"

#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace quillon::ui {

namespace {
QMdiSubWindow* subWindowOf(const QWidget* w) {
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (auto* s = qobject_cast<QMdiSubWindow*>(p)) return s;
    return nullptr;
}
} // namespace

CWinQuillonView::CWinQuillonView(CWinQuillonDoc* doc, CWinQuillonView* copyFrom, QWidget* parent)
    : QAbstractScrollArea(parent), doc_(doc), display_(doc->image()) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    if (copyFrom) {
        display_.copyFrom(copyFrom->display_);
        display_.setZoom(display_.zoom()); // clamp to this image's limits
        // Another view of the same image takes its place; the first view of a derived
        // image fits itself like every first view.
        fitOnShow_ = copyFrom->document() != doc;
        savedTopLeft_ = copyFrom->visibleRect().topLeft();
    } else {
        initFromImage(display_.renderer);
        display_.histogram.resetTo(display_.renderer.params());
        display_.setZoom(1.0);
    }
    doc_->addView(this);
    connect(&dashTimer_, &QTimer::timeout, this, [this] {
        dashPhase_ = (dashPhase_ + 1) % 8;
        if (selValid_) viewport()->update(selectionWindowRect().adjusted(-2, -2, 2, 2));
    });
    connect(doc_, &CWinQuillonDoc::imageChanged, this, &CWinQuillonView::refresh);
    connect(doc_, &CWinQuillonDoc::displayChanged, this, [this] { refresh(false); });
    connect(doc_, &CWinQuillonDoc::titleChanged, this, &CWinQuillonView::updateTitle);
    connect(doc_, &CWinQuillonDoc::modifiedChanged, this, [this](bool m) { setWindowModified(m); });
}

CWinQuillonView::~CWinQuillonView() {
    doc_->removeView(this);
}

// --- coordinates ---------------------------------------------------------------------------

QSize CWinQuillonView::zoomedSize() const {
    const Image& img = doc_->image();
    double z = display_.zoom();
    return {std::max(1, static_cast<int>(img.width() * z + 0.5)),
            std::max(1, static_cast<int>(img.height() * z + 0.5))};
}

QPoint CWinQuillonView::origin() const {
    QSize zs = zoomedSize();
    QSize vs = viewport()->size();
    int x =
        zs.width() < vs.width() ? -(vs.width() - zs.width()) / 2 : horizontalScrollBar()->value();
    int y =
        zs.height() < vs.height() ? -(vs.height() - zs.height()) / 2 : verticalScrollBar()->value();
    return {x, y};
}

QRect CWinQuillonView::visibleRect() const {
    return QRect(origin(), viewport()->size());
}

void CWinQuillonView::setVisibleTopLeft(QPoint p) {
    horizontalScrollBar()->setValue(p.x());
    verticalScrollBar()->setValue(p.y());
}

ViewState CWinQuillonView::currentState() const {
    ViewState v = display_.state;
    const QRect r = visibleRect();
    v.visibleRect = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    return v;
}

void CWinQuillonView::showZoomedAt(QPoint topLeft) {
    updateScrollRanges();
    setVisibleTopLeft(topLeft);
    const QRect r = visibleRect();
    display_.state.setVisibleRect({r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
    display_.state.zoomChanged = false;
    updateTitle();
    emit zoomChanged(display_.zoom());
    viewport()->update();
}

void CWinQuillonView::syncViewState() {
    display_.state.visibleRect = currentState().visibleRect;
}

QPoint CWinQuillonView::toImage(QPoint w, double* realX, double* realY) const {
    IntPoint p = currentState().toImage(w.x(), w.y(), realX, realY);
    return {p.x, p.y};
}

QPoint CWinQuillonView::toWindow(QPoint i) const {
    IntPoint p = currentState().toWindow(i.x(), i.y());
    return {p.x, p.y};
}

void CWinQuillonView::updateScrollRanges() {
    QSize zs = zoomedSize();
    QSize vs = viewport()->size();
    // When the zoomed image fits the whole area, no scroll bar is needed, even if one is still
    // shown from the previous zoom and narrows the viewport.
    if (zs.width() <= width() && zs.height() <= height()) vs = size();
    horizontalScrollBar()->setRange(0, std::max(0, zs.width() - vs.width()));
    verticalScrollBar()->setRange(0, std::max(0, zs.height() - vs.height()));
    const ScrollSteps steps = scrollSteps(vs.width(), vs.height());
    horizontalScrollBar()->setPageStep(steps.pageX);
    verticalScrollBar()->setPageStep(steps.pageY);
    horizontalScrollBar()->setSingleStep(steps.lineX);
    verticalScrollBar()->setSingleStep(steps.lineY);
}

// --- zoom ----------------------------------------------------------------------------------

void CWinQuillonView::setZoomAndRedraw(double z) {
    syncViewState();
    const double before = display_.zoom();
    if (display_.setZoom(z) != before) redraw(false);
    updateTitle();
    emit zoomChanged(display_.zoom());
}

void CWinQuillonView::zoomIn() {
    setZoomAndRedraw(zoomInStep(display_.zoom()));
}
void CWinQuillonView::zoomOut() {
    setZoomAndRedraw(zoomOutStep(display_.zoom()));
}
void CWinQuillonView::zoomTo100() {
    setZoomAndRedraw(1.0);
}

QString CWinQuillonView::applyZoomBoxText(const QString& text) {
    const ZoomBoxCommand cmd = parseZoomBox(text.toStdString());
    if (cmd.kind == ZoomBoxCommand::Fit)
        fitWindow(fullScreen_);
    else if (cmd.kind == ZoomBoxCommand::SetZoom)
        setZoomAndRedraw(cmd.zoom);
    return QString::fromStdString(zoomBoxText(display_.zoom()));
}

void CWinQuillonView::redraw(bool resizeWindow) {
    updateScrollRanges();
    if (display_.state.recentre()) {
        const IntRect& r = display_.state.visibleRect;
        setVisibleTopLeft({r.left, r.top});
    }
    if (resizeWindow) {
        // Keep the zoom, fit the frame to the zoomed image as far as the area allows.
        if (QMdiSubWindow* sub = subWindowOf(this); sub && sub->mdiArea()) {
            const Image& img = doc_->image();
            QSize avail = sub->mdiArea()->viewport()->size();
            QSize border = sub->size() - size(); // frame and title, not our scroll bars
            FitResult f = contentSizeForZoom(img.width(), img.height(), display_.zoom(),
                                             avail.width() - border.width(),
                                             avail.height() - border.height());
            sub->resize(f.contentWidth + border.width(), f.contentHeight + border.height());
        }
    }
    syncViewState();
    viewport()->update();
}

void CWinQuillonView::fitWindow(bool fullScreen) {
    const Image& img = doc_->image();
    QMdiSubWindow* sub = subWindowOf(this);
    QMdiArea* area = sub ? sub->mdiArea() : nullptr;
    if (!area) {
        display_.setZoom(quillon::fitWindow(img.width(), img.height(), viewport()->width(),
                                            viewport()->height(), true)
                             .zoom);
    } else if (fullScreen) {
        QSize avail = area->viewport()->size();
        sub->showMaximized();
        display_.setZoom(
            quillon::fitWindow(img.width(), img.height(), avail.width(), avail.height(), true)
                .zoom);
    } else {
        if (sub->isMaximized()) sub->showNormal();
        QSize avail = area->viewport()->size();
        // The frame's borders: whole sub-window minus this view's client area.
        QSize border = sub->size() - size(); // frame and title, not our scroll bars
        if (!sub->isVisible() || border.width() < 0 || border.height() < 0)
            border = QSize(2 * sub->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth),
                           sub->style()->pixelMetric(QStyle::PM_TitleBarHeight) +
                               2 * sub->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth));
        const QSize client = avail - border;
        FitResult f =
            quillon::fitWindow(img.width(), img.height(), client.width(), client.height(), false);
        display_.setZoom(f.zoom);
        QSize outer(f.contentWidth + border.width(), f.contentHeight + border.height());
        sub->resize(outer);
        sub->move((avail.width() - outer.width()) / 2, (avail.height() - outer.height()) / 2);
    }
    showZoomedAt({0, 0});
}

void CWinQuillonView::refresh(bool relayout) {
    display_.thumbnail.invalidate();
    if (relayout)
        fitWindow(fullScreen_);
    else {
        updateScrollRanges();
        updateTitle();
        viewport()->update();
    }
}

// --- title ---------------------------------------------------------------------------------

QString CWinQuillonView::titleText() const {
    const Image& img = doc_->image();
    QString t = doc_->title();
    if (doc_->views().size() > 1)
        t += QStringLiteral(":%1").arg(doc_->views().indexOf(const_cast<CWinQuillonView*>(this)) +
                                       1);
    t += QStringLiteral("[*]");
    return QString::fromStdString(viewTitle(t.toStdString(), display_.zoom(),
                                            ImageTypeName(img.type()).name, img.hasOverlay()));
}

void CWinQuillonView::updateTitle() {
    QString t = titleText();
    if (QMdiSubWindow* sub = subWindowOf(this)) {
        sub->setWindowTitle(t);
        sub->setWindowModified(doc_->isModified());
    }
    setWindowTitle(t);
    setWindowModified(doc_->isModified());
}

// --- painting ------------------------------------------------------------------------------

void CWinQuillonView::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    const QRect dirty = e->rect();
    const QPoint o = origin();
    const QRect imageWin(QPoint(-o.x(), -o.y()), zoomedSize());
    const QRect part = dirty.intersected(imageWin);
    // Background outside the image.
    QRegion bg(dirty);
    bg -= part;
    for (const QRect& r : bg) p.fillRect(r, Qt::black);
    if (!part.isEmpty()) {
        QRect z = part.translated(o);
        RenderOptions opt;
        opt.zoomX = display_.zoom();
        int rc = RENDER_OUT_OF_MEMORY;
        try {
            rc = display_.renderer.renderRect(z.left(), z.top(), z.right() + 1, z.bottom() + 1,
                                              &picture_, opt);
        } catch (const std::bad_alloc&) {
            rc = RENDER_OUT_OF_MEMORY;
        }
        if (rc == RENDER_OK && !picture_.empty()) {
            renderedPixels_ += static_cast<long long>(picture_.width()) * picture_.height();
            showAtNight(picture_);
            // Wraps the renderer's buffer without copying it.
            QImage img(picture_.bits(), picture_.width(), picture_.height(),
                       picture_.bytesPerLine(), QImage::Format_RGB32);
            p.drawImage(part.topLeft(), img);
        } else {
            p.fillRect(part, Qt::black);
        }
    }
    if (selValid_) {
        QRect r = selectionWindowRect();
        QPen white(Qt::white, 1);
        p.setPen(white);
        p.drawRect(r);
        QPen dash(Qt::black, 1, Qt::CustomDashLine);
        dash.setDashPattern({4, 4});
        dash.setDashOffset(dashPhase_);
        p.setPen(dash);
        p.drawRect(r);
    }
    paintReferenceMarks(p);
    display_.state.painted();
    ++paintCount_;
}

void CWinQuillonView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    updateScrollRanges();
    syncViewState();
}

void CWinQuillonView::scrollContentsBy(int dx, int dy) {
    // Moves what is already on the screen; only the uncovered strip is rendered again.
    viewport()->scroll(dx, dy);
    syncViewState();
}

void CWinQuillonView::showEvent(QShowEvent* e) {
    QAbstractScrollArea::showEvent(e);
    if (!firstShow_) return;
    firstShow_ = false;
    doc_->fixPathForSaving();
    updateTitle();
    if (fitOnShow_) {
        // After the frame got its size from the area.
        QTimer::singleShot(0, this, [this] { fitWindow(fullScreen_); });
    } else {
        updateScrollRanges();
        setVisibleTopLeft(savedTopLeft_);
    }
}

// --- selection -----------------------------------------------------------------------------

QRect CWinQuillonView::selection() const {
    if (!selValid_) return QRect(QPoint(-1, -1), QPoint(-1, -1));
    int l = std::min(sel_.left(), sel_.right()), r = std::max(sel_.left(), sel_.right());
    int t = std::min(sel_.top(), sel_.bottom()), b = std::max(sel_.top(), sel_.bottom());
    // Stored as (left, top, right, bottom) with right/bottom exclusive.
    return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

void CWinQuillonView::setSelection(const QRect& r) {
    sel_.setCoords(r.left(), r.top(), r.right() + 1, r.bottom() + 1);
    selValid_ = true;
    viewport()->update();
    emit selectionChanged();
}

void CWinQuillonView::clearSelection() {
    if (!selValid_) return;
    selValid_ = false;
    viewport()->update();
    emit selectionChanged();
}

QRect CWinQuillonView::selectionWindowRect() const {
    int l = std::min(sel_.left(), sel_.right()), r = std::max(sel_.left(), sel_.right());
    int t = std::min(sel_.top(), sel_.bottom()), b = std::max(sel_.top(), sel_.bottom());
    QPoint a = toWindow({l, t}), c = toWindow({r, b});
    return QRect(a, c - QPoint(1, 1));
}

// --- keyboard and mouse --------------------------------------------------------------------

void CWinQuillonView::keyPressEvent(QKeyEvent* e) {
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    switch (e->key()) {
    case Qt::Key_Escape:
        if (fullScreen_) emit escapePressed();
        return;
    case Qt::Key_PageUp: h->setValue(h->value() - h->pageStep()); return;
    case Qt::Key_PageDown: h->setValue(h->value() + h->pageStep()); return;
    case Qt::Key_Home:
        h->setValue(0);
        v->setValue(0);
        return;
    case Qt::Key_End:
        h->setValue(h->maximum());
        v->setValue(v->maximum());
        return;
    case Qt::Key_Left: h->setValue(h->value() - h->singleStep()); return;
    case Qt::Key_Right: h->setValue(h->value() + h->singleStep()); return;
    case Qt::Key_Up: v->setValue(v->value() - v->singleStep()); return;
    case Qt::Key_Down: v->setValue(v->value() + v->singleStep()); return;
    default: QAbstractScrollArea::keyPressEvent(e);
    }
}

void CWinQuillonView::mousePressEvent(QMouseEvent* e) {
    QPoint w = e->position().toPoint();
    double rx = 0, ry = 0;
    QPoint img = toImage(w, &rx, &ry);
    if (e->modifiers() & Qt::ControlModifier) {
        if (e->button() == Qt::LeftButton)
            pickWhitePoint({rx, ry});
        else if (e->button() == Qt::RightButton)
            pickBlackPoint({rx, ry});
        e->accept();
        return;
    }
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    pressWindow_ = w;
    pressImage_ = img;
    movedSincePress_ = false;
    if (selValid_ && selectionWindowRect().adjusted(1, 1, -1, -1).contains(w)) {
        drag_ = Drag::Move;
        selAtPress_ = sel_;
        viewport()->setCursor(Qt::SizeAllCursor);
    } else {
        drag_ = Drag::Select;
        sel_.setCoords(img.x(), img.y(), img.x() + 1, img.y() + 1);
        selValid_ = true;
        viewport()->update();
    }
    autoScrollClock_.start();
}

void CWinQuillonView::autoScrollToward(QPoint w) {
    if (autoScrollClock_.isValid() && autoScrollClock_.elapsed() < 50) return;
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    QSize vs = viewport()->size();
    if (w.x() < 0)
        h->setValue(h->value() - h->singleStep());
    else if (w.x() >= vs.width())
        h->setValue(h->value() + h->singleStep());
    if (w.y() < 0)
        v->setValue(v->value() - v->singleStep());
    else if (w.y() >= vs.height())
        v->setValue(v->value() + v->singleStep());
    autoScrollClock_.restart();
}

void CWinQuillonView::mouseMoveEvent(QMouseEvent* e) {
    QPoint w = e->position().toPoint();
    if (!viewport()->rect().contains(w) && drag_ != Drag::None) autoScrollToward(w);
    QPoint img = toImage(w);
    Composed c{0, 0, 0};
    bool inside = viewport()->rect().contains(w) &&
                  display_.renderer.composition().composedAt(img.x(), img.y(), c);
    if (inside) {
        emit pixelInfo(true, img.x(), img.y(), c[0], c[1], c[2]);
        emit photometryTrack(img.x(), img.y(), false);
    }
    if (drag_ == Drag::None) return;
    if (w != pressWindow_) movedSincePress_ = true;
    if (drag_ == Drag::Select) {
        // The pixel under the pointer becomes the (exclusive) right and bottom edge.
        sel_.setCoords(sel_.left(), sel_.top(), img.x(), img.y());
    } else {
        QPoint d = img - pressImage_;
        sel_ = selAtPress_.translated(d);
    }
    viewport()->update();
}

void CWinQuillonView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || drag_ == Drag::None) {
        QAbstractScrollArea::mouseReleaseEvent(e);
        return;
    }
    bool wasSelect = drag_ == Drag::Select;
    drag_ = Drag::None;
    viewport()->unsetCursor();
    if (wasSelect && !movedSincePress_ && e->position().toPoint() == pressWindow_) {
        selValid_ = false;
    } else if (selValid_ && (sel_.left() == sel_.right() || sel_.top() == sel_.bottom())) {
        // A drag back onto the start column or row leaves nothing selected.
        selValid_ = false;
    }
    viewport()->update();
    emit selectionChanged();
}

bool CWinQuillonView::pickBlackPoint(QPointF pos) {
    if (setBlackAtPoint(display_.renderer, pos.x(), pos.y()) != 0) {
        showMessage(this, QString::fromUtf8(kOutsideImage));
        return false;
    }
    afterDisplayChange();
    return true;
}

bool CWinQuillonView::pickWhitePoint(QPointF pos) {
    // floor: a position left of or above the image must not become pixel 0.
    if (setWhiteAtPoint(display_.renderer, static_cast<int>(std::floor(pos.x())),
                        static_cast<int>(std::floor(pos.y()))) != 0) {
        showMessage(this, QString::fromUtf8(kOutsideImage));
        return false;
    }
    afterDisplayChange();
    return true;
}

void CWinQuillonView::afterDisplayChange() {
    viewport()->update();
    emit displayChanged();
}

void CWinQuillonView::contextMenuEvent(QContextMenuEvent* e) {
    if (e->modifiers() & Qt::ControlModifier) return; // Ctrl + right click picks the black point
    showContextMenu(e->pos(), e->globalPos());
}

void CWinQuillonView::showContextMenu(QPoint windowPos, QPoint globalPos) {
    double rx = 0, ry = 0;
    toImage(windowPos, &rx, &ry);
    QMenu menu(this);
    QAction* black = menu.addAction(tr("&Schwarzpunkt"));
    QAction* white = menu.addAction(tr("&Weißpunkt"));
    menu.addSeparator();
    std::array<QAction*, 4> refs{};
    for (int k = 0; markCount_ > 0 && k < 4; ++k) {
        refs[static_cast<std::size_t>(k)] =
            menu.addAction(tr("Referenzposition %1 hier setzen/suchen").arg(k + 1));
        refs[static_cast<std::size_t>(k)]->setEnabled(k < markCount_);
    }
    if (markCount_ > 0) menu.addSeparator();
    QAction* bias = menu.addAction(tr("&LRGB Bias hier ermitteln..."));
    bias->setEnabled(doc_->image().type() == LRGB_IMAGE);
    QAction* psfStar = menu.addAction(tr("Referenzstern Lucy Richardson..."));
    QAction* photometry = menu.addAction(tr("&Photometrie hier fixieren"));
    menu.addSeparator();
    QAction* hide = menu.addAction(tr("Tools &ausblenden"));
    QAction* leave = menu.addAction(tr("&Vollbildansicht beenden"));
    leave->setEnabled(fullScreen_);
    QAction* chosen = menu.exec(globalPos);
    if (chosen == black)
        pickBlackPoint({rx, ry});
    else if (chosen == white)
        pickWhitePoint({rx, ry});
    else if (chosen == leave)
        emit escapePressed();
    else if (chosen == hide)
        emit hideToolsRequested();
    else if (chosen == photometry)
        emit photometryTrack(static_cast<int>(std::floor(rx)), static_cast<int>(std::floor(ry)),
                             true);
    else if (chosen == psfStar)
        emit psfStarRequested({rx, ry});
    else if (chosen && chosen == bias)
        emit lrgbBiasRequested({rx, ry});
    for (int k = 0; chosen && k < 4; ++k)
        if (chosen == refs[static_cast<std::size_t>(k)]) emit referencePointRequested(k, {rx, ry});
}

void CWinQuillonView::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    doc_->setActiveView(this);
    dashTimer_.start(100);
    emit activated(this);
}

void CWinQuillonView::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    dashTimer_.stop();
}

// --- full screen ---------------------------------------------------------------------------

void CWinQuillonView::enterFullScreen() {
    if (fullScreen_) return;
    QMdiSubWindow* sub = subWindowOf(this);
    savedZoom_ = display_.zoom();
    savedTopLeft_ = visibleRect().topLeft();
    if (sub) {
        savedMaximized_ = sub->isMaximized();
        savedGeometry_ = sub->geometry();
    }
    fullScreen_ = true;
    fitWindow(true);
}

void CWinQuillonView::leaveFullScreen() {
    if (!fullScreen_) return;
    fullScreen_ = false;
    QMdiSubWindow* sub = subWindowOf(this);
    if (sub) {
        if (savedMaximized_)
            sub->showMaximized();
        else {
            sub->showNormal();
            sub->setGeometry(savedGeometry_);
        }
    }
    display_.setZoom(savedZoom_);
    showZoomedAt(savedTopLeft_);
}

} // namespace quillon::ui
