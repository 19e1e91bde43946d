// Acquisition metadata and comment lines of an image.
#pragma once

#include "core/text.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr std::size_t kSourcePathSize = 512;
inline constexpr std::size_t kMaxComments = 255;

using ShortText = CharText<8>;    // date, time, sidereal time
using CommentLine = CharText<71>; // one comment line

struct ImageInfo {
    TextBuffer<kSourcePathSize> sourcePath{};
    float exposureTime = 0; // seconds
    float temperature = 0;  // chip temperature, °C
    float longitude = 0;    // degrees west
    float latitude = 0;     // degrees north
    ShortText date{};       // "dd/mm/yy"
    ShortText time{};       // "hh:mm:ss"
    ShortText siderealTime{};
    double julianDate = 0;
    std::vector<CommentLine> comments; // at most kMaxComments

    std::uint8_t commentCount() const { return static_cast<std::uint8_t>(comments.size()); }

    // Appends a comment line cut to 71 characters. Returns false when 255 lines exist.
    bool addComment(std::string_view line);

    // Copies everything except the source path (the template rule of a new image).
    void copyFromTemplate(const ImageInfo& other);

    // Numbers 0, texts empty, no comments, source path kept.
    void resetKeepingPath();
};

} // namespace quillon
