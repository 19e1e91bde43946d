// Type conversions and layer operations (placeholder until the implementation lands).
#include "ops/convert.h"

#include "core/error.h"

namespace quillon {

GreyFactors naturalGreyFactors() {
    return {};
}
GreyFactors normalisedGreyFactors(const GreyFactors& f) {
    return f;
}
GreyFactors effectiveGreyFactors(const GreyFactors& f, bool, const std::array<float, 3>&) {
    return f;
}
NewDocumentParams greyDescription(const Image&) {
    return {};
}
NewDocumentParams rgbDescription(const Image&) {
    return {};
}
NewDocumentParams layerDescription(const Image&) {
    return {};
}
NewDocumentParams overlayDescription(const Image&) {
    return {};
}
void toGrey(Image&, const ImageRenderer&, const GreyFactors&, Progress&) {
    throw Error("not implemented yet");
}
void toRGB(Image&, const ImageRenderer&, Progress&) {
    throw Error("not implemented yet");
}
void extractLayer(Image&, const Image&, int, Progress&) {
    throw Error("not implemented yet");
}
void extractOverlay(Image&, const Image&, Progress&) {
    throw Error("not implemented yet");
}
ConvertedDisplay greyDisplay(const ImageRenderer&, const GreyFactors&) {
    return {};
}
ConvertedDisplay layerDisplay(const ImageRenderer&, int) {
    return {};
}
ConvertedDisplay overlayDisplay() {
    return {};
}
std::string splitLayerTitle(const Image&, int) {
    return {};
}

} // namespace quillon
