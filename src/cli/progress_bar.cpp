// Terminal progress bar: drawn only when stderr is a terminal.
#include "cli/progress_bar.h"

#include <cstdio>
#include <unistd.h>

namespace quillon::cli {

TerminalProgress::TerminalProgress() : enabled_(::isatty(2) == 1) {}

void TerminalProgress::started(const std::string& title, const std::string&) {
    title_ = title;
    lastPercent_ = -1;
    draw(0);
}

void TerminalProgress::update(const std::string&, int percent) {
    draw(percent);
}

void TerminalProgress::draw(int percent) {
    if (!enabled_ || percent == lastPercent_) return;
    lastPercent_ = percent;
    const int width = 30;
    int filled = percent * width / 100;
    std::fprintf(stderr, "\r%-24.24s [", title_.c_str());
    for (int i = 0; i < width; ++i) std::fputc(i < filled ? '#' : '.', stderr);
    std::fprintf(stderr, "] %3d%%", percent);
    std::fflush(stderr);
}

void TerminalProgress::finished() {
    if (enabled_ && lastPercent_ >= 0) {
        std::fprintf(stderr, "\r%*s\r", 64, "");
        std::fflush(stderr);
    }
    lastPercent_ = -1;
}

} // namespace quillon::cli
