// Exact running sums of a composite: see sample_sums.h.
#include "composite/sample_sums.h"

#include <stdexcept>

namespace quillon {

void SampleSums::seed(const Image& result, bool averaging) {
    if (!result.hasSamples() || !result.hasCounters())
        throw std::invalid_argument("SampleSums: result with counters needed");
    const int w = result.width(), h = result.height(), n = result.layerCount();
    const std::size_t total =
        static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * static_cast<std::size_t>(n);
    std::vector<float> sum(total), weight(total);
    width_ = w;
    height_ = h;
    layers_ = n;
    averaging_ = averaging;
    for (int p = 0; p < n; ++p) {
        for (int y = 0; y < h; ++y) {
            const Sample* r = result.row(p, y);
            const Count* c = result.counterRow(p, y);
            float* s = sum.data() + offset(p, y);
            float* wt = weight.data() + offset(p, y);
            for (int x = 0; x < w; ++x) {
                const auto count = static_cast<float>(c[x]);
                wt[x] = count;
                s[x] = averaging ? static_cast<float>(r[x]) * count : static_cast<float>(r[x]);
            }
        }
    }
    sum_ = std::move(sum);
    weight_ = std::move(weight);
}

float SampleSums::value(int layer, int x, int y) const {
    const float s = sumRow(layer, y)[x];
    if (!averaging_) return s;
    const float w = weightRow(layer, y)[x];
    return w > 0.0f ? s / w : 0.0f;
}

void SampleSums::crop(int left, int top, int right, int bottom) {
    const int w = right - left, h = bottom - top;
    if (left < 0 || top < 0 || w <= 0 || h <= 0 || right > width_ || bottom > height_)
        throw std::invalid_argument("SampleSums::crop: rectangle outside");
    // In place: every kept row moves to an earlier or the same position.
    std::size_t to = 0;
    for (int p = 0; p < layers_; ++p) {
        for (int y = top; y < bottom; ++y) {
            const std::size_t from = offset(p, y) + static_cast<std::size_t>(left);
            for (int x = 0; x < w; ++x, ++to) {
                sum_[to] = sum_[from + static_cast<std::size_t>(x)];
                weight_[to] = weight_[from + static_cast<std::size_t>(x)];
            }
        }
    }
    width_ = w;
    height_ = h;
    sum_.resize(to);
    weight_.resize(to);
}

} // namespace quillon
