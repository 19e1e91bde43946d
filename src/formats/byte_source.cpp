// File and memory byte sources (positioned reads and a cursor), and small parsing helpers shared by
// the readers.
#include "formats/byte_source.h"

#include "core/error.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/mman.h>
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

// --- views ----------------------------------------------------------------------------------

namespace {

// Reading a mapped page that a truncation of the file removed raises SIGBUS. A thread reading
// a view registers the mapped range here; the handler jumps back into ByteView::access for
// faults inside it and passes every other SIGBUS on to what was installed before.
struct AccessGuard {
    sigjmp_buf jump;
    const std::uint8_t* begin;
    const std::uint8_t* end;
};
thread_local AccessGuard* tlsGuard __attribute__((tls_model("initial-exec"))) = nullptr;
struct sigaction previousBusAction {};

void onBusError(int sig, siginfo_t* info, void* context) {
    const AccessGuard* g = tlsGuard;
    const auto* at = static_cast<const std::uint8_t*>(info->si_addr);
    if (g && at >= g->begin && at < g->end) siglongjmp(tlsGuard->jump, 1);
    if ((previousBusAction.sa_flags & SA_SIGINFO) && previousBusAction.sa_sigaction) {
        previousBusAction.sa_sigaction(sig, info, context);
    } else if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        previousBusAction.sa_handler(sig);
    } else {
        // Default action: the access faults again on return and ends the program as before.
        signal(SIGBUS, SIG_DFL);
    }
}

void installBusHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction a {};
        a.sa_sigaction = onBusError;
        a.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&a.sa_mask);
        sigaction(SIGBUS, &a, &previousBusAction);
    });
}

} // namespace

ByteView::~ByteView() {
    if (mapping_) ::munmap(mapping_, mappingSize_);
}

void ByteView::swap(ByteView& o) noexcept {
    std::swap(data_, o.data_);
    std::swap(size_, o.size_);
    std::swap(mapping_, o.mapping_);
    std::swap(mappingSize_, o.mappingSize_);
}

bool ByteView::access(const std::function<void()>& work) const {
    if (!mapping_) {
        work();
        return true;
    }
    AccessGuard guard;
    guard.begin = static_cast<const std::uint8_t*>(mapping_);
    guard.end = guard.begin + mappingSize_;
    AccessGuard* const outer = tlsGuard;
    if (sigsetjmp(guard.jump, 1) != 0) {
        tlsGuard = outer;
        return false;
    }
    tlsGuard = &guard;
    try {
        work();
    } catch (...) {
        tlsGuard = outer;
        throw;
    }
    tlsGuard = outer;
    return true;
}

ByteView FileSource::viewAt(std::uint64_t offset, std::size_t n) const {
    if (!regular_ || n == 0 || offset > size_ || n > size_ - offset) return {};
    installBusHandler();
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t start = offset / page * page;
    const auto length = static_cast<std::size_t>(offset + n - start);
    void* m = ::mmap(nullptr, length, PROT_READ, MAP_SHARED | MAP_POPULATE, fd_,
                     static_cast<off_t>(start));
    if (m == MAP_FAILED) return {};
    ::madvise(m, length, MADV_SEQUENTIAL);
    return ByteView(static_cast<const std::uint8_t*>(m) + (offset - start), n, m, length);
}

ByteView MemorySource::viewAt(std::uint64_t offset, std::size_t n) const {
    if (offset > size_ || n > size_ - offset) return {};
    return ByteView(data_ + offset, n, nullptr, 0);
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
