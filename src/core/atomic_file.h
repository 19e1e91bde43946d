// Writes a file through a temporary file in the target's folder that is renamed over the
// target only after everything was written, so a failed save never destroys the old file.
#pragma once

#include <cstddef>
#include <string>

namespace quillon {

// The system's reason for a failed file operation (an errno value) in the user's words, e.g.
// "Auf dem Datenträger ist kein Platz mehr frei." for ENOSPC.
std::string fileErrorReason(int error);

// Every failure below throws Error(failureMessage + " " + the reason of fileErrorReason), so
// the user learns what to do, not only that saving failed.
class AtomicFile {
public:
    // Creates the temporary file. Throws Error(failureMessage) when that is impossible
    // (missing or read-only folder).
    AtomicFile(const std::string& target, std::string failureMessage);
    ~AtomicFile(); // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Appends bytes; throws Error(failureMessage) on a write error (full disk, ...).
    void write(const void* data, std::size_t size);
    // Flushes, syncs, closes and renames over the target; throws on failure.
    void commit();

    const std::string& temporaryPath() const { return tmpPath_; }

    // Test seam: while one lives, every write of an AtomicFile fails as the system does when
    // it sets `error` (ENOSPC for a full disk), with no root rights or special file systems.
    class ScopedWriteFailure {
    public:
        explicit ScopedWriteFailure(int error);
        ~ScopedWriteFailure();
        ScopedWriteFailure(const ScopedWriteFailure&) = delete;
        ScopedWriteFailure& operator=(const ScopedWriteFailure&) = delete;
    };

private:
    [[noreturn]] void fail(int error);
    std::string target_;
    std::string tmpPath_;
    std::string message_;
    int fd_ = -1;
    bool committed_ = false;
    // Small writes are gathered here to keep system calls few.
    std::string pending_;
};

} // namespace quillon
