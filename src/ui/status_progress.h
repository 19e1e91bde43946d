// The status bar's progress display: the library's progress text in pane 0 with a bar that
// takes 70 % of the pane.
#pragma once

#include "core/progress.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace quillon::ui {

class StatusProgress : public ProgressSink {
public:
    StatusProgress(QLabel* text, QProgressBar* bar, QWidget* pane);
    void started(const std::string& title, const std::string& text) override;
    void update(const std::string& text, int percent) override;
    void finished() override;

    // The text shown last (tests read it).
    const std::string& lastText() const { return last_; }

private:
    QLabel* text_;
    QProgressBar* bar_;
    QWidget* pane_;
    std::string last_;
};

} // namespace quillon::ui
