// The status bar's progress display.
#include "ui/shell/status_progress.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QThread>

#include <algorithm>

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
        state_ = {true, text, 0};
        last_ = text;
    }
    publish();
}

void StatusProgress::update(const std::string& text, int percent) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        last_ = text;
        // Reports of parallel rows may arrive out of order: the bar never goes back.
        if (percent >= state_.percent) {
            state_.text = text;
            state_.percent = percent;
        }
    }
    publish();
}

void StatusProgress::finished() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = {};
    }
    publish();
}

void StatusProgress::publish() {
    if (QThread::currentThread() == text_->thread()) {
        show(true);
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (queued_) return;
    queued_ = true;
    QMetaObject::invokeMethod(
        text_, [this] { show(false); }, Qt::QueuedConnection);
}

void StatusProgress::show(bool paintNow) {
    State s;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        s = state_;
        queued_ = false;
    }
    if (!s.visible) {
        bar_->hide();
        text_->setText(QCoreApplication::translate("quillon::ui::StatusProgress", "Bereit"));
        return;
    }
    if (bar_->isHidden()) {
        bar_->setFixedWidth(std::max(20, pane_->width() * 7 / 10));
        bar_->show();
    }
    text_->setText(QString::fromStdString(s.text));
    bar_->setValue(s.percent);
    // Work on the interface thread gives the event loop no chance to paint: paint now.
    if (paintNow) {
        text_->repaint();
        bar_->repaint();
    }
}

std::string StatusProgress::lastText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
}

} // namespace quillon::ui
