// Carrying an image's world coordinates along when its pixels move.
#include "ops/geometry_wcs.h"

namespace quillon {

void setImageWcs(Image& image, const WorldCoordinates& wcs, const std::string& note) {
    ImageInfo* info = nullptr;
    if (image.BeginInfoWrite(info) != 0) return;
    info->wcs = wcs;
    info->wcsNote = note;
    image.EndInfoWrite();
}

void moveImageWcs(Image& image, Movement m) {
    const WorldCoordinates& old = image.info().wcs;
    if (!old.present) return;
    // The old position of a new pixel, as an affine map found from three points.
    const Movement back = inverse(m);
    const int w = image.width(), h = image.height();
    const PixelPoint o = movePoint(back, 0, 0, w, h);
    const PixelPoint ex = movePoint(back, 1, 0, w, h);
    const PixelPoint ey = movePoint(back, 0, 1, w, h);
    setImageWcs(image, transformWcs(old, ex.x - o.x, ey.x - o.x, ex.y - o.y, ey.y - o.y, o.x, o.y),
                image.info().wcsNote);
}

void scaleImageWcs(Image& destination, const Image& source, double sx, double sy, double ox,
                   double oy) {
    const ImageInfo& from = source.info();
    if (!from.wcs.present) {
        setImageWcs(destination, {}, from.wcsNote);
        return;
    }
    setImageWcs(destination, transformWcs(from.wcs, sx, 0, 0, sy, ox, oy), from.wcsNote);
}

void dropImageWcs(Image& image, const std::string& operation) {
    if (!image.info().wcs.present) return;
    setImageWcs(image, {},
                "Weltkoordinaten verworfen: \"" + operation + "\" kann sie nicht mitführen.");
}

} // namespace quillon
