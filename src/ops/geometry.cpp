// Mirror, rotation, crop and the resize dialog's arithmetic.
#include "ops/geometry.h"

#include "core/error.h"
#include "core/parallel.h"
#include "ops/geometry_wcs.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>

namespace quillon {
namespace {

// In-place work must finish once started; a cancel request is therefore not honoured.
void stepQuietly(Progress& progress, long long n) {
    try {
        progress.step(n);
    } catch (const Cancelled&) {
    }
}

// Writes the rotated copy of `src` (oldWidth × oldHeight, row-major) into `dst` (oldHeight
// wide, oldWidth high), new rows [r0, r1), in tiles so that both sides stay in cache.
void rotateBand(Sample* dst, const Sample* src, int oldWidth, int oldHeight, bool clockwise, int r0,
                int r1) {
    constexpr int kTile = 64;
    const std::size_t ow = static_cast<std::size_t>(oldWidth);
    const std::size_t nw = static_cast<std::size_t>(oldHeight);
    for (int c0 = 0; c0 < oldHeight; c0 += kTile) {
        int c1 = std::min(oldHeight, c0 + kTile);
        for (int r = r0; r < r1; ++r) {
            Sample* out = dst + static_cast<std::size_t>(r) * nw;
            if (clockwise) {
                // new[r][c] = old[oldHeight - 1 - c][r]
                for (int c = c0; c < c1; ++c)
                    out[c] = src[static_cast<std::size_t>(oldHeight - 1 - c) * ow +
                                 static_cast<std::size_t>(r)];
            } else {
                // new[r][c] = old[c][oldWidth - 1 - r]
                const std::size_t x = static_cast<std::size_t>(oldWidth - 1 - r);
                for (int c = c0; c < c1; ++c) out[c] = src[static_cast<std::size_t>(c) * ow + x];
            }
        }
    }
}

// Mirrors a kernel where it is (no memory needed, so mirroring cannot fail).
void mirrorKernel(PsfKernel& k, bool horizontal) {
    if (k.values.size() != static_cast<std::size_t>(k.width) * k.height) return;
    for (int y = 0; y < k.height; ++y) {
        if (horizontal) {
            if (y >= k.height - 1 - y) break;
            std::swap_ranges(k.row(y), k.row(y) + k.width, k.row(k.height - 1 - y));
        } else {
            std::reverse(k.row(y), k.row(y) + k.width);
        }
    }
}

} // namespace

Movement inverse(Movement m) {
    if (m == Movement::TurnRight) return Movement::TurnLeft;
    if (m == Movement::TurnLeft) return Movement::TurnRight;
    return m;
}

PixelPoint movePoint(Movement m, double x, double y, int width, int height) {
    const double right = width - 1;
    const double bottom = height - 1;
    switch (m) {
    case Movement::MirrorHorizontal: return {x, bottom - y};
    case Movement::MirrorVertical: return {right - x, y};
    // new[x][height - 1 - y] = old[y][x]: old column x becomes row x.
    case Movement::TurnRight: return {bottom - y, x};
    // new[width - 1 - x][y] = old[y][x]
    case Movement::TurnLeft: return {y, right - x};
    case Movement::TurnHalf: return {right - x, bottom - y};
    }
    return {x, y};
}

PsfKernel moveKernel(const PsfKernel& kernel, Movement m) {
    const bool quarter = m == Movement::TurnRight || m == Movement::TurnLeft;
    PsfKernel out;
    out.width = quarter ? kernel.height : kernel.width;
    out.height = quarter ? kernel.width : kernel.height;
    if (kernel.values.size() != static_cast<std::size_t>(kernel.width) * kernel.height) {
        out.values = kernel.values;
        return out;
    }
    out.values.resize(kernel.values.size());
    for (int r = 0; r < kernel.height; ++r)
        for (int c = 0; c < kernel.width; ++c) {
            const PixelPoint p = movePoint(m, c, r, kernel.width, kernel.height);
            out.row(static_cast<int>(p.y))[static_cast<int>(p.x)] = kernel.row(r)[c];
        }
    return out;
}

void mirror(Image& image, bool horizontal, Progress& progress) {
    if (!image.hasSamples()) return;
    const int w = image.width();
    const int h = image.height();
    const int planes = image.planeCount();
    if (horizontal) {
        const int half = h / 2;
        progress.begin("Horiz. Spiegeln", static_cast<long long>(half) * planes, 20);
        for (int p = 0; p < planes; ++p) {
            parallelRows(half, 64, [&](int y0, int y1) {
                for (int y = y0; y < y1; ++y) {
                    std::swap_ranges(image.row(p, y), image.row(p, y) + w, image.row(p, h - 1 - y));
                    stepQuietly(progress, 1);
                }
            });
        }
    } else {
        progress.begin("Vert. Spiegeln", static_cast<long long>(h) * planes, 20);
        for (int p = 0; p < planes; ++p) {
            parallelRows(h, 64, [&](int y0, int y1) {
                for (int y = y0; y < y1; ++y) {
                    std::reverse(image.row(p, y), image.row(p, y) + w);
                    stepQuietly(progress, 1);
                }
            });
        }
    }
    progress.end();
    for (PsfKernel& k : image.psf()) mirrorKernel(k, horizontal);
    moveImageWcs(image, horizontal ? Movement::MirrorHorizontal : Movement::MirrorVertical);
    image.samplesChanged();
}

void rotatePlane(Sample* dst, const Sample* src, int width, int height, bool clockwise) {
    rotateBand(dst, src, width, height, clockwise, 0, width);
}

void rotateImage(Image& image, Rotation mode, Progress& progress) {
    try {
        rotate(image, mode, progress);
    } catch (const std::bad_alloc&) {
        throw Error(msg::kOutOfMemoryAction);
    }
}

void rotate(Image& image, Rotation mode, Progress& progress) {
    if (!image.hasSamples()) return;
    if (mode == Rotation::Half) {
        mirror(image, true, progress);
        mirror(image, false, progress);
        return;
    }
    const int oldW = image.width();
    const int oldH = image.height();
    const int planes = image.planeCount();
    const bool clockwise = mode == Rotation::Clockwise;

    // Everything that can fail is taken before the first sample moves: one working plane and
    // the new row tables. Afterwards nothing can fail, so the image is never half rotated.
    std::array<PsfKernel, kMaxUserLayers> kernels;
    for (std::size_t i = 0; i < kernels.size(); ++i)
        kernels[i] =
            moveKernel(image.psf()[i], clockwise ? Movement::TurnRight : Movement::TurnLeft);
    memory::Buffer<Sample> work;
    work.allocate(static_cast<std::size_t>(oldW) * static_cast<std::size_t>(oldH), false);
    if (image.ExchangeDimensions() != 0) throw std::bad_alloc();

    progress.begin("Kippen", static_cast<long long>(oldH) * planes, 20);
    const std::size_t bytes = work.size() * sizeof(Sample);
    for (int p = 0; p < planes; ++p) {
        Sample* plane = image.planeData(p);
        std::memcpy(work.data(), plane, bytes);
        // New rows = old columns; report progress in old rows (oldH units per plane).
        parallelRows(oldW, 64, [&](int r0, int r1) {
            rotateBand(plane, work.data(), oldW, oldH, clockwise, r0, r1);
            long long done =
                static_cast<long long>(r1) * oldH / oldW - static_cast<long long>(r0) * oldH / oldW;
            stepQuietly(progress, done);
        });
    }
    progress.end();
    image.SetPixelSize(image.pixelHeight(), image.pixelWidth());
    image.psf() = std::move(kernels);
    moveImageWcs(image, clockwise ? Movement::TurnRight : Movement::TurnLeft);
    image.samplesChanged();
}

void crop(Image& destination, int left, int top, const Image& source, Progress& progress) {
    if (!destination.hasSamples() || !source.hasSamples()) throw Error(msg::unexpected(11));
    const int w = destination.width();
    const int h = destination.height();
    if (left < 0 || top < 0 || left + w > source.width() || top + h > source.height())
        throw Error("Der Ausschnitt liegt nicht vollständig im Bild!");
    if (destination.layerCount() != source.layerCount()) throw Error(msg::unexpected(11));
    const int layers = source.layerCount();
    const bool overlay = destination.hasOverlay() && source.hasOverlay();
    const int planes = layers + (destination.hasOverlay() ? 1 : 0);

    destination.psf() = source.psf();
    destination.setPsfCount(source.psfCount());
    scaleImageWcs(destination, source, 1, 1, left, top);

    progress.begin("Ausschnitt", static_cast<long long>(h) * planes, 20);
    for (int p = 0; p < layers + (overlay ? 1 : 0); ++p) {
        const int sp = p < layers ? p : source.overlayPlane();
        const int dp = p < layers ? p : destination.overlayPlane();
        parallelRows(h, 64, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                std::memcpy(destination.row(dp, y), source.row(sp, y + top) + left,
                            static_cast<std::size_t>(w) * sizeof(Sample));
                progress.step();
            }
        });
    }
    if (destination.hasOverlay() && !overlay) progress.step(h); // overlay stays empty
    progress.end();
    destination.samplesChanged();
}

bool cropAllowed(const PixelRect& selection) {
    return selection.width() >= kMinImageSize && selection.height() >= kMinImageSize;
}

// ---- resize dialog -----------------------------------------------------------------------

ResizeFields initialResizeFields(int sourceWidth, int sourceHeight) {
    ResizeFields f;
    f.width = sourceWidth;
    f.height = sourceHeight;
    return f;
}

namespace {
int roundedSize(int source, float percent) {
    int v = truncToInt(static_cast<double>(static_cast<float>(source) * percent / 100.0f + 0.5f));
    return std::clamp(v, kMinImageSize, kMaxImageSize);
}
float percentOf(int size, int source) {
    return static_cast<float>(size) * 100.0f / static_cast<float>(source);
}
float oneDecimal(float percent) {
    return static_cast<float>(truncToInt(static_cast<double>(percent * 10.0f))) * 0.1f;
}
} // namespace

ResizeFields recomputeResize(const ResizeFields& in, int sourceWidth, int sourceHeight,
                             ResizeField edited) {
    ResizeFields f = in;
    if (sourceWidth <= 0 || sourceHeight <= 0) return f;
    if (edited == ResizeField::Width || edited == ResizeField::Height) {
        f.widthPercent = percentOf(f.width, sourceWidth);
        f.heightPercent = percentOf(f.height, sourceHeight);
    }
    if (f.keepAspect) {
        if (edited == ResizeField::Width || edited == ResizeField::WidthPercent)
            f.heightPercent = f.widthPercent;
        else
            f.widthPercent = f.heightPercent;
    }
    f.width = roundedSize(sourceWidth, f.widthPercent);
    f.height = roundedSize(sourceHeight, f.heightPercent);
    f.widthPercent = oneDecimal(percentOf(f.width, sourceWidth));
    f.heightPercent = oneDecimal(percentOf(f.height, sourceHeight));
    return f;
}

bool resizeNeedsConfirmation(int width, int height) {
    return static_cast<long long>(width) * height * 6 > 268435456LL;
}

std::string resizeConfirmationText(int width, int height) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "Es wird ein Bild mit %i Megapixeln erzeugt.\n Vergewissern Sie sich, dass Ihr "
                  "System über genügend Arbeitsspeicher verfügt.",
                  static_cast<int>(static_cast<long long>(width) * height / 1000000));
    return buf;
}

} // namespace quillon
