// Following reference points along a series: carrying, star matching, locating, checking.
#include "analysis/reference_follow.h"

#include "core/image.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace quillon {

ReferenceSet carryReferences(const ReferenceSet& points, int previousWidth, int previousHeight,
                             int width, int height) {
    if (previousWidth <= 10 || previousHeight <= 10) return points;
    const float sx = static_cast<float>(width) / static_cast<float>(previousWidth);
    const float sy = static_cast<float>(height) / static_cast<float>(previousHeight);
    ReferenceSet r = points;
    for (ReferencePoint& p : r) {
        p.x *= sx;
        p.y *= sy;
    }
    return r;
}

double referenceBearing(const ReferencePoint& p, const ReferencePoint& q) {
    constexpr double kPi = 3.1415927;
    const double px = p.x, py = p.y, qx = q.x, qy = q.y;
    if (qy < py) { // Q above P
        if (qx >= px) return std::atan((qx - px) / (py - qy)) * 180.0 / kPi;
        return std::atan((py - qy) / (px - qx)) * 180.0 / kPi + 270.0;
    }
    if (qy > py) return std::atan((px - qx) / (qy - py)) * 180.0 / kPi + 180.0;
    if (qx > px) return 90.0;
    if (qx < px) return 270.0;
    return 360.0;
}

ReferenceCheck checkReferences(const ReferenceSet& located, const ReferenceSet& seeds, int count) {
    constexpr double kBearingTolerance = 0.15; // degrees
    ReferenceCheck check;
    count = std::clamp(count, 1, kMaxReferencePoints);
    check.pairCount = count - 1;
    auto distance = [](const ReferencePoint& a, const ReferencePoint& b) {
        return std::hypot(static_cast<double>(b.x) - a.x, static_cast<double>(b.y) - a.y);
    };
    for (int k = 0; k + 1 < count; ++k) {
        const auto i = static_cast<std::size_t>(k);
        ReferencePairCheck& c = check.pairs[i];
        c.distance = distance(located[i], located[i + 1]);
        c.seedDistance = distance(seeds[i], seeds[i + 1]);
        c.distanceDeviation = c.distance - c.seedDistance;
        c.distanceOk = std::abs(c.distanceDeviation) <= c.distance / 500.0;
        c.bearing = referenceBearing(located[i], located[i + 1]);
        c.seedBearing = referenceBearing(seeds[i], seeds[i + 1]);
        // Bearings live on a circle: 359.95 and 0.05 are 0.1 degree apart, not 359.9. The
        // difference is taken as the shortest turn from the seed's bearing to the located one.
        double d = std::fmod(c.bearing - c.seedBearing, 360.0);
        if (d > 180.0) d -= 360.0;
        if (d <= -180.0) d += 360.0;
        c.bearingDeviation = d;
        c.bearingOk = std::abs(d) <= kBearingTolerance;
        check.passed = check.passed && c.distanceOk && c.bearingOk;
    }
    return check;
}

void ReferenceFollower::setCount(int count) {
    count_ = count;
}

void ReferenceFollower::setPrevious(const ReferenceSet& points, int width, int height) {
    havePrevious_ = true;
    previous_ = points;
    previousWidth_ = width;
    previousHeight_ = height;
}

bool ReferenceFollower::setStarReference(const Image& image, const ReferenceSet& points) {
    haveStars_ = false;
    try {
        stars_ = detectStars(image);
    } catch (const std::bad_alloc&) {
        stars_.clear();
        return false;
    }
    starPoints_ = points;
    haveStars_ = true;
    return true;
}

ReferenceFollow ReferenceFollower::follow(const Image& image, const ReferenceSet& seeds) const {
    ReferenceFollow f;
    if (havePrevious_) {
        f.seeds = carryReferences(previous_, previousWidth_, previousHeight_, image.width(),
                                  image.height());
        f.origin = SeedOrigin::Carried;
    } else {
        f.seeds = seeds;
    }
    if (haveStars_) {
        try {
            const AutoSeeds a = autoSeeds(stars_, starPoints_, count_, image);
            f.match = a.match;
            f.exposureStars = a.exposureStars;
            if (a.match.found) {
                f.seeds = a.seeds;
                f.origin = SeedOrigin::Stars;
            }
        } catch (const std::bad_alloc&) {
            // No room for the star detection: the seeds above.
        }
    }
    f.located = locateReferences(image, search_, f.seeds, count_);
    f.check = checkReferences(f.located, f.seeds, count_);
    return f;
}

ReferenceFollow followReferences(const Image& image, const ReferenceSearchSet& settings,
                                 const ReferenceSet& previous, int previousWidth,
                                 int previousHeight, int count) {
    ReferenceFollower follower(settings, count);
    follower.setPrevious(previous, previousWidth, previousHeight);
    return follower.follow(image, previous);
}

} // namespace quillon
