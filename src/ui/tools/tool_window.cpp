// ToolWindow and ToolWindows: creation, docks, view following and redraws.
#include "ui/tools/tool_window.h"

#include "ui/photometry/photometry_window.h"
#include "ui/tools/histogram_window.h"
#include "ui/tools/image_info_window.h"
#include "ui/tools/navigator_window.h"
#include "ui/tools/scaling_window.h"
#include "ui/view.h"

#include <QMainWindow>
#include <QVBoxLayout>

namespace quillon::ui {

ToolWindow::ToolWindow(QWidget* owner, SettingsRecord& settings, WindowSlot slot,
                       const QString& title)
    : QWidget(owner), settings_(settings), owner_(owner), slot_(slot), body_(new QWidget(this)) {
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

// --- ToolWindows ---------------------------------------------------------------------------

ToolWindows::ToolWindows(QMainWindow& owner, SettingsRecord& settings, QWidget* helpWizard,
                         QWidget* helpPages)
    : QObject(&owner), owner_(&owner), settings_(settings), docks_(new DockHost(owner, settings)) {
    docks_->setContent(Dock::HelpWizard, helpWizard);
    docks_->setContent(Dock::Help, helpPages);
    connect(docks_, &DockHost::closedByUser, this, [this](Dock d) {
        if (d == Dock::Help) return;
        if (ToolWindow* w = window(static_cast<Tool>(d))) w->closed();
        emit closedByUser(static_cast<Tool>(d));
    });
}

bool ToolWindows::hasWindow(Tool t) const {
    return t == Tool::Navigator || t == Tool::Scaling || t == Tool::Histogram ||
           t == Tool::Photometry || t == Tool::ImageInfo;
}

bool ToolWindows::isVisible(Tool t) const {
    return (t == Tool::HelpWizard || window(t)) && docks_->isOpen(static_cast<Dock>(t));
}

ToolWindow* ToolWindows::open(Tool t) {
    if (t == Tool::HelpWizard) docks_->open(Dock::HelpWizard);
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
        docks_->setContent(static_cast<Dock>(t), w);
    }
    w->setView(active_);
    docks_->open(static_cast<Dock>(t));
    return w;
}

void ToolWindows::close(Tool t) {
    if (!isVisible(t)) return;
    docks_->close(static_cast<Dock>(t));
    if (ToolWindow* w = window(t)) w->closed();
}

unsigned ToolWindows::restoreLayout() {
    if (!docks_->restoreSaved()) return 0;
    unsigned bits = 0;
    for (int i = 0; i <= static_cast<int>(Tool::HelpWizard); ++i) {
        const auto t = static_cast<Tool>(i);
        if (!docks_->isOpen(static_cast<Dock>(t))) continue;
        open(t); // fills the dock; an open dock keeps its place among its tabs
        bits |= 1u << i;
    }
    return bits;
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
