// JPEG through libjpeg: decoding grey, colour and CMYK pictures, encoding 8-bit grey and
// 32-bit bitmaps. libjpeg reports errors by longjmp; only plain data lives across it here.
#include "core/atomic_file.h"
#include "core/error.h"
#include "formats/codecs.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <jpeglib.h>

namespace quillon {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr c) {
    auto* e = reinterpret_cast<ErrorManager*>(c->err);
    c->err->format_message(c, e->message);
    std::longjmp(e->jump, 1);
}

void onMessage(j_common_ptr, int) {} // warnings are not shown

std::string jpegText(const char* m) {
    return std::string("JPEG: ") + m;
}

// The part between setjmp and the end: returns false when libjpeg failed (message set).
// The source is set here, after setjmp: libjpeg refuses an empty block through error_exit.
bool decodeRows(jpeg_decompress_struct* ci, ErrorManager* err, const std::uint8_t* data,
                std::size_t size, Bitmap* out, const char** cppError) {
    if (setjmp(err->jump)) return false;
    jpeg_mem_src(ci, data, static_cast<unsigned long>(size));
    jpeg_read_header(ci, TRUE);
    if (ci->jpeg_color_space == JCS_CMYK || ci->jpeg_color_space == JCS_YCCK)
        ci->out_color_space = JCS_CMYK;
    else if (ci->num_components == 1)
        ci->out_color_space = JCS_GRAYSCALE;
    else
        ci->out_color_space = JCS_RGB;
    jpeg_calc_output_dimensions(ci);
    const int w = static_cast<int>(ci->output_width), h = static_cast<int>(ci->output_height);
    const bool grey = ci->out_color_space == JCS_GRAYSCALE;
    try {
        out->create(w, h, grey ? 8 : 32);
    } catch (const Error&) {
        *cppError = kBitmapOutOfMemory;
        return false;
    }
    if (grey) out->setGreyPalette();
    jpeg_start_decompress(ci);
    const int comps = ci->output_components;
    JSAMPARRAY line = (*ci->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(ci), JPOOL_IMAGE,
                                               static_cast<JDIMENSION>(w * comps), 1);
    while (ci->output_scanline < ci->output_height) {
        int y = static_cast<int>(ci->output_scanline);
        if (grey) {
            JSAMPROW r = out->row(y);
            jpeg_read_scanlines(ci, &r, 1);
            continue;
        }
        jpeg_read_scanlines(ci, line, 1);
        const JSAMPLE* s = line[0];
        for (int x = 0; x < w; ++x) {
            if (comps == 4) { // Adobe CMYK is stored inverted
                int k = s[4 * x + 3];
                out->setRgb(x, y, static_cast<std::uint8_t>(s[4 * x] * k / 255),
                            static_cast<std::uint8_t>(s[4 * x + 1] * k / 255),
                            static_cast<std::uint8_t>(s[4 * x + 2] * k / 255));
            } else {
                out->setRgb(x, y, s[3 * x], s[3 * x + 1], s[3 * x + 2]);
            }
        }
    }
    jpeg_finish_decompress(ci);
    return true;
}

bool encodeRows(jpeg_compress_struct* ci, ErrorManager* err, const Picture* picture, int quality,
                unsigned char** mem, unsigned long* memSize) {
    if (setjmp(err->jump)) return false;
    jpeg_mem_dest(ci, mem, memSize);
    const bool grey = picture->format() == PictureFormat::Grey8;
    const int w = picture->width();
    ci->image_width = static_cast<JDIMENSION>(w);
    ci->image_height = static_cast<JDIMENSION>(picture->height());
    ci->input_components = grey ? 1 : 3;
    ci->in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(ci);
    jpeg_set_quality(ci, quality, TRUE);
    jpeg_start_compress(ci, TRUE);
    JSAMPARRAY line = (*ci->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(ci), JPOOL_IMAGE,
                                               static_cast<JDIMENSION>(w * 3), 1);
    while (ci->next_scanline < ci->image_height) {
        int y = static_cast<int>(ci->next_scanline);
        JSAMPROW d = line[0];
        if (grey) {
            const std::uint8_t* src = picture->greyRow(y);
            for (int x = 0; x < w; ++x) d[x] = src[x];
        } else {
            const std::uint32_t* src = picture->rgbRow(y);
            for (int x = 0; x < w; ++x) {
                d[3 * x] = static_cast<JSAMPLE>(redOf(src[x]));
                d[3 * x + 1] = static_cast<JSAMPLE>(greenOf(src[x]));
                d[3 * x + 2] = static_cast<JSAMPLE>(blueOf(src[x]));
            }
        }
        jpeg_write_scanlines(ci, line, 1);
    }
    jpeg_finish_compress(ci);
    return true;
}

} // namespace

void decodeJpeg(const std::uint8_t* data, std::size_t size, Bitmap& out) {
    jpeg_decompress_struct ci{};
    ErrorManager err{};
    ci.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.emit_message = onMessage;
    jpeg_create_decompress(&ci);
    const char* cppError = nullptr;
    bool ok = decodeRows(&ci, &err, data, size, &out, &cppError);
    jpeg_destroy_decompress(&ci);
    if (!ok) {
        out.clear();
        throw Error(cppError ? std::string(cppError) : jpegText(err.message));
    }
}

void encodeJpeg(const Picture& picture, const std::string& path, int quality) {
    jpeg_compress_struct ci{};
    ErrorManager err{};
    ci.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.emit_message = onMessage;
    jpeg_create_compress(&ci);
    unsigned char* mem = nullptr;
    unsigned long memSize = 0;
    bool ok = encodeRows(&ci, &err, &picture, quality, &mem, &memSize);
    jpeg_destroy_compress(&ci);
    std::string bytes;
    if (ok && mem) bytes.assign(reinterpret_cast<const char*>(mem), memSize);
    std::free(mem);
    if (!ok) throw Error(jpegText(err.message));
    AtomicFile file(path, "JPEG: writing the file failed.");
    file.write(bytes.data(), bytes.size());
    file.commit();
}

} // namespace quillon
