// Acquisition metadata and comment lines of an image.
#pragma once

#include "core/text.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr std::size_t kSourcePathSize = 512;
inline constexpr std::size_t kShortTextSize = 9;
inline constexpr std::size_t kCommentSize = 72; // 71 characters and the terminator
inline constexpr std::size_t kMaxComments = 255;

using CommentLine = TextBuffer<kCommentSize>;

struct ImageInfo {
    TextBuffer<kSourcePathSize> sourcePath{};
    float exposureTime = 0;            // seconds
    float temperature = 0;             // chip temperature, °C
    float longitude = 0;               // degrees west
    float latitude = 0;                // degrees north
    TextBuffer<kShortTextSize> date{}; // "dd/mm/yy"
    TextBuffer<kShortTextSize> time{}; // "hh:mm:ss"
    TextBuffer<kShortTextSize> siderealTime{};
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
