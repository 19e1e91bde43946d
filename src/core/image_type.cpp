// The table of image types.
#include "core/image_type.h"

#include <array>
#include <cstdio>

namespace quillon {
namespace {

struct TypeEntry {
    std::string_view identifier;
    std::string_view name;
    int layers;
    std::array<std::string_view, 4> layerNames;
};

constexpr std::array<TypeEntry, 7> kTypes{{
    {"NO_IMAGE", "", 0, {}},
    {"BW_IMAGE", "Graubild", 1, {"Weiss"}},
    {"RGB_IMAGE", "RGB", 3, {"Rot", "Gruen", "Blau"}},
    {"LRGB_IMAGE", "LRGB", 4, {"Helligkeit", "Rot", "Gruen", "Blau"}},
    {"CMY_IMAGE", "CMY", 3, {"Tuerkis", "Magenta", "Gelb"}},
    {"USERDEFINED_IMAGE", "Benutzer", 0, {}},
    {"CMYK_IMAGE", "CMYK", 4, {"Schwarz", "Tuerkis", "Magenta", "Gelb"}},
}};

const TypeEntry* entry(std::uint16_t type) {
    return type < kTypes.size() ? &kTypes[type] : nullptr;
}

} // namespace

ImageTypeNameResult ImageTypeName(std::uint16_t type, int layer) {
    const TypeEntry* e = entry(type);
    if (!e || type == NO_IMAGE) return {"", 0};
    std::string_view name = e->name;
    if (layer >= 0 && layer < e->layers) name = e->layerNames[static_cast<std::size_t>(layer)];
    return {name, e->layers};
}

std::string_view ImageTypeIdentifier(std::uint16_t type) {
    const TypeEntry* e = entry(type);
    return e ? e->identifier : std::string_view{};
}

bool ImageTypeFromIdentifier(std::string_view text, std::uint16_t& type) {
    for (std::size_t i = 0; i < kTypes.size(); ++i) {
        if (kTypes[i].identifier == text) {
            type = static_cast<std::uint16_t>(i);
            return true;
        }
    }
    return false;
}

std::string DefaultLayerName(std::uint16_t type, int layer) {
    if (type == USERDEFINED_IMAGE) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "Layer #%02i", layer + 1);
        return buf;
    }
    const TypeEntry* e = entry(type);
    if (e && layer >= 0 && layer < e->layers)
        return std::string(e->layerNames[static_cast<std::size_t>(layer)]);
    return std::string(ImageTypeName(type).name);
}

} // namespace quillon
