// The noise filters ("Rauschfilter"): maximum, minimum, median and threshold filters over a
// 3 × 3 neighbourhood of chosen shape. The result is 2 pixels smaller in each direction.
//
// Rank filters work on many pixels of a row at once (signed 16-bit min/max networks); their
// results are the order statistics the plain algorithm picks, for any thread count.
#pragma once

#include "core/image.h"
#include "core/progress.h"
#include "filters/filter.h"
#include "filters/layer_selection.h"

#include <array>
#include <cstdint>
#include <string>

namespace quillon {

using NoiseMask = std::array<bool, 9>; // row-major, top row first; true = takes part

enum class NoiseKind { Maximum = 0, Minimum = 1, Median = 2, Threshold = 3 };

inline constexpr int kNoiseMaskCount = 3;
// Masks 0 "0 1 0\n1 1 1\n0 1 0" (plus), 1 "1 0 1\n0 1 0\n1 0 1" (cross), 2 full.
NoiseMask noiseMask(int index);
const char* noiseMaskLabel(int index);
const char* noiseKindLabel(NoiseKind kind); // "Maximalfilter", ...

// Filters the selected layers of `source` into `destination` (source size minus 2 × 2);
// unselected layers get the centre values, the overlay (when both have one) is copied from
// the centre. Returns the number of pixels the threshold filter replaced (0 for the others).
// The threshold filter ignores the centre flag and replaces a centre farther than
// `threshold` from the integer mean of its neighbours by that mean.
// Throws Error when the destination does not have the expected size.
// Progress "Rauschfilter", one step per destination row of each colour layer.
long long noiseFilter(Image& destination, const Image& source, const NoiseMask& mask,
                      NoiseKind kind, std::uint16_t threshold, LayerMask layers,
                      Progress& progress = Progress::none());

// "Es wurden %i Pixel ersetzt !"
std::string replacedPixelsMessage(long long count);

class NoiseFilter : public Filter {
public:
    NoiseFilter(int maskIndex, NoiseKind kind, std::uint16_t threshold)
        : maskIndex_(maskIndex), kind_(kind), threshold_(threshold) {}
    const char* title() const override { return "Rauschfilter"; }
    int widthReduction() const override { return 2; }
    int heightReduction() const override { return 2; }
    FilterOutcome run(Image& destination, const Image& source, LayerMask mask,
                      Progress& progress) const override;

private:
    int maskIndex_;
    NoiseKind kind_;
    std::uint16_t threshold_;
};

} // namespace quillon
