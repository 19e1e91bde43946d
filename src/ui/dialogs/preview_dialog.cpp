// PreviewHost and PreviewDialog: the preview window's life beside a modal dialog.
#include "ui/dialogs/preview_dialog.h"

#include "ui/view.h"

#include <QPushButton>

namespace quillon::ui {

PreviewHost::PreviewHost(QWidget* owner, CWinQuillonView* view, SettingsRecord& settings,
                         PreviewProvider provider)
    : owner_(owner), view_(view), settings_(settings), provider_(std::move(provider)) {}

PreviewHost::~PreviewHost() {
    close();
}

void PreviewHost::show() {
    if (!view_) return;
    if (!window_) {
        window_ = new PreviewWindow(view_, settings_, provider_, owner_);
        // Reopened during the same dialog, the window shows the place it showed before.
        if (centre_) window_->centreOn(*centre_);
        QObject::connect(window_, &PreviewWindow::closed, owner_, [this] {
            if (!window_) return;
            centre_ = window_->centre();
            window_->deleteLater();
        });
    }
    window_->show();
    window_->raise();
}

void PreviewHost::close() {
    if (window_ && window_->isVisible()) window_->close();
    delete window_.data();
}

void PreviewHost::recompute() {
    if (window_ && window_->isVisible()) window_->recompute();
}

PreviewDialog::PreviewDialog(CWinQuillonView* view, SettingsRecord& settings, QWidget* parent)
    : QDialog(parent),
      host_(std::make_unique<PreviewHost>(this, view, settings,
                                          [this](const PreviewPiece& p) { return preview(p); })) {}

PreviewDialog::~PreviewDialog() = default;

PreviewWindow* PreviewDialog::previewWindow() const {
    return host_->window();
}

QPushButton* PreviewDialog::makePreviewButton() {
    auto* b = new QPushButton(tr("Vorschau..."), this);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this] { host_->show(); });
    return b;
}

void PreviewDialog::previewChanged() {
    host_->recompute();
}

void PreviewDialog::done(int r) {
    host_->close();
    QDialog::done(r);
}

void PreviewDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (shownOnce_) return;
    shownOnce_ = true;
    host_->show();
    // The dialog keeps the keyboard focus; the preview only sits beside it.
    activateWindow();
}

} // namespace quillon::ui
