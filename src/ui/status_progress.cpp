// The status bar's progress display.
#include "ui/status_progress.h"

#include <QLabel>
#include <QProgressBar>
#include <QThread>

namespace quillon::ui {

StatusProgress::StatusProgress(QLabel* text, QProgressBar* bar, QWidget* pane)
    : text_(text), bar_(bar), pane_(pane) {
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    bar_->hide();
}

void StatusProgress::started(const std::string&, const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pendingPercent_ = -1;
    }
    bar_->setFixedWidth(std::max(20, pane_->width() * 7 / 10));
    bar_->setValue(0);
    bar_->show();
    update(text, 0);
}

void StatusProgress::update(const std::string& text, int percent) {
    std::string shownText = text;
    int shown = percent;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        last_ = text;
        if (QThread::currentThread() != text_->thread()) {
            pendingText_ = text;
            pendingPercent_ = percent;
            return;
        }
        if (pendingPercent_ > percent) {
            shownText = pendingText_;
            shown = pendingPercent_;
        }
    }
    text_->setText(QString::fromStdString(shownText));
    bar_->setValue(shown);
    // Long operations run on the interface thread: paint now rather than at the next event.
    text_->repaint();
    bar_->repaint();
}

void StatusProgress::finished() {
    bar_->hide();
    text_->setText(QStringLiteral("Bereit"));
}

std::string StatusProgress::lastText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
}

} // namespace quillon::ui
