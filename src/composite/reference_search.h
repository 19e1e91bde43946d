// Locating reference stars in an exposure, carrying them to the next one and checking them.
//
// locateReference finds one star from a rough position by one of five methods; the helpers
// below do what stepping through a series needs: scale the previous exposure's positions to
// the new exposure's size, locate every used point, and check that the located points keep
// the distances and bearings of their seeds.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quillon {

class Image;

// Method codes in the order of the method chooser.
enum class ReferenceMethod : std::uint16_t {
    PositiveCentroid = 0, // "Pos. Schwerpunkt": centroid of a bright star
    NegativeCentroid = 1, // "Neg. Schwerpunkt": centroid of a dark feature
    Maximum = 2,          // "Maximum": pixel of the largest value
    Minimum = 3,          // "Minimum": pixel of the smallest value
    Position = 4,         // "Position": the given position, unchanged
};

inline constexpr int kReferenceMethodCount = 5;
inline constexpr int kMaxReferencePoints = 4;

// The chooser's name of a method ("Pos. Schwerpunkt", ...).
std::string_view referenceMethodName(ReferenceMethod method);
// The method of a chooser name; a name that matches none reads as the positive centroid.
ReferenceMethod referenceMethodFromName(std::string_view name);

// How one reference point is searched; shared by every exposure of a series.
struct ReferenceSearchSettings {
    ReferenceMethod method = ReferenceMethod::PositiveCentroid;
    int searchHalfSize = 12;  // "Such-Bereich:", window of 2h + 1 pixels
    int centroidHalfSize = 4; // "Swp-Bereich:"
};
using ReferenceSearchSet = std::array<ReferenceSearchSettings, kMaxReferencePoints>;

// A position in pixel coordinates (integer values are pixel centres, y grows downwards).
// found is false when the search fell back to the clamped start position because the window
// was flat (or had nothing to weigh); seeds and "Position" results count as found.
struct LocatedPoint {
    float x = 0.0f;
    float y = 0.0f;
    bool found = true;
};
using ReferenceSet = std::array<LocatedPoint, kMaxReferencePoints>;

// The positions a new exposure entry starts with for points 1 to 4.
ReferenceSet defaultReferenceSet();

// Locates one reference star near (x, y). Every colour layer takes part: a pixel's value is
// the sum of its samples over the colour layers (the overlay is ignored). Half-sizes larger
// than half the image are lowered to it; negative ones count as 0 and the centroid half-size
// stays below 500. An image without samples gives (x, y) unchanged, not found.
LocatedPoint locateReference(const Image& image, ReferenceMethod method, float x, float y,
                             int searchHalfSize, int centroidHalfSize);
inline LocatedPoint locateReference(const Image& image, const ReferenceSearchSettings& s, float x,
                                    float y) {
    return locateReference(image, s.method, x, y, s.searchHalfSize, s.centroidHalfSize);
}

// The search half-size locateReference really uses on an image of this size.
int effectiveHalfSize(int halfSize, int width, int height);

// Scales positions carried over from an exposure of previousWidth × previousHeight to one of
// width × height (x by the width ratio, y by the height ratio, in float). A previous size of
// 10 or less in either direction counts as not set and leaves the positions as they are.
ReferenceSet carryReferences(const ReferenceSet& points, int previousWidth, int previousHeight,
                             int width, int height);

// Locates points 0 .. count - 1 at their seeds with their own settings.
ReferenceSet locateReferences(const Image& image, const ReferenceSearchSet& settings,
                              const ReferenceSet& seeds, int count);

// Bearing of the pair P → Q in degrees, clockwise from "up" (y grows downwards), in 0 .. 360;
// coinciding points give 360.
double referenceBearing(const LocatedPoint& p, const LocatedPoint& q);

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

// One step of a series: the previous exposure's positions carried to this exposure's size as
// seeds, the points located from them, and the automatic check of the located points.
struct ReferenceFollow {
    ReferenceSet seeds{};
    ReferenceSet located{};
    ReferenceCheck check;
};
ReferenceFollow followReferences(const Image& image, const ReferenceSearchSet& settings,
                                 const ReferenceSet& previous, int previousWidth,
                                 int previousHeight, int count);

} // namespace quillon
