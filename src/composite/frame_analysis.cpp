// Measuring, selecting and registering the exposures of a composite job by their stars.
#include "composite/frame_analysis.h"

#include "composite/run.h"
#include "ops/calibration.h"

#include "core/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quillon {
namespace {

// One list's dark and flat, read once for the whole series as the run reads them.
struct ListCalibration {
    Image dark, flat;
    bool hasDark = false, hasFlat = false;
    std::vector<float> flatMeans;
    CalibrationParams params;
};

std::vector<ListCalibration> loadCalibrations(const CompositeJob& job, ImageSource& source) {
    // The overlay list has no calibration.
    const int lists = std::min(job.overlayList(), static_cast<int>(job.calibrations.size()));
    std::vector<ListCalibration> out(static_cast<std::size_t>(std::max(lists, 0)));
    for (int l = 0; l < lists; ++l) {
        const CalibrationParams& c = job.calibrations[static_cast<std::size_t>(l)];
        ListCalibration& f = out[static_cast<std::size_t>(l)];
        f.params = c;
        if (c.darkEnabled && !c.darkFile.empty()) f.hasDark = source.openFrame(c.darkFile, f.dark);
        if (c.flatEnabled && !c.flatFile.empty()) {
            f.hasFlat = source.openFrame(c.flatFile, f.flat);
            if (f.hasFlat && c.automaticFactor) f.flatMeans = flatMeans(f.flat);
        }
    }
    return out;
}

// The stars of an exposure as it will be stacked: with its list's dark and flat applied (an
// open window's image is calibrated on a copy; frames that do not fit leave it as it is, as
// in the run).
StarField measureCalibrated(Image& image, const ListCalibration* c,
                            const StarMeasureSettings& settings, bool ownImage,
                            StarMeasureWork& work) {
    if (!c || (!c->hasDark && !c->hasFlat)) return measureStars(image, settings, work);
    Image copy;
    if (!ownImage) copy = image.clone();
    Image& target = ownImage ? image : copy;
    darkFlatCorrect(target, c->hasDark ? &c->dark : nullptr, c->hasFlat ? &c->flat : nullptr,
                    c->params, c->flatMeans);
    return measureStars(target, settings, work);
}

// Frames measured at once: one per thread, as far as their images and work buffers (about
// 13 bytes a pixel: the image, its layer sums, the excess and the detection state) stay
// within kAnalysisMemory together; one frame is always measured.
constexpr std::size_t kAnalysisMemory = std::size_t{512} << 20;
constexpr std::size_t kBytesPerPixel = 13;

class MemoryBudget {
public:
    void acquire(std::size_t bytes) {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return used_ == 0 || used_ + bytes <= kAnalysisMemory; });
        used_ += bytes;
    }
    void release(std::size_t bytes) {
        {
            std::lock_guard lock(mutex_);
            used_ -= bytes;
        }
        freed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    std::size_t used_ = 0;
};

} // namespace

std::vector<FrameAnalysis> analyzeJob(const CompositeJob& job, ImageSource& source,
                                      const StarMeasureSettings& settings, double pixelScale,
                                      Progress& progress) {
    std::vector<FrameAnalysis> frames;
    for (int l = 0; l < static_cast<int>(job.lists.size()); ++l) {
        const auto& entries = job.lists[static_cast<std::size_t>(l)].entries;
        for (int i = 0; i < static_cast<int>(entries.size()); ++i)
            if (entries[static_cast<std::size_t>(i)].used) {
                FrameAnalysis f;
                f.list = l;
                f.index = i;
                f.name = entries[static_cast<std::size_t>(i)].name;
                frames.push_back(std::move(f));
            }
    }
    const std::vector<ListCalibration> calibrations = loadCalibrations(job, source);
    progress.begin("Bildanalyse", static_cast<long long>(frames.size()), 1);
    // One frame per thread where memory allows: each frame's measurement runs on its own (its
    // inner loops inline), which spares the pool a start and a wait per loop and keeps every
    // thread busy through the serial parts (grouping, deblending). The source is not asked for
    // two frames at once.
    std::mutex sourceMutex;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    MemoryBudget budget;
    // Measures a frame; returns the bytes it took (0 when it could not be had).
    auto analyse = [&](FrameAnalysis& f, StarMeasureWork& work) -> std::size_t {
        const CompositeEntry& e =
            job.lists[static_cast<std::size_t>(f.list)].entries[static_cast<std::size_t>(f.index)];
        Image* image = nullptr;
        std::size_t bytes = 0;
        {
            std::lock_guard lock(sourceMutex);
            image = source.open(f.list, f.index, e);
        }
        if (image) {
            bytes = static_cast<std::size_t>(image->width()) *
                    static_cast<std::size_t>(image->height()) *
                    static_cast<std::size_t>(image->layerCount()) * kBytesPerPixel;
            budget.acquire(bytes);
            try {
                const ListCalibration* c = f.list < static_cast<int>(calibrations.size())
                                               ? &calibrations[static_cast<std::size_t>(f.list)]
                                               : nullptr;
                f.field = measureCalibrated(*image, c, settings, e.isFile(), work);
                f.available = true;
                f.width = image->width();
                f.height = image->height();
            } catch (const std::bad_alloc&) {
                f.dropped = "nicht genügend Arbeitsspeicher für die Sternmessung";
            } catch (...) {
                budget.release(bytes);
                std::lock_guard lock(sourceMutex);
                source.release(f.list, f.index, e);
                throw;
            }
            budget.release(bytes);
            std::lock_guard lock(sourceMutex);
            source.release(f.list, f.index, e);
        }
        if (f.available)
            f.quality = frameQuality(f.field, pixelScale);
        else if (f.dropped.empty())
            f.dropped = "Bild nicht lesbar";
        progress.step();
        return bytes;
    };
    // The first frame here, its loops in parallel: its size tells how many frames fit in
    // memory at once. The others one frame per thread when two or more fit, else one after
    // the other as the first.
    StarMeasureWork firstWork;
    std::size_t firstBytes = 0, first = 0;
    while (firstBytes == 0 && first < frames.size())
        firstBytes = analyse(frames[first++], firstWork);
    next = first;
    const std::size_t fit =
        firstBytes > 0 ? std::max<std::size_t>(1, kAnalysisMemory / firstBytes) : 1;
    const std::size_t threads =
        std::min({static_cast<std::size_t>(threadCount()), frames.size() - first, fit});
    if (threads <= 1) {
        for (std::size_t i = first; i < frames.size(); ++i) analyse(frames[i], firstWork);
        progress.end();
        return frames;
    }
    const std::thread::id caller = std::this_thread::get_id();
    parallelRows(static_cast<int>(threads), 1, [&](int, int) {
        // This thread's buffers, for each of its frames (the calling thread keeps the first's).
        StarMeasureWork own;
        StarMeasureWork& work = std::this_thread::get_id() == caller ? firstWork : own;
        try {
            for (std::size_t i = next++; i < frames.size() && !stop; i = next++)
                analyse(frames[i], work);
        } catch (...) {
            stop = true; // a cancel or failure ends the other threads' work too
            throw;
        }
    });
    progress.end();
    return frames;
}

namespace {

CompositeEntry& entryOf(CompositeJob& job, const FrameAnalysis& f) {
    return job.lists[static_cast<std::size_t>(f.list)].entries[static_cast<std::size_t>(f.index)];
}

} // namespace

void applyFrameSelection(CompositeJob& job, std::vector<FrameAnalysis>& frames,
                         const std::vector<FrameRule>& rules, double keepBestPercent) {
    std::vector<FrameQuality> qualities;
    std::vector<std::size_t> readable;
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (frames[i].dropped.empty()) {
            qualities.push_back(frames[i].quality);
            readable.push_back(i);
        }
    const std::vector<std::string> reasons = selectFrames(qualities, rules, keepBestPercent);
    for (std::size_t k = 0; k < readable.size(); ++k) frames[readable[k]].dropped = reasons[k];
    for (const FrameAnalysis& f : frames) {
        if (f.dropped.empty()) continue;
        CompositeEntry& e = entryOf(job, f);
        e.used = false;
        // Points placed on a left-out entry go to the next used entry of its list.
        auto& entries = job.lists[static_cast<std::size_t>(f.list)].entries;
        const bool first = std::none_of(entries.begin(), entries.begin() + f.index,
                                        [](const CompositeEntry& o) { return o.used; });
        if (!first) continue;
        for (auto it = entries.begin() + f.index + 1; it != entries.end(); ++it)
            if (it->used) {
                if (!it->pointsSet) it->points = e.points;
                break;
            }
    }
}

FrameQuality exposureQuality(const Image& image) {
    return frameQuality(measureStars(image, StarMeasureSettings{}));
}

bool starWeightsPossible(Weighting weighting, const FrameQuality& reference) {
    if (weighting == Weighting::Fwhm) return reference.fwhm > 0;
    if (weighting == Weighting::Stars) return reference.stars > 0;
    return false;
}

float starWeight(Weighting weighting, const FrameQuality& q, const FrameQuality& reference) {
    if (!starWeightsPossible(weighting, reference)) return 1.0f;
    double w = 0;
    if (weighting == Weighting::Fwhm && q.fwhm > 0)
        w = (reference.fwhm / q.fwhm) * (reference.fwhm / q.fwhm);
    else if (weighting == Weighting::Stars)
        w = static_cast<double>(q.stars) / reference.stars;
    return std::max(kMinStarWeight, static_cast<float>(w));
}

int autoRegisterJob(CompositeJob& job, std::vector<FrameAnalysis>& frames, RegistrationModel model,
                    int referenceFrame, std::string& error) {
    // The run takes the first used entry of the first list with exposures as its reference.
    int firstList = -1;
    for (const FrameAnalysis& f : frames)
        if (f.dropped.empty() && (firstList < 0 || f.list < firstList)) firstList = f.list;
    int ref = -1;
    if (referenceFrame >= 0) {
        if (referenceFrame >= static_cast<int>(frames.size()) ||
            !frames[static_cast<std::size_t>(referenceFrame)].dropped.empty() ||
            frames[static_cast<std::size_t>(referenceFrame)].list != firstList) {
            error =
                "Das Referenzbild " + std::to_string(referenceFrame + 1) + " ist nicht verwendbar.";
            return 0;
        }
        ref = referenceFrame;
    } else {
        for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
            const FrameAnalysis& f = frames[static_cast<std::size_t>(i)];
            if (f.dropped.empty() && f.list == firstList &&
                (ref < 0 || f.quality.score > frames[static_cast<std::size_t>(ref)].quality.score))
                ref = i;
        }
        if (ref < 0) {
            error = "Es wurde kein Gültiges, zu verwendendes Bild gefunden!";
            return 0;
        }
    }
    const FrameAnalysis& r = frames[static_cast<std::size_t>(ref)];
    if (r.field.stars.size() < 6) {
        error = "Im Referenzbild wurden zu wenige Sterne gefunden.";
        return 0;
    }

    // Each frame on its own thread (registerStars only reads the reference's stars).
    std::atomic<std::size_t> next{0};
    parallelRows(std::min(threadCount(), static_cast<int>(frames.size())), 1, [&](int, int) {
        for (std::size_t i = next++; i < frames.size(); i = next++) {
            FrameAnalysis& f = frames[i];
            if (&f == &r || !f.dropped.empty()) continue;
            f.registration = registerStars(r.field.stars, f.field.stars, model);
        }
    });
    bool anyMirror = false;
    for (FrameAnalysis& f : frames) {
        if (&f == &r || !f.dropped.empty()) continue;
        if (!f.registration.found) f.dropped = "nicht ausgerichtet: " + f.registration.failure;
        anyMirror = anyMirror || (f.registration.found && f.registration.mirrored);
    }
    int count = 1;
    switch (model) {
    case RegistrationModel::Shift: count = 1; break;
    case RegistrationModel::Similarity: count = anyMirror ? 3 : 2; break;
    case RegistrationModel::Affine: count = 3; break;
    case RegistrationModel::Homography: count = 4; break;
    }
    // Points on the reference frame: its centre, or the corners of its middle half (top left,
    // top right, bottom left, bottom right, the order the four-point warp expects).
    const double w = r.width - 1, h = r.height - 1;
    ReferenceSet targets = defaultReferenceSet();
    if (count == 1) {
        targets[0] = {static_cast<float>(w / 2), static_cast<float>(h / 2)};
    } else {
        const double xs[] = {w / 4, 3 * w / 4, w / 4, 3 * w / 4};
        const double ys[] = {h / 4, h / 4, 3 * h / 4, 3 * h / 4};
        for (int i = 0; i < 4; ++i)
            targets[static_cast<std::size_t>(i)] = {static_cast<float>(xs[i]),
                                                    static_cast<float>(ys[i])};
        if (count == 2) {
            targets[0] = {static_cast<float>(w / 4), static_cast<float>(h / 2)};
            targets[1] = {static_cast<float>(3 * w / 4), static_cast<float>(h / 2)};
        }
    }
    for (FrameAnalysis& f : frames) {
        CompositeEntry& e = entryOf(job, f);
        if (!f.dropped.empty()) {
            e.used = false;
            continue;
        }
        e.pointsSet = true;
        if (&f == &r) {
            e.points = targets;
            continue;
        }
        for (int i = 0; i < count; ++i) {
            double x = 0, y = 0;
            f.registration.apply(targets[static_cast<std::size_t>(i)].x,
                                 targets[static_cast<std::size_t>(i)].y, x, y);
            e.points[static_cast<std::size_t>(i)] = {static_cast<float>(x), static_cast<float>(y)};
        }
    }
    // The run takes the first used entry as its reference: move the reference there.
    auto& entries = job.lists[static_cast<std::size_t>(r.list)].entries;
    std::rotate(entries.begin(), entries.begin() + r.index, entries.begin() + r.index + 1);
    for (FrameAnalysis& f : frames)
        if (f.list == r.list && f.index < r.index) ++f.index;
    frames[static_cast<std::size_t>(ref)].index = 0;
    job.options.referencePointCount = count;
    return count;
}

} // namespace quillon
