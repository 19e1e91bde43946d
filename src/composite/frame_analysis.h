// The stars of every exposure of a composite job: measured once, then used to leave out poor
// frames (selection rules, the best share by quality) and to register the series by all of
// its stars without hand-placed reference points.
#pragma once

#include "analysis/frame_quality.h"
#include "analysis/star_register.h"
#include "composite/job.h"
#include "core/progress.h"

#include <string>
#include <vector>

namespace quillon {

class Image;
class ImageSource;

struct FrameAnalysis {
    int list = 0, index = 0;
    std::string name;
    bool available = false; // its image could be had
    int width = 0, height = 0;
    StarField field;
    FrameQuality quality;
    std::string dropped; // why the frame was left out; empty while it is used
    StarRegistration registration;
};

// Measures every used entry of the job, in run order (lists from the first, entries in
// order), as the run will stack it: after its list's dark and flat (an open window's image on
// a copy; a file entry's image, read for this use, in place). Progress "Bildanalyse", one step
// per entry; throws Cancelled when asked to stop.
std::vector<FrameAnalysis> analyzeJob(const CompositeJob& job, ImageSource& source,
                                      const StarMeasureSettings& settings, double pixelScale,
                                      Progress& progress);

// Leaves out (entry unused, reason noted) the frames that cannot be had, fail a rule, or are
// not among the best keepBestPercent by score (see selectFrames). When the first used entry
// of a list carried reference points and is left out, the next used entry takes them.
void applyFrameSelection(CompositeJob& job, std::vector<FrameAnalysis>& frames,
                         const std::vector<FrameRule>& rules, double keepBestPercent);

// Registers every used frame on the reference frame (referenceFrame, a position among the
// frames; < 0: the best-scored) and gives each entry reference points that carry the fitted
// transform: the reference frame's points spread over its area (one for a shift, two for a
// similarity, three for an affine map or a mirrored similarity, four for a homography) and
// each exposure's their images under it. The reference frame's entry moves to the front of
// its list so that the run starts with it. Frames that do not match are left out with the
// reason. Returns the number of reference points set in the job, or 0 when the reference
// frame is unusable (every frame then stays as it was) with the reason in `error`.
// Weighing by stars (Weighting::Fwhm, Weighting::Stars): each exposure's figures are measured
// on the exposure as it is stacked (calibrated, debayered), with the default settings.
FrameQuality exposureQuality(const Image& image);
// The weight of an exposure with figures q against the reference exposure's (1 for it):
// (reference FWHM / FWHM)² or star count / reference count. An exposure without measurable
// stars gets kMinStarWeight, so that it cannot sway the result yet pixels only it covers keep
// a value. 1 for the other weightings and when the reference has no stars.
inline constexpr float kMinStarWeight = 0.01f;
float starWeight(Weighting weighting, const FrameQuality& q, const FrameQuality& reference);
// Whether the reference's figures allow weighing by stars at all.
bool starWeightsPossible(Weighting weighting, const FrameQuality& reference);
// The notice of a run whose reference exposure has no stars to weigh by.
inline constexpr const char* kNoStarWeightsMessage =
    "Im Referenzbild wurden keine Sterne gefunden: alle Bilder werden gleich gewichtet.";

int autoRegisterJob(CompositeJob& job, std::vector<FrameAnalysis>& frames, RegistrationModel model,
                    int referenceFrame, std::string& error);

} // namespace quillon
