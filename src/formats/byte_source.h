// Sequential and random access to the bytes of a file or of a memory block, for the readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

// The bytes of a file or a memory block with a known size, for every reader, so that the same
// code reads files from disk and memory blocks (fuzzing, tests).
//
// Two ways in: positioned reads (readAt), which are thread-safe and go straight into the
// caller's buffer (a file read is one pread per call, no intermediate copy), for readers that
// fetch chunks from several workers; and a sequential cursor (read/seek) on top of them for
// readers that walk a file from the front on one thread.
// Bytes of a source seen in place, without a copy: a memory block's own bytes or a file's pages
// mapped into memory. Empty when the source cannot offer them (the caller then reads).
class ByteView {
public:
    ByteView() = default;
    ByteView(const std::uint8_t* data, std::size_t size, void* mapping, std::size_t mappingSize)
        : data_(data), size_(size), mapping_(mapping), mappingSize_(mappingSize) {}
    ~ByteView();
    ByteView(ByteView&& o) noexcept { swap(o); }
    ByteView& operator=(ByteView&& o) noexcept {
        swap(o);
        return *this;
    }
    ByteView(const ByteView&) = delete;
    ByteView& operator=(const ByteView&) = delete;

    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return data_ == nullptr; }
    // Runs `work`, which reads the viewed bytes. A mapped file that shrank meanwhile has lost
    // the pages beyond its new end; touching them then returns false here instead of ending
    // the program (work must own nothing that needs destroying when it is left that way).
    // Memory blocks cannot fail. Safe to call from several threads at once.
    bool access(const std::function<void()>& work) const;

private:
    void swap(ByteView& o) noexcept;

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    void* mapping_ = nullptr; // the whole mapping when the bytes are a file's pages
    std::size_t mappingSize_ = 0;
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to n bytes at `offset` without moving the cursor; fewer only at the end of the
    // data (or when a file shrank). Thread-safe.
    virtual std::size_t readAt(std::uint64_t offset, void* dst, std::size_t n) const = 0;
    // Reads exactly n bytes at `offset`; false on a short read.
    bool readExactAt(std::uint64_t offset, void* dst, std::size_t n) const {
        return readAt(offset, dst, n) == n;
    }
    // The n bytes at `offset` seen in place, or an empty view (also when they lie beyond the
    // end).
    virtual ByteView viewAt(std::uint64_t offset, std::size_t n) const {
        (void)offset, (void)n;
        return {};
    }

    // Reads up to n bytes at the cursor and moves it past them; returns the count read.
    std::size_t read(void* dst, std::size_t n) {
        const std::size_t got = readAt(pos_, dst, n);
        pos_ += got;
        return got;
    }
    // Reads exactly n bytes at the cursor; false on a short read.
    bool readExact(void* dst, std::size_t n) { return read(dst, n) == n; }
    // Moves the cursor to an absolute offset; false when it lies beyond the end.
    bool seek(std::uint64_t offset) {
        if (offset > size()) return false;
        pos_ = offset;
        return true;
    }
    std::uint64_t position() const { return pos_; }
    std::uint64_t remaining() const { return size() > pos_ ? size() - pos_ : 0; }

private:
    std::uint64_t pos_ = 0;
};

class FileSource final : public ByteSource {
public:
    // Opens the file for reading; throws Error(openFailure) when that is impossible.
    FileSource(const std::string& path, const std::string& openFailure);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, void* dst, std::size_t n) const override;
    // Maps the pages of a regular file; empty for other files or when mapping fails.
    ByteView viewAt(std::uint64_t offset, std::size_t n) const override;
    // False for directories, devices and pipes (they open, but hold no image).
    bool regularFile() const { return regular_; }

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    bool regular_ = false;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, std::size_t size)
        : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, void* dst, std::size_t n) const override;
    ByteView viewAt(std::uint64_t offset, std::size_t n) const override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Little- and big-endian reads from a byte array (no bounds check: callers check first).
inline std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint16_t be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t be32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
float leFloat(const std::uint8_t* p);

// Leading integer of a text as C's atol reads it (blanks, sign, digits), saturated to the
// int range instead of overflowing; 0 when there are no digits.
int parseIntPrefix(const char* begin, const char* end);
// Leading real number of a text (strtod on a bounded copy); 0 when there is none.
double parseRealPrefix(const char* begin, const char* end);

} // namespace quillon
