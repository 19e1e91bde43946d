// LRGB bias: disc mean at a point, per-layer mode over the whole image.
#include "analysis/lrgb_bias.h"

#include "core/error.h"
#include "core/image.h"
#include "core/image_type.h"
#include "core/memory.h"

#include <algorithm>

namespace quillon {

namespace {

constexpr int kLayers = 4;

LrgbBiasValues biasAtPoint(const Image& image, int x, int y) {
    std::array<long long, kLayers> sums{};
    long long count = 0;
    const int w = image.width();
    const int h = image.height();
    for (int py = std::max(0, y - 6); py <= std::min(h - 1, y + 5); ++py)
        for (int px = std::max(0, x - 6); px <= std::min(w - 1, x + 5); ++px) {
            const double dx = px - x;
            const double dy = py - y;
            if (dx * dx / 25.0 + dy * dy / 25.0 > 1.0) continue;
            for (int l = 0; l < kLayers; ++l)
                sums[static_cast<std::size_t>(l)] += image.row(l, py)[px];
            ++count;
        }
    if (count == 0) throw Error(kOutsideImage);
    LrgbBiasValues out{};
    for (int l = 0; l < kLayers; ++l)
        out[static_cast<std::size_t>(l)] =
            static_cast<std::int16_t>(sums[static_cast<std::size_t>(l)] / count);
    return out;
}

LrgbBiasValues biasOfWholeImage(const Image& image, Progress& progress) {
    // 32-bit counters: a layer has fewer than 2^32 samples, so no counter can saturate.
    memory::Buffer<std::uint32_t> table(65536);
    std::uint32_t* counts = table.data();
    const int w = image.width();
    const int h = image.height();
    progress.begin(kBiasProgressTitle, 4LL * h, 1);
    LrgbBiasValues out{};
    for (int l = 0; l < kLayers; ++l) {
        std::fill(counts, counts + 65536, 0u);
        for (int y = 0; y < h; ++y) {
            const Sample* row = image.row(l, y);
            for (int x = 0; x < w; ++x) ++counts[static_cast<int>(row[x]) + 32768];
            progress.step();
        }
        int best = 0;
        for (int i = 1; i < 65536; ++i)
            if (counts[i] > counts[best]) best = i;
        out[static_cast<std::size_t>(l)] = static_cast<std::int16_t>(best - 32768);
    }
    progress.end();
    return out;
}

} // namespace

LrgbBiasValues determineBias(const Image& image, int x, int y, Progress& progress) {
    if (image.type() != LRGB_IMAGE || image.layerCount() < kLayers || !image.hasSamples())
        throw Error(kBiasNeedsLrgb);
    if (x == kWholeImageBias && y == kWholeImageBias) return biasOfWholeImage(image, progress);
    return biasAtPoint(image, x, y);
}

namespace {
using B = LrgbBiasValues;
constexpr OptionInfo kBias{nullptr, OptionKind::Integer, -32768, 32767};
constexpr ParamField<B> kBiasFields[] = {
    indexField<B, 0>(kBias, {.control = FieldControl::Number, .label = "L="}),
    indexField<B, 1>(kBias, {.control = FieldControl::Number, .label = "R="}),
    indexField<B, 2>(kBias, {.control = FieldControl::Number, .label = "G="}),
    indexField<B, 3>(kBias, {.control = FieldControl::Number, .label = "B="}),
};
} // namespace

std::span<const ParamField<LrgbBiasValues>> lrgbBiasFields() {
    return kBiasFields;
}

} // namespace quillon
