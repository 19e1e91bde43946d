// Registering an exposure on the reference exposure by all of their stars: a triangle match
// (mirrored too) gives a first similarity, then a model of the chosen kind is fitted by least
// squares over every star pair it brings together, outliers dropped round by round.
#pragma once

#include "analysis/star_measure.h"

#include <array>
#include <span>
#include <string>

namespace quillon {

enum class RegistrationModel { Shift, Similarity, Affine, Homography };

// "shift", "similarity", "affine", "homography" and back (false when unknown).
const char* registrationModelName(RegistrationModel model);
bool registrationModelFromName(const std::string& name, RegistrationModel& model);

struct StarRegistration {
    bool found = false;
    std::string failure; // German reason when not found
    // Reference exposure (x, y, 1) to exposure coordinates, row-major 3 × 3, h[8] = 1.
    std::array<double, 9> h{1, 0, 0, 0, 1, 0, 0, 0, 1};
    bool mirrored = false;
    double scale = 1, angleDegrees = 0; // of the first match
    int matched = 0;                    // star pairs of the final fit
    double rms = 0;                     // their rms distance after it, pixels
    void apply(double x, double y, double& outX, double& outY) const;
};

// Registers `exposure` on `reference` (both brightest first, as measureStars gives them).
// Shifts and rotations of any size, a scale within 10 % of 1 and a mirror are found; a
// shift model is fitted as a shift, a similarity keeps the mirror when there is one.
StarRegistration registerStars(std::span<const MeasuredStar> reference,
                               std::span<const MeasuredStar> exposure, RegistrationModel model);

} // namespace quillon
