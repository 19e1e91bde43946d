// Progress reporting and cancellation for long operations.
//
// An operation receives a Progress& (never a global), calls begin() with its title, the
// number of work units and the minimum number of units between updates, step() once per
// unit (from any thread), and end(). The text shown is "   <title>  <pct>% " exactly as the
// status bar shows it. A sink decides where it goes: the status bar, a terminal bar, a test
// recorder, or nowhere.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

namespace quillon {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // A new job started; text already holds the 0 % line.
    virtual void started(const std::string& title, const std::string& text) {
        (void)title, (void)text;
    }
    // The percentage crossed another update interval.
    virtual void update(const std::string& text, int percent) = 0;
    // The job ended (bar hidden).
    virtual void finished() {}
    // Polled at every update; true asks the operation to stop (it throws Cancelled).
    virtual bool cancelRequested() { return false; }
};

class Progress {
public:
    Progress() = default; // reports nowhere
    explicit Progress(ProgressSink* sink) : sink_(sink) {}
    // A step of a longer job (one exposure's insertion within a whole composite): it reports
    // to outer's sink, which shows this title while the step runs, and its end() gives the
    // display back to outer, with outer's title and percentage, when outer is still running.
    explicit Progress(Progress& outer) : sink_(outer.sink_), outer_(&outer) {}
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void begin(const std::string& title, long long total, long long minInterval);
    // Advances by n units. Thread-safe. Throws Cancelled when the sink asks for it.
    void step(long long n = 1);
    void end();

    // The status text for a title and a percentage: "   %s  %2.0i%% ".
    static std::string format(const std::string& title, int percent);
    // The update interval rule: max(total / 100, minimum), at most total.
    static long long interval(long long total, long long minInterval);

    long long done() const { return done_.load(std::memory_order_relaxed); }
    long long total() const { return total_; }
    const std::string& title() const { return title_; }

    // A Progress that reports to no sink, for callers that do not show progress.
    static Progress& none();

private:
    int percentOf(long long done) const;

    ProgressSink* sink_ = nullptr;
    Progress* outer_ = nullptr;
    std::string title_;
    long long total_ = 0;
    long long interval_ = 1;
    std::atomic<long long> done_{0};
    std::atomic<long long> nextReport_{0};
    std::mutex reportMutex_;
    bool active_ = false;
};

} // namespace quillon
