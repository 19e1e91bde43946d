// Acquisition metadata and comment lines of an image.
#pragma once

#include "core/text.h"
#include "core/wcs.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr std::size_t kSourcePathSize = 512;
inline constexpr std::size_t kMaxComments = 255;

using ShortText = CharText<8>;    // date, time, sidereal time
using CommentLine = CharText<71>; // one comment line

// The colour-filter-array cards of a raw one-shot colour frame, kept as the FITS file had
// them so that the debayer step can find the pattern and saving writes them back.
struct BayerCards {
    std::string pattern; // BAYERPAT without quotes and trailing blanks; empty when absent
    int xOffset = 0;     // XBAYROFF
    int yOffset = 0;     // YBAYROFF
    bool hasXOffset = false;
    bool hasYOffset = false;
    std::string rowOrder; // ROWORDER ("TOP-DOWN", "BOTTOM-UP"); empty when absent

    bool present() const {
        return !pattern.empty() || hasXOffset || hasYOffset || !rowOrder.empty();
    }
    bool operator==(const BayerCards&) const = default;
};

// Where the telescope pointed and its optics, as capture programs write them (FOCALLEN,
// XPIXSZ, RA or OBJCTRA, DEC or OBJCTDEC): the plate solver's first hints. RA and DEC keep the
// file's text: a plain number is degrees, a text with blanks or colons is sexagesimal (hours
// for RA).
struct PointingCards {
    double focalLengthMm = 0; // 0: absent
    double pixelSizeUm = 0;   // 0: absent
    std::string ra, dec;      // empty: absent
    bool operator==(const PointingCards&) const = default;
};

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
    BayerCards bayer;
    // Where the image lies on the sky (absent when unknown), and why an operation dropped it.
    WorldCoordinates wcs;
    std::string wcsNote;
    PointingCards pointing;

    std::uint8_t commentCount() const { return static_cast<std::uint8_t>(comments.size()); }

    // Appends a comment line cut to 71 characters. Returns false when 255 lines exist.
    bool addComment(std::string_view line);

    // Copies everything except the source path (the template rule of a new image).
    void copyFromTemplate(const ImageInfo& other);

    // Numbers 0, texts empty, no comments, source path kept.
    void resetKeepingPath();
};

} // namespace quillon
