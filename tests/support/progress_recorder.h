// A progress sink for the tests that records everything an operation reports.
#pragma once

#include "core/progress.h"

#include <string>
#include <vector>

namespace quillon::testkit {

// Records the title of every job, every text (the 0 % line at the start, then each update)
// and every percentage, and counts starts and finishes. With cancelAfter = n >= 0 it asks to
// cancel at the poll that follows the n-th update (0 and 1: at the first one).
struct ProgressRecorder : ProgressSink {
    std::vector<std::string> titles;
    std::vector<std::string> texts;
    std::vector<int> percents;
    int starts = 0;
    int finishes = 0;
    int cancelAfter = -1;

    void started(const std::string& title, const std::string& text) override {
        ++starts;
        titles.push_back(title);
        texts.push_back(text);
    }
    void update(const std::string& text, int percent) override {
        texts.push_back(text);
        percents.push_back(percent);
    }
    void finished() override { ++finishes; }
    bool cancelRequested() override { return cancelAfter >= 0 && updates() >= cancelAfter; }

    int updates() const { return static_cast<int>(percents.size()); }
    // The title of the latest job, empty before the first.
    std::string title() const { return titles.empty() ? std::string() : titles.back(); }
    int lastPercent() const { return percents.empty() ? -1 : percents.back(); }
};

} // namespace quillon::testkit
