// Geometry of whole images: mirror, rotation by 90° steps, crop, and the resize dialog's rules.
//
// Mirror and rotation change an Image in place and move the overlay with the colour layers.
// Crop and resize fill a destination Image that the caller created (see filters/filter.h,
// createDerivedImage); the source is never changed. Progress: one step per row of one plane.
#pragma once

#include "core/image.h"
#include "core/progress.h"

#include <cstdint>
#include <string>

namespace quillon {

// In-place operations cannot stop half-way without damaging the image, so they ignore a
// cancel request of the progress sink and always finish.

// horizontal: rows swapped top <-> bottom ("Horiz. Spiegeln"); otherwise every row reversed
// ("Vert. Spiegeln"). The image's PSF kernels are mirrored with it.
void mirror(Image& image, bool horizontal, Progress& progress = Progress::none());

enum class Rotation { Half = 0, Clockwise = 1, CounterClockwise = 2 };

// Rotates every plane and the PSF kernels; a 90° turn exchanges width and height and the pixel
// width and height.
// Throws std::bad_alloc, with the image unchanged, when the working memory (one plane and the
// new row tables) cannot be had; 180° needs no memory and cannot fail.
void rotate(Image& image, Rotation mode, Progress& progress = Progress::none());

// Rotates one row-major plane of width × height samples into `dst` (height wide, width high).
// clockwise: new[x][height − 1 − y] = old[y][x]; otherwise new[width − 1 − x][y] = old[y][x].
void rotatePlane(Sample* dst, const Sample* src, int width, int height, bool clockwise);

// How an in-place operation moves the pixels; what the image keeps in pixel positions (its PSF
// kernels here, positions measured on it elsewhere) follows with movePoint and moveKernel.
enum class Movement { MirrorHorizontal, MirrorVertical, TurnRight, TurnLeft, TurnHalf };

// The movement that takes the image back.
Movement inverse(Movement m);

struct PixelPoint {
    double x = 0, y = 0;
};
// Where the position (x, y) of an image of width × height (pixel centres at whole numbers)
// lies after the movement.
PixelPoint movePoint(Movement m, double x, double y, int width, int height);
// A kernel moved with its image: the cell (c, r) goes where movePoint takes it in a
// kernel-sized image, so a quarter turn exchanges the kernel's width and height.
PsfKernel moveKernel(const PsfKernel& kernel, Movement m);

// The rotate command: as rotate(), but running out of memory is reported with
// "Für diese Aktion steht zu wenig Speicher zur Verfügung!" (Error); the image is unchanged.
void rotateImage(Image& image, Rotation mode, Progress& progress = Progress::none());

// Copies destination width × height pixels of every plane starting at (left, top) of the
// source; the overlay only when both have one. Also copies the PSF records and their count.
// Throws Error when the rectangle does not lie inside the source or the layer counts differ.
void crop(Image& destination, int left, int top, const Image& source,
          Progress& progress = Progress::none());

// A selection rectangle in image pixels; right and bottom are exclusive.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// The crop command is available for a selection of at least 10 × 10 pixels.
bool cropAllowed(const PixelRect& selection);

// ---- resize dialog ("Bildgröße") ---------------------------------------------------------

enum class ResizeField { Width, Height, WidthPercent, HeightPercent };

struct ResizeFields {
    int width = 0;
    int height = 0;
    float widthPercent = 100.0f;
    float heightPercent = 100.0f;
    bool keepAspect = true;
};

// Initial state for an image of the given size: same size, 100 %, aspect kept.
ResizeFields initialResizeFields(int sourceWidth, int sourceHeight);

// Recomputes the fields after `edited` changed (also call it with the last edited field when
// the aspect box is toggled): percent from a typed pixel size, the edited axis' percent copied
// to the other when the aspect is kept, sizes rounded and clamped to 10 … 14000, percents
// recomputed and cut to one decimal.
ResizeFields recomputeResize(const ResizeFields& fields, int sourceWidth, int sourceHeight,
                             ResizeField edited);

// True when the new size needs the user's confirmation (width × height × 6 > 256 MiB).
bool resizeNeedsConfirmation(int width, int height);
// "Es wird ein Bild mit %i Megapixeln erzeugt.\n Vergewissern Sie sich, ..."
std::string resizeConfirmationText(int width, int height);

} // namespace quillon
