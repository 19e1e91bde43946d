// Small helpers shared by the image readers: failure cleanup and metadata access.
#pragma once

#include "core/error.h"
#include "core/image.h"
#include "core/progress.h"

#include <new>
#include <string>
#include <string_view>

namespace quillon::detail {

// Runs a reader body; on any failure the Image is cleared and the progress ended, and an
// allocation failure becomes the reader's out-of-memory message.
template <class Fn>
void guardedRead(Image& image, Progress& progress, Fn&& body) {
    try {
        body();
    } catch (const std::bad_alloc&) {
        image.Clear();
        progress.end();
        throw Error(msg::kOutOfMemory);
    } catch (...) {
        image.Clear();
        progress.end();
        throw;
    }
}

// Define + AllocateSamples with the readers' messages.
inline void defineAndAllocate(Image& image, int width, int height, std::uint16_t type,
                              bool zeroFill = true) {
    if (image.Define(width, height, type, false) == 0) throw Error(msg::kInvalidSize);
    if (image.AllocateSamples(zeroFill) != 0) throw Error(msg::kOutOfMemory);
}

// Metadata write access for the lifetime of the object ("Code 00012" when busy).
class InfoAccess {
public:
    explicit InfoAccess(Image& image) : image_(image) {
        if (image.BeginInfoWrite(info_) != 0) throw Error(msg::unexpected(12));
    }
    ~InfoAccess() { image_.EndInfoWrite(); }
    InfoAccess(const InfoAccess&) = delete;
    InfoAccess& operator=(const InfoAccess&) = delete;
    ImageInfo& operator*() { return *info_; }
    ImageInfo* operator->() { return info_; }

private:
    Image& image_;
    ImageInfo* info_ = nullptr;
};

// Sample write access for the lifetime of the object ("Code 00011" when busy).
class SampleAccess {
public:
    explicit SampleAccess(Image& image) : image_(image) {
        if (image.BeginSampleWrite(header_) != 0) throw Error(msg::unexpected(11));
    }
    ~SampleAccess() { image_.EndSampleWrite(); }
    SampleAccess(const SampleAccess&) = delete;
    SampleAccess& operator=(const SampleAccess&) = delete;
    Sample* row(int plane, int y) { return header_.planes[plane][y]; }

private:
    Image& image_;
    ImageHeader header_;
};

// Text with trailing blanks (and NULs) removed.
inline std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0' || s.back() == '\r' ||
                          s.back() == '\n' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Text up to the first NUL.
inline std::string_view untilNul(std::string_view s) {
    auto z = s.find('\0');
    return z == std::string_view::npos ? s : s.substr(0, z);
}

// Progress that is ended when the object goes out of scope.
class ProgressScope {
public:
    ProgressScope(Progress& p, const std::string& title, long long total, long long minInterval)
        : p_(p) {
        p_.begin(title, total, minInterval);
    }
    ~ProgressScope() { p_.end(); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    Progress& p_;
};

} // namespace quillon::detail
