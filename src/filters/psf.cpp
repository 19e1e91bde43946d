// Collecting the point-spread function from the image's own stars.
#include "filters/psf.h"

#include "core/error.h"
#include "core/sample.h"
#include "ops/sampler.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace quillon {

int normalisePsfSide(int side) {
    return std::clamp(side | 1, kMinPsfSide, kMaxPsfSide);
}

ReferencePoint locatePsfStar(const Image& image, float x, float y) {
    return locateReference(image, ReferenceMethod::PositiveCentroid, x, y, 12, 4);
}

Image psfCutout(const Image& source, float cx, float cy) {
    Image cut;
    std::vector<std::string> names;
    for (int i = 0; i < source.layerCount(); ++i) names.emplace_back(source.layerName(i));
    const bool user = source.type() == USERDEFINED_IMAGE;
    if (cut.Define(kPsfCutoutSize, kPsfCutoutSize, source.type(), false,
                   user ? source.layerCount() : 0, user ? &names : nullptr) == 0)
        throw Error(msg::kFilterNotApplicable);
    if (cut.AllocateSamples(true) != 0) throw std::bad_alloc();
    for (int i = 0; i < source.layerCount(); ++i)
        cut.setLayerName(i, names[static_cast<std::size_t>(i)]);
    const int half = kPsfCutoutSize / 2;
    const float maxX = static_cast<float>(source.width() - 1);
    const float maxY = static_cast<float>(source.height() - 1);
    for (int layer = 0; layer < source.layerCount(); ++layer)
        for (int j = 0; j < kPsfCutoutSize; ++j) {
            Sample* row = cut.row(layer, j);
            const float y = static_cast<float>(j) + cy - static_cast<float>(half);
            for (int k = 0; k < kPsfCutoutSize; ++k) {
                const float x = static_cast<float>(k) + cx - static_cast<float>(half);
                row[k] = (x > 0 && x <= maxX && y > 0 && y <= maxY)
                             ? toSample(sampleLayer(source, x, y, layer, 1, 1))
                             : Sample{0};
            }
        }
    return cut;
}

PsfBox psfBox(int width, int height) {
    return {(kPsfCutoutSize - width) / 2, (kPsfCutoutSize - height) / 2, width, height};
}

std::vector<int> psfBoxMaxima(const Image& cutout, int width, int height) {
    const PsfBox b = psfBox(width, height);
    std::vector<int> maxima;
    for (int layer = 0; layer < cutout.layerCount(); ++layer) {
        int m = kSampleMin;
        for (int y = b.top; y < b.top + b.height; ++y)
            for (int x = b.left; x < b.left + b.width; ++x)
                m = std::max<int>(m, cutout.row(layer, y)[x]);
        maxima.push_back(m);
    }
    return maxima;
}

std::string psfMaximaText(const Image& cutout, int width, int height) {
    std::string text = "Maximalwerte im Rahmen: \r\n";
    const std::vector<int> maxima = psfBoxMaxima(cutout, width, height);
    for (int layer = 0; layer < cutout.layerCount(); ++layer) {
        text += cutout.layerName(layer);
        text += ": " + std::to_string(maxima[static_cast<std::size_t>(layer)]) + ", ";
    }
    return text + "\r\nAchtung: Nur Hinzufügen, wenn keine Sättigung!";
}

std::vector<float> psfFromCutout(const Image& cutout, int width, int height, int layer) {
    const PsfBox b = psfBox(width, height);
    auto at = [&](int x, int y) { return static_cast<float>(cutout.row(layer, y)[x]); };
    float ring = 0.0f;
    for (int x = b.left; x < b.left + b.width; ++x)
        ring += at(x, b.top - 1) + at(x, b.top + b.height);
    for (int y = b.top; y < b.top + b.height; ++y)
        ring += at(b.left - 1, y) + at(b.left + b.width, y);
    const float background = ring / static_cast<float>(2 * width + 2 * height);
    std::vector<float> psf(static_cast<std::size_t>(width) * height);
    float total = 0.0f;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float v = at(b.left + x, b.top + y) - background;
            psf[static_cast<std::size_t>(y) * width + x] = v;
            total += v;
        }
    if (!(total > 0.0f)) {
        char buf[512];
        const std::string name(cutout.layerName(layer));
        std::snprintf(buf, sizeof buf, kPsfNotBrighter, name.c_str());
        throw Error(buf);
    }
    for (float& v : psf) v /= total;
    return psf;
}

void addPsf(PsfKernel& kernel, const std::vector<float>& psf, int width, int height, int n) {
    if (n <= 1) {
        kernel.width = static_cast<std::uint16_t>(width);
        kernel.height = static_cast<std::uint16_t>(height);
        kernel.values.assign(static_cast<std::size_t>(width) * height, 0.0f);
    }
    const int ox = (kernel.width - width) / 2, oy = (kernel.height - height) / 2;
    const float fn = static_cast<float>(std::max(n, 1));
    for (int y = 0; y < height; ++y) {
        const int ky = y + oy;
        if (ky < 0 || ky >= kernel.height) continue;
        for (int x = 0; x < width; ++x) {
            const int kx = x + ox;
            if (kx < 0 || kx >= kernel.width) continue;
            float& cell = kernel.row(ky)[kx];
            cell = ((fn - 1.0f) * cell + psf[static_cast<std::size_t>(y) * width + x]) / fn;
        }
    }
}

void addReferenceStar(Image& image, const Image& cutout, int width, int height) {
    if (image.psfCount() >= kMaxPsfCount) throw Error(kPsfCountFull);
    std::vector<std::vector<float>> psfs;
    for (int layer = 0; layer < image.layerCount(); ++layer)
        psfs.push_back(psfFromCutout(cutout, width, height, layer));
    const int n = image.psfCount() + 1;
    image.setPsfCount(static_cast<std::uint8_t>(n));
    for (int layer = 0; layer < image.layerCount(); ++layer)
        addPsf(image.psf()[static_cast<std::size_t>(layer)], psfs[static_cast<std::size_t>(layer)],
               width, height, n);
}

} // namespace quillon
