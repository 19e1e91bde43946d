// Unsharp mask and the linear combination of two images.
#include "filters/unsharp.h"

#include "core/error.h"
#include "core/parallel.h"
#include "core/settings_record.h"
#include "filters/kernels.h"
#include "filters/mask_filter.h"

#include <algorithm>

namespace quillon {

void combine(Image& destination, const Image& source, int offsetX, int offsetY,
             float destinationFactor, float sourceFactor, float addend, LayerMask layers,
             Progress& progress) {
    if (!destination.hasSamples() || !source.hasSamples()) return;
    const int x0 = std::max(offsetX, 0);
    const int x1 = std::min(offsetX + source.width(), destination.width());
    const int y0 = std::max(offsetY, 0);
    const int y1 = std::min(offsetY + source.height(), destination.height());
    if (x0 >= x1 || y0 >= y1) return;
    const int layerCount = destination.layerCount();
    const bool overlay = destination.hasOverlay() && source.hasOverlay();
    const int rows = y1 - y0;
    progress.begin("Kombinieren",
                   static_cast<long long>(rows) * (layerCount + (destination.hasOverlay() ? 1 : 0)),
                   30);
    for (int i = 0; i < layerCount; ++i) {
        if (i >= source.layerCount() || !layerSelected(layers, i)) {
            progress.step(rows);
            continue;
        }
        parallelRows(rows, 32, [&](int a, int b) {
            for (int y = y0 + a; y < y0 + b; ++y) {
                Sample* d = destination.row(i, y);
                const Sample* s = source.row(i, y - offsetY) - offsetX;
                for (int x = x0; x < x1; ++x) {
                    float v = static_cast<float>(d[x]) * destinationFactor + 0.5f;
                    v += static_cast<float>(s[x]) * sourceFactor;
                    v += addend;
                    d[x] = toSample(v);
                }
                progress.step();
            }
        });
    }
    if (destination.hasOverlay()) {
        if (overlay) {
            const int dp = destination.overlayPlane(), sp = source.overlayPlane();
            for (int y = y0; y < y1; ++y) {
                Sample* d = destination.row(dp, y);
                const Sample* s = source.row(sp, y - offsetY) - offsetX;
                for (int x = x0; x < x1; ++x) d[x] = static_cast<Sample>(d[x] | s[x]);
            }
        }
        progress.step(rows);
    }
    progress.end();
    destination.samplesChanged();
}

int unsharpReduction(int position) {
    if (position < 0 || position >= kUnsharpMaskCount) return -1;
    return unsharpBlurKernel(position).width - 1;
}

void unsharpMask(Image& destination, const Image& source, int position, float m, float o,
                 LayerMask layers, Progress& progress) {
    const int reduction = unsharpReduction(position);
    if (reduction < 0 || !source.hasSamples() || !destination.hasSamples() ||
        destination.width() != source.width() - reduction ||
        destination.height() != source.height() - reduction)
        throw Error(msg::kFilterNotApplicable);
    const Kernel kernel = unsharpBlurKernel(position);
    maskFilter(destination, source, kernel, layers, progress);
    // Only the blurred layers are combined; the others already hold the source unchanged.
    const int shift = -(kernel.width - 1) / 2;
    combine(destination, source, shift, shift, -m, o, 0.0f, layers, progress);
}

int UnsharpMaskFilter::widthReduction() const {
    return std::max(0, unsharpReduction(position_));
}

FilterOutcome UnsharpMaskFilter::run(Image& destination, const Image& source, LayerMask mask,
                                     Progress& progress) const {
    unsharpMask(destination, source, position_, m_, o_, mask, progress);
    return {};
}

UnsharpFactors unsharpStronger(UnsharpFactors f) {
    if (f.m < 20.0f) {
        f.m += 1.0f;
        f.o = f.m + 1.0f;
    }
    return f;
}

UnsharpFactors unsharpWeaker(UnsharpFactors f) {
    if (f.m > 1.0f) {
        f.m -= 1.0f;
        f.o = f.m + 1.0f;
    }
    return f;
}

bool unsharpFactorValid(float v) {
    return v >= 0.0f && v <= 1000.0f;
}

int storedUnsharpFactor(float value) {
    return toStoredReal(static_cast<double>(value));
}

float unsharpFactorFromStored(int stored, float defaultValue) {
    return stored == 0 ? defaultValue : static_cast<float>(fromStoredReal(stored));
}

} // namespace quillon
