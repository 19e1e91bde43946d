// The background mesh: clipped cell statistics, a median across cells, bilinear rows.
#include "analysis/background_mesh.h"

#include "core/parallel.h"
#include "core/simd.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quillon {
namespace {

constexpr int kClipRounds = 5;
constexpr double kClipSigma = 3.0;
constexpr double kMinNoise = 0.5; // floor for flat or quantised skies

double medianOf(std::vector<double> v) {
    if (v.empty()) return 0;
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

int cellStart(int i, int n, int size) {
    return static_cast<int>(static_cast<long long>(i) * size / n);
}

// A cell's values (whole numbers) in order, held as runs: those within 10 robust σ of the
// median, nearly all of a sky cell, as counts of each value, the few others (stars, hot
// pixels) one by one. The clipping rounds then work on a few hundred runs instead of every
// value, with the sums of the values and of their squares before each run. The sums are of
// whole numbers, so they come out as those of the values in order would.
class SortedCell {
public:
    // The pixels [x0, x1) × [y0, y1) of the sums; `values` is work space.
    SortedCell(const LayerSum& s, int x0, int x1, int y0, int y1,
               std::vector<std::int32_t>& values) {
        start_.push_back(0);
        sum_.push_back(0);
        sum2_.push_back(0);
        if (x1 <= x0 || y1 <= y0) return;
        const int cols = x1 - x0;
        values.resize(static_cast<std::size_t>(cols) * static_cast<std::size_t>(y1 - y0));
        for (int y = y0; y < y1; ++y) {
            const std::int32_t* r = s.row(s.window().top + y) + x0;
            std::copy(r, r + cols, values.begin() + static_cast<std::ptrdiff_t>(y - y0) * cols);
        }
        // The window only steers the work (every value is counted either way): a sample of
        // about 64 values does.
        std::vector<std::int32_t> work;
        const std::size_t stride = std::max<std::size_t>(1, values.size() / 64);
        work.reserve(values.size() / stride + 1);
        for (std::size_t i = 0; i < values.size(); i += stride) work.push_back(values[i]);
        const auto mid = work.begin() + static_cast<std::ptrdiff_t>(work.size() / 2);
        std::nth_element(work.begin(), mid, work.end());
        const std::int64_t median = *mid;
        for (std::int32_t& f : work) f = static_cast<std::int32_t>(std::abs(f - median));
        std::nth_element(work.begin(), mid, work.end());
        const double spread = std::max(1.4826 * *mid, 1.0) * 10;
        const auto lo = static_cast<std::int64_t>(std::floor(static_cast<double>(median) - spread));
        const auto hi = static_cast<std::int64_t>(std::ceil(static_cast<double>(median) + spread));
        std::vector<std::uint32_t> counts(static_cast<std::size_t>(hi - lo + 1), 0);
        std::vector<std::int32_t> below, above;
        for (const std::int32_t f : values) {
            if (f < lo)
                below.push_back(f);
            else if (f > hi)
                above.push_back(f);
            else
                ++counts[static_cast<std::size_t>(f - lo)];
        }
        std::sort(below.begin(), below.end());
        std::sort(above.begin(), above.end());
        const std::size_t runs = below.size() + counts.size() + above.size();
        values_.reserve(runs);
        start_.reserve(runs + 1);
        sum_.reserve(runs + 1);
        sum2_.reserve(runs + 1);
        auto add = [&](std::int64_t value, std::uint32_t count) {
            const auto v64 = static_cast<double>(value);
            values_.push_back(static_cast<float>(value));
            start_.push_back(start_.back() + count);
            sum_.push_back(sum_.back() + v64 * count);
            sum2_.push_back(sum2_.back() + v64 * v64 * count);
        };
        for (const std::int32_t f : below) add(f, 1);
        for (std::size_t i = 0; i < counts.size(); ++i)
            if (counts[i]) add(lo + static_cast<std::int64_t>(i), counts[i]);
        for (const std::int32_t f : above) add(f, 1);
    }

    std::size_t size() const { return start_.back(); }
    // The value at position i in order.
    float at(std::size_t i) const {
        const auto run = std::upper_bound(start_.begin(), start_.end(), i) - start_.begin() - 1;
        return values_[static_cast<std::size_t>(run)];
    }
    // Positions of the first value not below t and of the first value above t.
    std::size_t lowerBound(float t) const {
        return positionOfRun(std::lower_bound(values_.begin(), values_.end(), t));
    }
    std::size_t upperBound(float t) const {
        return positionOfRun(std::upper_bound(values_.begin(), values_.end(), t));
    }
    // Sums of the values and of their squares over positions [first, last), both at run
    // boundaries.
    double sum(std::size_t first, std::size_t last) const {
        return sum_[runAt(last)] - sum_[runAt(first)];
    }
    double sum2(std::size_t first, std::size_t last) const {
        return sum2_[runAt(last)] - sum2_[runAt(first)];
    }

private:
    std::size_t positionOfRun(std::vector<float>::const_iterator it) const {
        return start_[static_cast<std::size_t>(it - values_.begin())];
    }
    std::size_t runAt(std::size_t position) const {
        return static_cast<std::size_t>(std::lower_bound(start_.begin(), start_.end(), position) -
                                        start_.begin());
    }

    std::vector<float> values_;      // of each run, ascending
    std::vector<std::size_t> start_; // position of each run's first value; then the count
    std::vector<double> sum_, sum2_; // of the values and their squares before each run
};

// Level and noise of the pixels [x0, x1) × [y0, y1).
void cellStatistics(const LayerSum& s, int x0, int x1, int y0, int y1, double& level,
                    double& noise) {
    // Ordered once; each clipping round then only moves the bounds.
    thread_local std::vector<std::int32_t> values; // a cell's values, kept between cells
    const SortedCell v(s, x0, x1, y0, y1, values);
    std::size_t first = 0, last = v.size();
    double mean = 0, sd = 0, med = 0;
    for (int round = 0; round < kClipRounds && first < last; ++round) {
        const double n = static_cast<double>(last - first);
        mean = v.sum(first, last) / n;
        sd = std::sqrt(std::max(0.0, v.sum2(first, last) / n - mean * mean));
        med = v.at((first + last) / 2);
        const double limit = kClipSigma * std::max(sd, kMinNoise);
        const std::size_t lo = v.lowerBound(static_cast<float>(med - limit));
        const std::size_t hi = v.upperBound(static_cast<float>(med + limit));
        if (lo == first && hi == last) break;
        first = lo;
        last = hi;
    }
    // Stars skew a cell upwards; the mode estimate leans away from them while the skew is
    // small, the median is safer when it is not.
    level = (sd > 0 && std::abs(mean - med) / sd < 0.3) ? 2.5 * med - 1.5 * mean : med;
    noise = std::max(sd, kMinNoise);
}

// 3 × 3 median across cells.
std::vector<double> medianAcross(const std::vector<double>& raw, int nx, int ny) {
    std::vector<double> out(raw.size()), around;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            around.clear();
            for (int b = std::max(0, j - 1); b <= std::min(ny - 1, j + 1); ++b)
                for (int a = std::max(0, i - 1); a <= std::min(nx - 1, i + 1); ++a)
                    around.push_back(raw[static_cast<std::size_t>(b) * nx + a]);
            out[static_cast<std::size_t>(j) * nx + i] = medianOf(around);
        }
    return out;
}

// The cell whose centre is at or before pixel c and the weight of the next one.
void position(int c, int size, int cells, int& cell, double& weight) {
    const double f = (c + 0.5) * cells / size - 0.5;
    cell = std::clamp(static_cast<int>(std::floor(f)), 0, cells - 1);
    weight = std::clamp(f - cell, 0.0, 1.0);
}

} // namespace

BackgroundMesh::BackgroundMesh(const LayerSum& s, int cellSize)
    : width_(s.window().width()), height_(s.window().height()) {
    if (width_ <= 0 || height_ <= 0) return;
    cellSize = std::max(8, cellSize);
    cellsX_ = std::max(1, width_ / cellSize);
    cellsY_ = std::max(1, height_ / cellSize);
    const std::size_t cells = static_cast<std::size_t>(cellsX_) * cellsY_;
    std::vector<double> levels(cells), noises(cells);
    parallelRows(cellsY_, 1, [&](int first, int last) {
        for (int j = first; j < last; ++j)
            for (int i = 0; i < cellsX_; ++i) {
                const std::size_t k = static_cast<std::size_t>(j) * cellsX_ + i;
                cellStatistics(s, cellStart(i, cellsX_, width_), cellStart(i + 1, cellsX_, width_),
                               cellStart(j, cellsY_, height_), cellStart(j + 1, cellsY_, height_),
                               levels[k], noises[k]);
            }
    });
    levels_ = medianAcross(levels, cellsX_, cellsY_);
    noises_ = medianAcross(noises, cellsX_, cellsY_);
    globalLevel_ = medianOf(levels_);
    globalNoise_ = medianOf(noises_);
    columnCell_.resize(static_cast<std::size_t>(width_));
    columnWeight_.resize(static_cast<std::size_t>(width_));
    for (int x = 0; x < width_; ++x) {
        double w = 0;
        position(x, width_, cellsX_, columnCell_[static_cast<std::size_t>(x)], w);
        columnWeight_[static_cast<std::size_t>(x)] = static_cast<float>(w);
    }
}

void BackgroundMesh::interpolate(const std::vector<double>& cells, int y, float* out) const {
    if (cells.empty()) return;
    int j = 0;
    double t = 0;
    position(y, height_, cellsY_, j, t);
    const int j1 = std::min(j + 1, cellsY_ - 1);
    std::vector<float> across(static_cast<std::size_t>(cellsX_));
    for (int i = 0; i < cellsX_; ++i)
        across[static_cast<std::size_t>(i)] =
            static_cast<float>((1 - t) * cells[static_cast<std::size_t>(j) * cellsX_ + i] +
                               t * cells[static_cast<std::size_t>(j1) * cellsX_ + i]);
    // Columns by runs of one cell (the cell only grows along a row), so that each run is a
    // plain blend of two values.
    for (int x = 0; x < width_;) {
        const int i = columnCell_[static_cast<std::size_t>(x)];
        int end = x + 1;
        while (end < width_ && columnCell_[static_cast<std::size_t>(end)] == i) ++end;
        const float a = across[static_cast<std::size_t>(i)];
        const float b = across[static_cast<std::size_t>(std::min(i + 1, cellsX_ - 1))];
        const float* u = columnWeight_.data();
        // In lanes of four: the same element-wise operations as the tail loop.
        using F4 = simd::Vec<4>::F;
        const F4 one = {1, 1, 1, 1}, va = {a, a, a, a}, vb = {b, b, b, b};
        for (; x + 4 <= end; x += 4) {
            F4 vu;
            simd::load(vu, u + x);
            const F4 r = (one - vu) * va + vu * vb;
            simd::store(out + x, r);
        }
        for (; x < end; ++x) out[x] = (1 - u[x]) * a + u[x] * b;
    }
}

float BackgroundMesh::noiseFloor(int y) const {
    if (noises_.empty()) return 0;
    int j = 0;
    double t = 0;
    position(y, height_, cellsY_, j, t);
    const int j1 = std::min(j + 1, cellsY_ - 1);
    const auto row = [&](int r) {
        return noises_.begin() + static_cast<std::ptrdiff_t>(r) * cellsX_;
    };
    const double least = std::min(*std::min_element(row(j), row(j) + cellsX_),
                                  *std::min_element(row(j1), row(j1) + cellsX_));
    // Blends of values at or above `least` stay there but for rounding.
    return static_cast<float>(least * (1 - 1e-5));
}

float BackgroundMesh::interpolateAt(const std::vector<double>& cells, int x, int y) const {
    if (cells.empty()) return 0;
    int j = 0;
    double t = 0;
    position(y, height_, cellsY_, j, t);
    const int j1 = std::min(j + 1, cellsY_ - 1);
    auto across = [&](int i) {
        return static_cast<float>((1 - t) * cells[static_cast<std::size_t>(j) * cellsX_ + i] +
                                  t * cells[static_cast<std::size_t>(j1) * cellsX_ + i]);
    };
    const int i = columnCell_[static_cast<std::size_t>(x)];
    const float u = columnWeight_[static_cast<std::size_t>(x)];
    const int i1 = std::min(i + 1, cellsX_ - 1);
    return (1 - u) * across(i) + u * across(i1);
}

} // namespace quillon
