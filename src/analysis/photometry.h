// Aperture photometry: the measuring ellipse with its background ring, per-layer statistics
// and their text, total brightness and colour ratio, the magnitude calibration against
// reference stars and an error estimate of the magnitude.
#pragma once

#include "core/composition.h"
#include "core/image.h"
#include "core/operation.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

// Field limits of the photometry window.
inline constexpr int kPhotometryMaxPosition = 13999;
inline constexpr int kPhotometryMaxEllipse = 121;
inline constexpr int kPhotometryMaxRing = 61;
inline constexpr int kMaxPhotometryReferences = 99;
inline constexpr float kDefaultMagnitudePreset = 12.0f;

// Position (pixel), ellipse width and height and ring width and height of one measurement.
struct PhotometryArea {
    int x = 0;
    int y = 0;
    int ex = 11;
    int ey = 11;
    int rx = 1;
    int ry = 1;
    bool operator==(const PhotometryArea&) const = default;
};

// The operation record of a measurement's area: its fields with their ranges in the order x, y,
// ellipse width and height, ring width and height (not stored in the settings). On the command
// line the ellipse and ring are pairs "--ellipse BxH" and "--ring BxH"; the position comes with
// the measurement.
std::span<const ParamField<PhotometryArea>> photometryAreaFields();
inline constexpr int kPhotometryEllipseField = 2; // index of the ellipse width; the height follows
inline constexpr int kPhotometryRingField = 4;    // index of the ring width; the height follows

// The area moved and shrunk so that ellipse and ring lie inside a width × height image:
// ellipse at most width - 2 and 121, ring at most (width - ex) / 2 and (123 - ex) / 2, all
// at least 1; x kept between ex / 2 + rx and width - ex / 2 - rx - 1 (likewise vertically).
PhotometryArea keepInside(PhotometryArea a, int width, int height);

// Whether the pixel offset (dx, dy) from the centre lies in the ellipse with full axes
// w × h (semi-axes w / 2, h / 2), boundary included. Exact: no rounding decides a pixel.
bool insideEllipse(int dx, int dy, int w, int h);

struct LayerPhotometry {
    int pixel = 0;      // sample at the centre
    double sum = 0;     // ellipse sum
    double ringSum = 0; // ring sum
    double mean = 0;    // ellipse mean
    int minimum = 0;
    int maximum = 0;
    double noise = 0; // standard deviation over the ellipse
    int relSum = 0;   // background-free ellipse sum
};

struct PhotometryResult {
    bool valid = false;  // false: no ellipse or no ring pixels (empty text, no numbers)
    PhotometryArea area; // the area measured (after keepInside)
    long ellipseCount = 0;
    long ringCount = 0;
    std::vector<LayerPhotometry> layers;
    std::string text; // the statistics text
    // Only with a renderer:
    bool hasTotal = false;
    int total = 0;
    std::array<float, 3> ratio{0, 0, 0};
    // Standard error of the total from the photon noise of the net signal (one count per
    // photon) and the ring's scatter as sky noise, the sky mean's error scaled by the ellipse
    // area; 0 when it cannot be estimated.
    double totalError = 0;
};

// Measures the area (kept inside the image first) on the samples; with the view's composition
// also the composed values of the display channels, which give the total brightness, the colour
// ratio and the error estimate.
PhotometryResult measure(const Image& image, PhotometryArea area,
                         const Composition* composition = nullptr);

// True when every ratio is a finite number that is not negative (else shown as "-----").
bool ratioShown(const std::array<float, 3>& ratio);

// The magnitude of a total under the coefficient, when it can be computed and lies inside
// -30 .. 99.9.
std::optional<double> magnitudeOf(double total, float coefficient);
// Standard error of that magnitude from the total's error; none when it cannot be given.
std::optional<double> magnitudeError(double total, double totalError);
// "%.2f" of the magnitude or "-----".
std::string magnitudeText(double total, float coefficient);

// "Referenzwert hinzu": folds a star of this total at the preset magnitude into the running
// mean. Refused (false, unchanged) with 99 references already or a total not above 0.
bool addReference(PhotometricCalibration& cal, int total, float presetMagnitude);
// A coefficient typed by the user over the value shown before: ignored below 0.001 or within
// 0.1 % of the shown value; otherwise stored with one reference. True when stored.
bool typeCoefficient(PhotometricCalibration& cal, double typed, double shown);

// A reference star that went into the coefficient.
struct PhotometryReference {
    int total = 0;
    float magnitude = 0;
};
// The brightness a star of this reference would have at magnitude 10.
double magnitude10Brightness(const PhotometryReference& r);
// The calibration built from the references one after another as "Referenzwert hinzu" does.
PhotometricCalibration calibrationFrom(const std::vector<PhotometryReference>& refs);
// Preset minus measured magnitude under the calibration; none without a coefficient.
std::optional<double> referenceResidual(const PhotometryReference& r, float coefficient);

// Zoom of the magnified picture: 10, lowered until ellipse and ring fit width × height, at
// least 1.
int magnifierZoom(const PhotometryArea& a, int width, int height);

// One CSV line per measurement: position, ellipse, ring, the pixel counts of ellipse and ring,
// per layer mean, ellipse sum, ring sum and background-free sum, total, magnitude and its
// error (empty where not available). Lines end with "\n".
std::string photometryCsvHeader(const Image& image);
std::string photometryCsvRow(const PhotometryResult& r, float coefficient);

} // namespace quillon
