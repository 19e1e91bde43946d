// Sequential and random access to the bytes of a file or of a memory block, for the readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quillon {

// A readable stream of bytes with a known size. Readers use it so that the same code reads
// files from disk and memory blocks (fuzzing, tests).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to n bytes at the current position; returns the count read.
    virtual std::size_t read(void* dst, std::size_t n) = 0;
    // Moves to an absolute offset; false when it lies beyond the end.
    virtual bool seek(std::uint64_t offset) = 0;
    virtual std::uint64_t position() const = 0;
    virtual std::uint64_t size() const = 0;

    std::uint64_t remaining() const { return size() > position() ? size() - position() : 0; }
    // Reads exactly n bytes; false on a short read.
    bool readExact(void* dst, std::size_t n) { return read(dst, n) == n; }
};

class FileSource final : public ByteSource {
public:
    // Opens the file; throws Error(openFailure) when that is impossible.
    FileSource(const std::string& path, const std::string& openFailure);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::size_t read(void* dst, std::size_t n) override;
    bool seek(std::uint64_t offset) override;
    std::uint64_t position() const override { return pos_; }
    std::uint64_t size() const override { return size_; }

private:
    std::FILE* f_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t pos_ = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, std::size_t size)
        : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

    std::size_t read(void* dst, std::size_t n) override;
    bool seek(std::uint64_t offset) override;
    std::uint64_t position() const override { return pos_; }
    std::uint64_t size() const override { return size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
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
