// Temporary-file-and-rename saving.
#include "core/atomic_file.h"

#include "core/error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillon {

namespace {
constexpr std::size_t kGather = 1 << 20;

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}
} // namespace

AtomicFile::AtomicFile(const std::string& target, std::string failureMessage)
    : target_(target), message_(std::move(failureMessage)) {
    auto slash = target.find_last_of('/');
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string folder = folderOf(target);
    std::string templ = folder + "/." + name + ".XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    fd_ = ::mkstemp(buf.data());
    if (fd_ < 0) throw Error(message_);
    tmpPath_ = buf.data();
    // Keep the permissions a newly created file would get.
    mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0)
        ::fchmod(fd_, st.st_mode & 07777);
    else
        ::fchmod(fd_, 0666 & ~mask);
    pending_.reserve(kGather);
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !tmpPath_.empty()) ::unlink(tmpPath_.c_str());
}

void AtomicFile::fail() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tmpPath_.empty()) ::unlink(tmpPath_.c_str());
    tmpPath_.clear();
    throw Error(message_);
}

static bool writeAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

void AtomicFile::write(const void* data, std::size_t size) {
    if (fd_ < 0) fail();
    const char* p = static_cast<const char*>(data);
    if (pending_.size() + size <= kGather) {
        pending_.append(p, size);
        return;
    }
    if (!pending_.empty()) {
        if (!writeAll(fd_, pending_.data(), pending_.size())) fail();
        pending_.clear();
    }
    if (size >= kGather) {
        if (!writeAll(fd_, p, size)) fail();
    } else {
        pending_.append(p, size);
    }
}

void AtomicFile::commit() {
    if (fd_ < 0) fail();
    if (!pending_.empty() && !writeAll(fd_, pending_.data(), pending_.size())) fail();
    pending_.clear();
    if (::fsync(fd_) != 0 && errno != EINVAL) fail();
    if (::close(fd_) != 0) {
        fd_ = -1;
        fail();
    }
    fd_ = -1;
    if (::rename(tmpPath_.c_str(), target_.c_str()) != 0) fail();
    committed_ = true;
}

} // namespace quillon
