// UndoRecord: what one in-place operation changed in an image, enough to go back and forth.
//
// Mirror and the turns are reversed exactly by their counterpart, so their record keeps
// nothing of the image. Every other change keeps the metadata of both states and, per plane,
// the exclusive or of the rows between the first and the last changed row (one buffer serves
// undo and redo), or the whole plane where the plane appeared, went away or changed its size.
// Stored data is compressed when a trial shows that it pays; all of it is allocated under the
// memory budget, so running out of memory while recording is an ordinary std::bad_alloc.
#pragma once

#include "core/image.h"
#include "core/memory.h"
#include "core/progress.h"
#include "ops/geometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quillon {

// The operations whose counterpart reverses them exactly.
enum class Reversal { None, MirrorHorizontal, MirrorVertical, TurnRight, TurnLeft, TurnHalf };

// The pixel movement of a reversible operation; none for Reversal::None.
std::optional<Movement> movementOf(Reversal reversal);

// A stored block of bytes, compressed or not.
struct PackedBytes {
    memory::Buffer<std::uint8_t> data;
    std::size_t rawSize = 0;
    bool compressed = false;

    bool empty() const { return rawSize == 0; }
};

class UndoRecord {
public:
    UndoRecord();
    ~UndoRecord();
    UndoRecord(UndoRecord&&) noexcept;
    UndoRecord& operator=(UndoRecord&&) noexcept;

    // The record of a change from `before` to `after`. A `reversal` is taken when it restores
    // the image exactly (a quarter turn drops contribution counters, so an image holding them
    // is recorded by difference instead). Throws std::bad_alloc.
    static UndoRecord forChange(const Image& before, const Image& after,
                                Reversal reversal = Reversal::None);
    // The difference of the two states, whatever the operation was. Throws std::bad_alloc.
    static UndoRecord between(const Image& before, const Image& after);

    // `image` holds the state after the change; undo gives it the state before, redo the other
    // way round. Both throw std::bad_alloc with the image unchanged; the image stays the same
    // object, so whoever refers to it keeps doing so.
    void undo(Image& image, Progress& progress = Progress::none()) const;
    void redo(Image& image, Progress& progress = Progress::none()) const;

    // Memory the record holds, in bytes.
    std::size_t bytes() const;
    bool isReversal() const { return reversal_ != Reversal::None; }
    // How the change moved the pixels (mirror, turn), however it was recorded; what is kept in
    // pixel positions outside the image follows it (and its inverse on undo).
    std::optional<Movement> movement() const { return movement_; }

private:
    struct Delta;
    void apply(Image& image, bool toBefore, Progress& progress) const;

    Reversal reversal_ = Reversal::None;
    std::optional<Movement> movement_;
    std::unique_ptr<Delta> delta_;
};

} // namespace quillon
