// World coordinates of an image: where on the sky its pixels lie.
//
// `WorldCoordinates` keeps one celestial WCS in a normal form (CD matrix, projection codes,
// reference point, optional SIP polynomials) that geometry operations can transform exactly.
// The coordinate mathematics (projections, spherical rotation, EQUINOX/RADESYS) is WCSLIB's;
// the SIP polynomials are evaluated here around it.
//
// Pixel positions are the image's own: (0, 0) is the centre of the first sample of the first
// row, which is FITS pixel (1, 1).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct WorldCoordinates {
    bool present = false;
    std::string ctype1, ctype2;                    // e.g. "RA---TAN", without a "-SIP" suffix
    double crpix1 = 0, crpix2 = 0;                 // FITS pixel (1-based)
    double crval1 = 0, crval2 = 0;                 // degrees
    double cd11 = 0, cd12 = 0, cd21 = 0, cd22 = 0; // degrees per pixel
    double lonpole = 0, latpole = 0;               // as WCSLIB resolved them (degrees)
    std::string radesys;                           // "ICRS", "FK5", ... or empty
    double equinox = 0;                            // 0: not given
    // SIP polynomials, coefficient of u^p v^q at [p * (order + 1) + q]; order 0: none.
    int sipOrder = 0;
    std::vector<double> sipA, sipB;
    int sipInverseOrder = 0;
    std::vector<double> sipAP, sipBP;

    bool operator==(const WorldCoordinates&) const = default;
};

// True for the keywords (8 columns, blank-padded) that belong to a WCS, which the FITS reader
// collects for parseWcs.
bool isWcsKeyword(std::string_view keyword8);

// Parses 80-column header cards. Returns an absent WCS when they hold no usable celestial WCS
// (no card, no celestial axis pair, a singular matrix, or cards WCSLIB refuses).
WorldCoordinates parseWcs(const std::vector<std::string>& cards);

// The header cards (80 columns each, without END) that describe the WCS.
std::vector<std::string> wcsCards(const WorldCoordinates& wcs);

// The WCS after the pixels moved: the new image's pixel (x, y) shows what the old image had
// at (m11 x + m12 y + ox, m21 x + m22 y + oy). The matrix must be invertible.
WorldCoordinates transformWcs(const WorldCoordinates& wcs, double m11, double m12, double m21,
                              double m22, double ox, double oy);

// Pixel <-> sky through WCSLIB (degrees, in the WCS's own frame). Not copyable; cheap to
// query from several threads only one at a time.
class SkyMapping {
public:
    explicit SkyMapping(const WorldCoordinates& wcs); // throws Error when WCSLIB refuses it
    ~SkyMapping();
    SkyMapping(const SkyMapping&) = delete;
    SkyMapping& operator=(const SkyMapping&) = delete;

    bool pixelToSky(double x, double y, double& ra, double& dec) const;
    bool skyToPixel(double ra, double dec, double& x, double& y) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    WorldCoordinates wcs_;
};

// Figures of a WCS for an image of width × height pixels.
struct WcsSummary {
    double centreRa = 0, centreDec = 0;     // degrees
    double scaleArcsec = 0;                 // "/px (geometric mean of both axes)
    double rotation = 0;                    // degrees east of north of the image's up direction
    double fieldWidth = 0, fieldHeight = 0; // degrees
    bool mirrored = false;                  // parity: true when north-up shows east on the right
};
WcsSummary summarizeWcs(const WorldCoordinates& wcs, int width, int height);

// "hh:mm:ss.ss" and "±dd:mm:ss.s".
std::string formatRa(double degrees);
std::string formatDec(double degrees);

// Multi-line German text of the summary (for "info" and the image information).
std::string describeWcs(const WorldCoordinates& wcs, int width, int height);

} // namespace quillon
