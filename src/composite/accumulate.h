// Aligning one exposure onto a composite's result image and accumulating it there.
//
// One to four pairs of points (the exposure's reference stars S_i and where they belong in the
// result, T_i) fix the mapping: a shift (1 pair), a rotation with scale (2), an affine
// distortion (3) or a bilinear warp (4). Every result pixel is mapped back into the exposure,
// the exposure is interpolated there (4 × 4 cubic Lagrange, as ops/sampler.h) and the value is
// averaged into the pixel (no factors, or factors with `average`: factor · v is averaged) or
// added with a factor (factors given). All mapping
// arithmetic is in 32-bit floats with fixed constants, so the result is the same for every
// thread count and instruction-set level.
#pragma once

#include "analysis/stars.h" // ReferencePoint
#include "core/composition.h"
#include "core/image.h"
#include "core/progress.h"
#include "display/lut.h"

#include "composite/sample_sums.h"

#include <span>

namespace quillon {

// The direction from P to Q in radians, y growing downwards: 0 straight up, π/2 to the right,
// π down, 3π/2 to the left; 2π when the points coincide.
float alignBearing(ReferencePoint p, ReferencePoint q);

// The inverse mapping of one insertion, with its coefficients fixed once per exposure:
// result pixel (x, y) → exposure position (u, v).
struct ExposureMapping {
    int kind = 1; // number of point pairs: 1 shift, 2 rotation and scale, 3 affine, 4 warp

    // Kind 1: u = (x - offsetX) / factor.
    float offsetX = 0, offsetY = 0, factor = 1;
    // Kind 2: the similarity's angle (result to exposure bearing difference) and scale
    // (result distance / exposure distance); a = cos θ / k, b = sin θ / k.
    float angle = 0, scale = 1, a = 0, b = 0;
    // Kinds 2 and 4: the first point pair.
    ReferencePoint s1, t1;
    // Kind 3: u = ux·x + uy·y + u0, v = vx·x + vy·y + v0.
    float ux = 0, uy = 0, u0 = 0, vx = 0, vy = 0, v0 = 0;
    // Kind 4: the target patch's coefficients and the exposure quadrilateral.
    float alpha = 0, beta = 0, gamma = 0, delta = 0, epsilon = 0, zeta = 0, capK = 0, capA = 0;
    ReferencePoint s2, s3, s4;

    // The exposure position of result pixel (x, y); false when it has none (the warp's
    // quadratic has no real solution there).
    bool sourcePosition(float x, float y, float& u, float& v) const;
    // The side of the exposure block composed into one overlay pixel (at least 1).
    int overlayBlock() const;
};

// The mapping of n = 1 .. 4 point pairs (source = exposure, target = result). The size factor
// enters the shift only. Throws std::invalid_argument for n outside 1 .. 4.
ExposureMapping exposureMapping(std::span<const ReferencePoint> source,
                                std::span<const ReferencePoint> target, float sizeFactor);

struct InsertOptions {
    // Factor slots of the exposure's list. Empty: the exposure is averaged in; else it is
    // added, layer p with factors[p] (a slot beyond the given ones uses the last one).
    std::span<const float> factors;
    // With factors: average factor · value into the pixel instead of adding it.
    bool average = false;
    // The list index; the result layer a single-layer insertion feeds (0 when it is not below
    // the result's layer count).
    int row = 0;
    // Scale of the result relative to the reference exposure (used by the shift).
    float sizeFactor = 1.0f;
    // The exposure layer of a single-layer insertion (0 when not below the exposure's layer
    // count). With an overlay composition: the overlay method ("Inaktive Overlaybereiche sind").
    int layerIndex = 0;
    // Strip images: the exposure's overlay is not copied. With an overlay composition: the
    // "Transparent" switch.
    bool strip = false;
    // Given for exposures of the overlay list: the composition of the exposure's view and the
    // view's tables (ImageRenderer::colourTables). The exposure's display colours then form
    // overlay samples; counters and colour layers stay.
    const Composition* overlayComposition = nullptr;
    ColourTables overlayTables;
    // Exact running sums of the result (seeded from it, same size and layers). An averaged
    // value is then added to its sample's sum and the sample becomes the rounded mean
    // sum / contributions, so that a long series is not dragged down by a truncation at every
    // exposure; an added value (sum mode) enters the sum unrounded, the sample as without sums.
    SampleSums* sums = nullptr;
    // Fresh strip images: the result layers the exposure feeds are written, not accumulated.
    // A pixel the exposure covers gets what a sample and count of 0 would have become (count
    // 1), every other pixel of those layers 0 with count 0, so the result need not be cleared
    // first; each row is cleared just before it is written, while it is in the cache. Not
    // with `sums` or an overlay composition.
    bool overwrite = false;
};

// Maps the exposure onto the result and accumulates it (see InsertOptions), one pass over the
// result with rows in parallel. A pixel whose exposure position lies outside
// [0, width - 1] × [0, height - 1] of the exposure stays as it is, count included.
//
// Modes, per result pixel, R the result sample, s its count, v the interpolated value:
// - average, all layers (no factors, or `average`: then v is factor · v): for each layer p
//   below both layer counts R = truncate(R·s/(s+1) + v/(s+1)), s += 1 (with `sums`: the exact
//   mean, see InsertOptions::sums); one layer (a grey exposure
//   into row ≠ 0, or a grey result fed from exposure layer ≠ 0): the same for result layer `row`
//   and exposure layer `layerIndex`;
// - sum (factors): R = clamp(R + truncate(factor · v + 0.5)), s += 1, likewise per layer;
// - overlay (overlayComposition): the composed colour of the exposure block at the position ORed
//   into the result's overlay plane (created when missing) unless inactive by the method.
// Counts saturate at kMaxContributions. Without the strip flag and overlay composition, an
// exposure's overlay plane is ORed into the result's (nearest pixel).
//
// Progress "Schiebeaddieren", "Drehaddieren", "Zerraddieren" or "Woelbaddieren" by kind, one
// step per result row. Throws std::invalid_argument (nothing changed) when the point counts
// differ or are not 1 .. 4, the result has no counters or samples, or `overwrite` comes with
// `sums` or an overlay composition; std::bad_alloc when an
// overlay plane is needed and cannot be added (nothing changed); Cancelled from the progress,
// after which the result is partly accumulated and must be discarded.
void insertExposure(Image& result, const Image& exposure, std::span<const ReferencePoint> source,
                    std::span<const ReferencePoint> target, const InsertOptions& options = {},
                    Progress& progress = Progress::none());

} // namespace quillon
