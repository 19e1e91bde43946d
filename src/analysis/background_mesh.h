// The sky behind the stars of a frame: a mesh of background levels and noise levels over
// cells of the layer sums, smoothed across cells and interpolated between cell centres.
#pragma once

#include "analysis/stars.h"

#include <vector>

namespace quillon {

// Each cell (cellSize pixels a side, the last ones taking the remainder) is sigma-clipped
// (3 σ, up to 5 rounds) and gets a level (the mode estimate 2.5·median − 1.5·mean while the
// clipped values are nearly symmetric, the median otherwise) and a noise (the clipped
// standard deviation). A 3 × 3 median across cells lets a cell filled by a bright star or a
// knot of nebulosity take its neighbours' values; between cell centres both are bilinear.
class BackgroundMesh {
public:
    explicit BackgroundMesh(const LayerSum& sums, int cellSize = 64);

    int width() const { return width_; }
    int height() const { return height_; }
    // Background and noise of row y (window coordinates of the sums), width values each.
    void levelRow(int y, float* out) const { interpolate(levels_, y, out); }
    void noiseRow(int y, float* out) const { interpolate(noises_, y, out); }
    // The noise of one pixel, the value noiseRow gives it.
    float noiseAt(int x, int y) const { return interpolateAt(noises_, x, y); }
    // A bound at or below every noise noiseRow gives row y (a hair under the smallest noise of
    // the cells it blends), so that a pass can skip the row's faint pixels without it.
    float noiseFloor(int y) const;
    // Medians over the cells: the frame's background level and noise.
    double globalLevel() const { return globalLevel_; }
    double globalNoise() const { return globalNoise_; }

private:
    void interpolate(const std::vector<double>& cells, int y, float* out) const;
    float interpolateAt(const std::vector<double>& cells, int x, int y) const;

    int width_ = 0, height_ = 0, cellsX_ = 1, cellsY_ = 1;
    std::vector<double> levels_, noises_;
    std::vector<int> columnCell_;
    std::vector<float> columnWeight_;
    double globalLevel_ = 0, globalNoise_ = 0;
};

} // namespace quillon
