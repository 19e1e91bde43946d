// Artefact removal for a composite: all exposures of a layer are held strip by strip and
// every pixel's values are combined robustly; and the border rectangle that every exposure
// covered equally.
#pragma once

#include "composite/accumulate.h"
#include "composite/rejection.h"
#include "composite/sample_sums.h"
#include "core/image.h"
#include "core/progress.h"

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

// --- strip plan ------------------------------------------------------------------------------

// Every exposure held at once costs width × height × 3 bytes (a sample and, rounded, a count).
// The number of strips for `exposures` exposures of a width × height result under a memory
// limit of `memoryLimitMB` MB: exposures × width × height × 3 / (limit × 1048576) + 1, exact
// in integers. 0 exposures give 1.
long long stripCount(long long exposures, int width, int height, long long memoryLimitMB);

// The first row of each strip and, last, the height: r_d = d × height / strips.
std::vector<int> stripBoundaries(int height, long long strips);

// A strip needs at least this many rows (the smallest image height).
inline constexpr int kMinStripRows = kMinImageSize;

// The smallest memory limit in MB whose strips all have kMinStripRows rows or more.
long long minimumStripMemoryMB(long long exposures, int width, int height);

// --- merging one strip -------------------------------------------------------------------------

// What a merge tells about its values, per strip image u: how many pixels it gave a value and
// how many of those were rejected; and how many of the result's own values were rejected.
struct MergeTally {
    std::vector<long long> contributed;
    std::vector<long long> rejected;
    std::vector<long long> rejectedHigh; // of those rejected, how many above the kept values
    long long resultRejected = 0;
    long long resultRejectedHigh = 0;
};

// A statistical merge instead of the artefact rule: each strip image's values go through its
// linear map (normalisation) and carry its weight; the result's own values stay as they are
// with `ownWeight`. combineRejected then rejects and combines (a sum image takes the combined
// value once per value).
struct StatisticalMerge {
    RejectionParams params;
    std::span<const LinearMap> maps; // one per strip image
    std::span<const float> weights;  // one per strip image
    float ownWeight = 1.0f;
};

// Combines rows top .. top + rows - 1 of the result's layer `layer` with the strip images
// (one-layer images with counters whose row 0 is result row `top`, at least `rows` high).
// Per pixel the values are the result's sample when its count is not 0, then each strip
// image's sample where its count is not 0; the result's sample becomes combineSamples of them
// with rejectionThreshold(n) and its count becomes n (at most kMaxContributions, a 16-bit
// count). Rows in parallel, progress "Bilder Zusammenführen" one step per row; the histogram
// is marked stale. `tally`, when given, is sized to the strip images and added to. `sums`, when
// given (the result's size and layers), receive each combined pixel unrounded: the mean m of
// the kept values as sum m·n over weight n. A cancel leaves the strip partly combined.
// Throws std::invalid_argument when the result has no counters, a strip image is too small or
// has no counters, or the layer or rows lie outside the result.
// `coverage`, when given (accumulateStrips' spilled layers), tells for each strip image which
// rows count one run of columns once, so that the counts need not be read there.
struct StripCoverage;
void mergeStrips(Image& result, std::span<const Image* const> strips, int top, int rows,
                 bool averaging, int layer, Progress& progress = Progress::none(),
                 MergeTally* tally = nullptr, SampleSums* sums = nullptr,
                 const StatisticalMerge* statistical = nullptr,
                 const StripCoverage* coverage = nullptr);

// --- strip-wise accumulation -----------------------------------------------------------------

// One exposure to accumulate (the reference exposure is not among them).
struct StripExposure {
    // Its list: channel list k feeds result layer k; the list equal to the result's layer
    // count (the whole-image list) feeds every layer of a result with more than one layer.
    // For a one-layer result only list 0 counts.
    int list = 0;
    std::vector<ReferencePoint> points; // its reference points, as many as the target points
    std::vector<float> factors;         // the list's factor slots; inserted with them always
    // With a statistical rejection: the normalisation of the exposure's values for each result
    // layer (the last one for layers beyond) and its weight.
    std::vector<LinearMap> maps;
    float weight = 1.0f;
    bool fromFile = false; // loaded afresh (and so calibrated) each time it is acquired
};

// Where the exposures' images come from. acquire(i) gives exposure i's image, or null when it
// cannot be had now (it is then left out of that strip); every non-null acquire is followed by
// release(i). calibrate(i, image), when set, corrects an acquired image in place: each time for
// an exposure from a file, only the first time in a run for one from an open window.
struct StripSource {
    std::function<Image*(int index)> acquire;
    std::function<void(int index)> release;
    std::function<void(int index, Image& image)> calibrate;
};

struct StripOptions {
    std::span<const ReferencePoint> target; // the target points in the result (1 .. 4)
    long long memoryLimitMB = 64;
    float sizeFactor = 1.0f;
    bool averaging = false;
    SampleSums* sums = nullptr; // receives the merged pixels unrounded (see mergeStrips)
    // A statistical rejection instead of the artefact rule (Rejection::Artefact keeps that),
    // with the weight of the result's own values (the reference exposure).
    const RejectionParams* rejection = nullptr;
    float referenceWeight = 1.0f;
    // Folder of the temporary file of aligned exposures; empty: the system's temporary folder.
    std::string spillFolder;
};

// Per exposure: whether it was inserted at least once (its factors then count for the colour
// sums), how many result samples it gave a value, and how many of those were rejected.
struct StripExposureReport {
    bool inserted = false;
    long long contributed = 0;
    long long rejected = 0;
    long long rejectedHigh = 0; // of those, above the kept values
};

struct StripReport {
    std::vector<StripExposureReport> exposures; // in the order given
    long long referenceRejected = 0; // values the result already held (the reference) rejected
    long long referenceRejectedHigh = 0;
};

// Whether accumulateStrips spills these exposures for a result of `layers` layers of width ×
// height: some layer needs more than one strip. Each exposure is then acquired exactly once,
// in the order given.
bool stripsSpill(std::span<const StripExposure> exposures, int layers, int width, int height,
                 long long memoryLimitMB);

// Accumulates the exposures into the result (which holds the reference exposure and its
// counters) with artefact removal: layer by layer, the result is cut into strips so that one
// image per exposure of the layer fits the memory limit; in each strip every exposure of the
// layer (its channel list, then the whole-image list, in the order given) is inserted alone
// into a strip image with its factors, layer index = the layer and the strip flag, and
// mergeStrips combines them into the result.
//
// When some layer needs more than one strip, each exposure is acquired, calibrated and aligned
// only once: every layer it feeds is inserted into one whole-size image and written to an
// unnamed temporary file (2 bytes per result pixel and layer; of the counts only the rows that
// are not one run of ones), and the strips are read back
// from there, so the cost grows linearly with the number of exposures. Memory then holds the
// strip images, one whole-size one-layer image and the acquired exposure.
//
// Nothing is left out silently: when a strip would have fewer than kMinStripRows rows, Error
// names the smallest memory limit that works, before the result is touched; when the strip
// images cannot be allocated, Error says so. Cancelled comes through from the progress. After
// an Error from allocation or a Cancelled the result is partly combined and must be
// discarded. Throws std::invalid_argument when the result has no counters or an exposure's
// point count differs from the target's (or is not 1 .. 4).
StripReport accumulateStrips(Image& result, std::span<const StripExposure> exposures,
                             const StripSource& source, const StripOptions& options,
                             Progress& progress = Progress::none());

// --- border rectangle ------------------------------------------------------------------------

struct BorderRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The largest rectangle around the centre whose edges all carry the centre's counts (every
// layer compared per pixel); the edges move inwards one pixel per round until a round changes
// nothing. Without counters the whole image: (0, 0, width - 1, height - 1).
BorderRect borderRectangle(const Image& result);

// Whether the result is cut to columns left .. right - 1 and rows top .. bottom - 1: both sides
// must exceed 10 pixels.
inline bool cropsToBorder(const BorderRect& r) {
    return r.right - r.left > 10 && r.bottom - r.top > 10;
}

} // namespace quillon
