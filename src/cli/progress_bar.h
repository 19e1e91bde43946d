// A progress bar on stderr for long work in the terminal.
#pragma once

#include "core/progress.h"

namespace quillon::cli {

class TerminalProgress : public ProgressSink {
public:
    TerminalProgress();
    void started(const std::string& title, const std::string& text) override;
    void update(const std::string& text, int percent) override;
    void finished() override;

private:
    void draw(int percent);
    bool enabled_;
    std::string title_;
    int lastPercent_ = -1;
};

} // namespace quillon::cli
