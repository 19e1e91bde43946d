// Comparing two images in everything an image holds (samples, overlay, contribution counters,
// names, metadata, stored display, PSFs, photometric calibration), and an image that has
// something in all of it.
#pragma once

#include "core/image.h"

#include <cstring>
#include <string>

namespace quillon::testkit {

// The first thing in which the images differ, as text, or empty when they are the same.
inline std::string wholeImageDifference(const Image& a, const Image& b) {
    if (a.type() != b.type() || a.width() != b.width() || a.height() != b.height() ||
        a.layerCount() != b.layerCount() || a.hasOverlay() != b.hasOverlay())
        return "shape";
    if (a.hasSamples() != b.hasSamples()) return "samples present";
    const std::size_t n =
        static_cast<std::size_t>(a.width()) * static_cast<std::size_t>(a.height());
    if (a.hasSamples())
        for (int p = 0; p < a.planeCount(); ++p) {
            if (std::memcmp(a.planeData(p), b.planeData(p), n * sizeof(Sample)) != 0)
                return "samples of plane " + std::to_string(p);
            if (a.layerName(p) != b.layerName(p)) return "name of plane " + std::to_string(p);
        }
    if (a.hasCounters() != b.hasCounters()) return "counters present";
    if (a.hasCounters())
        for (int l = 0; l < a.layerCount(); ++l)
            if (std::memcmp(a.counterRow(l, 0), b.counterRow(l, 0), n * sizeof(Count)) != 0)
                return "counters of layer " + std::to_string(l);
    if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return "pixel size";
    const ImageInfo& i = a.info();
    const ImageInfo& j = b.info();
    if (i.sourcePath != j.sourcePath || i.exposureTime != j.exposureTime ||
        i.temperature != j.temperature || i.longitude != j.longitude || i.latitude != j.latitude ||
        i.date != j.date || i.time != j.time || i.siderealTime != j.siderealTime ||
        i.julianDate != j.julianDate || i.comments.size() != j.comments.size())
        return "image information";
    for (std::size_t k = 0; k < i.comments.size(); ++k)
        if (i.comments[k] != j.comments[k]) return "comment " + std::to_string(k);
    const StoredDisplayParams& s = a.storedDisplay();
    const StoredDisplayParams& t = b.storedDisplay();
    if (s.hasPoints != t.hasPoints || s.blackPoint != t.blackPoint ||
        s.whitePoint != t.whitePoint || s.hasWeights != t.hasWeights ||
        s.channelWeight != t.channelWeight || s.exponent != t.exponent ||
        s.lrgbBias != t.lrgbBias || s.layerMatrix != t.layerMatrix || s.tables != t.tables ||
        s.lutType != t.lutType || s.palette != t.palette || s.invert != t.invert ||
        s.periodic != t.periodic)
        return "stored display";
    if (a.psfCount() != b.psfCount()) return "PSF count";
    for (std::size_t k = 0; k < a.psf().size(); ++k)
        if (a.psf()[k].width != b.psf()[k].width || a.psf()[k].height != b.psf()[k].height ||
            a.psf()[k].values != b.psf()[k].values)
            return "PSF " + std::to_string(k);
    if (a.photometry().coefficient != b.photometry().coefficient ||
        a.photometry().referenceCount != b.photometry().referenceCount)
        return "photometric calibration";
    return {};
}

// Gives a sample-holding image metadata in every group, so that a comparison can see each.
inline void giveMetadata(Image& img) {
    img.SetPixelSize(7.4f, 9.0f);
    ImageInfo* info = nullptr;
    if (img.BeginInfoWrite(info) == 0 && info) {
        info->exposureTime = 120.5f;
        info->temperature = -15.0f;
        info->julianDate = 2460000.25;
        setText(info->date, "08/12/26");
        info->addComment("M 42, 12 Aufnahmen");
        info->addComment("Filter L");
        img.EndInfoWrite();
    }
    img.setSourcePath("/data/m42.fts");
    img.setLayerName(0, "Rot");
    StoredDisplayParams& d = img.storedDisplay();
    d.hasPoints = true;
    d.blackPoint = {-100, 0, 20};
    d.whitePoint = {3000, 4000, 5000};
    d.exponent = 1.5f;
    d.lrgbBias = {1, 2, 3, 4};
    img.psf()[0].width = 3;
    img.psf()[0].height = 3;
    img.psf()[0].values.assign(9, 0.125f);
    img.setPsfCount(1);
    img.photometry().coefficient = 2.5f;
    img.photometry().referenceCount = 3;
}

} // namespace quillon::testkit
