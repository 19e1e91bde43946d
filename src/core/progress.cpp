// Progress text, update interval and thread-safe stepping.
#include "core/progress.h"

#include "core/error.h"

#include <cstdio>

namespace quillon {

std::string Progress::format(const std::string& title, int percent) {
    // "%2.0i" prints nothing for 0 but the field width; this is the status bar's own format.
    int n = std::snprintf(nullptr, 0, "   %s  %2.0i%% ", title.c_str(), percent);
    std::string out(static_cast<std::size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, "   %s  %2.0i%% ", title.c_str(), percent);
    return out;
}

long long Progress::interval(long long total, long long minInterval) {
    long long iv = total / 100;
    if (iv < minInterval) iv = minInterval;
    if (iv > total) iv = total;
    if (iv < 1) iv = 1;
    return iv;
}

void Progress::begin(const std::string& title, long long total, long long minInterval) {
    title_ = title;
    total_ = total > 0 ? total : 0;
    interval_ = interval(total_, minInterval);
    done_.store(0, std::memory_order_relaxed);
    nextReport_.store(interval_, std::memory_order_relaxed);
    active_ = true;
    if (sink_) sink_->started(title_, format(title_, 0));
}

void Progress::step(long long n) {
    long long now = done_.fetch_add(n, std::memory_order_relaxed) + n;
    if (!sink_) return;
    long long next = nextReport_.load(std::memory_order_relaxed);
    if (now < next) return;
    std::lock_guard<std::mutex> lock(reportMutex_);
    next = nextReport_.load(std::memory_order_relaxed);
    if (now < next) return;
    while (next <= now) next += interval_;
    nextReport_.store(next, std::memory_order_relaxed);
    const int pct = percentOf(now);
    sink_->update(format(title_, pct), pct);
    if (sink_->cancelRequested()) throw Cancelled();
}

int Progress::percentOf(long long now) const {
    const long long shown = now > total_ ? total_ : now;
    return total_ > 0 ? static_cast<int>(shown * 100 / total_) : 100;
}

void Progress::end() {
    if (active_ && sink_) {
        if (outer_ && outer_->active_) {
            const int pct = outer_->percentOf(outer_->done());
            sink_->started(outer_->title_, format(outer_->title_, 0));
            if (pct > 0) sink_->update(format(outer_->title_, pct), pct);
        } else {
            sink_->finished();
        }
    }
    active_ = false;
}

Progress& Progress::none() {
    thread_local Progress p;
    return p;
}

} // namespace quillon
