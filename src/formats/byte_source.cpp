// File and memory byte sources, and small parsing helpers shared by the readers.
#include "formats/byte_source.h"

#include "core/error.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace quillon {

FileSource::FileSource(const std::string& path, const std::string& openFailure) {
    f_ = std::fopen(path.c_str(), "rb");
    if (!f_) throw Error(openFailure);
    if (std::fseek(f_, 0, SEEK_END) != 0) {
        std::fclose(f_);
        throw Error(openFailure);
    }
    long end = std::ftell(f_);
    if (end < 0 || std::fseek(f_, 0, SEEK_SET) != 0) {
        std::fclose(f_);
        throw Error(openFailure);
    }
    size_ = static_cast<std::uint64_t>(end);
}

FileSource::~FileSource() {
    if (f_) std::fclose(f_);
}

std::size_t FileSource::read(void* dst, std::size_t n) {
    std::size_t got = std::fread(dst, 1, n, f_);
    pos_ += got;
    return got;
}

bool FileSource::seek(std::uint64_t offset) {
    if (offset > size_) return false;
    if (std::fseek(f_, static_cast<long>(offset), SEEK_SET) != 0) return false;
    pos_ = offset;
    return true;
}

std::size_t MemorySource::read(void* dst, std::size_t n) {
    std::size_t avail = size_ - pos_;
    if (n > avail) n = avail;
    if (n) std::memcpy(dst, data_ + pos_, n);
    pos_ += n;
    return n;
}

bool MemorySource::seek(std::uint64_t offset) {
    if (offset > size_) return false;
    pos_ = static_cast<std::size_t>(offset);
    return true;
}

float leFloat(const std::uint8_t* p) {
    std::uint32_t u = le32(p);
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

int parseIntPrefix(const char* begin, const char* end) {
    const char* p = begin;
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    bool neg = false;
    if (p < end && (*p == '+' || *p == '-')) neg = *p++ == '-';
    long long v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        if (v < 10000000000LL) v = v * 10 + (*p - '0');
        ++p;
    }
    if (neg) v = -v;
    if (v > 2147483647LL) return 2147483647;
    if (v < -2147483648LL) return -2147483647 - 1;
    return static_cast<int>(v);
}

double parseRealPrefix(const char* begin, const char* end) {
    std::string copy(begin, static_cast<std::size_t>(end - begin));
    const char* s = copy.c_str();
    char* stop = nullptr;
    double v = std::strtod(s, &stop);
    if (stop == s) return 0;
    return v;
}

} // namespace quillon
