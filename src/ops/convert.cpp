// Type conversions and layer operations: grey and RGB conversion, layer and overlay extraction.
#include "ops/convert.h"

#include "core/error.h"
#include "core/parallel.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace quillon {
namespace {

constexpr long long kMinInterval = 50;
constexpr int kMinRows = 16;

// The destination must have been made from the matching description.
void checkShape(const Image& destination, const Image& source, std::uint16_t type) {
    if (!destination.hasSamples() || !source.hasSamples() || destination.type() != type ||
        destination.width() != source.width() || destination.height() != source.height())
        throw Error(msg::unexpected(11));
}

// The colour layers of a new document of `type` with the source's size, pixel size and
// metadata.
NewDocumentParams describeAs(const Image& source, std::uint16_t type, bool overlay) {
    NewDocumentParams d;
    d.takeFrom(source);
    d.type = type;
    d.userLayerCount = ImageTypeName(type).layerCount;
    d.layerNames.clear(); // the new type's default names
    d.overlay = overlay;
    return d;
}

// Copies the overlay plane row by row when both images have one; one progress unit per row.
void copyOverlay(Image& destination, const Image& source, Progress& progress) {
    if (!destination.hasOverlay() || !source.hasOverlay()) return;
    const int dp = destination.overlayPlane(), sp = source.overlayPlane();
    const std::size_t bytes = static_cast<std::size_t>(source.width()) * sizeof(Sample);
    parallelRows(source.height(), 64, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            std::memcpy(destination.row(dp, y), source.row(sp, y), bytes);
            progress.step();
        }
    });
}

// Runs fn(y, composed) for every row of the source view's composition, rows in parallel;
// composed holds the row's values interleaved R, G, B.
template <class Fn>
void forEachComposedRow(const Composition& source, Progress& progress, Fn fn) {
    const int w = source.image().width();
    parallelRows(source.image().height(), kMinRows, [&](int y0, int y1) {
        std::vector<int> composed(3 * static_cast<std::size_t>(w));
        for (int y = y0; y < y1; ++y) {
            source.composeRow(y, 0, w, composed.data());
            fn(y, composed.data());
            progress.step();
        }
    });
}

} // namespace

GreyFactors naturalGreyFactors() {
    return {0.30f, 0.59f, 0.11f};
}

GreyFactors normalisedGreyFactors(const GreyFactors& f) {
    const float sum = f.red + f.green + f.blue;
    if (sum == 0.0f) return f;
    return {f.red / sum, f.green / sum, f.blue / sum};
}

GreyFactors effectiveGreyFactors(const GreyFactors& f, bool useWeights,
                                 const std::array<float, 3>& weights) {
    if (!useWeights) return f;
    return {f.red * weights[0], f.green * weights[1], f.blue * weights[2]};
}

NewDocumentParams greyDescription(const Image& source) {
    return describeAs(source, BW_IMAGE, source.hasOverlay());
}

NewDocumentParams rgbDescription(const Image& source) {
    return describeAs(source, RGB_IMAGE, source.hasOverlay());
}

NewDocumentParams layerDescription(const Image& source) {
    return describeAs(source, BW_IMAGE, false);
}

NewDocumentParams overlayDescription(const Image& source) {
    return describeAs(source, RGB_IMAGE, false);
}

void toGrey(Image& destination, const Composition& source, const GreyFactors& effective,
            Progress& progress) {
    const Image& src = source.image();
    checkShape(destination, src, BW_IMAGE);
    const int w = src.width(), h = src.height();
    const bool overlay = destination.hasOverlay() && src.hasOverlay();
    const float fr = effective.red, fg = effective.green, fb = effective.blue;
    progress.begin("in Graubild umwandeln", static_cast<long long>(h) * (overlay ? 2 : 1),
                   kMinInterval);
    forEachComposedRow(source, progress, [&](int y, const int* c) {
        Sample* out = destination.row(0, y);
        for (int x = 0; x < w; ++x) {
            const float r = static_cast<float>(c[3 * x]);
            const float g = static_cast<float>(c[3 * x + 1]);
            const float b = static_cast<float>(c[3 * x + 2]);
            // Written as separate statements so that the sum keeps its float rounding order.
            float v = fr * r;
            v += fg * g;
            v += fb * b;
            out[x] = toSample(v);
        }
    });
    copyOverlay(destination, src, progress);
    progress.end();
    destination.samplesChanged();
}

void toRGB(Image& destination, const Composition& source, Progress& progress) {
    const Image& src = source.image();
    checkShape(destination, src, RGB_IMAGE);
    const int w = src.width(), h = src.height();
    progress.begin("Konvertiere zu RGB", h, kMinInterval);
    forEachComposedRow(source, progress, [&](int y, const int* c) {
        Sample* r = destination.row(0, y);
        Sample* g = destination.row(1, y);
        Sample* b = destination.row(2, y);
        for (int x = 0; x < w; ++x) {
            // Composed values already lie in the sample range.
            r[x] = static_cast<Sample>(c[3 * x]);
            g[x] = static_cast<Sample>(c[3 * x + 1]);
            b[x] = static_cast<Sample>(c[3 * x + 2]);
        }
    });
    // The overlay is carried along without its own progress units.
    copyOverlay(destination, src, Progress::none());
    progress.end();
    destination.samplesChanged();
}

void extractLayer(Image& destination, const Image& source, int layer, Progress& progress) {
    checkShape(destination, source, BW_IMAGE);
    if (layer < 0 || layer >= source.layerCount()) throw Error(msg::unexpected(11));
    char title[64];
    std::snprintf(title, sizeof title, "Ebene %i extrahieren", layer + 1);
    const std::size_t bytes = static_cast<std::size_t>(source.width()) * sizeof(Sample);
    progress.begin(title, source.height(), kMinInterval);
    parallelRows(source.height(), 64, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            std::memcpy(destination.row(0, y), source.row(layer, y), bytes);
            progress.step();
        }
    });
    progress.end();
    destination.samplesChanged();
}

void extractOverlay(Image& destination, const Image& source, Progress& progress) {
    checkShape(destination, source, RGB_IMAGE);
    if (!source.hasOverlay()) throw Error(msg::unexpected(11));
    const int w = source.width();
    const int op = source.overlayPlane();
    progress.begin("Overlay extrahieren", source.height(), kMinInterval);
    parallelRows(source.height(), 64, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const Sample* in = source.row(op, y);
            Sample* r = destination.row(0, y);
            Sample* g = destination.row(1, y);
            Sample* b = destination.row(2, y);
            for (int x = 0; x < w; ++x) {
                // Five bits per colour: red 10..14, green 5..9, blue 0..4; bit 15 (opaque)
                // does not show in the picture.
                const unsigned word = static_cast<std::uint16_t>(in[x]);
                r[x] = static_cast<Sample>(((word >> 10) & 31u) * 8u);
                g[x] = static_cast<Sample>(((word >> 5) & 31u) * 8u);
                b[x] = static_cast<Sample>((word & 31u) * 8u);
            }
            progress.step();
        }
    });
    progress.end();
    destination.samplesChanged();
}

ConvertedDisplay greyDisplay(const Composition& source, const GreyFactors& effective) {
    const DisplayParams& p = source.params();
    const float f[3] = {effective.red, effective.green, effective.blue};
    float black = 0.0f, white = 0.0f;
    for (int c = 0; c < 3; ++c) {
        black += static_cast<float>(p.blackPoint[static_cast<std::size_t>(c)]) * f[c];
        white += static_cast<float>(p.whitePoint[static_cast<std::size_t>(c)]) * f[c];
    }
    const Sample b = toSample(black), w = toSample(white);
    ConvertedDisplay d;
    d.black = {b, b, b};
    d.white = {w, w, w};
    return d;
}

ConvertedDisplay layerDisplay(const Composition& source, int layer) {
    ConvertedDisplay d;
    if (source.image().type() != RGB_IMAGE || layer < 0 || layer > 2) {
        d.automatic = true;
        return d;
    }
    const std::size_t c = static_cast<std::size_t>(layer);
    const Points& black = source.params().blackPoint;
    const Points& white = source.params().whitePoint;
    d.black = {black[c], black[c], black[c]};
    d.white = {white[c], white[c], white[c]};
    return d;
}

ConvertedDisplay overlayDisplay() {
    ConvertedDisplay d;
    d.black = {0, 0, 0};
    d.white = {255, 255, 255};
    return d;
}

std::string splitLayerTitle(const Image& source, int layer) {
    return std::string(source.layerName(layer)) + "-Anteil";
}

std::vector<SplitPart> splitParts(const Image& source) {
    std::vector<SplitPart> parts;
    for (int i = 0; i < source.layerCount(); ++i) parts.push_back({splitLayerTitle(source, i), i});
    if (source.hasOverlay()) parts.push_back({"Overlay", -1});
    return parts;
}

} // namespace quillon
