// The unsharp mask ("Unscharfe Maske"): result = source × o − blurred × m, with one of seven
// blur masks run through maskFilter; and combine, the general pixel-wise linear combination.
#pragma once

#include "core/image.h"
#include "core/progress.h"
#include "filters/filter.h"
#include "filters/layer_selection.h"

namespace quillon {

// For each destination pixel covered by the source placed at (offsetX, offsetY):
// new = truncate(d × destinationFactor + 0.5 + s × sourceFactor + addend), clamped, on the
// colour layers selected by `layers` (all for 0); the overlay words are ORed with the
// source's when both have one. Progress "Kombinieren".
void combine(Image& destination, const Image& source, int offsetX, int offsetY,
             float destinationFactor, float sourceFactor, float addend, LayerMask layers = 0,
             Progress& progress = Progress::none());

// Size reduction of a blur position (mask size − 1): 2, 2, 4, 6, 6, 8, 8; -1 outside 0 … 6.
int unsharpReduction(int position);

// Blurs the selected layers with the mask of `position` and combines them with the aligned
// source: b × (−m) + 0.5 + s × o, truncated and clamped. Unselected layers keep the source's
// centre region unchanged. The destination is the source size minus the reduction. Throws
// Error (msg::kFilterNotApplicable, nothing written) for a position outside 0 … 6 or a
// destination of the wrong size.
void unsharpMask(Image& destination, const Image& source, int position, float m, float o,
                 LayerMask layers, Progress& progress = Progress::none());

class UnsharpMaskFilter : public Filter {
public:
    UnsharpMaskFilter(int position, float m, float o) : position_(position), m_(m), o_(o) {}
    const char* title() const override { return "Unscharf Maskiert"; }
    int widthReduction() const override;
    int heightReduction() const override { return widthReduction(); }
    FilterOutcome run(Image& destination, const Image& source, LayerMask mask,
                      Progress& progress) const override;

private:
    int position_;
    float m_;
    float o_;
};

// The dialog's factor pair (m: "-  Maske  x", o: "Original  x"), both 0 … 1000.
struct UnsharpFactors {
    float m = 2.0f;
    float o = 3.0f;
};
// "stärker": m < 20 → m + 1 and o = m + 1. "schwächer": m > 1 → m − 1 and o = m + 1.
UnsharpFactors unsharpStronger(UnsharpFactors f);
UnsharpFactors unsharpWeaker(UnsharpFactors f);
bool unsharpFactorValid(float v); // 0 … 1000

// Settings: factors are stored as truncate(value × 10000); a stored 0 means the default.
int storedUnsharpFactor(float value);
float unsharpFactorFromStored(int stored, float defaultValue);

} // namespace quillon
