// PNG encoding through libpng into memory, then an atomic write of the bytes.
#include "formats/png_write.h"

#include "core/atomic_file.h"
#include "core/error.h"

#include <png.h>

#include <csetjmp>
#include <new>

namespace quillon {
namespace {

struct Sink {
    std::vector<std::uint8_t>* out;
    bool outOfMemory;
};

extern "C" void pngWriteData(png_structp png, png_bytep data, png_size_t length) {
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    try {
        sink->out->insert(sink->out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        sink->outOfMemory = true;
    }
    if (sink->outOfMemory) png_error(png, "out of memory"); // leaves through longjmp
}

// libpng's messages are not shown; a failure becomes the caller's text.
extern "C" void pngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
extern "C" void pngWarning(png_structp, png_const_charp) {}

extern "C" void pngFlush(png_structp) {}

// The libpng part: no C++ objects with destructors live in this frame, so longjmp out of
// it is safe. rows holds one pointer per picture row of converted bytes.
bool encodeRows(png_bytep* rows, int width, int height, bool grey, int level, Sink* sink) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, sink, pngWriteData, pngFlush);
    png_set_compression_level(png, level);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::vector<std::uint8_t> encodePng(const Picture& picture, const PngOptions& options,
                                    const std::string& failureMessage) {
    if (picture.empty()) throw Error(failureMessage);
    const int w = picture.width(), h = picture.height();
    bool grey = picture.format() == PictureFormat::Grey8;
    if (!grey && options.greyWhenNeutral) {
        grey = true;
        for (int y = 0; y < h && grey; ++y) {
            const std::uint32_t* row = picture.rgbRow(y);
            for (int x = 0; x < w; ++x) {
                std::uint32_t c = row[x];
                if (redOf(c) != greenOf(c) || greenOf(c) != blueOf(c)) {
                    grey = false;
                    break;
                }
            }
        }
    }
    const std::size_t stride = static_cast<std::size_t>(w) * (grey ? 1 : 3);
    std::vector<std::uint8_t> bytes(stride * static_cast<std::size_t>(h));
    std::vector<png_bytep> rows(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        std::uint8_t* dst = bytes.data() + stride * static_cast<std::size_t>(y);
        rows[static_cast<std::size_t>(y)] = dst;
        if (picture.format() == PictureFormat::Grey8) {
            const std::uint8_t* src = picture.greyRow(y);
            for (int x = 0; x < w; ++x) dst[x] = src[x];
        } else {
            const std::uint32_t* src = picture.rgbRow(y);
            for (int x = 0; x < w; ++x) {
                std::uint32_t c = src[x];
                if (grey) {
                    dst[x] = static_cast<std::uint8_t>(blueOf(c));
                } else {
                    dst[3 * x] = static_cast<std::uint8_t>(redOf(c));
                    dst[3 * x + 1] = static_cast<std::uint8_t>(greenOf(c));
                    dst[3 * x + 2] = static_cast<std::uint8_t>(blueOf(c));
                }
            }
        }
    }
    std::vector<std::uint8_t> out;
    out.reserve(bytes.size() / 2 + 1024);
    Sink sink{&out, false};
    int level = options.compressionLevel < 0
                    ? 0
                    : (options.compressionLevel > 9 ? 9 : options.compressionLevel);
    if (!encodeRows(rows.data(), w, h, grey, level, &sink)) {
        if (sink.outOfMemory) throw std::bad_alloc();
        throw Error(failureMessage);
    }
    return out;
}

void writePng(const std::string& path, const Picture& picture, const PngOptions& options,
              const std::string& failureMessage) {
    std::vector<std::uint8_t> bytes = encodePng(picture, options, failureMessage);
    AtomicFile file(path, failureMessage);
    file.write(bytes.data(), bytes.size());
    file.commit();
}

} // namespace quillon
