// Temporary-file-and-rename saving.
#include "core/atomic_file.h"

#include "core/error.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace quillon {

namespace {
constexpr std::size_t kGather = 1 << 20;

// The errno every write fails with while a ScopedWriteFailure lives; 0 otherwise.
std::atomic<int> injectedWriteError{0};

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}
} // namespace

std::string fileErrorReason(int error) {
    switch (error) {
    case ENOSPC: return "Auf dem Datenträger ist kein Platz mehr frei.";
    case EDQUOT:
        return "Der Ihnen zugeteilte Speicherplatz (Kontingent) auf dem Datenträger ist erschöpft.";
    case EACCES:
    case EPERM:
        return "Sie haben keine Berechtigung, in diesen Ordner oder in diese Datei zu schreiben.";
    case EROFS: return "Der Datenträger ist schreibgeschützt.";
    case ENAMETOOLONG: return "Der Dateiname ist zu lang.";
    case ENOENT: return "Der Ordner existiert nicht.";
    case ENOTDIR: return "Ein Teil des Pfades ist kein Ordner.";
    case EFBIG: return "Die Datei ist zu groß für diesen Datenträger.";
    case EIO:
        return "Beim Schreiben auf den Datenträger ist ein Ein-/Ausgabefehler aufgetreten "
               "(Datenträger oder Verbindung gestört).";
    default:
        return "Das Betriebssystem meldet den Fehler " + std::to_string(error) + " (" +
               std::system_category().message(error) + ").";
    }
}

AtomicFile::ScopedWriteFailure::ScopedWriteFailure(int error) {
    injectedWriteError = error;
}

AtomicFile::ScopedWriteFailure::~ScopedWriteFailure() {
    injectedWriteError = 0;
}

AtomicFile::AtomicFile(const std::string& target, std::string failureMessage)
    : target_(target), message_(std::move(failureMessage)) {
    auto slash = target.find_last_of('/');
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string folder = folderOf(target);
    std::string templ = folder + "/." + name + ".XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    fd_ = ::mkstemp(buf.data());
    if (fd_ < 0) fail(errno);
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

void AtomicFile::fail(int error) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tmpPath_.empty()) ::unlink(tmpPath_.c_str());
    tmpPath_.clear();
    throw Error(message_ + " " + fileErrorReason(error));
}

// Writes everything; false with errno set on failure.
static bool writeAll(int fd, const char* p, std::size_t n) {
    if (const int injected = injectedWriteError.load(); injected != 0 && n > 0) {
        errno = injected;
        return false;
    }
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
    if (fd_ < 0) fail(EBADF);
    const char* p = static_cast<const char*>(data);
    if (pending_.size() + size <= kGather) {
        pending_.append(p, size);
        return;
    }
    if (!pending_.empty()) {
        if (!writeAll(fd_, pending_.data(), pending_.size())) fail(errno);
        pending_.clear();
    }
    if (size >= kGather) {
        if (!writeAll(fd_, p, size)) fail(errno);
    } else {
        pending_.append(p, size);
    }
}

void AtomicFile::commit() {
    if (fd_ < 0) fail(EBADF);
    if (!pending_.empty() && !writeAll(fd_, pending_.data(), pending_.size())) fail(errno);
    pending_.clear();
    if (::fsync(fd_) != 0 && errno != EINVAL) fail(errno);
    if (::close(fd_) != 0) {
        const int error = errno;
        fd_ = -1;
        fail(error);
    }
    fd_ = -1;
    if (::rename(tmpPath_.c_str(), target_.c_str()) != 0) fail(errno);
    committed_ = true;
}

} // namespace quillon
