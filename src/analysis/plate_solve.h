// Plate solving: the image's own star list handed to astrometry.net's solver, the solution
// read back as world coordinates.
//
// The stars come from detectStars (the solver does not look at the pixels again). They are
// written as an x/y list (FITS table, 1-based pixel positions, brightest first) and
// `solve-field` runs on it with the hints, a configuration naming the index folders and a CPU
// limit; the process group is ended when the time is over or the user cancels.
#pragma once

#include "core/progress.h"
#include "core/wcs.h"

#include <string>
#include <vector>

namespace quillon {

class Image;

// Where Debian puts the index files.
inline constexpr const char* kDebianIndexFolder = "/usr/share/astrometry";
// An environment variable naming further index folders (separated by ':').
inline constexpr const char* kIndexFolderVariable = "QUILLON_ASTROMETRY_INDEX";

struct SolveHints {
    double scaleLow = 0, scaleHigh = 0; // arcseconds per pixel; 0: unknown
    bool hasCentre = false;
    double ra = 0, dec = 0;       // degrees
    double radius = 5;            // search radius around the centre, degrees
    double timeout = 60;          // seconds
    std::string extraIndexFolder; // a setting; empty: none
    int maxStars = 300;
};

struct SolveResult {
    WorldCoordinates wcs; // in the image's pixels
    int starsUsed = 0;    // stars handed to the solver
    int matchedStars = 0; // index stars matched to image stars
    double seconds = 0;   // wall-clock time of the solver
};

// One index file with the range of quad sizes it holds (degrees).
struct IndexFile {
    std::string path;
    double quadLow = 0, quadHigh = 0;
};

// The folders searched for index files: the setting's folder, the environment variable's,
// then Debian's (each once, existing ones only).
std::vector<std::string> indexFolders(const std::string& extraFolder);
// The index files of those folders (files "index-*.fits" with readable SCALE_L/SCALE_U).
std::vector<IndexFile> findIndexFiles(const std::vector<std::string>& folders);

// Throws Error with a message naming the Debian package to install when no index covers
// fields of `widthDeg` × `heightDeg` (0: unknown, then only some index is needed).
void checkIndexCoverage(const std::vector<IndexFile>& files, double widthDeg, double heightDeg);

// Solves the image. Throws Error ("Keine astrometrische Lösung gefunden ...") when there is no
// solution within the time, Error naming the package when the solver or the index files are
// missing, Cancelled when the user cancels. Progress: "Astrometrie", one step per 0.1 s.
SolveResult solveImage(const Image& image, const SolveHints& hints,
                       Progress& progress = Progress::none());

// The same from a star list (image pixel positions, brightest first).
struct SolveStar {
    double x = 0, y = 0, flux = 0;
};
SolveResult solveStars(const std::vector<SolveStar>& stars, int width, int height,
                       const SolveHints& hints, Progress& progress = Progress::none());

// The index stars inside an image of width × height with the given WCS (query-starkd on the
// index files whose quads suit the field), brightest first, at most maxStars. Throws Error
// when the program or the index files are missing.
struct CatalogStar {
    double x = 0, y = 0; // image pixels
    double ra = 0, dec = 0, magnitude = 0;
};
std::vector<CatalogStar> catalogStars(const WorldCoordinates& wcs, int width, int height,
                                      const std::string& extraIndexFolder, int maxStars = 500);

// Hints from the image's cards where they exist: the centre from RA/DEC (degrees) or
// OBJCTRA/OBJCTDEC (sexagesimal) and the scale from FOCALLEN (mm) and XPIXSZ (µm), given as
// the cards' texts. Returns false for the pieces it could not read.
bool scaleFromOptics(double focalLengthMm, double pixelSizeUm, SolveHints& hints);
bool parseSexagesimal(const std::string& text, bool hours, double& degrees);

} // namespace quillon
