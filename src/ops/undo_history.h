// UndoHistory: the undo and redo steps of one document, and UndoBudget, the memory limit all
// documents' histories share (the oldest step of all goes first).
#pragma once

#include "ops/undo_record.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace quillon {

struct UndoStep {
    std::string name;        // the operation as its menu entry names it, without "&" or "..."
    std::string titleSuffix; // text the operation appended to the document's title, if any
    UndoRecord record;
};

class UndoHistory;

class UndoBudget {
public:
    static constexpr std::size_t kDefaultLimit = std::size_t{512} << 20;

    explicit UndoBudget(std::size_t limitBytes = kDefaultLimit) : limit_(limitBytes) {}
    UndoBudget(const UndoBudget&) = delete;
    UndoBudget& operator=(const UndoBudget&) = delete;

    // A lower limit drops the oldest steps at once.
    void setLimit(std::size_t bytes);
    std::size_t limit() const { return limit_; }
    // Bytes held by the steps of all histories.
    std::size_t used() const;

private:
    friend class UndoHistory;
    void trim();

    std::size_t limit_;
    std::vector<UndoHistory*> histories_;
    std::uint64_t nextSerial_ = 1;
};

class UndoHistory {
public:
    explicit UndoHistory(UndoBudget& budget);
    ~UndoHistory();
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;

    // Appends a finished step; the steps that could have been redone go. False when the step
    // alone is more than the limit: it is not kept and the history is then empty.
    bool push(UndoStep step);

    bool canUndo() const { return index_ > 0; }
    bool canRedo() const { return index_ < steps_.size(); }
    // The step undo or redo would take back or do again; null when there is none.
    const UndoStep* nextUndo() const;
    const UndoStep* nextRedo() const;
    // The step last done (the one undo takes back), for additions to it; null when none.
    UndoStep* lastStep() { return canUndo() ? &steps_[index_ - 1].step : nullptr; }
    // Takes back the step before the current state (or does the next one again) on `image`,
    // which must hold the current state. std::bad_alloc leaves image and history unchanged.
    const UndoStep& undo(Image& image, Progress& progress = Progress::none());
    const UndoStep& redo(Image& image, Progress& progress = Progress::none());

    // Forgets every step; the current state stays the saved one if it was.
    void clear();
    // Forgets every step and the saved state: the image changed without a step (no memory
    // for one), so no state the history knows is the saved one any more.
    void discard() {
        clear();
        clean_ = -1;
    }
    // The current state is the saved one (opened or written to a file).
    void markClean() { clean_ = static_cast<std::ptrdiff_t>(index_); }
    // No state of the history is the saved one (a new document, never written).
    void forgetSavedState() { clean_ = -1; }
    // Whether the current state is the saved one; false once that state cannot be reached.
    bool isClean() const { return clean_ == static_cast<std::ptrdiff_t>(index_); }

    std::size_t count() const { return steps_.size(); }
    std::size_t index() const { return index_; }
    std::size_t bytes() const { return bytes_; }

private:
    friend class UndoBudget;
    struct Entry {
        UndoStep step;
        std::uint64_t serial = 0;
        std::size_t bytes = 0;
    };
    void dropOldest();
    void dropRedoSteps();

    UndoBudget& budget_;
    std::deque<Entry> steps_;
    std::size_t index_ = 0;    // steps below it can be undone, those from it on redone
    std::ptrdiff_t clean_ = 0; // index of the saved state, -1 when it is gone
    std::size_t bytes_ = 0;
};

} // namespace quillon
