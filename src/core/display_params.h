// Display parameters: the adjustable part of a view's rendering, and the record of them that
// an image keeps (read from or written to its FITS file).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace quillon {

// Display channels: 0 = R, 1 = G, 2 = B.
struct DisplayParams {
    std::array<std::int16_t, 3> blackPoint{0, 0, 0};
    std::array<std::int16_t, 3> whitePoint{255, 255, 255};
    std::array<float, 3> channelWeight{1.0f, 1.0f, 1.0f};
    float exponent = 1.0f;
    std::int16_t lutType = 0; // 0 "Standard", 1 "Stufen", 2 "Kontur"
    std::int16_t palette = 0; // 0 grey wedge, 1 "Falschfarben 1", 2 "Falschfarben 2"
    bool invert = false;
    bool periodic = false;
    bool keepRatio = true;
    bool showOverlay = true;
    std::array<bool, 3> histogramChannels{true, true, true};
    std::array<std::int16_t, 4> lrgbBias{0, 0, 0, 0}; // L, R, G, B
    std::array<std::int32_t, 3> lrgbOffset{0, 0, 0};
    // User-defined images: 3 rows (R, G, B) of one coefficient per layer, row-major:
    // layerMatrix[channel * layerCount + layer]. Empty for other types.
    std::vector<float> layerMatrix;
};

// What an image stores of its display: each group is present or not, as in its file.
struct StoredDisplayParams {
    bool hasPoints = false;
    std::array<std::int16_t, 3> blackPoint{0, 0, 0};
    std::array<std::int16_t, 3> whitePoint{0, 0, 0};
    bool hasWeights = false;
    std::array<float, 3> channelWeight{1.0f, 1.0f, 1.0f};
    float exponent = 0.0f; // 0: none stored
    std::array<std::int16_t, 4> lrgbBias{0, 0, 0, 0};
    std::vector<float> layerMatrix; // empty: none stored; else 3 × layer count as above
    // Lookup tables with their switches, when a whole renderer state was stored (kept by
    // derived images); empty otherwise.
    std::vector<std::uint8_t> tables; // 3 × 65536 when present
    std::int16_t lutType = 0;
    std::int16_t palette = 0;
    bool invert = false;
    bool periodic = false;

    void clear() { *this = StoredDisplayParams{}; }
};

} // namespace quillon
