// Derived images, applying a filter and the preview arithmetic.
#include "filters/filter.h"

#include "core/error.h"
#include "core/wcs.h"
#include "ops/geometry.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace quillon {

DerivedImageDescription describeDerived(const Image& source, int widthReduction,
                                        int heightReduction) {
    DerivedImageDescription d;
    d.takeFrom(source);
    d.width -= widthReduction;
    d.height -= heightReduction;
    // A filter that gives a smaller image keeps the pixels whose whole kernel lies inside: the
    // result's first pixel shows the source at half the reduction.
    if ((widthReduction != 0 || heightReduction != 0) && d.infoTemplate)
        d.infoTemplate->wcs = transformWcs(d.infoTemplate->wcs, 1, 0, 0, 1, widthReduction / 2.0,
                                           heightReduction / 2.0);
    return d;
}

std::unique_ptr<Image> applyFilter(const Filter& filter, const Image& source, LayerMask mask,
                                   Progress& progress, FilterOutcome* outcome) {
    auto result = std::make_unique<Image>();
    createImage(describeDerived(source, filter.widthReduction(), filter.heightReduction()),
                *result);
    FilterOutcome o;
    try {
        o = filter.run(*result, source, mask, progress);
    } catch (const std::bad_alloc&) {
        throw Error(msg::kOutOfMemoryAction);
    }
    if (outcome) *outcome = o;
    return result;
}

DisplayPoints centredDisplayPoints(const std::array<std::int16_t, 3>& black,
                                   const std::array<std::int16_t, 3>& white) {
    DisplayPoints p;
    for (std::size_t c = 0; c < 3; ++c) {
        const int span = static_cast<int>(white[c]) - static_cast<int>(black[c]);
        const int b = -span / 2; // integer division truncates toward zero
        p.black[c] = clampSample(b);
        p.white[c] = clampSample(static_cast<long long>(b) + span);
    }
    return p;
}

// ---- preview -------------------------------------------------------------------------------

PreviewPiece previewPiece(int panelWidth, int panelHeight, float zoom, int scrollX, int scrollY,
                          int imageWidth, int imageHeight) {
    PreviewPiece p;
    if (!(zoom > 0.0f)) zoom = 100.0f;
    p.width =
        truncToInt(static_cast<double>(static_cast<float>(panelWidth) / zoom * 100.0f + 0.5f));
    p.height =
        truncToInt(static_cast<double>(static_cast<float>(panelHeight) / zoom * 100.0f + 0.5f));
    p.width = std::clamp(p.width, 1, std::max(1, imageWidth));
    p.height = std::clamp(p.height, 1, std::max(1, imageHeight));
    p.left = truncToInt(static_cast<double>(static_cast<float>(scrollX) / zoom * 100.0f - 0.5f));
    p.top = truncToInt(static_cast<double>(static_cast<float>(scrollY) / zoom * 100.0f - 0.5f));
    p.left = std::clamp(p.left, 0, std::max(0, imageWidth - p.width));
    p.top = std::clamp(p.top, 0, std::max(0, imageHeight - p.height));
    return p;
}

std::unique_ptr<Image> cropPreviewPiece(const Image& source, const PreviewPiece& piece) {
    try {
        DerivedImageDescription d = describeDerived(source);
        d.width = piece.width;
        d.height = piece.height;
        d.overlay = false;
        auto pieceImage = std::make_unique<Image>();
        createImage(d, *pieceImage);
        crop(*pieceImage, piece.left, piece.top, source);
        return pieceImage;
    } catch (const Error&) {
        return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<Image> computePreview(const Filter& filter, const Image& source,
                                      const PreviewPiece& piece, LayerMask mask,
                                      FilterOutcome* outcome) {
    try {
        const std::unique_ptr<Image> pieceImage = cropPreviewPiece(source, piece);
        if (!pieceImage) return nullptr;
        auto result = std::make_unique<Image>();
        createImage(describeDerived(*pieceImage, filter.widthReduction(), filter.heightReduction()),
                    *result);
        FilterOutcome o = filter.run(*result, *pieceImage, mask, Progress::none());
        if (outcome) *outcome = o;
        return result;
    } catch (const Error&) {
        return nullptr; // too small or out of memory: the preview stays empty
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

float clampPreviewZoom(float z, int imageWidth, int imageHeight, int panelWidth, int panelHeight) {
    if (imageWidth <= 0 || imageHeight <= 0) return 100.0f;
    const float w = static_cast<float>(imageWidth), h = static_cast<float>(imageHeight);
    const float pw = static_cast<float>(panelWidth), ph = static_cast<float>(panelHeight);
    z = std::max(z, 50.0f);
    z = std::min(z, 100.0f * std::min({16383.0f / w, 16383.0f / h, 50.0f}));
    z = std::min(z, pw / 20.0f * 100.0f);
    z = std::min(z, ph / 20.0f * 100.0f);
    z = std::max(z, pw / w * 100.0f);
    z = std::max(z, ph / h * 100.0f);
    return z;
}

namespace {
float whole(float v) {
    return static_cast<float>(truncToInt(static_cast<double>(v)));
}
float inverse(float n) {
    return n >= 1.0f ? 1.0f / n : 1.0f;
}
} // namespace

float previewZoomIn(float f) {
    if (f > 0.999f) return f <= 5.999f ? whole(f + 1.001f) : whole(f + 2.001f);
    if (!(f > 0.0f)) return 1.0f;
    return f >= 0.142857f ? inverse(whole(1.0f / f - 0.001f)) : inverse(whole(1.0f / f - 1.001f));
}

float previewZoomOut(float f) {
    if (f > 1.001f) return f <= 7.001f ? whole(f - 0.001f) : whole(f - 1.001f);
    if (!(f > 0.0f)) return 1.0f;
    return f >= 0.142857f ? inverse(whole(1.0f / f + 1.001f)) : inverse(whole(1.0f / f + 2.001f));
}

int scrollAfterZoom(int scroll, int panelExtent, float oldZoom, float newZoom, int maxScroll) {
    if (!(oldZoom > 0.0f)) return 0;
    // Half an odd panel is a fraction: rounding once, after taking it off again, keeps the
    // centre where it was instead of drifting half a pixel with every step.
    const float half = static_cast<float>(panelExtent) / 2.0f;
    const float centre = static_cast<float>(scroll) + half;
    const int pos =
        static_cast<int>(std::floor(static_cast<double>(centre * newZoom / oldZoom - half + 0.5f)));
    return std::clamp(pos, 0, std::max(0, maxScroll));
}

std::uint32_t packWindowPoint(int x, int y) {
    return (static_cast<std::uint32_t>(static_cast<std::uint16_t>(x)) << 16) |
           static_cast<std::uint16_t>(y);
}

void unpackWindowPoint(std::uint32_t packed, int& x, int& y) {
    x = static_cast<std::int16_t>(static_cast<std::uint16_t>(packed >> 16));
    y = static_cast<std::int16_t>(static_cast<std::uint16_t>(packed & 0xFFFFu));
}

} // namespace quillon
