// Debayering: a one-layer raw colour-filter-array mosaic into an RGB image, by bilinear
// interpolation, by variable number of gradients (VNG) or by 2 × 2 super-pixels.
//
// The mosaic's layout is one of the four 2 × 2 patterns; in image coordinates (row 0 is the
// first row of the Image) colour(x, y) = pattern[y & 1][x & 1]. The pattern comes from the
// FITS cards BAYERPAT, XBAYROFF, YBAYROFF and ROWORDER that the reader keeps with the Image
// (`bayerPatternFromCards`), or is chosen by the user.
#pragma once

#include "core/image.h"
#include "core/image_info.h"
#include "core/new_document.h"
#include "core/progress.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// Named by the colours of the first two pixels of the first row, then of the second row.
enum class BayerPattern { Rggb = 0, Bggr = 1, Grbg = 2, Gbrg = 3 };

enum class DebayerMethod {
    Bilinear = 0,   // missing colours as means of the nearest samples of that colour
    Vng = 1,        // variable number of gradients: means along the smooth directions only
    SuperPixel = 2, // each 2 × 2 cell becomes one pixel (R, mean of the two G, B); half size
};

// "RGGB", "BGGR", "GRBG", "GBRG".
const char* bayerPatternName(BayerPattern p);
// A pattern name in any case, surrounding blanks ignored; nothing for anything else.
std::optional<BayerPattern> parseBayerPattern(std::string_view text);
// "bilinear", "vng", "superpixel" (the names of the command line and the job file).
const char* debayerMethodName(DebayerMethod m);
std::optional<DebayerMethod> parseDebayerMethod(std::string_view text);

// The debayer operation's parameters: the pattern (nothing: from the file's cards) and the
// method. On the command line "--pattern auto|RGGB|BGGR|GRBG|GBRG" (auto by default) and
// "--method bilinear|vng|superpixel" (vng by default); the names in any case.
struct DebayerParams {
    std::optional<BayerPattern> pattern;
    DebayerMethod method = DebayerMethod::Vng;
    bool operator==(const DebayerParams&) const = default;
};
inline constexpr const char* kBayerPatternChoices = "auto, RGGB, BGGR, GRBG oder GBRG";
inline constexpr const char* kDebayerMethodChoices = "bilinear, vng oder superpixel";
// "auto" as nothing, else a pattern name; false (and `pattern` unchanged) for anything else.
bool parsePatternChoice(std::string_view text, std::optional<BayerPattern>& pattern);

// The colour (0 red, 1 green, 2 blue) of pixel (x, y) of a mosaic with pattern p.
int bayerColour(BayerPattern p, int x, int y);
// The pattern seen from pixel (dx, dy) of a mosaic with pattern p: the pattern of the mosaic
// with its first dx columns and dy rows removed.
BayerPattern shiftBayerPattern(BayerPattern p, int dx, int dy);

// The pattern of an image in its own coordinates from its cards: BAYERPAT names the colours
// in the sensor's reading order starting at sensor pixel (XBAYROFF, YBAYROFF); with ROWORDER
// "BOTTOM-UP" the file's last row is the sensor's first row, so image row y is sensor row
// height - 1 - y. Nothing when BAYERPAT is absent or not one of the four patterns.
std::optional<BayerPattern> bayerPatternFromCards(const BayerCards& cards, int height);

// Throws Error with kNoBayerPatternMessage when the image has no usable BAYERPAT card.
BayerPattern bayerPatternOf(const Image& mosaic);
extern const char* const kNoBayerPatternMessage;
// "Debayer ist nur für Bilder mit einer Ebene möglich."
extern const char* const kDebayerNeedsOneLayerMessage;

// What the debayer step of a stack does: nothing, or each one-layer exposure with the pattern
// of its cards (no pattern) or the given one, by the given method.
struct DebayerSettings : DebayerParams {
    bool enabled = false;
    bool operator==(const DebayerSettings&) const = default;
};

// The new document: RGB, the mosaic's size (half of it, rounded down, for super-pixels), its
// pixel size (doubled for super-pixels), overlay flag and metadata without the Bayer cards.
NewDocumentParams debayerDescription(const Image& mosaic, DebayerMethod method);

// Fills `destination` (made from debayerDescription) from a one-layer mosaic. The overlay of
// the mosaic is copied (sampled at each cell's first pixel for super-pixels). Rows run in
// parallel and the result is the same for any thread count and instruction-set level. Samples
// outside the image are mirrored about the edge pixel (column -1 is column 1), which keeps
// the pattern, so edges are computed by the same rules. Throws Cancelled when asked to stop.
void debayer(Image& destination, const Image& mosaic, BayerPattern pattern, DebayerMethod method,
             Progress& progress = Progress::none());

// Creates and fills the result in one step (throws Error for an image of more than one layer
// and the creation errors of createImage).
Image debayerImage(const Image& mosaic, BayerPattern pattern, DebayerMethod method,
                   Progress& progress = Progress::none());

} // namespace quillon
