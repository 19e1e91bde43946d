// Following reference points along a series of exposures: carrying the points of the
// exposure before to the next one's size, matching the stars of a chosen exposure, locating
// the points and checking that they keep the distances and bearings of their seeds.
//
// ReferenceFollower is the one place of this logic: the composite run and the window
// "Referenzpunkte setzen" both step through their exposures with it.
#pragma once

#include "analysis/star_match.h"
#include "analysis/stars.h"

#include <array>
#include <vector>

namespace quillon {

class Image;

// Scales positions carried over from an exposure of previousWidth × previousHeight to one of
// width × height (x by the width ratio, y by the height ratio, in float). A previous size of
// 10 or less in either direction counts as not set and leaves the positions as they are.
ReferenceSet carryReferences(const ReferenceSet& points, int previousWidth, int previousHeight,
                             int width, int height);

// Bearing of the pair P → Q in degrees, clockwise from "up" (y grows downwards), in 0 .. 360;
// coinciding points give 360.
double referenceBearing(const ReferencePoint& p, const ReferencePoint& q);

// The check of one consecutive pair of reference points (k and k + 1).
struct ReferencePairCheck {
    double distance = 0.0;          // between the located points
    double seedDistance = 0.0;      // between the seeds
    double distanceDeviation = 0.0; // distance - seedDistance
    double bearing = 0.0;           // of the located pair
    double seedBearing = 0.0;       // of the seed pair
    double bearingDeviation = 0.0;  // bearing - seedBearing, wrapped into (-180, 180]
    bool distanceOk = true;         // |distanceDeviation| <= distance / 500
    bool bearingOk = true;          // |bearingDeviation| <= 0.15 degrees
};

// The automatic check of a located set against its seeds.
struct ReferenceCheck {
    int pairCount = 0; // count - 1: one reference point is never checked
    std::array<ReferencePairCheck, kMaxReferencePoints - 1> pairs{};
    bool passed = true;
};

// Compares each consecutive pair (1–2, 2–3, 3–4 as far as count goes) of the located points
// with the same pair of seeds. Bearings are compared across the 0/360 boundary by their
// smallest angular difference, so that 359.95 and 0.05 differ by 0.1 degree.
ReferenceCheck checkReferences(const ReferenceSet& located, const ReferenceSet& seeds, int count);

// Where the seeds of a followed exposure came from.
enum class SeedOrigin {
    Given,   // the positions handed to follow() (nothing was carried)
    Carried, // the previous exposure's points, scaled to this exposure's size
    Stars,   // the star reference's points mapped through the match of the stars
};

// One step of a series: the seeds, the points located from them and their check.
struct ReferenceFollow {
    ReferenceSet seeds{};
    ReferenceSet located{};
    ReferenceCheck check; // located against seeds
    SeedOrigin origin = SeedOrigin::Given;
    // With a star reference: the match of this exposure's stars (found, or why not); empty
    // when the star detection had no memory.
    StarMatch match;
    int exposureStars = 0;
};

// Holds what a series carries from one exposure to the next: the search settings and point
// count, the points and size of the exposure left last, and optionally a star reference (the
// stars of one exposure and its points), from which the seeds of later exposures are mapped.
class ReferenceFollower {
public:
    ReferenceFollower() = default;
    ReferenceFollower(const ReferenceSearchSet& search, int count) : search_(search) {
        setCount(count);
    }

    void setSearch(const ReferenceSearchSet& search) { search_ = search; }
    const ReferenceSearchSet& search() const { return search_; }
    // Points 1 .. count are located and checked (as locateReferences and checkReferences
    // take the count).
    void setCount(int count);
    int count() const { return count_; }

    // The exposure just left: its points (in its own pixels) and size seed the next follow().
    void setPrevious(const ReferenceSet& points, int width, int height);
    void clearPrevious() { havePrevious_ = false; }
    bool hasPrevious() const { return havePrevious_; }

    // Detects the stars of `image`, whose points are `points`; false (and no star reference)
    // when the detection has no memory.
    bool setStarReference(const Image& image, const ReferenceSet& points);
    void clearStarReference() { haveStars_ = false; }
    bool hasStarReference() const { return haveStars_; }

    // Locates the points of `image`. The seeds are, in this order of preference: the star
    // reference's points mapped through the match of the stars (when there is a star reference
    // and the match is found), the previous exposure's points carried to this size, or the
    // given `seeds` (the exposure's own positions). The check compares the located points with
    // the seeds. The follower is not changed: the caller says with setPrevious() which points
    // the next exposure follows.
    ReferenceFollow follow(const Image& image, const ReferenceSet& seeds) const;

private:
    ReferenceSearchSet search_{};
    int count_ = 1;
    bool havePrevious_ = false;
    ReferenceSet previous_{};
    int previousWidth_ = 0, previousHeight_ = 0;
    bool haveStars_ = false;
    std::vector<DetectedStar> stars_;
    ReferenceSet starPoints_{};
};

// One step without a follower: the previous exposure's points carried to this exposure's
// size as seeds, the points located from them and checked.
ReferenceFollow followReferences(const Image& image, const ReferenceSearchSet& settings,
                                 const ReferenceSet& previous, int previousWidth,
                                 int previousHeight, int count);

} // namespace quillon
