// The composite's target types and their exposure lists.
#include "composite/composite_lists.h"

#include "core/image_type.h"

namespace quillon {

int compositeLayerCount(std::uint16_t targetType, int userLayers) {
    switch (targetType) {
    case BW_IMAGE:
    case RGB_IMAGE:
    case LRGB_IMAGE:
    case CMY_IMAGE: return ImageTypeName(targetType).layerCount;
    case USERDEFINED_IMAGE: return userLayers >= 2 && userLayers <= kMaxUserLayers ? userLayers : 0;
    default: return 0;
    }
}

int compositeListCount(std::uint16_t targetType, int layerCount) {
    return targetType == BW_IMAGE ? 2 : layerCount + 2;
}

CompositeListKind compositeListKind(std::uint16_t targetType, int layerCount, int list) {
    const int whole = targetType == BW_IMAGE ? 0 : layerCount;
    if (list == whole) return CompositeListKind::WholeImage;
    if (list > whole) return CompositeListKind::Overlay;
    return CompositeListKind::Channel;
}

int compositeListLayer(std::uint16_t targetType, int layerCount, int list) {
    return compositeListKind(targetType, layerCount, list) == CompositeListKind::Channel ? list
                                                                                         : -1;
}

int compositeFactorSlots(std::uint16_t targetType, int layerCount, int list) {
    switch (compositeListKind(targetType, layerCount, list)) {
    case CompositeListKind::Channel: return 1;
    case CompositeListKind::WholeImage: return layerCount;
    case CompositeListKind::Overlay: break;
    }
    return 0;
}

std::string compositeListName(std::uint16_t targetType, int layerCount, int list) {
    switch (compositeListKind(targetType, layerCount, list)) {
    case CompositeListKind::Channel:
        return "Farbkanal: " + std::string(ImageTypeName(targetType, list).name);
    case CompositeListKind::WholeImage:
        return "Gesamtbild: " + std::string(ImageTypeName(targetType).name);
    case CompositeListKind::Overlay: break;
    }
    return "Overlay";
}

std::string compositeListLabel(std::uint16_t targetType, int layerCount, int list) {
    switch (compositeListKind(targetType, layerCount, list)) {
    case CompositeListKind::Channel:
        return "In diese Liste nur Bilder des Typs " + std::string(ImageTypeName(BW_IMAGE).name) +
               " einfügen!";
    case CompositeListKind::WholeImage:
        return "In diese Liste nur Bilder des Typs " + std::string(ImageTypeName(targetType).name) +
               " einfügen!";
    case CompositeListKind::Overlay: break;
    }
    return "In diese Liste können beliebige Bildtypen eingefügt werden.";
}

} // namespace quillon
