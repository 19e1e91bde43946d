// ToolWindow and ToolWindows: creation, view following, positions and redraws.
#include "ui/tools/tool_window.h"

#include "ui/photometry/photometry_window.h"
#include "ui/tools/histogram_window.h"
#include "ui/tools/image_info_window.h"
#include "ui/tools/navigator_window.h"
#include "ui/tools/scaling_window.h"
#include "ui/view.h"

#include <QCloseEvent>
#include <QVBoxLayout>

namespace quillon::ui {

ToolWindow::ToolWindow(QWidget* owner, SettingsRecord& settings, WindowSlot slot,
                       const QString& title)
    : QWidget(owner, Qt::Tool), settings_(settings), slot_(slot), body_(new QWidget(this)) {
    setWindowTitle(title);
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(4, 4, 4, 4);
    l->addWidget(body_);
    body_->setEnabled(false);
}

void ToolWindow::setView(CWinQuillonView* v) {
    view_ = v;
    body_->setEnabled(v != nullptr);
    refresh();
}

void ToolWindow::placeAtStoredPoint() {
    WindowPoint p = settings_.windowPoint(slot_);
    move(p.left, p.top);
}

void ToolWindow::storePoint() {
    settings_.setWindowPoint(slot_, {x(), y()});
}

void ToolWindow::afterDisplayEdit() {
    if (!view_) return;
    view_->refresh(false);
    emit displayEdited(view_);
}

void ToolWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Pictures are only drawn while the window is shown.
    refresh();
}

void ToolWindow::closeEvent(QCloseEvent* e) {
    storePoint();
    QWidget::closeEvent(e);
    if (!closingFromCode_) emit closedByUser();
}

// --- ToolWindows ---------------------------------------------------------------------------

ToolWindows::ToolWindows(QWidget* owner, SettingsRecord& settings)
    : QObject(owner), owner_(owner), settings_(settings) {}

bool ToolWindows::hasWindow(Tool t) const {
    return t == Tool::Navigator || t == Tool::Scaling || t == Tool::Histogram ||
           t == Tool::Photometry || t == Tool::ImageInfo;
}

bool ToolWindows::isVisible(Tool t) const {
    ToolWindow* w = window(t);
    return w && w->isVisible();
}

ToolWindow* ToolWindows::open(Tool t) {
    if (!hasWindow(t)) return nullptr;
    ToolWindow*& w = windows_[static_cast<std::size_t>(t)];
    if (!w) {
        switch (t) {
        case Tool::Navigator: w = new NavigatorWindow(owner_, settings_); break;
        case Tool::Scaling: w = new ScalingWindow(owner_, settings_); break;
        case Tool::Histogram: w = new HistogramWindow(owner_, settings_); break;
        case Tool::Photometry: w = new PhotometryWindow(owner_, settings_); break;
        case Tool::ImageInfo: w = new ImageInfoWindow(owner_, settings_); break;
        default: return nullptr;
        }
        connect(w, &ToolWindow::displayEdited, this, [this] { refreshAll(); });
        connect(w, &ToolWindow::closedByUser, this, [this, t] { emit closedByUser(t); });
    }
    w->placeAtStoredPoint();
    w->setView(active_);
    w->show();
    w->raise();
    return w;
}

void ToolWindows::close(Tool t) {
    ToolWindow* w = window(t);
    if (!w || !w->isVisible()) return;
    w->closingFromCode_ = true;
    w->close();
    w->closingFromCode_ = false;
}

void ToolWindows::setActiveView(CWinQuillonView* v) {
    if (active_ == v) {
        refreshAll();
        return;
    }
    active_ = v;
    for (ToolWindow* w : windows_)
        if (w) w->setView(v);
}

void ToolWindows::refreshAll() {
    for (ToolWindow* w : windows_)
        if (w && w->isVisible()) w->refresh();
}

} // namespace quillon::ui
