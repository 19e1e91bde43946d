// File and memory byte sources (positioned reads and a cursor), and small parsing helpers shared by
// the readers.
#include "formats/byte_source.h"

#include "core/error.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

FileSource::FileSource(const std::string& path, const std::string& openFailure) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw Error(openFailure);
    struct stat st {};
    regular_ = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    // The size is where the end lies for a seek, for every kind of file.
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0) {
        ::close(fd_);
        throw Error(openFailure);
    }
    size_ = static_cast<std::uint64_t>(end);
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

FileSource::~FileSource() {
    ::close(fd_);
}

std::size_t FileSource::readAt(std::uint64_t offset, void* dst, std::size_t n) const {
    auto* p = static_cast<char*>(dst);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

std::size_t MemorySource::readAt(std::uint64_t offset, void* dst, std::size_t n) const {
    if (offset >= size_) return 0;
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
    if (k) std::memcpy(dst, data_ + offset, k);
    return k;
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
