// Collecting the point-spread function from stars of the image itself: the star's centre, the
// 41 × 41 cut-out around it, the PSF of one layer from the cut-out and the running mean the
// image keeps per layer.
#pragma once

#include "analysis/stars.h"
#include "core/image.h"

#include <string>
#include <vector>

namespace quillon {

inline constexpr int kPsfCutoutSize = 41;
inline constexpr int kMinPsfSide = 3;
inline constexpr int kMaxPsfSide = 39;
// The count is an 8-bit number: once 255 stars are averaged, no further star is taken.
inline constexpr int kMaxPsfCount = 255;

inline constexpr const char* kPsfDialogTitle = "PSF für Lucy-Richardson-Deconvolution hinzufügen";
inline constexpr const char* kPsfNotBrighter =
    "Der Stern ist in der Ebene \"%s\" nicht heller als sein Umfeld (die Summe über den Rahmen "
    "abzüglich des Hintergrunds ist nicht positiv).\nEr wird nicht hinzugefügt; wählen Sie "
    "bitte einen helleren Stern.";
inline constexpr const char* kPsfCountFull =
    "Es sind bereits 255 Referenzsterne gemittelt; mehr können nicht hinzugefügt werden.\n"
    "Mit \"Bisherige PSF löschen\" beginnt eine neue PSF.";

// An entered PSF side made odd (lowest bit set) and pulled into 3 … 39.
int normalisePsfSide(int side);

// The star near the clicked point: the positive centroid with search size 12 and centroid
// size 4.
ReferencePoint locatePsfStar(const Image& image, float x, float y);

// The 41 × 41 cut-out centred on (cx, cy): the source's type, layers and layer names, every
// value the interpolating sampler's, 0 outside the image. Throws std::bad_alloc.
Image psfCutout(const Image& source, float cx, float cy);

// The PSF box inside the cut-out (width × height, centred).
struct PsfBox {
    int left = 0, top = 0, width = 0, height = 0;
};
PsfBox psfBox(int width, int height);

// The largest sample of each colour layer inside the box (-32768 for an empty box).
std::vector<int> psfBoxMaxima(const Image& cutout, int width, int height);
// "Maximalwerte im Rahmen: \r\n" + "%s: %i, " per layer + the saturation warning.
std::string psfMaximaText(const Image& cutout, int width, int height);

// The PSF of one layer: the box minus the mean of the ring around it (corners left out),
// divided by its sum. Throws Error (kPsfNotBrighter) when that sum is not positive.
std::vector<float> psfFromCutout(const Image& cutout, int width, int height, int layer);

// Averages a PSF of width × height into a layer's kernel as the n-th one: n ≤ 1 starts a
// new kernel of that size, otherwise the kernel keeps its size and every overlapping cell
// (the PSF centred on it) becomes ((n − 1) × cell + value) ÷ n.
void addPsf(PsfKernel& kernel, const std::vector<float>& psf, int width, int height, int n);

// "Hinzufügen": the PSF of every layer of the cut-out averaged into the image's kernels and
// the count raised by one. Every layer is checked first, so a refused star (Error:
// kPsfNotBrighter, or kPsfCountFull at 255 stars) changes nothing.
void addReferenceStar(Image& image, const Image& cutout, int width, int height);

} // namespace quillon
