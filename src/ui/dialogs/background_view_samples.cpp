// The background samples drawn over the document view, the click that toggles them, and the
// hold on the main window's other input while the dialog is open.
#include "ui/dialogs/background_view_samples.h"

#include "filters/background.h"
#include "ui/dialogs/background_dialog.h"
#include "ui/view.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace quillon::ui {

BackgroundViewSamples::BackgroundViewSamples(BackgroundDialog& dialog, CWinQuillonView& view)
    : QWidget(view.viewport()), dialog_(dialog), view_(&view), mainWindow_(view.window()) {
    setCursor(Qt::CrossCursor);
    setGeometry(view.viewport()->rect());
    view.viewport()->installEventFilter(this);
    qApp->installEventFilter(this);
    show();
    raise();
}

BackgroundViewSamples::~BackgroundViewSamples() {
    qApp->removeEventFilter(this);
}

QPoint BackgroundViewSamples::viewPosition(int x, int y) const {
    return view_ ? view_->toWindow(QPoint(x, y)) : QPoint(x, y);
}

void BackgroundViewSamples::paintEvent(QPaintEvent*) {
    if (!view_) return;
    const Image& image = view_->renderer().image();
    if (!image.hasSamples()) return;
    // The sample's box at the view's zoom, never smaller than 7 pixels.
    const int box = backgroundBoxSize(image.width(), image.height(), dialog_.options().grid);
    const int half = std::max(3, int(box * view_->zoom() / 2 + 0.5));
    QPainter p(this);
    for (const BackgroundSample& s : dialog_.samples()) {
        const QPoint c = viewPosition(s.x, s.y);
        const QRect r(c.x() - half, c.y() - half, 2 * half, 2 * half);
        if (!r.intersects(rect())) continue;
        p.setPen(QPen(s.kept() ? QColor(0, 200, 0) : QColor(230, 0, 0), 1));
        p.drawRect(r);
    }
}

void BackgroundViewSamples::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !view_) return e->ignore();
    const QPoint at = view_->toImage(e->position().toPoint());
    dialog_.toggleSample(at.x(), at.y());
}

// The left button belongs to the samples; everything else goes on to the view.
void BackgroundViewSamples::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) e->ignore();
}
void BackgroundViewSamples::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) e->ignore();
}
void BackgroundViewSamples::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) e->ignore();
}

// Scrolling the view moves its children with the picture; the layer stays over all of it.
void BackgroundViewSamples::moveEvent(QMoveEvent*) {
    if (pos() != QPoint(0, 0)) move(0, 0);
    update();
}

bool BackgroundViewSamples::takesInput(QObject* o, bool contextMenu) const {
    if (!o->isWidgetType()) return true; // windows pass input on to their widgets
    auto* w = static_cast<QWidget*>(o);
    if (!mainWindow_ || w->window() != mainWindow_) return true;
    if (contextMenu) return false; // the view's menu has commands of its own
    return w == this || (view_ && (w == view_ || view_->isAncestorOf(w)));
}

bool BackgroundViewSamples::eventFilter(QObject* watched, QEvent* e) {
    if (view_ && watched == view_->viewport() && e->type() == QEvent::Resize) {
        setGeometry(view_->viewport()->rect());
        return false;
    }
    switch (e->type()) {
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
        // The main window's commands (actions are not widgets); the dialog's own mnemonics
        // reach its buttons.
        if (!watched->isWidgetType()) return true;
        return !takesInput(watched, false);
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TabletPress: return !takesInput(watched, false);
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: return !takesInput(watched, true);
    case QEvent::Close:
        // Closing the main window or the document's window would take the image away.
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow() &&
            !takesInput(watched, true)) {
            e->ignore();
            return true;
        }
        return false;
    default: return false;
    }
}

} // namespace quillon::ui
