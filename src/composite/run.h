// Building a composite from a job: reference exposure, calibration, alignment and accumulation
// (plain or strip-wise with artefact removal), border crop, colour sums and display weights.
//
// The composite window and `quillon-cli stack` both call runComposite; they differ only in
// where the exposures' images come from (ImageSource) and in what they do with the result.
#pragma once

#include "analysis/reference_follow.h"
#include "composite/accumulate.h"
#include "composite/job.h"
#include "composite/sample_sums.h"
#include "composite/strips.h"
#include "core/image.h"
#include "core/operation.h"
#include "core/progress.h"

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quillon {

// "Es wurde kein Gültiges, zu verwendendes Bild gefunden!"
extern const char* const kNoUsableExposureMessage;
extern const char* const kResultNotCreatedMessage;
extern const char* const kCountersNotCreatedMessage;
extern const char* const kDarkNotLoadedMessage;
extern const char* const kFlatNotLoadedMessage;
extern const char* const kCalibrationMismatchMessage;
// The border crop found no memory for the cropped image: the result keeps its full size.
extern const char* const kBordersNotRemovedMessage;
// A job that debayers its exposures needs an RGB target.
extern const char* const kDebayerNeedsRgbMessage;

// Where the exposures of a run come from. open() gives the image of an entry, or null when it
// cannot be had (the exposure is then skipped without a message); every non-null open() is
// followed by release() of the same entry. An entry with a document id is the open window's
// image (calibrated in place, once per run); a file entry is read for the time of its use.
class ImageSource {
public:
    virtual ~ImageSource() = default;
    virtual Image* open(int list, int index, const CompositeEntry& entry) = 0;
    virtual void release(int list, int index, const CompositeEntry& entry) = 0;
    // Reads a dark or flat frame; false when it cannot be read. Reads the file by default.
    virtual bool openFrame(const std::string& path, Image& frame);
};

// Reads file entries from disk; entries of open windows are never available.
class FileImageSource : public ImageSource {
public:
    Image* open(int list, int index, const CompositeEntry& entry) override;
    void release(int list, int index, const CompositeEntry& entry) override;
    // An image already read from the file `name` (a caller that looked at it first): the first
    // open of an entry of that name takes it instead of reading the file again.
    void keep(std::string name, std::unique_ptr<Image> image) {
        keptName_ = std::move(name);
        kept_ = std::move(image);
    }

private:
    std::string keptName_;
    std::unique_ptr<Image> kept_;
    std::vector<std::unique_ptr<Image>> open_; // at most a few at a time
    std::vector<std::pair<int, int>> keys_;
};

// What one exposure did in a run.
struct ExposureReport {
    int list = 0;
    int index = 0;
    std::string name;
    bool reference = false;       // the reference exposure (resampled, not aligned)
    bool available = true;        // its image could be had
    bool calibrated = false;      // its list's dark and/or flat were applied in this run
    bool inserted = false;        // it went into the result
    bool searched = false;        // its points were located in this run
    bool checkPassed = true;      // the automatic check (true when not searched)
    ReferenceSet located{};       // the points used (pointCount of them)
    ReferenceCheck check;         // distance and bearing deviations of the search
    float shiftX = 0, shiftY = 0; // result position of point 1 minus its exposure position
    float angleDegrees = 0;       // rotation from point pair 1–2 (0 with one point)
    float scale = 1;              // distance ratio of point pair 1–2 (size factor with one point)
    long long contributed = 0;    // result samples it gave a value
    long long rejected = 0;       // of those, rejected by the artefact removal or rejection
    long long rejectedHigh = 0;   // of those rejected, how many above the kept values
    float weight = 1;             // its weight in a statistical combination (reference 1)
    // With RunOptions::autoSeeds, for an exposure searched from seeds: whether the seeds came
    // from its stars (else carried from the exposure before, starFailure saying why), and how
    // many of its stars the match brought onto the reference exposure's.
    bool seedsFromStars = false;
    StarMatchFailure starFailure = StarMatchFailure::None;
    int starsMatched = 0;
};

// The stack command's options of a run: the reference search method (in the order of
// ReferenceMethod; "--method pos|neg|max|min|position", default pos), the search and centroid
// half-sizes ("--search", "--centroid") of every point and the memory limit in MiB
// ("--memory"). The job's own options on the command line ("--size-factor") are in
// compositeOptionFields().
struct StackRunParams {
    int method = 0;
    int search = 12;
    int centroid = 4;
    int memory = 64;
};
std::span<const ParamField<StackRunParams>> stackRunFields();
std::span<const ParamField<CompositeOptions>> compositeOptionFields();

struct RunOptions {
    // Entries whose points were not placed are searched: the first such exposure from its own
    // points, every later one from the exposure before (carried to its size) with the
    // automatic check. Without it every entry's points are taken as they are.
    bool searchReferences = false;
    ReferenceSearchSet search{};
    // With searchReferences: the reference exposure's stars are detected once, and every
    // exposure searched after it takes its seeds from matching its stars to them (a shift and
    // turn of any size); when no match is found, the seeds are carried as usual. The search and
    // the check then run on those seeds.
    bool autoSeeds = false;
    // Stop with Error at the first exposure that fails the automatic check (it is used and
    // flagged otherwise).
    bool strict = false;
    long long memoryLimitMB = 64; // strip images with artefact removal
    // Keep the unrounded result (CompositeResult::sums) also for a run with artefact removal
    // (the plain run always keeps it).
    bool floatResult = false;
    // Called after each exposure of the plain accumulation (the window redraws the result).
    std::function<void(const Image& result, const ExposureReport& exposure)> afterExposure;
    // Called for an LRGB result before the run returns, to set its LRGB display bias.
    std::function<void(Image& result)> lrgbBias;
};

// The run options of the parameters (search settings alike for every point, reference search on).
RunOptions runOptions(const StackRunParams& p);

struct CompositeResult {
    Image image; // counters freed, cropped when the borders were removed (see `cropped`)
    int referenceList = -1, referenceIndex = -1;
    int pointCount = 1;
    std::array<float, 3> colourSums{0, 0, 0}; // RGB and LRGB targets
    bool hasDisplayWeights = false;
    std::array<float, 3> displayWeights{1, 1, 1};
    bool cropped = false;
    BorderRect border;
    int loadErrors = 0;        // bit 1 dark, bit 2 flat failed to load
    int calibrationErrors = 0; // OR of the calibration result codes
    long long referenceRejected = 0;
    std::vector<std::string> notices;      // the messages a run shows and continues after
    std::vector<ExposureReport> exposures; // in run order, the reference first
    // The unrounded result, cropped like the image: the mean of every sample (averaging) or its
    // sum with the factors. Empty after a strip-wise run without RunOptions::floatResult.
    SampleSums sums;
};

// Display weights (red, green, blue) of an RGB or LRGB result from the colour weights and the
// colour sums: (1, g / r, b / r) with r = R / W0 and so on, a sum of 0 (every sum when
// averaging) taken as 1. A red weight of 0 has no ratio: the weights are then (0, g / m, b / m)
// with m the larger of g and b, so green and blue keep their balance and red is off.
std::array<float, 3> compositeDisplayWeights(const std::array<float, 3>& colourWeights,
                                             std::array<float, 3> sums, bool averaging);

// Runs the job. Throws Error with the messages above (no usable exposure, result or counters
// not created), Error from a strict check or from the strip-wise accumulation, and Cancelled
// from the progress (no result then). Progress "Komposit", one step per exposure, inside which
// each exposure's calibration and insertion ("Schiebeaddieren", "Drehaddieren", ...) show their
// own titles; a strict check stops with "Bild <name>: die automatische Prüfung der
// Referenzpunkte schlug fehl". Without memory for the border crop the result stays whole, with
// kBordersNotRemovedMessage among the notices.
CompositeResult runComposite(const CompositeJob& job, ImageSource& source,
                             const RunOptions& options, Progress& progress = Progress::none());

} // namespace quillon
