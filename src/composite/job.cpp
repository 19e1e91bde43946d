// The composite job and the editing rules of the composite window.
#include "composite/job.h"

#include "core/error.h"
#include "core/image.h"
#include "core/image_type.h"
#include "core/number_text.h"
#include "core/settings_record.h"
#include "ops/calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillon {

const char* const kNoExposuresMessage = "Sie haben noch keine Bilder in die Liste(n) eingefügt!";

namespace {

// Bits of the calibration switches and of the composite switches in the settings.
constexpr int kAveragingBit = 1;
constexpr int kArtefactsBit = 2;
constexpr int kBordersBit = 4;

float clampReal(double v, float lo, float hi) {
    if (!(v >= lo)) return lo; // NaN too
    return v > hi ? hi : static_cast<float>(v);
}

} // namespace

ReferencePoint defaultReferencePoint(int index) {
    return defaultReferenceSet()[static_cast<std::size_t>(index)];
}

int CompositeJob::wholeImageList() const {
    return targetType == BW_IMAGE ? 0 : layerCount;
}

CompositeListKind CompositeJob::kind(int list) const {
    return compositeListKind(targetType, layerCount, list);
}

int CompositeJob::factorSlots(int list) const {
    return compositeFactorSlots(targetType, layerCount, list);
}

std::string CompositeJob::listName(int list) const {
    return compositeListName(targetType, layerCount, list);
}

bool CompositeJob::configure(std::uint16_t type, int userLayers, const CalibrationParams& seed) {
    const int n = compositeLayerCount(type, userLayers);
    if (n == 0) {
        if (type == USERDEFINED_IMAGE)
            throw Error("Anzahl der Ebenen: Zahl von 2 bis " + std::to_string(kMaxUserLayers) +
                        " erwartet, nicht " + std::to_string(userLayers));
        throw Error("Dieser Bildtyp kann nicht als Komposit erstellt werden.");
    }
    const bool rebuild = !configured() || type != targetType || n != layerCount;
    targetType = type;
    layerCount = n;
    if (rebuild) {
        const int count = compositeListCount(type, n);
        lists.assign(static_cast<std::size_t>(count), CompositeList{});
        CalibrationParams c = seed;
        c.darkEnabled = false;
        c.flatEnabled = false;
        calibrations.assign(static_cast<std::size_t>(count - 1), c);
    }
    if (currentList < 0 || currentList >= listCount()) currentList = 0;
    return rebuild;
}

bool CompositeJob::prepareWindow(std::uint16_t type, int userLayers, const SettingsRecord& settings,
                                 const std::vector<std::uint64_t>& openDocuments,
                                 bool fromCommand) {
    if (fromCommand) loadSettings(settings);
    const bool rebuilt = configure(type, userLayers, CalibrationParams::fromSettings(settings));
    removeClosedDocuments(openDocuments);
    return rebuilt;
}

bool CompositeJob::usesColourWeights() const {
    return targetType == RGB_IMAGE || targetType == LRGB_IMAGE;
}

CompositeEntry CompositeJob::newEntry(int list) const {
    CompositeEntry e;
    e.factors.assign(static_cast<std::size_t>(factorSlots(list)), 1.0f);
    return e;
}

CompositeEntry& CompositeJob::addFile(int list, const std::string& path) {
    CompositeEntry e = newEntry(list);
    e.name = path;
    return lists.at(static_cast<std::size_t>(list)).entries.emplace_back(std::move(e));
}

CompositeEntry& CompositeJob::addDocument(int list, std::uint64_t documentId,
                                          const std::string& title) {
    CompositeEntry& e = addFile(list, title);
    e.documentId = documentId;
    return e;
}

void CompositeJob::removeEntry(int list, int index) {
    auto& entries = lists.at(static_cast<std::size_t>(list)).entries;
    if (index < 0 || index >= static_cast<int>(entries.size())) return;
    entries.erase(entries.begin() + index);
}

void CompositeJob::removeClosedDocuments(const std::vector<std::uint64_t>& openDocuments) {
    for (CompositeList& l : lists)
        std::erase_if(l.entries, [&](const CompositeEntry& e) {
            return !e.isFile() && std::find(openDocuments.begin(), openDocuments.end(),
                                            e.documentId) == openDocuments.end();
        });
}

void CompositeJob::clearAllLists() {
    for (CompositeList& l : lists) l.entries.clear();
}

void CompositeJob::takeOverList(int list, std::vector<CompositeEntry> rows) {
    const auto slots = static_cast<std::size_t>(factorSlots(list));
    for (CompositeEntry& e : rows) {
        e.factors.resize(slots, 1.0f);
        for (int i = options.referencePointCount; i < kMaxReferencePoints; ++i)
            e.points[static_cast<std::size_t>(i)] = defaultReferencePoint(i);
    }
    lists.at(static_cast<std::size_t>(list)).entries = std::move(rows);
}

void CompositeJob::setFactor(int list, int index, int slot, float value) {
    CompositeEntry& e =
        lists.at(static_cast<std::size_t>(list)).entries.at(static_cast<std::size_t>(index));
    std::string p = rangeProblem("Faktor", value, kMinFactor, kMaxFactor);
    if (!p.empty()) throw Error(p);
    e.factors.at(static_cast<std::size_t>(slot)) = value;
}

void CompositeJob::setAllFactors(int list) {
    for (CompositeEntry& e : lists.at(static_cast<std::size_t>(list)).entries)
        std::fill(e.factors.begin(), e.factors.end(), options.setAllValue);
}

void CompositeJob::setReferencePointCount(int count) {
    options.referencePointCount = count >= 1 && count <= kMaxReferencePoints ? count : 1;
    if (currentList >= 0 && currentList < listCount()) {
        auto& rows = lists[static_cast<std::size_t>(currentList)].entries;
        takeOverList(currentList, std::move(rows));
    }
}

void CompositeJob::copyCalibrationToLayers(int list) {
    if (list < 0 || list >= overlayList())
        throw Error("Die Overlay-Liste hat keine Dunkelstrom- und Flatfieldkorrektur.");
    const CalibrationParams c = calibrations[static_cast<std::size_t>(list)];
    const int channels = targetType == BW_IMAGE ? 1 : layerCount;
    for (int i = 0; i < channels; ++i) calibrations[static_cast<std::size_t>(i)] = c;
}

std::optional<std::pair<int, int>> CompositeJob::firstEntry() const {
    for (int i = 0; i < listCount(); ++i)
        if (!lists[static_cast<std::size_t>(i)].entries.empty()) return std::pair{i, 0};
    return std::nullopt;
}

void CompositeJob::loadSettings(const SettingsRecord& s) {
    options.averaging = (s.compositeSwitches & kAveragingBit) != 0;
    options.removeArtefacts = (s.compositeSwitches & kArtefactsBit) != 0;
    options.removeBorders = (s.compositeSwitches & kBordersBit) != 0;
    options.setAllValue =
        clampReal(fromStoredReal(s.compositeSetAllFactors), kMinFactor, kMaxFactor);
    options.colourWeights = {static_cast<float>(fromStoredReal(s.compositeRed)),
                             static_cast<float>(fromStoredReal(s.compositeGreen)),
                             static_cast<float>(fromStoredReal(s.compositeBlue))};
    options.sizeFactor =
        clampReal(fromStoredReal(s.compositeSizeFactor), kMinSizeFactor, kMaxSizeFactor);
    const int combine = s.compositeCombine;
    RejectionParams& r = options.rejection;
    r.method = static_cast<Rejection>(std::clamp(combine & 15, 0, 7));
    if (r.method == Rejection::Artefact) r.method = Rejection::None;
    options.normalization = std::clamp((combine >> 4 & 7) - 1, -1, 4);
    // Bits 10 and 11 hold the weighting; bit 8 alone (noise) is how it was kept before.
    const int weighting = combine >> 10 & 3;
    options.weighting = weighting != 0            ? static_cast<Weighting>(weighting)
                        : (combine >> 8 & 1) != 0 ? Weighting::Noise
                                                  : Weighting::None;
    r.median = (combine >> 9 & 1) != 0;
    r.sigmaLow = clampReal(fromStoredReal(s.compositeSigmaLow), 0.1f, 100.0f);
    r.sigmaHigh = clampReal(fromStoredReal(s.compositeSigmaHigh), 0.1f, 100.0f);
    r.percentileLow = clampReal(fromStoredReal(s.compositePercentileLow), 0.0f, 1.0f);
    r.percentileHigh = clampReal(fromStoredReal(s.compositePercentileHigh), 0.0f, 1.0f);
    r.minmaxLow = std::clamp(s.compositeMinMaxLow, 0, kMaxContributions);
    r.minmaxHigh = std::clamp(s.compositeMinMaxHigh, 0, kMaxContributions);
    const int count = s.compositeRefPoints;
    options.referencePointCount = count >= 1 && count <= kMaxReferencePoints ? count : 1;
    currentList = s.compositeInsertionType;
    // Brought into the range of the lists by configure(), which may be about to change them.
    if (currentList < 0) currentList = 0;
}

void CompositeJob::storeSettings(SettingsRecord& s) const {
    s.compositeSwitches = (options.averaging ? kAveragingBit : 0) |
                          (options.removeArtefacts ? kArtefactsBit : 0) |
                          (options.removeBorders ? kBordersBit : 0);
    s.compositeSetAllFactors = toStoredReal(options.setAllValue);
    s.compositeRed = toStoredReal(options.colourWeights[0]);
    s.compositeGreen = toStoredReal(options.colourWeights[1]);
    s.compositeBlue = toStoredReal(options.colourWeights[2]);
    s.compositeSizeFactor = toStoredReal(options.sizeFactor);
    s.compositeRefPoints = options.referencePointCount;
    s.compositeInsertionType = currentList;
    const RejectionParams& r = options.rejection;
    s.compositeCombine = static_cast<int>(r.method) | (options.normalization + 1) << 4 |
                         (options.weighting == Weighting::Noise ? 1 << 8 : 0) |
                         (r.median ? 1 << 9 : 0) | static_cast<int>(options.weighting) << 10;
    s.compositeSigmaLow = toStoredReal(r.sigmaLow);
    s.compositeSigmaHigh = toStoredReal(r.sigmaHigh);
    s.compositePercentileLow = toStoredReal(r.percentileLow);
    s.compositePercentileHigh = toStoredReal(r.percentileHigh);
    s.compositeMinMaxLow = r.minmaxLow;
    s.compositeMinMaxHigh = r.minmaxHigh;
}

std::string validateCompositeJob(const CompositeJob& job) {
    const int n = compositeLayerCount(job.targetType, job.layerCount);
    if (n == 0 || n != job.layerCount)
        return "type: grey, rgb, lrgb, cmy oder user mit 2 bis " + std::to_string(kMaxUserLayers) +
               " Ebenen erwartet";
    const int count = compositeListCount(job.targetType, n);
    if (job.listCount() != count || static_cast<int>(job.calibrations.size()) != count - 1)
        return "lists: " + std::to_string(count) + " Listen erwartet";
    const CompositeOptions& o = job.options;
    std::string p =
        rangeProblem("options.referencePoints", o.referencePointCount, 1, kMaxReferencePoints);
    if (p.empty())
        p = rangeProblem("options.sizeFactor", o.sizeFactor, kMinSizeFactor, kMaxSizeFactor);
    if (p.empty()) p = rangeProblem("options.setAllValue", o.setAllValue, kMinFactor, kMaxFactor);
    for (std::size_t c = 0; c < 3 && p.empty(); ++c)
        p = rangeProblem("options.weights[" + std::to_string(c) + "]", o.colourWeights[c], 0.0,
                         1.0e6);
    if (p.empty() && o.debayer.enabled && job.targetType != RGB_IMAGE)
        p = "options.debayer: nur mit type rgb möglich";
    for (int l = 0; l < count && p.empty(); ++l) {
        const std::string list = "lists[" + std::to_string(l) + "]";
        if (l < count - 1)
            p = job.calibrations[static_cast<std::size_t>(l)].rangeProblem(list + ".calibration");
        const auto& entries = job.lists[static_cast<std::size_t>(l)].entries;
        const auto slots = static_cast<std::size_t>(job.factorSlots(l));
        for (std::size_t i = 0; i < entries.size() && p.empty(); ++i) {
            const std::string entry = list + ".entries[" + std::to_string(i) + "]";
            const CompositeEntry& e = entries[i];
            if (e.factors.size() != slots)
                return entry + ".factors: " + std::to_string(slots) + " Faktoren erwartet, nicht " +
                       std::to_string(e.factors.size());
            for (std::size_t k = 0; k < slots && p.empty(); ++k)
                p = rangeProblem(entry + ".factors[" + std::to_string(k) + "]", e.factors[k],
                                 kMinFactor, kMaxFactor);
            for (int k = 0; k < o.referencePointCount && p.empty(); ++k) {
                const ReferencePoint& r = e.points[static_cast<std::size_t>(k)];
                const std::string point = entry + ".points[" + std::to_string(k) + "]";
                p = rangeProblem(point + ".x", r.x, 0, kMaxImageSize);
                if (p.empty()) p = rangeProblem(point + ".y", r.y, 0, kMaxImageSize);
            }
        }
    }
    return p;
}

} // namespace quillon

namespace quillon {

Rejection effectiveRejection(const CompositeOptions& o) {
    if (o.rejection.method != Rejection::None) return o.rejection.method;
    return o.removeArtefacts ? Rejection::Artefact : Rejection::None;
}

Normalization effectiveNormalization(const CompositeOptions& o) {
    if (o.normalization >= 0) return static_cast<Normalization>(o.normalization);
    const Rejection r = effectiveRejection(o);
    return r == Rejection::None || r == Rejection::Artefact ? Normalization::None
                                                            : Normalization::AddScale;
}

bool combinesStripWise(const CompositeOptions& o) {
    return effectiveRejection(o) != Rejection::None || o.rejection.median ||
           o.weighting != Weighting::None || effectiveNormalization(o) != Normalization::None;
}

} // namespace quillon
