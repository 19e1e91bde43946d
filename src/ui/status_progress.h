// The status bar's progress display: the library's progress text in pane 0 with a bar that
// takes 70 % of the pane.
#pragma once

#include "core/progress.h"

#include <mutex>

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

    // The text of the newest update (tests read it).
    std::string lastText() const;

private:
    QLabel* text_;
    QProgressBar* bar_;
    QWidget* pane_;
    // Operations step from their worker threads as well. Widgets belong to the interface
    // thread, so an update arriving on a worker is only remembered here; the interface
    // thread, which works on the same job, shows it with its next update.
    mutable std::mutex mutex_;
    std::string last_;
    std::string pendingText_;
    int pendingPercent_ = -1;
};

} // namespace quillon::ui
