// PNG decoding through libpng: palette pictures stay 8-bit with their palette, grey and colour
// pictures of 8 bits become 8-bit grey or 32-bit bitmaps, 16-bit ones keep their 16 bits.
// libpng reports errors by longjmp; only plain data lives across it here.
#include "core/error.h"
#include "formats/codecs.h"
#include "formats/png_write.h"

#include <csetjmp>
#include <cstring>
#include <string>

#include <png.h>

namespace quillon {

namespace {

struct PngInput {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos;
    char message[256];
    const char* cppError;
};

void readBytes(png_structp png, png_bytep dst, png_size_t n) {
    auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
    if (n > in->size - in->pos) png_error(png, "file incomplete");
    std::memcpy(dst, in->data + in->pos, n);
    in->pos += n;
}

void onError(png_structp png, png_const_charp text) {
    auto* in = static_cast<PngInput*>(png_get_error_ptr(png));
    std::snprintf(in->message, sizeof in->message, "PNG: %s", text);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

bool decodeRows(png_structp png, png_infop info, PngInput* in, Bitmap* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, in, readBytes);
    png_set_user_limits(png, kMaxBitmapSide, kMaxBitmapSide);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
    if (static_cast<std::uint64_t>(w) * h > kMaxBitmapPixels)
        png_error(png, "image dimensions too large");
    int bitCount;
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(png);
        bitCount = 8;
    } else if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) {
        if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        if (colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_strip_alpha(png);
        bitCount = depth == 16 ? 16 : 8;
    } else {
        if (colour == PNG_COLOR_TYPE_RGB_ALPHA) png_set_strip_alpha(png);
        if (depth == 16) {
            bitCount = 48;
        } else {
            png_set_bgr(png);
            png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
            bitCount = 32;
        }
    }
    if (depth == 16) png_set_swap(png); // native little-endian 16-bit values
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    try {
        out->create(static_cast<int>(w), static_cast<int>(h), bitCount);
    } catch (const Error&) {
        in->cppError = kBitmapOutOfMemory;
        return false;
    }
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        png_colorp pal = nullptr;
        int n = 0;
        if (png_get_PLTE(png, info, &pal, &n) && pal)
            for (int i = 0; i < n && i < 256; ++i)
                out->palette()[static_cast<std::size_t>(i)] =
                    PaletteEntry{pal[i].blue, pal[i].green, pal[i].red, 0};
    } else if (bitCount == 8) {
        out->setGreyPalette();
    }
    if (png_get_rowbytes(png, info) > out->stride()) png_error(png, "unexpected row size");
    for (int p = 0; p < passes; ++p)
        for (png_uint_32 y = 0; y < h; ++y)
            png_read_row(png, out->row(static_cast<int>(y)), nullptr);
    png_read_end(png, nullptr);
    return true;
}

} // namespace

void decodePng(const std::uint8_t* data, std::size_t size, Bitmap& out) {
    PngInput in{data, size, 0, {}, nullptr};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &in, onError, onWarning);
    if (!png) throw Error(kBitmapOutOfMemory);
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw Error(kBitmapOutOfMemory);
    }
    bool ok = decodeRows(png, info, &in, &out);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        out.clear();
        throw Error(in.cppError ? std::string(in.cppError) : std::string(in.message));
    }
}

// Encoding goes through the display's PNG writer: the bitmap becomes a picture first.
void encodePng(const Picture& picture, const std::string& path) {
    writePng(path, picture, PngOptions{}, "PNG: writing the file failed.");
}

} // namespace quillon
