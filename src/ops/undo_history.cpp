// UndoHistory and UndoBudget: stepping through the recorded changes and keeping all
// histories together under the memory limit.
#include "ops/undo_history.h"

#include <algorithm>
#include <stdexcept>

namespace quillon {

void UndoBudget::setLimit(std::size_t bytes) {
    limit_ = bytes;
    trim();
}

std::size_t UndoBudget::used() const {
    std::size_t n = 0;
    for (const UndoHistory* h : histories_) n += h->bytes();
    return n;
}

void UndoBudget::trim() {
    while (used() > limit_) {
        UndoHistory* oldest = nullptr;
        for (UndoHistory* h : histories_)
            if (!h->steps_.empty() &&
                (!oldest || h->steps_.front().serial < oldest->steps_.front().serial))
                oldest = h;
        if (!oldest) return;
        oldest->dropOldest();
    }
}

UndoHistory::UndoHistory(UndoBudget& budget) : budget_(budget) {
    budget_.histories_.push_back(this);
}

UndoHistory::~UndoHistory() {
    auto& all = budget_.histories_;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

bool UndoHistory::push(UndoStep step) {
    dropRedoSteps();
    Entry e;
    e.bytes = step.record.bytes() + step.name.size() + step.titleSuffix.size();
    e.serial = budget_.nextSerial_++;
    e.step = std::move(step);
    const std::uint64_t serial = e.serial;
    bytes_ += e.bytes;
    steps_.push_back(std::move(e));
    ++index_;
    budget_.trim();
    return !steps_.empty() && steps_.back().serial == serial;
}

const UndoStep* UndoHistory::nextUndo() const {
    return canUndo() ? &steps_[index_ - 1].step : nullptr;
}

const UndoStep* UndoHistory::nextRedo() const {
    return canRedo() ? &steps_[index_].step : nullptr;
}

const UndoStep& UndoHistory::undo(Image& image, Progress& progress) {
    if (!canUndo()) throw std::logic_error("nothing to undo");
    const UndoStep& s = steps_[index_ - 1].step;
    s.record.undo(image, progress);
    --index_;
    return s;
}

const UndoStep& UndoHistory::redo(Image& image, Progress& progress) {
    if (!canRedo()) throw std::logic_error("nothing to redo");
    const UndoStep& s = steps_[index_].step;
    s.record.redo(image, progress);
    ++index_;
    return s;
}

void UndoHistory::clear() {
    clean_ = isClean() ? 0 : -1;
    steps_.clear();
    index_ = 0;
    bytes_ = 0;
}

void UndoHistory::dropRedoSteps() {
    if (clean_ > static_cast<std::ptrdiff_t>(index_)) clean_ = -1;
    while (steps_.size() > index_) {
        bytes_ -= steps_.back().bytes;
        steps_.pop_back();
    }
}

void UndoHistory::dropOldest() {
    if (index_ == 0) {
        // The oldest step is one to redo: without it none of the later ones can be redone.
        clear();
        return;
    }
    bytes_ -= steps_.front().bytes;
    steps_.pop_front();
    --index_;
    clean_ = clean_ > 0 ? clean_ - 1 : -1;
}

} // namespace quillon
