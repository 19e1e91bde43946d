// CWinQuillonView: painting the visible rectangle, zoom, scrolling, selection, point picking.
#include "ui/view.h"

#include "ui/document.h"
#include "ui/messages.h"

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
    : QAbstractScrollArea(parent), doc_(doc), renderer_(doc->image()) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    if (copyFrom) {
        renderer_.copyFrom(copyFrom->renderer_);
        renderer_.setZoom(renderer_.zoom()); // clamp to this image's limits
        // Another view of the same image takes its place; the first view of a derived
        // image fits itself like every first view.
        fitOnShow_ = copyFrom->document() != doc;
        savedTopLeft_ = copyFrom->visibleRect().topLeft();
    } else {
        renderer_.initFromImage();
        renderer_.setZoom(1.0);
    }
    doc_->addView(this);
    connect(&dashTimer_, &QTimer::timeout, this, [this] {
        dashPhase_ = (dashPhase_ + 1) % 8;
        if (selValid_) viewport()->update(selectionWindowRect().adjusted(-2, -2, 2, 2));
    });
    connect(doc_, &CWinQuillonDoc::titleChanged, this, &CWinQuillonView::updateTitle);
    connect(doc_, &CWinQuillonDoc::modifiedChanged, this, [this](bool m) { setWindowModified(m); });
}

CWinQuillonView::~CWinQuillonView() {
    doc_->removeView(this);
}

// --- coordinates ---------------------------------------------------------------------------

QSize CWinQuillonView::zoomedSize() const {
    const Image& img = doc_->image();
    double z = renderer_.zoom();
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

QPoint CWinQuillonView::toImage(QPoint w, double* realX, double* realY) const {
    QPoint o = origin();
    double z = renderer_.zoom();
    double rx = (w.x() + o.x()) / z, ry = (w.y() + o.y()) / z;
    if (realX) *realX = rx;
    if (realY) *realY = ry;
    return {static_cast<int>(std::trunc(rx)), static_cast<int>(std::trunc(ry))};
}

QPoint CWinQuillonView::toWindow(QPoint i) const {
    QPoint o = origin();
    double z = renderer_.zoom();
    return {static_cast<int>(i.x() * z) - o.x(), static_cast<int>(i.y() * z) - o.y()};
}

void CWinQuillonView::updateScrollRanges() {
    QSize zs = zoomedSize();
    QSize vs = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, zs.width() - vs.width()));
    verticalScrollBar()->setRange(0, std::max(0, zs.height() - vs.height()));
    horizontalScrollBar()->setPageStep(std::max(1, vs.width()));
    verticalScrollBar()->setPageStep(std::max(1, vs.height()));
    horizontalScrollBar()->setSingleStep(std::max(1, vs.width() / 32));
    verticalScrollBar()->setSingleStep(std::max(1, vs.height() / 32));
}

// --- zoom ----------------------------------------------------------------------------------

void CWinQuillonView::setZoomAndRedraw(double z) {
    double before = renderer_.zoom();
    QRect vr = visibleRect();
    QPointF centre((vr.left() + vr.width() / 2.0) / before,
                   (vr.top() + vr.height() / 2.0) / before);
    double after = renderer_.setZoom(z);
    if (after != before) {
        zoomChanged_ = true;
        oldCentre_ = centre;
        redraw(false);
    }
    updateTitle();
    emit zoomChanged(renderer_.zoom());
}

void CWinQuillonView::zoomIn() {
    setZoomAndRedraw(ViewRenderer::zoomInStep(renderer_.zoom()));
}
void CWinQuillonView::zoomOut() {
    setZoomAndRedraw(ViewRenderer::zoomOutStep(renderer_.zoom()));
}
void CWinQuillonView::zoomTo100() {
    setZoomAndRedraw(1.0);
}

QString CWinQuillonView::applyZoomBoxText(const QString& text) {
    ZoomBoxCommand cmd = parseZoomBoxText(text.toStdString());
    if (cmd.kind == ZoomBoxCommand::Optimal)
        fitWindow(fullScreen_);
    else if (cmd.kind == ZoomBoxCommand::Percent)
        setZoomAndRedraw(cmd.percent / 100.0);
    return QString::asprintf("%.0f%%", renderer_.zoom() * 100.0);
}

void CWinQuillonView::redraw(bool resizeWindow) {
    updateScrollRanges();
    if (drawn_ && zoomChanged_ && oldCentre_.x() >= 0) {
        double z = renderer_.zoom();
        QSize vs = viewport()->size();
        setVisibleTopLeft(QPoint(static_cast<int>(oldCentre_.x() * z - vs.width() / 2.0),
                                 static_cast<int>(oldCentre_.y() * z - vs.height() / 2.0)));
    }
    if (resizeWindow) {
        // Keep the zoom, fit the frame to the zoomed image as far as the area allows.
        if (QMdiSubWindow* sub = subWindowOf(this); sub && sub->mdiArea()) {
            QSize avail = sub->mdiArea()->viewport()->size();
            QSize border = sub->size() - viewport()->size();
            QSize want = zoomedSize() + border;
            sub->resize(std::min(want.width(), avail.width()),
                        std::min(want.height(), avail.height()));
        }
    }
    viewport()->update();
}

void CWinQuillonView::fitWindow(bool fullScreen) {
    const Image& img = doc_->image();
    QMdiSubWindow* sub = subWindowOf(this);
    QMdiArea* area = sub ? sub->mdiArea() : nullptr;
    if (!area || img.width() <= 0) {
        renderer_.setZoom(std::min(double(viewport()->width()) / std::max(1, img.width()),
                                   double(viewport()->height()) / std::max(1, img.height())));
        drawn_ = false;
        zoomChanged_ = false;
        updateScrollRanges();
        setVisibleTopLeft({0, 0});
        updateTitle();
        emit zoomChanged(renderer_.zoom());
        viewport()->update();
        return;
    }
    QSize avail = area->viewport()->size();
    if (fullScreen) {
        sub->showMaximized();
        renderer_.setZoom(
            std::min(double(avail.width()) / img.width(), double(avail.height()) / img.height()));
    } else {
        if (sub->isMaximized()) sub->showNormal();
        // The frame's borders: whole sub-window minus this view's client area.
        QSize border = sub->size() - viewport()->size();
        if (!sub->isVisible() || border.width() < 0 || border.height() < 0)
            border = QSize(2 * sub->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth),
                           sub->style()->pixelMetric(QStyle::PM_TitleBarHeight) +
                               2 * sub->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth));
        QSize client = avail - border;
        double z =
            std::min(double(client.width()) / img.width(), double(client.height()) / img.height());
        z = renderer_.setZoom(z);
        int cw = static_cast<int>(img.width() * z + 0.5);
        int ch = static_cast<int>(img.height() * z + 0.5);
        const int bar = 16;
        if (cw > client.width()) {
            cw = client.width();
            ch += bar;
        }
        if (ch > client.height()) {
            ch = client.height();
            cw += bar;
        }
        cw = std::min(cw, client.width());
        QSize outer(cw + border.width(), ch + border.height());
        sub->resize(outer);
        sub->move((avail.width() - outer.width()) / 2, (avail.height() - outer.height()) / 2);
    }
    drawn_ = false;
    zoomChanged_ = false;
    updateScrollRanges();
    setVisibleTopLeft({0, 0});
    updateTitle();
    emit zoomChanged(renderer_.zoom());
    viewport()->update();
}

void CWinQuillonView::refresh(bool relayout) {
    renderer_.invalidate();
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
    t += QString::asprintf(" @ %.0f%% (", renderer_.zoom() * 100.0);
    t += QString::fromUtf8(ImageTypeName(img.type()).name.data(),
                           static_cast<qsizetype>(ImageTypeName(img.type()).name.size()));
    if (img.hasOverlay()) t += QStringLiteral(" + Overlay");
    t += QStringLiteral(")");
    return t;
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
        if (renderer_.render(z.left(), z.top(), z.right() + 1, z.bottom() + 1, picture_) == 0 &&
            picture_.width > 0) {
            renderedPixels_ += static_cast<long long>(picture_.width) * picture_.height;
            // Wraps the renderer's buffer without copying it.
            QImage img(reinterpret_cast<const uchar*>(picture_.pixels.data()), picture_.width,
                       picture_.height, picture_.width * 4, QImage::Format_RGB32);
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
    drawn_ = true;
    zoomChanged_ = false;
    ++paintCount_;
}

void CWinQuillonView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    updateScrollRanges();
}

void CWinQuillonView::scrollContentsBy(int dx, int dy) {
    // Moves what is already on the screen; only the uncovered strip is rendered again.
    viewport()->scroll(dx, dy);
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
    int rgb[3] = {0, 0, 0};
    bool inside = viewport()->rect().contains(w) && renderer_.composedAt(img.x(), img.y(), rgb);
    if (inside) emit pixelInfo(true, img.x(), img.y(), rgb[0], rgb[1], rgb[2]);
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
    if (renderer_.setBlackAtPoint(pos.x(), pos.y()) != 0) {
        showMessage(this, QString::fromUtf8(kOutsideImage));
        return false;
    }
    afterDisplayChange();
    return true;
}

bool CWinQuillonView::pickWhitePoint(QPointF pos) {
    if (renderer_.setWhiteAtPoint(pos.x(), pos.y()) != 0) {
        showMessage(this, QString::fromUtf8(kOutsideImage));
        return false;
    }
    afterDisplayChange();
    return true;
}

void CWinQuillonView::afterDisplayChange() {
    viewport()->update();
}

void CWinQuillonView::contextMenuEvent(QContextMenuEvent* e) {
    if (e->modifiers() & Qt::ControlModifier) return; // Ctrl + right click picks the black point
    showContextMenu(e->pos(), e->globalPos());
}

void CWinQuillonView::showContextMenu(QPoint windowPos, QPoint globalPos) {
    double rx = 0, ry = 0;
    toImage(windowPos, &rx, &ry);
    QMenu menu(this);
    QAction* black = menu.addAction(QStringLiteral("&Schwarzpunkt"));
    QAction* white = menu.addAction(QStringLiteral("&Weißpunkt"));
    menu.addSeparator();
    menu.addAction(QStringLiteral("&LRGB Bias hier ermitteln..."))->setEnabled(false);
    menu.addAction(QStringLiteral("Referenzstern Lucy Richardson..."))->setEnabled(false);
    menu.addAction(QStringLiteral("&Photometrie hier fixieren"))->setEnabled(false);
    menu.addSeparator();
    QAction* hide = menu.addAction(QStringLiteral("Tools &ausblenden"));
    hide->setEnabled(false);
    QAction* leave = menu.addAction(QStringLiteral("&Vollbildansicht beenden"));
    leave->setEnabled(fullScreen_);
    QAction* chosen = menu.exec(globalPos);
    if (chosen == black)
        pickBlackPoint({rx, ry});
    else if (chosen == white)
        pickWhitePoint({rx, ry});
    else if (chosen == leave)
        emit escapePressed();
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
    savedZoom_ = renderer_.zoom();
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
    renderer_.setZoom(savedZoom_);
    drawn_ = false;
    updateScrollRanges();
    setVisibleTopLeft(savedTopLeft_);
    updateTitle();
    emit zoomChanged(renderer_.zoom());
    viewport()->update();
}

} // namespace quillon::ui
