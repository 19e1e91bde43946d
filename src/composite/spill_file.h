// A temporary file without a name for samples that do not fit in memory: master frames and the
// aligned exposures of a strip-wise composite are written once and read back in strips.
#pragma once

#include <cstddef>
#include <string>

#include <sys/types.h>

namespace quillon {

class SpillFile {
public:
    // In `folder` (empty: the system's temporary folder). `purpose` completes the message of a
    // failure: "Die Zwischendatei <purpose> kann nicht geschrieben werden (Ordner ...)".
    SpillFile(const std::string& folder, std::string purpose);
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    // All `size` bytes at `offset`; Error with the message above on any failure.
    void write(const void* data, std::size_t size, off_t offset);
    void read(void* data, std::size_t size, off_t offset);

private:
    template <class Call, class Bytes>
    void transfer(Call call, Bytes p, std::size_t size, off_t offset) const;
    [[noreturn]] void fail() const;
    std::string folder_, purpose_;
    int fd_ = -1;
};

} // namespace quillon
