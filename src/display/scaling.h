// The interactive adjustments of a view's display ("Skalierung" window, black and white
// point from the image, layer matrix dialog), as functions on an ImageRenderer.
//
// Each function that changes the display ends with setPoints and rebuildLut; the caller only
// redraws the view.
#pragma once

#include "analysis/lrgb_bias.h"
#include "display/renderer.h"

#include <string>
#include <vector>

namespace quillon {

// A value typed into one of the six black/white fields (channel above 2 counts as 2).
// With keepRatio on, the other two channels follow so that all weighted ranges and the
// weighted centre shift stay equal; channels pushed out of the sample range are clamped
// and then lead.
void editPoint(ImageRenderer& r, int channel, bool isBlack, int value);

// The six buttons of "Standardbedienung".
enum class ScalingStep {
    BrightnessMinus,
    BrightnessPlus,
    ContrastMinus,
    ContrastPlus,
    GammaMinus,
    GammaPlus
};
// Returns false when the step was ignored (a point would leave the sample range, or the
// exponent is at its limit).
bool applyScalingStep(ImageRenderer& r, ScalingStep step);

// Black point from the mean composed value of the disc of radius 5 around (x, y); white
// moves along (keepRatio on, then balanced) or stays. Returns 1 when no pixel of the disc
// lies in the image, else 0.
int setBlackAtPoint(ImageRenderer& r, double x, double y);
// White point from the composed value of pixel (x, y); returns 1 outside the image.
int setWhiteAtPoint(ImageRenderer& r, int x, int y);
// The message for a result 1 of the two functions above: kOutsideImage (analysis/lrgb_bias.h).

// "beibehalten" switched: stores it and, when switched on, balances the white points at once.
void switchKeepRatio(ImageRenderer& r, bool on);
// The preset list (applyPresetEntry in display/histogram.h applies an entry).
inline constexpr const char* kPresetEntries[] = {
    "<auto-scaling...>", "Deepsky",   "Deepsky hell", "Planet / Landschaft",
    "Mond dunkel",       "Mond hell", "Sonne"};
inline constexpr const char* kLutTypeEntries[] = {"Standard", "Stufen", "Kontur"};
inline constexpr const char* kPaletteEntries[] = {"Graukeil (normal)", "Falschfarben 1",
                                                  "Falschfarben 2"};

// "Normalisieren": every coefficient divided by the sum of its channel's column (a column
// summing to 0 is divided by 1). matrix is 3 rows of layerCount values, row-major.
void normaliseLayerMatrix(std::vector<float>& matrix, int layerCount);
// Grid texts of the layer matrix dialog: "%.3f" and the layer number "%2i".
std::string matrixCellText(float coefficient);
std::string layerNumberText(int layerNumber);

} // namespace quillon
