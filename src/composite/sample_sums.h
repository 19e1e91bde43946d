// Exact running sums of a composite: per result sample the float sum of everything added and
// the number of exposures averaged into it, so that a mean is formed from the sum and rounded
// once, when the sample is written, instead of being truncated at every exposure.
#pragma once

#include "core/image.h"

#include <cstddef>
#include <vector>

namespace quillon {

class SampleSums {
public:
    SampleSums() = default;

    // Sums for every colour layer of `result`, seeded from its samples and counters: a sample
    // with count c holds c contributions of its value (a sum image: its value once). Throws
    // std::bad_alloc when there is no memory (the result is not touched) and
    // std::invalid_argument for a result without counters.
    void seed(const Image& result, bool averaging);

    bool empty() const { return sum_.empty(); }
    bool averaging() const { return averaging_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int layers() const { return layers_; }

    float* sumRow(int layer, int y) { return sum_.data() + offset(layer, y); }
    float* weightRow(int layer, int y) { return weight_.data() + offset(layer, y); }
    const float* sumRow(int layer, int y) const { return sum_.data() + offset(layer, y); }
    const float* weightRow(int layer, int y) const { return weight_.data() + offset(layer, y); }

    // The value a sample holds: the mean sum / weight when averaging (0 where nothing came),
    // else the sum.
    float value(int layer, int x, int y) const;

    // Keeps columns left .. right - 1 and rows top .. bottom - 1 (the border crop of the result).
    void crop(int left, int top, int right, int bottom);

private:
    std::size_t offset(int layer, int y) const {
        return (static_cast<std::size_t>(layer) * static_cast<std::size_t>(height_) +
                static_cast<std::size_t>(y)) *
               static_cast<std::size_t>(width_);
    }

    bool averaging_ = true;
    int width_ = 0, height_ = 0, layers_ = 0;
    std::vector<float> sum_, weight_;
};

// The sample written for a mean or sum: rounded half away from zero, limited to the sample
// range, NaN as 0.
inline Sample roundedSample(float v) {
    if (!(v == v)) return 0;
    if (v >= 32767.0f) return 32767;
    if (v <= -32768.0f) return -32768;
    return static_cast<Sample>(v < 0.0f ? static_cast<int>(v - 0.5f) : static_cast<int>(v + 0.5f));
}

} // namespace quillon
