// Type conversions and layer operations: grey and RGB conversion, splitting an image into its
// layers, the overlay as a picture, and adding or removing the overlay plane.
//
// Colour values are the composed values of the source view's Composition (composeRow), not
// the lookup tables, so a conversion sees what the view composes.
#pragma once

#include "core/composition.h"
#include "core/display_params.h"
#include "core/image.h"
#include "core/new_document.h"
#include "core/progress.h"

#include <array>
#include <string>
#include <vector>

namespace quillon {

struct GreyFactors {
    float red = 0.30f;
    float green = 0.59f;
    float blue = 0.11f;
};

// "Natürliches Verhältnis": 0.3, 0.59, 0.11.
GreyFactors naturalGreyFactors();
// "Summe = 1 erzwingen": each factor divided by their sum (unchanged when the sum is 0).
GreyFactors normalisedGreyFactors(const GreyFactors& f);
// The factors the conversion uses: multiplied by the view's channel weights when asked to.
GreyFactors effectiveGreyFactors(const GreyFactors& f, bool useWeights,
                                 const std::array<float, 3>& weights);

// Descriptions of the new documents (size, metadata and overlay flag of the source).
NewDocumentParams greyDescription(const Image& source);    // BW_IMAGE, source's overlay flag
NewDocumentParams rgbDescription(const Image& source);     // RGB_IMAGE, source's overlay flag
NewDocumentParams layerDescription(const Image& source);   // BW_IMAGE, no overlay
NewDocumentParams overlayDescription(const Image& source); // RGB_IMAGE, no overlay

// Fill a destination made from the matching description. Progress titles and units as the
// commands show them; each throws Cancelled when asked to stop.
void toGrey(Image& destination, const Composition& source, const GreyFactors& effective,
            Progress& progress = Progress::none());
void toRGB(Image& destination, const Composition& source, Progress& progress = Progress::none());
void extractLayer(Image& destination, const Image& source, int layer,
                  Progress& progress = Progress::none());
void extractOverlay(Image& destination, const Image& source, Progress& progress = Progress::none());

// Display points of the new views, per display channel.
struct ConvertedDisplay {
    std::array<float, 3> weights{1.0f, 1.0f, 1.0f};
    Points black{};
    Points white{};
    bool automatic = false; // the caller sets the points with applyAutoScale instead
};
// Grey: black = Σ black_i·f_i, white = Σ white_i·f_i over the source view's points, clamped
// and truncated, in all three channels.
ConvertedDisplay greyDisplay(const Composition& source, const GreyFactors& effective);
// A split layer: the source view's points of channel `layer` for an RGB source, else automatic.
ConvertedDisplay layerDisplay(const Composition& source, int layer);
// The overlay picture: black 0, white 255.
ConvertedDisplay overlayDisplay();

// The title of a split layer's document: the layer name followed by "-Anteil".
std::string splitLayerTitle(const Image& source, int layer);

// One document of a split: a colour layer (extractLayer, layerDescription, layerDisplay) or,
// with layer -1, the overlay picture (extractOverlay, overlayDescription, overlayDisplay).
struct SplitPart {
    std::string title;
    int layer = -1;
};
// The documents a split makes, in order: one per colour layer, then "Overlay" when the source
// has an overlay.
std::vector<SplitPart> splitParts(const Image& source);

} // namespace quillon
