// Whole-file gzip: the stream is inflated HDU by HDU, each header read before its data are
// asked for, and inflating ends behind the image the reader will pick.
#include "formats/fits_gzip.h"

#include "core/error.h"
#include "core/image.h"
#include "formats/fits_compressed.h"
#include "formats/fits_format.h"
#include "formats/fits_header.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <zlib.h>

namespace quillon::fits {

namespace {

// Inflates a gzip stream read from a ByteSource into a buffer that grows on demand.
class Inflater {
public:
    explicit Inflater(const ByteSource& src) : src_(src) {
        if (inflateInit2(&z_, 15 + 16) != Z_OK) throw std::bad_alloc();
    }
    ~Inflater() { inflateEnd(&z_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Inflates until at least `target` bytes are out or the stream ends; returns the count
    // available.
    std::size_t pull(std::size_t target) {
        while (size_ < target && !done_) {
            if (size_ == out_.size()) grow(target);
            if (z_.avail_in == 0) {
                const std::size_t got = src_.readAt(inPos_, in_, sizeof in_);
                inPos_ += got;
                if (got == 0) throw Error(kMsgUnknownFormat); // stream cut short
                z_.next_in = in_;
                z_.avail_in = static_cast<uInt>(got);
            }
            const std::size_t room = std::min<std::size_t>(out_.size() - size_, 1u << 30);
            z_.next_out = out_.data() + size_;
            z_.avail_out = static_cast<uInt>(room);
            const int rc = inflate(&z_, Z_NO_FLUSH);
            size_ += room - z_.avail_out;
            if (rc == Z_STREAM_END)
                done_ = true;
            else if (rc != Z_OK)
                throw Error(kMsgUnknownFormat);
        }
        return std::min(size_, target);
    }
    std::size_t size() const { return size_; }
    const std::uint8_t* data() const { return out_.data(); }
    memory::Buffer<std::uint8_t> take() { return std::move(out_); }

private:
    // Doubles the buffer, but never beyond what is asked for (a false claim costs nothing
    // until the stream really delivers that much).
    void grow(std::size_t target) {
        std::size_t cap = std::max<std::size_t>(out_.size() * 2, std::size_t{1} << 20);
        cap = std::min(cap, target);
        memory::Buffer<std::uint8_t> bigger(cap, false);
        if (size_) std::memcpy(bigger.data(), out_.data(), size_);
        out_ = std::move(bigger);
    }

    const ByteSource& src_;
    z_stream z_{};
    std::uint8_t in_[1 << 16];
    std::uint64_t inPos_ = 0;
    memory::Buffer<std::uint8_t> out_;
    std::size_t size_ = 0;
    bool done_ = false;
};

// Data bytes of the largest image the reader takes: 14000 × 14000, 33 planes of doubles.
constexpr std::uint64_t kMaxImageData =
    std::uint64_t{kMaxImageSize} * kMaxImageSize * (kMaxUserLayers + 1) * 8;

} // namespace

bool isGzip(const ByteSource& src) {
    std::uint8_t m[2];
    return src.readExactAt(0, m, 2) && m[0] == 0x1F && m[1] == 0x8B;
}

bool isFitsHead(const std::uint8_t* head, std::size_t n) {
    // "SIMPLE" padded with blanks to the value indicator in column 9.
    static constexpr char kSimple[] = "SIMPLE  =";
    constexpr std::size_t kLen = sizeof kSimple - 1;
    if (n >= kLen && std::memcmp(head, kSimple, kLen) == 0) return true;
    if (n < 18 || head[0] != 0x1F || head[1] != 0x8B) return false;
    // Inflate what the head holds, just far enough for the first card's keyword.
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) return false;
    std::uint8_t out[kLen] = {};
    z.next_in = const_cast<std::uint8_t*>(head);
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(n, 1u << 20));
    z.next_out = out;
    z.avail_out = kLen;
    const int rc = inflate(&z, Z_SYNC_FLUSH);
    const bool full = z.avail_out == 0;
    inflateEnd(&z);
    return (rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR) && full &&
           std::memcmp(out, kSimple, kLen) == 0;
}

memory::Buffer<std::uint8_t> inflateFits(const ByteSource& src, std::size_t& size) {
    Inflater z(src);
    std::uint64_t pos = 0;
    for (int hdu = 0; hdu < 1000; ++hdu) {
        // The header: up to 32 blocks, ending at END.
        HeaderState s;
        std::uint64_t next = pos;
        for (int b = 0; b < kMaxHeaderBlocks && !s.end; ++b) {
            if (z.pull(next + kBlockSize) < next + kBlockSize) break;
            for (std::size_t c = 0; c < kCardsPerBlock && !s.end; ++c)
                scanCard(s, reinterpret_cast<const char*>(z.data()) + next + c * kCardSize);
            next += kBlockSize;
        }
        if (!s.end) break; // the reader reports what it finds
        const long long bytes = dataBytes(s);
        if (bytes < 0 || static_cast<std::uint64_t>(bytes) > kMaxImageData)
            throw Error(kMsgUnknownFormat);
        const std::uint64_t padded =
            (static_cast<std::uint64_t>(bytes) + kBlockSize - 1) / kBlockSize * kBlockSize;
        const bool primary = hdu == 0;
        bool picked = primary ? s.naxis != 0 : s.xtension == "IMAGE";
        if (!primary && !picked && s.xtension == "BINTABLE") {
            MemorySource head(z.data() + pos, next - pos);
            TileCompression t;
            picked = scanCompressed(head, 0, t);
        }
        // The reader needs the whole data section of the image it picks (padding aside).
        const std::uint64_t end = next + (picked ? static_cast<std::uint64_t>(bytes) : padded);
        if (z.pull(end) < end || picked) break;
        pos = end;
    }
    size = z.size();
    return z.take();
}

} // namespace quillon::fits
