// Unnamed temporary files: see spill_file.h.
#include "composite/spill_file.h"

#include "core/error.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace quillon {

SpillFile::SpillFile(const std::string& folder, std::string purpose)
    : purpose_(std::move(purpose)) {
    std::error_code ec;
    folder_ = folder.empty() ? std::filesystem::temp_directory_path(ec).string() : folder;
    // It vanishes when closed, also after a failure or a crash.
    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0) { // file systems without unnamed files: create, then unlink at once
        std::string path = (std::filesystem::path(folder_) / "quillon-spill-XXXXXX").string();
        fd_ = ::mkstemp(path.data());
        if (fd_ >= 0) ::unlink(path.c_str());
    }
    if (fd_ < 0) fail();
}

SpillFile::~SpillFile() {
    if (fd_ >= 0) ::close(fd_);
}

void SpillFile::write(const void* data, std::size_t size, off_t offset) {
    transfer(::pwrite, static_cast<const char*>(data), size, offset);
}

void SpillFile::read(void* data, std::size_t size, off_t offset) {
    transfer(::pread, static_cast<char*>(data), size, offset);
}

// pwrite or pread of all `size` bytes, resumed after short or interrupted transfers.
template <class Call, class Bytes>
void SpillFile::transfer(Call call, Bytes p, std::size_t size, off_t offset) const {
    while (size > 0) {
        ssize_t n = call(fd_, p, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail();
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
}

void SpillFile::fail() const {
    throw Error("Die Zwischendatei " + purpose_ + " kann nicht geschrieben werden (Ordner \"" +
                folder_ + "\").");
}

} // namespace quillon
