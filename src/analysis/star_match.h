// Matching the stars of two exposures, and the seeds of reference points it gives.
//
// For a dithered series whose offsets exceed the reference search window, the seeds of an
// exposure come from its stars: the brightest stars of the reference exposure and of the
// exposure are matched through triangles of stars (side ratios do not change under shift,
// rotation and scale), a similarity (shift, rotation, scale near 1) is fitted to the matched
// pairs with outlier rejection, and the reference exposure's points are mapped through it.
// The reference search then refines the seeds.
#pragma once

#include "analysis/stars.h"

#include <span>
#include <string_view>
#include <vector>

namespace quillon {

class Image;

// A similarity from reference exposure coordinates (x, y) to exposure coordinates:
// x' = scale·(cos θ·x − sin θ·y) + shiftX, y' = scale·(sin θ·x + cos θ·y) + shiftY, θ = angle
// in radians (positive turns clockwise on screen, since y grows downwards).
struct StarTransform {
    double shiftX = 0, shiftY = 0;
    double angle = 0;
    double scale = 1;
    void apply(double x, double y, double& outX, double& outY) const;
};

enum class StarMatchFailure {
    None,
    TooFewReferenceStars, // fewer than 6 stars in the reference exposure
    TooFewExposureStars,  // fewer than 6 stars in the exposure
    NoCommonTriangles,    // no pair of stars is supported by similar triangles
    TooFewMatches,        // no transform brings at least 6 stars onto each other
};

// The German text of a failure ("" for None).
std::string_view starMatchFailureText(StarMatchFailure failure);

struct StarMatch {
    bool found = false;
    StarMatchFailure failure = StarMatchFailure::None;
    StarTransform transform; // identity when not found
    int matched = 0;         // star pairs within the tolerance of the final fit
    double rms = 0;          // their rms distance after the fit, in pixels
};

// Matches the exposure's stars to the reference exposure's (both lists brightest first, as
// detectStars gives them). The brightest 36 of each list form triangles; triangles of equal
// side ratios and turning sense whose sizes differ by at most 10 % vote for their vertex
// pairs. Every two of the 20 best-voted pairs of mutually best-voted stars propose a
// similarity; the one bringing the most of the brightest 100 reference stars within 3 pixels
// of an exposure star wins, and least squares over those pairs refine it, the last rounds
// keeping only pairs within 1.5 pixels. Not found (with the reason) rather than a doubtful
// transform: at least 6 stars must agree within 1.5 pixels (matched tells how many did, also
// when too few) and the scale must stay within 10 % of 1, so exposures of another size or
// mirrored ones are not matched.
StarMatch matchStars(std::span<const DetectedStar> reference,
                     std::span<const DetectedStar> exposure);

struct AutoSeeds {
    ReferenceSet seeds{}; // points 0 .. count-1 mapped; the rest as given
    StarMatch match;
    int exposureStars = 0; // stars detected in the exposure
};

// Seeds for an exposure: detects its stars (up to maxStars), matches them to the reference
// exposure's stars (detected once by the caller with detectStars) and maps the reference
// exposure's points 0 .. count-1 through the fitted transform. When no transform is found the
// seeds are the reference points unchanged and match.found is false; the caller then keeps
// its usual seeds.
AutoSeeds autoSeeds(std::span<const DetectedStar> referenceStars,
                    const ReferenceSet& referencePoints, int count, const Image& exposure,
                    int maxStars = 200);

} // namespace quillon
