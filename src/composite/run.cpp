// The composite run over a job: see run.h.
#include "composite/run.h"

#include "composite/frame_analysis.h"

#include "core/error.h"
#include "core/new_document.h"
#include "core/parallel.h"
#include "formats/fits_float.h"
#include "formats/open.h"
#include "ops/calibration.h"
#include "ops/debayer.h"
#include "ops/geometry.h"
#include "ops/sampler.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <stdexcept>

namespace quillon {

const char* const kNoUsableExposureMessage =
    "Es wurde kein Gültiges, zu verwendendes Bild gefunden!";
const char* const kResultNotCreatedMessage = "Komposit/Summenbild konnte nicht erstellt werden!";
const char* const kCountersNotCreatedMessage =
    "Komposit/Summenbild Bearbeitung wird abgebrochen:\n konnte Gewichtung nicht erstellen!";
const char* const kDarkNotLoadedMessage =
    "Mindestens ein Dunkelstrombild konnte nicht geladen werden!";
const char* const kFlatNotLoadedMessage =
    "Mindestens ein Flatfieldbild konnte nicht geladen werden!";
const char* const kDebayerNeedsRgbMessage =
    "Debayer im Komposit ist nur mit dem Zieltyp RGB möglich.";
const char* const kBordersNotRemovedMessage =
    "Die Ränder wurden nicht entfernt:\n Für das beschnittene Bild steht zu wenig Speicher zur "
    "Verfügung!";
const char* const kCalibrationMismatchMessage =
    "Bei der Dunkelstrom- und Flatfieldkorrektur ist mindestens ein Fehler aufgetreten:\n Die "
    "Bildtypen oder Bildgrößen stimmen nicht überein!";

bool ImageSource::openFrame(const std::string& path, Image& frame) {
    try {
        // A float master keeps its ADU levels; any other file is read as usual.
        if (!readFloatFrame(path, frame)) openImage(path, frame, Progress::none());
        return frame.hasSamples();
    } catch (const Error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

Image* FileImageSource::open(int list, int index, const CompositeEntry& entry) {
    if (!entry.isFile()) return nullptr;
    std::unique_ptr<Image> image;
    if (kept_ && entry.name == keptName_) {
        image = std::move(kept_);
    } else {
        image = std::make_unique<Image>();
        if (!openFrame(entry.name, *image)) return nullptr;
    }
    open_.push_back(std::move(image));
    keys_.emplace_back(list, index);
    return open_.back().get();
}

void FileImageSource::release(int list, int index, const CompositeEntry&) {
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i] == std::pair{list, index}) {
            open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(i));
            keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

std::array<float, 3> compositeDisplayWeights(const std::array<float, 3>& colourWeights,
                                             std::array<float, 3> sums, bool averaging) {
    for (float& w : sums)
        if (w == 0.0f || averaging) w = 1.0f;
    const float r = colourWeights[0] / sums[0];
    const float g = colourWeights[1] / sums[1];
    const float b = colourWeights[2] / sums[2];
    if (r != 0.0f) return {1.0f, g / r, b / r};
    const float m = std::max(g, b);
    if (m <= 0.0f) return {0.0f, g, b};
    return {0.0f, g / m, b / m};
}

namespace {

// The image of one entry while it is in use; released when it goes out of scope.
class Opened {
public:
    Opened(ImageSource& source, int list, int index, const CompositeEntry& entry)
        : source_(source), list_(list), index_(index), entry_(entry),
          image_(source.open(list, index, entry)) {}
    ~Opened() { reset(); }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    // The debayered image once debayer() made one, else the source's image.
    Image* get() const { return own_ ? own_.get() : image_; }
    const CompositeEntry& entry() const { return entry_; }
    // Keeps a result made from the source's image (which stays unchanged, so an open window
    // keeps its mosaic) as the image of this exposure.
    void replace(Image&& image) { own_ = std::make_unique<Image>(std::move(image)); }
    void reset() {
        own_.reset();
        if (image_) source_.release(list_, index_, entry_);
        image_ = nullptr;
    }

private:
    std::unique_ptr<Image> own_;
    ImageSource& source_;
    int list_, index_;
    const CompositeEntry& entry_;
    Image* image_;
};

// One list's calibration frames, loaded once per run.
struct ListFrames {
    Image dark, flat;
    bool hasDark = false, hasFlat = false;
    std::vector<float> flatMeans;
    CalibrationParams params;
};

struct RunState {
    const CompositeJob& job;
    ImageSource& source;
    const RunOptions& options;
    CompositeResult result;
    std::vector<ListFrames> frames;
    std::vector<ReferencePoint> target;
    // With a statistical combination: the reference exposure's level and spread per layer
    // (with its factors), which every exposure is normalised to.
    std::vector<RobustStats> referenceStats;
    // Weighing by stars: the reference exposure's figures (starWeights false: equal weights).
    bool starWeights = false;
    FrameQuality referenceQuality;
    // The points and size of the exposure before and, with automatic seeds, the reference
    // exposure's stars and points: the seeds of the next searched exposure.
    ReferenceFollower follower;

    RunState(const CompositeJob& j, ImageSource& s, const RunOptions& o)
        : job(j), source(s), options(o) {}

    const CompositeEntry& entry(int list, int index) const {
        return job.lists[static_cast<std::size_t>(list)].entries[static_cast<std::size_t>(index)];
    }
    int lastList() const { return job.wholeImageList(); }
};

void loadFrames(RunState& s) {
    const int lists = std::min(s.job.overlayList(), static_cast<int>(s.job.calibrations.size()));
    s.frames.resize(static_cast<std::size_t>(std::max(lists, 0)));
    for (int l = 0; l < lists; ++l) {
        const CalibrationParams& c = s.job.calibrations[static_cast<std::size_t>(l)];
        ListFrames& f = s.frames[static_cast<std::size_t>(l)];
        f.params = c;
        if (c.darkEnabled && !c.darkFile.empty()) {
            f.hasDark = s.source.openFrame(c.darkFile, f.dark);
            if (!f.hasDark) s.result.loadErrors |= 1;
        }
        if (c.flatEnabled && !c.flatFile.empty()) {
            f.hasFlat = s.source.openFrame(c.flatFile, f.flat);
            if (!f.hasFlat)
                s.result.loadErrors |= 2;
            else if (c.automaticFactor)
                f.flatMeans = flatMeans(f.flat);
        }
    }
    if (s.result.loadErrors & 1) s.result.notices.emplace_back(kDarkNotLoadedMessage);
    if (s.result.loadErrors & 2) s.result.notices.emplace_back(kFlatNotLoadedMessage);
}

// Corrects the image with its list's frames; true when they were applied (a frame of the wrong
// type or size leaves the image as it was).
bool calibrate(RunState& s, int list, Image& image, Progress& progress) {
    if (list < 0 || list >= static_cast<int>(s.frames.size())) return false;
    const ListFrames& f = s.frames[static_cast<std::size_t>(list)];
    if (!f.hasDark && !f.hasFlat) return false;
    Progress step(progress);
    const CalibrationOutcome out =
        darkFlatCorrect(image, f.hasDark ? &f.dark : nullptr, f.hasFlat ? &f.flat : nullptr,
                        f.params, f.flatMeans, step);
    s.result.calibrationErrors |= out.code;
    return out.code == CALIBRATION_OK;
}

// The debayer step of a run: after the calibration, before the points are placed, a
// one-layer exposure becomes an RGB image (pattern from its cards unless one was chosen).
void debayerExposure(const RunState& s, Opened& o) {
    const DebayerSettings& d = s.job.options.debayer;
    if (!d.enabled || !o.get() || o.get()->layerCount() != 1) return;
    std::optional<BayerPattern> p = d.pattern;
    if (!p) p = bayerPatternFromCards(o.get()->info().bayer, o.get()->height());
    if (!p) throw Error("Bild " + o.entry().name + ": " + kNoBayerPatternMessage);
    try {
        o.replace(debayerImage(*o.get(), *p, d.method));
    } catch (const std::bad_alloc&) {
        throw Error(msg::kOutOfMemoryAction);
    }
}

// Padded so that every source layer finds a factor (the last given one repeats).
std::vector<float> paddedFactors(const std::vector<float>& factors) {
    std::vector<float> out(factors);
    if (out.empty()) out.push_back(1.0f);
    out.resize(kMaxUserLayers, out.back());
    return out;
}

void addColourSums(RunState& s, int list, const std::vector<float>& f) {
    if (s.job.targetType != RGB_IMAGE && s.job.targetType != LRGB_IMAGE) return;
    const int n = s.job.layerCount;
    auto factor = [&](int i) { return i >= 0 && i < static_cast<int>(f.size()) ? f[i] : 0.0f; };
    if (list == n) {
        for (int a = 0; a < 3; ++a)
            s.result.colourSums[static_cast<std::size_t>(a)] += factor(n - 3 + a);
    } else {
        const int k = list + 3 - n;
        if (k >= 0 && k <= 2) s.result.colourSums[static_cast<std::size_t>(k)] += factor(0);
    }
}

// The entry's points as they are, or located when the run searches them: the first searched
// exposure from its own points, every later one from the exposure before (or from the stars).
void placePoints(RunState& s, const CompositeEntry& e, const Image& image, ExposureReport& r) {
    r.located = e.points;
    if (!s.options.searchReferences) return;
    // Placed points are taken as they are and seed the next exposure.
    if (!e.pointsSet) {
        r.searched = true;
        const ReferenceFollow f = s.follower.follow(image, e.points);
        r.located = f.located;
        if (f.origin != SeedOrigin::Given) {
            r.check = f.check;
            r.checkPassed = f.check.passed;
        }
        r.seedsFromStars = f.origin == SeedOrigin::Stars;
        r.starFailure = f.match.failure;
        r.starsMatched = f.match.matched;
    }
    s.follower.setPrevious(r.located, image.width(), image.height());
    if (!r.checkPassed && s.options.strict)
        throw Error("Bild " + e.name + ": die automatische Prüfung der Referenzpunkte schlug fehl");
}

std::vector<ReferencePoint> sourcePoints(const RunState& s, const ExposureReport& r) {
    std::vector<ReferencePoint> p;
    for (int i = 0; i < s.result.pointCount; ++i)
        p.push_back(
            {r.located[static_cast<std::size_t>(i)].x, r.located[static_cast<std::size_t>(i)].y});
    return p;
}

// Shift of point 1, and rotation and scale of the pair 1–2, for the report.
void describeMapping(const RunState& s, ExposureReport& r) {
    const std::vector<ReferencePoint> src = sourcePoints(s, r);
    const std::vector<ReferencePoint>& t = s.target;
    r.shiftX = t[0].x - src[0].x;
    r.shiftY = t[0].y - src[0].y;
    if (src.size() < 2) {
        r.scale = s.job.options.sizeFactor;
        return;
    }
    const float ds = std::hypot(src[1].x - src[0].x, src[1].y - src[0].y);
    const float dt = std::hypot(t[1].x - t[0].x, t[1].y - t[0].y);
    r.scale = ds > 0 ? dt / ds : 0.0f;
    float a = alignBearing(t[0], t[1]) - alignBearing(src[0], src[1]);
    const float full = 2.0f * std::numbers::pi_v<float>;
    if (a > full / 2) a -= full;
    if (a <= -full / 2) a += full;
    r.angleDegrees = a * 180.0f / std::numbers::pi_v<float>;
}

// The counts of one row, eight lanes at a time (a lane stays below 2^32: a row is at most
// kMaxImageSize wide).
long long rowCountSum(const Count* c, int width) {
    using Wide = std::uint32_t __attribute__((vector_size(32)));
    using Narrow = Count __attribute__((vector_size(16)));
    Wide lanes{};
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        Narrow n;
        std::memcpy(&n, c + x, sizeof n);
        lanes += __builtin_convertvector(n, Wide);
    }
    long long sum = 0;
    for (int k = 0; k < 8; ++k) sum += lanes[k];
    for (; x < width; ++x) sum += c[x];
    return sum;
}

long long counterSum(const Image& image, int row) {
    std::atomic<long long> sum{0};
    const int n = image.layerCount();
    for (int l = 0; l < n; ++l) {
        if (row < n && n > 1 && l != row) continue;
        parallelRows(image.height(), 64, [&](int first, int last) {
            long long part = 0;
            for (int y = first; y < last; ++y)
                part += rowCountSum(image.counterRow(l, y), image.width());
            sum += part;
        });
    }
    return sum.load();
}

// Step 1: the first exposure that can be had, searching the lists up to the whole-image list.
bool findReference(RunState& s, std::unique_ptr<Opened>& ref) {
    for (int l = 0; l <= s.lastList(); ++l) {
        const auto& entries = s.job.lists[static_cast<std::size_t>(l)].entries;
        for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
            if (!entries[static_cast<std::size_t>(i)].used) continue;
            auto o = std::make_unique<Opened>(s.source, l, i, entries[static_cast<std::size_t>(i)]);
            if (!o->get()) continue;
            ref = std::move(o);
            s.result.referenceList = l;
            s.result.referenceIndex = i;
            return true;
        }
    }
    return false;
}

void createResult(RunState& s, const Image& reference) {
    const float sf = s.job.options.sizeFactor;
    NewDocumentParams p;
    p.takeFrom(reference);
    p.type = s.job.targetType;
    p.userLayerCount = s.job.layerCount;
    p.layerNames.clear();
    p.width = static_cast<int>(static_cast<float>(reference.width() - 1) * sf + 1.0f);
    p.height = static_cast<int>(static_cast<float>(reference.height() - 1) * sf + 1.0f);
    try {
        createImage(p, s.result.image);
    } catch (const Error&) {
        throw Error(kResultNotCreatedMessage);
    } catch (const std::bad_alloc&) {
        throw Error(kResultNotCreatedMessage);
    }
}

// The exposures after the reference, in run order: (list, index).
std::vector<std::pair<int, int>> laterExposures(const RunState& s) {
    std::vector<std::pair<int, int>> out;
    for (int l = s.result.referenceList; l <= s.lastList(); ++l) {
        const auto& entries = s.job.lists[static_cast<std::size_t>(l)].entries;
        const int first = l == s.result.referenceList ? s.result.referenceIndex + 1 : 0;
        for (int i = first; i < static_cast<int>(entries.size()); ++i)
            if (entries[static_cast<std::size_t>(i)].used) out.emplace_back(l, i);
    }
    return out;
}

ExposureReport newReport(const RunState& s, int list, int index) {
    ExposureReport r;
    r.list = list;
    r.index = index;
    r.name = s.entry(list, index).name;
    return r;
}

// When the exposure could be opened: calibrates and debayers it, places its reference points
// and describes its mapping in the report. False when it could not be opened.
bool prepared(RunState& s, const CompositeEntry& e, Opened& o, ExposureReport& r,
              Progress& progress) {
    if (!o.get()) return false;
    r.calibrated = calibrate(s, r.list, *o.get(), progress);
    debayerExposure(s, o);
    placePoints(s, e, *o.get(), r);
    describeMapping(s, r);
    return true;
}

void accumulatePlain(RunState& s, const std::vector<std::pair<int, int>>& order,
                     Progress& progress) {
    // The count sum after the last insertion and its list: the sum before the next one when
    // that comes from the same list (nothing else changes the counts in between).
    long long lastSum = 0;
    int lastList = -1;
    for (const auto& [l, i] : order) {
        const CompositeEntry& e = s.entry(l, i);
        ExposureReport r = newReport(s, l, i);
        Opened o(s.source, l, i, e);
        if (prepared(s, e, o, r, progress)) {
            Image& img = *o.get();
            InsertOptions io;
            // Every exposure is weighed by its own factors, with averaging too: the reference
            // exposure and the strip-wise run do the same, so both runs give one result.
            io.factors = e.factors;
            io.average = s.job.options.averaging;
            io.row = l;
            io.sizeFactor = s.job.options.sizeFactor;
            io.sums = &s.result.sums;
            const long long before = lastList == l ? lastSum : counterSum(s.result.image, l);
            try {
                Progress insertion(progress);
                insertExposure(s.result.image, img, sourcePoints(s, r), s.target, io, insertion);
                r.inserted = true;
                lastSum = counterSum(s.result.image, l);
                lastList = l;
                r.contributed = lastSum - before;
                addColourSums(s, l, e.factors);
            } catch (const std::invalid_argument&) {
                // The exposure contributes nothing; the run goes on.
            }
        } else {
            r.available = false;
        }
        o.reset();
        s.result.exposures.push_back(std::move(r));
        if (s.options.afterExposure)
            s.options.afterExposure(s.result.image, s.result.exposures.back());
        progress.step();
    }
}

// Level and spread of every layer of an exposure, scaled by its factors (the strip images
// hold factor · value).
std::vector<RobustStats> exposureStats(const Image& image, std::span<const float> factors) {
    std::vector<RobustStats> out;
    const std::size_t samples = static_cast<std::size_t>(image.width()) * image.height();
    for (int p = 0; p < image.layerCount(); ++p) {
        RobustStats st =
            robustStats(std::span(image.planeData(p), samples), image.width(), image.height());
        const float f = factors.empty()
                            ? 1.0f
                            : factors[std::min(static_cast<std::size_t>(p), factors.size() - 1)];
        st.location *= f;
        st.scale *= std::fabs(f);
        out.push_back(st);
    }
    return out;
}

// The normalisation maps and weight of an exposure with these statistics.
void normalise(const RunState& s, const std::vector<RobustStats>& stats, StripExposure& x,
               float& weight) {
    const Normalization method = effectiveNormalization(s.job.options);
    for (std::size_t p = 0; p < stats.size(); ++p) {
        const RobustStats ref = s.referenceStats[std::min(p, s.referenceStats.size() - 1)];
        x.maps.push_back(normalizationMap(method, stats[p], ref));
    }
    weight = 1.0f;
    if (s.job.options.weighting == Weighting::Noise && !stats.empty()) {
        // 1/σ² of the normalised background, relative to the reference exposure's.
        const float sigma = std::fabs(x.maps[0].gain) * stats[0].scale;
        const float ref = s.referenceStats[0].scale;
        weight = sigma > 0 ? (ref * ref) / (sigma * sigma) : 1.0f;
    }
    x.weight = weight;
}

// The star figures of an exposure for its weight (out of memory ends the run).
FrameQuality measuredQuality(const Image& image) {
    try {
        return exposureQuality(image);
    } catch (const std::bad_alloc&) {
        throw Error(msg::kOutOfMemoryAction);
    }
}

// An exposure's points, normalisation and weight from its prepared image.
void describeStripExposure(RunState& s, const Image& image, ExposureReport& r, StripExposure& x) {
    x.points = sourcePoints(s, r);
    // Without normalisation and noise weights the maps are the identity whatever the
    // statistics: they are not measured then.
    const bool measured = effectiveNormalization(s.job.options) != Normalization::None ||
                          s.job.options.weighting == Weighting::Noise;
    if (effectiveRejection(s.job.options) == Rejection::Artefact) return;
    x.maps.clear();
    normalise(s,
              measured ? exposureStats(image, x.factors)
                       : std::vector<RobustStats>(static_cast<std::size_t>(image.layerCount())),
              x, r.weight);
    if (s.starWeights)
        x.weight = r.weight =
            starWeight(s.job.options.weighting, measuredQuality(image), s.referenceQuality);
}

void accumulateWithStrips(RunState& s, const std::vector<std::pair<int, int>>& order,
                          Progress& progress) {
    const bool averaging = s.job.options.averaging;
    std::vector<StripExposure> exposures;
    std::vector<std::pair<int, int>> owners;
    std::vector<std::size_t> reportOf;
    std::vector<char> documentCalibrated;
    const auto listed = [&](int l, int i) {
        const CompositeEntry& e = s.entry(l, i);
        StripExposure x;
        x.list = l;
        x.points.resize(static_cast<std::size_t>(s.result.pointCount));
        x.factors = e.factors; // with averaging too, as for the reference exposure
        if (x.factors.empty()) x.factors.push_back(1.0f);
        x.fromFile = e.isFile();
        exposures.push_back(std::move(x));
        owners.emplace_back(l, i);
        reportOf.push_back(s.result.exposures.size());
        documentCalibrated.push_back(e.isFile() ? 0 : 1);
    };
    // When the strips spill, every exposure is acquired once, in order: it is prepared then
    // (calibrated, its points searched, its statistics taken), so that it is read and
    // calibrated once. Else a first pass finds which exposures can be had and their points.
    for (const auto& [l, i] : order) listed(l, i);
    const bool once = stripsSpill(exposures, s.result.image.layerCount(), s.result.image.width(),
                                  s.result.image.height(), s.options.memoryLimitMB);
    if (once) {
        for (std::size_t k = 0; k < order.size(); ++k) {
            reportOf[k] = s.result.exposures.size();
            s.result.exposures.push_back(newReport(s, order[k].first, order[k].second));
        }
    } else {
        exposures.clear();
        owners.clear();
        reportOf.clear();
        documentCalibrated.clear();
        for (const auto& [l, i] : order) {
            const CompositeEntry& e = s.entry(l, i);
            ExposureReport r = newReport(s, l, i);
            Opened o(s.source, l, i, e);
            if (prepared(s, e, o, r, progress)) {
                listed(l, i);
                describeStripExposure(s, *o.get(), r, exposures.back());
            } else {
                r.available = false;
            }
            o.reset();
            s.result.exposures.push_back(std::move(r));
            progress.step();
        }
    }
    progress.end();

    std::vector<std::unique_ptr<Opened>> held(exposures.size());
    StripSource src;
    const bool debayering = s.job.options.debayer.enabled;
    src.acquire = [&](int k) -> Image* {
        const auto [l, i] = owners[static_cast<std::size_t>(k)];
        auto& o = held[static_cast<std::size_t>(k)];
        o = std::make_unique<Opened>(s.source, l, i, s.entry(l, i));
        if (once) {
            ExposureReport& r = s.result.exposures[reportOf[static_cast<std::size_t>(k)]];
            if (!prepared(s, s.entry(l, i), *o, r, progress)) {
                r.available = false;
                o.reset();
                return nullptr;
            }
            describeStripExposure(s, *o->get(), r, exposures[static_cast<std::size_t>(k)]);
            return o->get();
        }
        if (debayering && o->get()) {
            // Calibrated here, before the debayer step, instead of in calibrate() below.
            if (!documentCalibrated[static_cast<std::size_t>(k)])
                calibrate(s, l, *o->get(), progress);
            debayerExposure(s, *o);
        }
        return o->get();
    };
    src.release = [&](int k) { held[static_cast<std::size_t>(k)].reset(); };
    src.calibrate = [&](int k, Image& image) {
        // Prepared on acquisition; an open window's image was corrected in the first pass
        // already; a debayered one in acquire().
        if (once || documentCalibrated[static_cast<std::size_t>(k)] || debayering) return;
        calibrate(s, owners[static_cast<std::size_t>(k)].first, image, progress);
    };
    const bool statistical = effectiveRejection(s.job.options) != Rejection::Artefact;
    StripOptions so;
    so.target = s.target;
    so.memoryLimitMB = s.options.memoryLimitMB;
    so.sizeFactor = s.job.options.sizeFactor;
    so.averaging = averaging;
    RejectionParams rejection = s.job.options.rejection;
    rejection.method = effectiveRejection(s.job.options);
    if (statistical) so.rejection = &rejection;
    if (s.options.floatResult) {
        try {
            s.result.sums.seed(s.result.image, averaging);
        } catch (const std::bad_alloc&) {
            throw Error(kResultNotCreatedMessage);
        }
        so.sums = &s.result.sums;
    }
    const StripReport report = accumulateStrips(s.result.image, exposures, src, so, progress);
    s.result.referenceRejected = report.referenceRejected;
    s.result.exposures.front().rejected = report.referenceRejected;
    s.result.exposures.front().rejectedHigh = report.referenceRejectedHigh;
    for (std::size_t k = 0; k < exposures.size(); ++k) {
        ExposureReport& r = s.result.exposures[reportOf[k]];
        const StripExposureReport& x = report.exposures[k];
        r.inserted = x.inserted;
        r.contributed = x.contributed;
        r.rejected = x.rejected;
        r.rejectedHigh = x.rejectedHigh;
        if (x.inserted) addColourSums(s, r.list, s.entry(r.list, r.index).factors);
    }
}

void cropBorders(RunState& s) {
    Image& result = s.result.image;
    const BorderRect b = borderRectangle(result);
    s.result.border = b;
    if (!cropsToBorder(b)) return;
    result.FreeCounters(); // read by the rectangle only; room for the cropped image
    NewDocumentParams p;
    p.takeFrom(result);
    p.width = b.right - b.left;
    p.height = b.bottom - b.top;
    Image cropped;
    bool made = true;
    try {
        createImage(p, cropped);
    } catch (const Error&) {
        made = false;
    } catch (const std::bad_alloc&) {
        made = false;
    }
    if (!made) {
        // No room for the cropped copy: the finished result stays whole.
        s.result.notices.emplace_back(kBordersNotRemovedMessage);
        return;
    }
    crop(cropped, b.left, b.top, result);
    if (!s.result.sums.empty()) s.result.sums.crop(b.left, b.top, b.right, b.bottom);
    cropped.storedDisplay() = result.storedDisplay();
    result = std::move(cropped);
    s.result.cropped = true;
}

} // namespace

CompositeResult runComposite(const CompositeJob& job, ImageSource& source,
                             const RunOptions& options, Progress& progress) {
    if (!job.configured()) throw Error(kNoUsableExposureMessage);
    RunState s(job, source, options);
    s.result.pointCount = std::clamp(job.options.referencePointCount, 1, kMaxReferencePoints);
    s.follower = ReferenceFollower(options.search, s.result.pointCount);

    std::unique_ptr<Opened> ref;
    if (!findReference(s, ref)) throw Error(kNoUsableExposureMessage);
    const int h0 = s.result.referenceList;
    const CompositeEntry& refEntry = s.entry(h0, s.result.referenceIndex);
    if (job.options.debayer.enabled && job.targetType != RGB_IMAGE)
        throw Error(kDebayerNeedsRgbMessage);
    loadFrames(s);
    const bool referenceCalibrated = calibrate(s, h0, *ref->get(), progress);
    debayerExposure(s, *ref);
    Image& refImage = *ref->get();
    createResult(s, refImage);

    const std::vector<std::pair<int, int>> order = laterExposures(s);
    progress.begin("Komposit", static_cast<long long>(order.size()) + 1, 1);

    ExposureReport rr = newReport(s, h0, s.result.referenceIndex);
    rr.reference = true;
    rr.calibrated = referenceCalibrated;
    placePoints(s, refEntry, refImage, rr);
    const float sf = job.options.sizeFactor;
    for (int i = 0; i < s.result.pointCount; ++i)
        s.target.push_back({rr.located[static_cast<std::size_t>(i)].x * sf,
                            rr.located[static_cast<std::size_t>(i)].y * sf});
    describeMapping(s, rr);
    // Without the reference exposure's stars (no memory) every exposure keeps the carried seeds.
    if (options.autoSeeds && options.searchReferences)
        s.follower.setStarReference(refImage, rr.located);

    const std::vector<float> factors = paddedFactors(refEntry.factors);
    if (combinesStripWise(job.options) && effectiveRejection(job.options) != Rejection::Artefact) {
        s.referenceStats = exposureStats(refImage, factors);
        const Weighting w = job.options.weighting;
        if (w == Weighting::Fwhm || w == Weighting::Stars) {
            s.referenceQuality = measuredQuality(refImage);
            s.starWeights = starWeightsPossible(w, s.referenceQuality);
            if (!s.starWeights) s.result.notices.emplace_back(kNoStarWeightsMessage);
        }
    }
    ResampleOptions ro;
    ro.scale = sf;
    ro.factors = factors.data();
    ro.targetLayer = h0 < s.result.image.layerCount() ? h0 : 0;
    resample(s.result.image, refImage, ro);
    ref.reset();
    addColourSums(s, h0, refEntry.factors);

    if (s.result.image.AllocateCounters(h0, 1) != 0) throw Error(kCountersNotCreatedMessage);
    rr.inserted = true;
    rr.contributed = counterSum(s.result.image, h0);
    s.result.exposures.push_back(std::move(rr));
    progress.step();

    if (combinesStripWise(job.options)) {
        accumulateWithStrips(s, order, progress);
    } else {
        try {
            s.result.sums.seed(s.result.image, job.options.averaging);
        } catch (const std::bad_alloc&) {
            throw Error(kResultNotCreatedMessage);
        }
        accumulatePlain(s, order, progress);
    }
    progress.end();

    s.frames.clear();
    if (s.result.calibrationErrors != 0) s.result.notices.emplace_back(kCalibrationMismatchMessage);

    if (job.options.removeBorders) cropBorders(s);
    s.result.image.FreeCounters();

    if (job.targetType == RGB_IMAGE || job.targetType == LRGB_IMAGE) {
        s.result.displayWeights = compositeDisplayWeights(
            job.options.colourWeights, s.result.colourSums, job.options.averaging);
        s.result.hasDisplayWeights = true;
        StoredDisplayParams& d = s.result.image.storedDisplay();
        d.hasWeights = true;
        d.channelWeight = s.result.displayWeights;
    }
    if (job.targetType == LRGB_IMAGE && options.lrgbBias) options.lrgbBias(s.result.image);
    s.result.image.samplesChanged();
    return std::move(s.result);
}

namespace {
constexpr const char* kMethodWords[] = {"pos", "neg", "max", "min", "position"};
using SR = StackRunParams;
constexpr ParamField<SR> kStackRunFields[] = {
    paramField<&SR::method>({"method", OptionKind::Choice, 0, 4, 0, kMethodWords}),
    paramField<&SR::search>({"search", OptionKind::Integer, 0, 7000}),
    paramField<&SR::centroid>({"centroid", OptionKind::Integer, 0, 499}),
    paramField<&SR::memory>({"memory", OptionKind::Integer, 1, 1 << 20}),
};
using CO = CompositeOptions;
using RP = RejectionParams;
// "--rejection artefact" is the artefact removal; "none" switches that off too.
constexpr ParamField<CO> kRejectionField{
    {"rejection", OptionKind::Choice, 0, static_cast<double>(std::size(kRejectionWords) - 1), 0,
     kRejectionWords},
    [](const CO& o) { return static_cast<double>(static_cast<int>(effectiveRejection(o))); },
    [](CO& o, double v) {
        const auto method = static_cast<Rejection>(static_cast<int>(v));
        o.rejection.method = method == Rejection::Artefact ? Rejection::None : method;
        if (method == Rejection::Artefact) o.removeArtefacts = true;
        if (method == Rejection::None) o.removeArtefacts = false;
    }};
constexpr const char* kTwoNumbers = "zwei Zahlen NIEDRIG,HOCH";
constexpr OptionInfo kSigma{"sigma", OptionKind::Real, 0.1, 100, 0, {}, 2, kTwoNumbers};
constexpr OptionInfo kPercentile{
    "percentile", OptionKind::Real, 0, 1, 0, {}, 2, "zwei Anteile NIEDRIG,HOCH"};
constexpr OptionInfo kMinMax{"minmax", OptionKind::Integer, 0, kMaxContributions, 0, {},
                             2,        kTwoNumbers};
constexpr OptionInfo kWeights{"weights", OptionKind::Real,   -1e6, 1e6, 0, {},
                              3,         "drei Zahlen R,G,B"};
// The second and third number of a list: its range, no name of its own.
constexpr OptionInfo rest(OptionInfo o) {
    o.name = nullptr;
    return o;
}
constexpr ParamField<CO> kCompositeOptionFields[] = {
    paramField<&CO::sizeFactor>({"size-factor", OptionKind::Real, kMinSizeFactor, kMaxSizeFactor}),
    paramField<&CO::normalization>({"normalize", OptionKind::Choice, 0, 4, 0, kNormalizationWords}),
    paramField<&CO::weighting>({"weighting", OptionKind::Choice, 0, 3, 0, kWeightingWords}),
    paramField<&CO::averaging>({"average", OptionKind::Switch, 0, 1}),
    paramField<&CO::removeArtefacts>({"reject", OptionKind::Switch, 0, 1}),
    kRejectionField,
    nestedField<&CO::rejection, &RP::sigmaLow>(kSigma),
    nestedField<&CO::rejection, &RP::sigmaHigh>(rest(kSigma)),
    nestedField<&CO::rejection, &RP::percentileLow>(kPercentile),
    nestedField<&CO::rejection, &RP::percentileHigh>(rest(kPercentile)),
    nestedField<&CO::rejection, &RP::minmaxLow>(kMinMax),
    nestedField<&CO::rejection, &RP::minmaxHigh>(rest(kMinMax)),
    nestedField<&CO::rejection, &RP::median>({"median", OptionKind::Switch, 0, 1}),
    paramField<&CO::removeBorders>({"no-borders", OptionKind::Switch, 0, 1, 0, {}, 1, nullptr, 0}),
    elementField<&CO::colourWeights, 0>(kWeights),
    elementField<&CO::colourWeights, 1>(rest(kWeights)),
    elementField<&CO::colourWeights, 2>(rest(kWeights)),
};
} // namespace

std::span<const ParamField<StackRunParams>> stackRunFields() {
    return kStackRunFields;
}

std::span<const ParamField<CompositeOptions>> compositeOptionFields() {
    return kCompositeOptionFields;
}

RunOptions runOptions(const StackRunParams& p) {
    RunOptions o;
    o.searchReferences = true;
    ReferenceSearchSettings search;
    search.method = static_cast<ReferenceMethod>(p.method);
    search.searchHalfSize = p.search;
    search.centroidHalfSize = p.centroid;
    o.search.fill(search);
    o.memoryLimitMB = p.memory;
    return o;
}

} // namespace quillon
