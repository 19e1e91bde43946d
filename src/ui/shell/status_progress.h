// The status bar's progress display: the library's progress text in pane 0 with a bar that
// takes 70 % of the pane.
#pragma once

#include "core/progress.h"

#include <mutex>
#include <string>

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
    // What the widgets should show; written from any thread.
    struct State {
        bool visible = false;
        std::string text;
        int percent = 0;
    };
    // Brings the widgets up to date: at once on the interface thread, else by a queued call.
    void publish();
    void show(bool paintNow);

    QLabel* text_;
    QProgressBar* bar_;
    QWidget* pane_;
    // Operations report from worker threads; widgets belong to the interface thread, so a
    // report from a worker is stored here and shown by a queued call (one pending at a time).
    mutable std::mutex mutex_;
    State state_;
    std::string last_;
    bool queued_ = false;
};

} // namespace quillon::ui
