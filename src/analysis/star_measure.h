// Measuring every star of a frame: detection over a background mesh and the shape, flux and
// quality figures of each star.
//
// Detection: the layer sums minus the background mesh are smoothed by a 3 × 3 kernel
// (1 2 1 / 2 4 2 / 1 2 1, normalised); pixels whose smoothed excess reaches threshold × the
// local noise form groups (8 neighbours), and a group of at least minArea pixels is an
// object. An object with several maxima is split (deblended) where a maximum's branch holds at
// least minArea pixels and deblendContrast of the object's light above the saddle to the rest;
// the other branches join the branch across their highest saddle.
//
// Each star: the position is the centroid under a Gaussian window whose shape is iterated to
// twice the weighted second moments (for a Gaussian star the window then equals the star);
// those moments give the moment FWHM. A Gaussian or Moffat profile with an elliptical core,
// a free offset and (Moffat) a free exponent is fitted by Levenberg-Marquardt, its model
// integrated over 3 × 3 points a pixel for small stars, for every star of S/N 10 or more (the
// fainter ones keep the moment shape). Both FWHM figures are corrected for
// the pixel's own width. Flux is the aperture sum within twice the moment FWHM (at least 3
// pixels), its error from the noise map; HFD is the diameter holding half that light.
#pragma once

#include "core/memory.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

class Image;

enum class StarProfile { Gaussian, Moffat };

struct StarMeasureSettings {
    double threshold = 5.0; // k: detection at k σ of the local noise above the background
    int minArea = 5;        // pixels above the threshold an object needs
    double deblendContrast = 0.005;
    StarProfile profile = StarProfile::Gaussian;
    int cellSize = 64;     // side of a background mesh cell
    double saturation = 0; // layer-sum level of a saturated pixel; 0: 32767 per layer
    int maxStars = 0;      // 0: every star, otherwise the brightest
};

struct MeasuredStar {
    double x = 0, y = 0; // centre; integer values are pixel centres, y grows downwards
    double flux = 0, fluxError = 0, snr = 0;
    double apertureRadius = 0; // of the flux sum
    double peak = 0;           // excess of the brightest pixel over the background
    double background = 0;     // local background level at the centre
    double fwhm = 0;           // fitted profile: geometric mean of the axes (moments when unfitted)
    double fwhmMajor = 0, fwhmMinor = 0;
    double beta = 0;        // Moffat exponent (0 for the Gaussian)
    double fwhmMoments = 0; // from the second moments
    double roundness = 1;   // minor / major axis
    double ellipticity = 0; // 1 − roundness
    double angle = 0;       // of the major axis in degrees from +x towards +y, in (−90, 90]
    double hfd = 0;         // half-flux diameter
    int area = 0;           // pixels above the threshold
    bool saturated = false;
    bool blended = false; // split from a group with other stars
    bool fitted = false;  // the profile fit ran and converged (else the shape is from moments)
};

struct StarField {
    std::vector<MeasuredStar> stars; // brightest (by flux) first
    double background = 0;           // median of the mesh levels
    double noise = 0;                // median of the mesh noises
    int width = 0, height = 0;
};

// The frame-sized work buffers of measureStars, kept from one call to the next: a series of
// frames of one size then takes no new memory (nor the system's zeroing of it) per frame.
struct StarMeasureWork {
    memory::Buffer<std::int32_t> sums;
    memory::Buffer<float> excess;
    memory::Buffer<std::uint8_t> state;
};

// Measures the stars of an image (every colour layer summed, the overlay ignored). An image
// without samples gives an empty field. Stars run in parallel; the result does not depend on
// the thread count. Throws std::bad_alloc when the work buffers do not fit.
StarField measureStars(const Image& image, const StarMeasureSettings& settings = {});
StarField measureStars(const Image& image, const StarMeasureSettings& settings,
                       StarMeasureWork& work);

// The profile's name in option texts ("gauss", "moffat") and back; false when unknown.
const char* starProfileName(StarProfile profile);
bool starProfileFromName(const std::string& name, StarProfile& profile);

} // namespace quillon
