// The status bar's progress display.
#include "ui/status_progress.h"

#include <QLabel>
#include <QProgressBar>

namespace quillon::ui {

StatusProgress::StatusProgress(QLabel* text, QProgressBar* bar, QWidget* pane)
    : text_(text), bar_(bar), pane_(pane) {
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    bar_->hide();
}

void StatusProgress::started(const std::string&, const std::string& text) {
    bar_->setFixedWidth(std::max(20, pane_->width() * 7 / 10));
    bar_->setValue(0);
    bar_->show();
    update(text, 0);
}

void StatusProgress::update(const std::string& text, int percent) {
    last_ = text;
    text_->setText(QString::fromStdString(text));
    bar_->setValue(percent);
    // Long operations run on the interface thread: paint now rather than at the next event.
    text_->repaint();
    bar_->repaint();
}

void StatusProgress::finished() {
    bar_->hide();
    text_->setText(QStringLiteral("Bereit"));
}

} // namespace quillon::ui
