// ImageRenderer: display parameters, initialisation and table building.
#include "display/renderer.h"

#include "core/parallel.h"
#include "display/histogram_cache.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

namespace quillon {

namespace {
std::uint64_t nextRendererId() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}
} // namespace

ImageRenderer::ImageRenderer(Image& image)
    : image_(&image), id_(nextRendererId()), histogram_(sharedHistogramCache(image)) {
    try {
        tables_.allocate(3 * static_cast<std::size_t>(kLutSize), true);
        packed_.allocate(4 * static_cast<std::size_t>(kLutSize), true);
    } catch (const std::bad_alloc&) {
        tables_.reset();
        packed_.reset();
    }
    if (image.type() == USERDEFINED_IMAGE)
        p_.layerMatrix.assign(3 * static_cast<std::size_t>(image.layerCount()), 0.0f);
}

std::vector<float> ImageRenderer::defaultLayerMatrix(int n) {
    std::vector<float> m(3 * static_cast<std::size_t>(std::max(n, 0)), 0.0f);
    for (int j = 0; j < n; ++j) {
        int c = j % 3;
        int k = std::max(1, (n - c + 2) / 3); // layers feeding channel c
        m[static_cast<std::size_t>(c * n + j)] = 1.0f / static_cast<float>(k);
    }
    return m;
}

void ImageRenderer::invalidateHistogram() {
    histogram_->valid = false;
}

void ImageRenderer::recomputeOffsets() {
    long long cr = std::max<int>(p_.lrgbBias[1], 1), cg = std::max<int>(p_.lrgbBias[2], 1),
              cb = std::max<int>(p_.lrgbBias[3], 1);
    long long sum = cr + cg + cb;
    long long l3 = 3LL * p_.lrgbBias[0];
    p_.lrgbOffset = {static_cast<std::int32_t>(l3 * cr / sum),
                     static_cast<std::int32_t>(l3 * cg / sum),
                     static_cast<std::int32_t>(l3 * cb / sum)};
}

void ImageRenderer::setLrgbBias(int l, int r, int g, int b) {
    p_.lrgbBias = {clampSample(l), clampSample(r), clampSample(g), clampSample(b)};
    recomputeOffsets();
    invalidateHistogram();
    changed();
}

void ImageRenderer::setLayerMatrix(const std::vector<float>& m) {
    if (image_->type() != USERDEFINED_IMAGE ||
        m.size() != 3 * static_cast<std::size_t>(image_->layerCount()))
        return;
    p_.layerMatrix = m;
    invalidateHistogram();
    changed();
}

void ImageRenderer::setWeights(const std::array<float, 3>& w) {
    for (int c = 0; c < 3; ++c) {
        float v = w[static_cast<std::size_t>(c)];
        // Not above 0 (and anything that is not a finite number) would break the ratios.
        p_.channelWeight[static_cast<std::size_t>(c)] = (v > 0.0f && std::isfinite(v)) ? v : 0.01f;
    }
}

void ImageRenderer::setShowOverlay(bool on) {
    if (p_.showOverlay != on) changed();
    p_.showOverlay = on;
}

void ImageRenderer::setPoints(const Points* black, const Points* white, float exponent) {
    if (exponent != 0.0f && exponent == exponent) p_.exponent = std::clamp(exponent, 0.1f, 10.0f);
    if (black) p_.blackPoint = *black;
    if (white) p_.whitePoint = *white;
    if (black || white) {
        for (std::size_t c = 0; c < 3; ++c) {
            if (p_.blackPoint[c] != p_.whitePoint[c]) continue;
            if (p_.whitePoint[c] == kSampleMax)
                --p_.blackPoint[c];
            else
                ++p_.whitePoint[c];
        }
    }
}

void ImageRenderer::setSwitches(const Switches& s) {
    if (s.invert) p_.invert = *s.invert;
    if (s.periodic) p_.periodic = *s.periodic;
    if (s.lutType)
        p_.lutType = static_cast<std::int16_t>(*s.lutType >= 0 && *s.lutType <= 2 ? *s.lutType : 0);
    if (s.palette)
        p_.palette = static_cast<std::int16_t>(*s.palette >= 0 && *s.palette <= 2 ? *s.palette : 0);
    if (image_->type() != BW_IMAGE) p_.palette = 0;
    changed();
    rebuildLut();
}

void ImageRenderer::balanceToWeights(const Points& black, Points& white) const {
    const auto& wt = p_.channelWeight;
    float r[3];
    bool anyPositive = false;
    for (std::size_t q = 0; q < 3; ++q) {
        r[q] = static_cast<float>(white[q] - black[q]) * wt[q];
        anyPositive = anyPositive || r[q] > 0.0f;
    }
    float m = anyPositive ? std::max({r[0], r[1], r[2]}) : std::min({r[0], r[1], r[2], 0.0f});
    float limit = m;
    for (std::size_t q = 0; q < 3; ++q) {
        long long c = black[q] + static_cast<long long>(truncToInt(m / wt[q]));
        if (c == black[q]) continue;
        float fit =
            static_cast<float>(anyPositive ? kSampleMax - black[q] : kSampleMin - black[q]) * m /
            static_cast<float>(c - black[q]);
        if (anyPositive && c > kSampleMax) limit = std::min(limit, fit);
        if (!anyPositive && c < kSampleMin) limit = std::max(limit, fit);
    }
    // The limit keeps every white inside the sample range; rounding of the last float step
    // could still touch the border, so the result is clamped as well.
    for (std::size_t q = 0; q < 3; ++q)
        white[q] = clampSample(black[q] + static_cast<long long>(truncToInt(limit / wt[q])));
}

void ImageRenderer::rebuildLut() {
    changed();
    if (tables_.empty()) return;
    ToneCurve curve{p_.exponent, p_.lutType, p_.palette, p_.invert};
    // Channels with the same points (every grey image) share one table unless a palette
    // makes the channels differ; build each distinct table once, in parallel.
    int source[3] = {0, 1, 2};
    for (int c = 1; c < 3; ++c)
        for (int e = 0; e < c; ++e)
            if (curve.palette == PALETTE_GREY && source[e] == e &&
                p_.blackPoint[static_cast<std::size_t>(c)] ==
                    p_.blackPoint[static_cast<std::size_t>(e)] &&
                p_.whitePoint[static_cast<std::size_t>(c)] ==
                    p_.whitePoint[static_cast<std::size_t>(e)]) {
                source[c] = e;
                break;
            }
    int build[3], nb = 0;
    for (int c = 0; c < 3; ++c)
        if (source[c] == c) build[nb++] = c;
    parallelRows(nb, 1, [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            int c = build[i];
            buildTable(tables_.data() + static_cast<std::size_t>(c) * kLutSize,
                       p_.blackPoint[static_cast<std::size_t>(c)],
                       p_.whitePoint[static_cast<std::size_t>(c)], p_.periodic, c, curve);
        }
    });
    for (int c = 0; c < 3; ++c)
        if (source[c] != c)
            std::memcpy(tables_.data() + static_cast<std::size_t>(c) * kLutSize,
                        tables_.data() + static_cast<std::size_t>(source[c]) * kLutSize, kLutSize);
    packTables();
}

void ImageRenderer::packTables() {
    if (tables_.empty() || packed_.empty()) return;
    const std::uint8_t *r = table(0), *g = table(1), *b = table(2);
    std::uint32_t *pr = packed_.data(), *pg = pr + kLutSize, *pb = pg + kLutSize,
                  *grey = pb + kLutSize;
    for (int i = 0; i < kLutSize; ++i) {
        pr[i] = 0xFF000000u | static_cast<std::uint32_t>(r[i]) << 16;
        pg[i] = static_cast<std::uint32_t>(g[i]) << 8;
        pb[i] = b[i];
        grey[i] = pr[i] | pg[i] | pb[i];
    }
}

void ImageRenderer::initFromImage(AutomaticPoints automatic) {
    const StoredDisplayParams& s = image_->storedDisplay();
    const bool userImage = image_->type() == USERDEFINED_IMAGE;
    const std::size_t matrixSize = 3 * static_cast<std::size_t>(image_->layerCount());
    p_.showOverlay = true;
    p_.keepRatio = true;
    setWeights(s.hasWeights ? s.channelWeight : std::array<float, 3>{1.0f, 1.0f, 1.0f});
    if (userImage) {
        // A stored matrix of the wrong size (a damaged file) falls back to the default.
        std::vector<float> m = s.layerMatrix.size() == matrixSize
                                   ? s.layerMatrix
                                   : defaultLayerMatrix(image_->layerCount());
        if (m != p_.layerMatrix) {
            p_.layerMatrix = std::move(m);
            invalidateHistogram();
        }
    } else {
        p_.layerMatrix.clear();
    }
    if (s.lrgbBias != p_.lrgbBias) {
        p_.lrgbBias = s.lrgbBias;
        if (image_->type() == LRGB_IMAGE) invalidateHistogram();
    }
    recomputeOffsets();
    float exponent = s.exponent != 0.0f ? s.exponent : 1.0f;
    if (s.hasPoints) {
        Points black = s.blackPoint, white = s.whitePoint;
        balanceToWeights(black, white);
        setPoints(&black, &white, exponent);
    } else {
        automatic(*this, 6, Progress::none());
    }
    if (s.tables.size() == 3 * static_cast<std::size_t>(kLutSize) && !tables_.empty()) {
        std::memcpy(tables_.data(), s.tables.data(), s.tables.size());
        packTables();
        p_.lutType = s.lutType;
        p_.palette = image_->type() == BW_IMAGE ? s.palette : std::int16_t{0};
        p_.invert = s.invert;
        p_.periodic = s.periodic;
        changed();
    } else {
        p_.invert = p_.periodic = false;
        p_.lutType = p_.palette = 0;
        rebuildLut();
    }
}

void ImageRenderer::storeInto(StoredDisplayParams& s, bool withTables) const {
    s.clear();
    s.hasPoints = true;
    s.blackPoint = p_.blackPoint;
    s.whitePoint = p_.whitePoint;
    s.hasWeights = true;
    s.channelWeight = p_.channelWeight;
    s.exponent = p_.exponent;
    s.lrgbBias = p_.lrgbBias;
    s.layerMatrix = p_.layerMatrix;
    if (withTables && !tables_.empty()) {
        s.tables.assign(tables_.begin(), tables_.end());
        s.lutType = p_.lutType;
        s.palette = p_.palette;
        s.invert = p_.invert;
        s.periodic = p_.periodic;
    }
}

void ImageRenderer::copyFromRenderer(const ImageRenderer& other) {
    if (&other == this) return;
    bool biasChanged = other.p_.lrgbBias != p_.lrgbBias;
    bool matrixChanged = other.p_.layerMatrix != p_.layerMatrix;
    p_ = other.p_;
    // A renderer of another image (a derived document) may carry a matrix of another size.
    if (image_->type() == USERDEFINED_IMAGE &&
        p_.layerMatrix.size() != 3 * static_cast<std::size_t>(image_->layerCount()))
        p_.layerMatrix = defaultLayerMatrix(image_->layerCount());
    if (image_->type() != USERDEFINED_IMAGE) p_.layerMatrix.clear();
    if ((biasChanged && image_->type() == LRGB_IMAGE) ||
        (matrixChanged && image_->type() == USERDEFINED_IMAGE))
        invalidateHistogram();
    if (!tables_.empty() && !other.tables_.empty()) {
        std::memcpy(tables_.data(), other.tables_.data(), tables_.size());
        packTables();
    }
    changed();
}

} // namespace quillon
