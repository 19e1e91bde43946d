// UndoRecord: recording a change as its reversal or as packed plane differences, and
// applying it in either direction.
#include "ops/undo_record.h"

#include "ops/geometry.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace quillon {

namespace {

// Compression is tried on this much of a block first; data that does not shrink by a quarter
// there (noise, most real planes) is kept as it is, which costs no compression time.
constexpr std::size_t kTrialBytes = 64 * 1024;

bool shrinksEnough(std::size_t packed, std::size_t raw) {
    return packed < raw - raw / 4;
}

// zlib reports running out of its working memory as Z_MEM_ERROR; the stored data itself is
// our own, so any other failure means memory trouble as well.
[[noreturn]] void zlibFailed() {
    throw std::bad_alloc();
}

PackedBytes pack(const void* src, std::size_t n) {
    PackedBytes out;
    out.rawSize = n;
    if (n == 0) return out;
    const auto* bytes = static_cast<const Bytef*>(src);
    bool tryAll = true;
    if (n > kTrialBytes) {
        memory::Buffer<std::uint8_t> trial(compressBound(kTrialBytes), false);
        uLongf len = static_cast<uLongf>(trial.size());
        if (compress2(trial.data(), &len, bytes, kTrialBytes, Z_BEST_SPEED) != Z_OK) zlibFailed();
        tryAll = shrinksEnough(len, kTrialBytes);
    }
    if (tryAll) {
        memory::Buffer<std::uint8_t> tmp(compressBound(static_cast<uLong>(n)), false);
        uLongf len = static_cast<uLongf>(tmp.size());
        if (compress2(tmp.data(), &len, bytes, static_cast<uLong>(n), Z_BEST_SPEED) != Z_OK)
            zlibFailed();
        if (shrinksEnough(len, n)) {
            out.data.allocate(len, false);
            std::memcpy(out.data.data(), tmp.data(), len);
            out.compressed = true;
            return out;
        }
    }
    out.data.allocate(n, false);
    std::memcpy(out.data.data(), src, n);
    return out;
}

void unpack(const PackedBytes& in, void* dst) {
    if (in.empty()) return;
    if (!in.compressed) {
        std::memcpy(dst, in.data.data(), in.rawSize);
        return;
    }
    uLongf len = static_cast<uLongf>(in.rawSize);
    if (uncompress(static_cast<Bytef*>(dst), &len, in.data.data(),
                   static_cast<uLong>(in.data.size())) != Z_OK ||
        len != in.rawSize)
        zlibFailed();
}

std::size_t planeSamples(const Image& image) {
    return static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height());
}

// Memory of what metadataCopy keeps, roughly: enough to count metadata-only steps.
std::size_t metadataBytes(const Image& image) {
    std::size_t n = sizeof(Image) + image.info().comments.size() * sizeof(CommentLine) +
                    image.storedDisplay().tables.size() +
                    image.storedDisplay().layerMatrix.size() * sizeof(float) +
                    static_cast<std::size_t>(image.planeCount()) * sizeof(LayerName);
    for (const PsfKernel& k : image.psf()) n += k.values.size() * sizeof(float);
    return n;
}

bool sameCounters(const Image& a, const Image& b) {
    if (a.hasCounters() != b.hasCounters()) return false;
    if (!a.hasCounters()) return true;
    if (a.width() != b.width() || a.height() != b.height() || a.layerCount() != b.layerCount())
        return false;
    const std::size_t n = planeSamples(a) * sizeof(Count);
    for (int l = 0; l < a.layerCount(); ++l)
        if (std::memcmp(a.counterRow(l, 0), b.counterRow(l, 0), n) != 0) return false;
    return true;
}

PackedBytes packCounters(const Image& image) {
    if (!image.hasCounters()) return {};
    const std::size_t n = planeSamples(image);
    memory::Buffer<Count> all(n * static_cast<std::size_t>(image.layerCount()), false);
    for (int l = 0; l < image.layerCount(); ++l)
        std::copy_n(image.counterRow(l, 0), n, all.data() + n * static_cast<std::size_t>(l));
    return pack(all.data(), all.size() * sizeof(Count));
}

} // namespace

// One plane index: the exclusive or of rows [first, last) when the plane has the same size in
// both states, else the whole plane of each state that has it.
struct PlaneChange {
    int first = 0;
    int last = 0;
    PackedBytes xorRows;
    PackedBytes before;
    PackedBytes after;
};

struct UndoRecord::Delta {
    Image before; // metadata of each state (metadataCopy)
    Image after;
    bool beforeCounters = false;
    bool afterCounters = false;
    bool countersChanged = false;
    PackedBytes countersBefore;
    PackedBytes countersAfter;
    std::vector<PlaneChange> planes;
};

std::optional<Movement> movementOf(Reversal reversal) {
    switch (reversal) {
    case Reversal::MirrorHorizontal: return Movement::MirrorHorizontal;
    case Reversal::MirrorVertical: return Movement::MirrorVertical;
    case Reversal::TurnRight: return Movement::TurnRight;
    case Reversal::TurnLeft: return Movement::TurnLeft;
    case Reversal::TurnHalf: return Movement::TurnHalf;
    case Reversal::None: break;
    }
    return std::nullopt;
}

UndoRecord::UndoRecord() = default;
UndoRecord::~UndoRecord() = default;
UndoRecord::UndoRecord(UndoRecord&&) noexcept = default;
UndoRecord& UndoRecord::operator=(UndoRecord&&) noexcept = default;

UndoRecord UndoRecord::forChange(const Image& before, const Image& after, Reversal reversal) {
    const bool quarterTurn = reversal == Reversal::TurnRight || reversal == Reversal::TurnLeft;
    if (reversal == Reversal::None || (quarterTurn && before.hasCounters())) {
        UndoRecord r = between(before, after);
        r.movement_ = movementOf(reversal);
        return r;
    }
    UndoRecord r;
    r.reversal_ = reversal;
    r.movement_ = movementOf(reversal);
    return r;
}

UndoRecord UndoRecord::between(const Image& before, const Image& after) {
    auto d = std::make_unique<Delta>();
    d->before = before.metadataCopy();
    d->after = after.metadataCopy();
    d->beforeCounters = before.hasCounters();
    d->afterCounters = after.hasCounters();
    if (!sameCounters(before, after)) {
        d->countersChanged = true;
        d->countersBefore = packCounters(before);
        d->countersAfter = packCounters(after);
    }
    const bool sameSize = before.width() == after.width() && before.height() == after.height();
    const int planes = std::max(before.planeCount(), after.planeCount());
    d->planes.resize(static_cast<std::size_t>(planes));
    for (int p = 0; p < planes; ++p) {
        PlaneChange& c = d->planes[static_cast<std::size_t>(p)];
        const bool inBefore = p < before.planeCount();
        const bool inAfter = p < after.planeCount();
        if (!(inBefore && inAfter && sameSize)) {
            if (inBefore) c.before = pack(before.planeData(p), planeSamples(before) * 2);
            if (inAfter) c.after = pack(after.planeData(p), planeSamples(after) * 2);
            continue;
        }
        const int w = before.width();
        const auto rowBytes = static_cast<std::size_t>(w) * sizeof(Sample);
        auto differs = [&](int y) {
            return std::memcmp(before.row(p, y), after.row(p, y), rowBytes) != 0;
        };
        int first = 0;
        while (first < before.height() && !differs(first)) ++first;
        if (first == before.height()) continue;
        int last = before.height();
        while (!differs(last - 1)) --last;
        memory::Buffer<Sample> x(
            static_cast<std::size_t>(last - first) * static_cast<std::size_t>(w), false);
        for (int y = first; y < last; ++y) {
            const Sample* a = before.row(p, y);
            const Sample* b = after.row(p, y);
            Sample* o =
                x.data() + static_cast<std::size_t>(y - first) * static_cast<std::size_t>(w);
            for (int i = 0; i < w; ++i) o[i] = static_cast<Sample>(a[i] ^ b[i]);
        }
        c.first = first;
        c.last = last;
        c.xorRows = pack(x.data(), x.size() * sizeof(Sample));
    }
    UndoRecord r;
    r.delta_ = std::move(d);
    return r;
}

void UndoRecord::undo(Image& image, Progress& progress) const {
    apply(image, true, progress);
}

void UndoRecord::redo(Image& image, Progress& progress) const {
    apply(image, false, progress);
}

void UndoRecord::apply(Image& image, bool toBefore, Progress& progress) const {
    if (reversal_ != Reversal::None) {
        Reversal r = reversal_;
        if (toBefore && r == Reversal::TurnRight)
            r = Reversal::TurnLeft;
        else if (toBefore && r == Reversal::TurnLeft)
            r = Reversal::TurnRight;
        switch (r) {
        case Reversal::MirrorHorizontal: mirror(image, true, progress); break;
        case Reversal::MirrorVertical: mirror(image, false, progress); break;
        case Reversal::TurnRight: rotate(image, Rotation::Clockwise, progress); break;
        case Reversal::TurnLeft: rotate(image, Rotation::CounterClockwise, progress); break;
        case Reversal::TurnHalf: rotate(image, Rotation::Half, progress); break;
        case Reversal::None: break;
        }
        return;
    }
    if (!delta_) return;
    const Delta& d = *delta_;
    Image out = (toBefore ? d.before : d.after).metadataCopy();
    if (out.AllocateSamples(false) != 0) throw std::bad_alloc();
    const std::size_t n = planeSamples(out);
    for (int p = 0; p < out.planeCount(); ++p) {
        const PlaneChange& c = d.planes[static_cast<std::size_t>(p)];
        const PackedBytes& whole = toBefore ? c.before : c.after;
        if (!whole.empty()) {
            unpack(whole, out.planeData(p));
            continue;
        }
        std::copy_n(image.planeData(p), n, out.planeData(p));
        if (c.xorRows.empty()) continue;
        const auto w = static_cast<std::size_t>(out.width());
        memory::Buffer<Sample> x(static_cast<std::size_t>(c.last - c.first) * w, false);
        unpack(c.xorRows, x.data());
        Sample* o = out.planeData(p) + static_cast<std::size_t>(c.first) * w;
        for (std::size_t i = 0; i < x.size(); ++i) o[i] = static_cast<Sample>(o[i] ^ x[i]);
    }
    if (toBefore ? d.beforeCounters : d.afterCounters) {
        if (out.AllocateCounters(kMaxUserLayers, 0) != 0) throw std::bad_alloc();
        if (d.countersChanged) {
            memory::Buffer<Count> all(n * static_cast<std::size_t>(out.layerCount()), false);
            unpack(toBefore ? d.countersBefore : d.countersAfter, all.data());
            for (int l = 0; l < out.layerCount(); ++l)
                std::copy_n(all.data() + n * static_cast<std::size_t>(l), n, out.counterRow(l, 0));
        } else {
            for (int l = 0; l < out.layerCount(); ++l)
                std::copy_n(image.counterRow(l, 0), n, out.counterRow(l, 0));
        }
    }
    image = std::move(out);
}

std::size_t UndoRecord::bytes() const {
    std::size_t n = sizeof(UndoRecord);
    if (!delta_) return n;
    const Delta& d = *delta_;
    n += sizeof(Delta) + metadataBytes(d.before) + metadataBytes(d.after) +
         d.countersBefore.data.size() + d.countersAfter.data.size();
    for (const PlaneChange& c : d.planes)
        n += sizeof(PlaneChange) + c.xorRows.data.size() + c.before.data.size() +
             c.after.data.size();
    return n;
}

} // namespace quillon
