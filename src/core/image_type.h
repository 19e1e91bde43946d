// Image types: identifiers, display names, layer counts and default layer names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

enum ImageType : std::uint16_t {
    NO_IMAGE = 0,
    BW_IMAGE = 1,
    RGB_IMAGE = 2,
    LRGB_IMAGE = 3,
    CMY_IMAGE = 4,
    USERDEFINED_IMAGE = 5,
    CMYK_IMAGE = 6,
};

inline constexpr int kMaxUserLayers = 32;

struct ImageTypeNameResult {
    std::string_view name; // display name of the type, or of the layer when asked
    int layerCount;        // colour layers of the type (0 for user-defined and unknown)
};

// Display name and layer count. With a layer index, the name of that layer when the type
// names it, else the type's display name. Unknown types behave like NO_IMAGE.
ImageTypeNameResult ImageTypeName(std::uint16_t type, int layer = -1);

// The identifier text ("BW_IMAGE", ...) stored in FITS files; empty for unknown values.
std::string_view ImageTypeIdentifier(std::uint16_t type);

// Parses an identifier exactly (case-sensitive); returns false when it names no type.
bool ImageTypeFromIdentifier(std::string_view text, std::uint16_t& type);

// The default name of layer `layer` (0-based) of a new image of this type
// ("Layer #01" ... for user-defined images).
std::string DefaultLayerName(std::uint16_t type, int layer);

} // namespace quillon
