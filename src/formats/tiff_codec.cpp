// TIFF through libtiff, read from memory: 16-bit grey and RGB strips keep their 16 bits,
// everything else goes through libtiff's RGBA reader. Encoding writes 8-bit grey or 24-bit
// RGB strips with LZW compression.
#include "core/atomic_file.h"
#include "core/error.h"
#include "formats/byte_source.h"
#include "formats/codecs.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <tiffio.h>

namespace quillon {

namespace {

// A growable or fixed memory file for libtiff's client interface.
struct MemFile {
    const std::uint8_t* data = nullptr;       // reading
    std::vector<std::uint8_t>* out = nullptr; // writing
    std::uint64_t size = 0;
    std::uint64_t pos = 0;
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<MemFile*>(h);
    if (!m->data || n < 0) return 0;
    std::uint64_t avail = m->size > m->pos ? m->size - m->pos : 0;
    std::uint64_t k = static_cast<std::uint64_t>(n) < avail ? static_cast<std::uint64_t>(n) : avail;
    std::memcpy(buf, m->data + m->pos, k);
    m->pos += k;
    return static_cast<tmsize_t>(k);
}

tmsize_t memWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<MemFile*>(h);
    if (!m->out || n < 0) return -1;
    std::uint64_t end = m->pos + static_cast<std::uint64_t>(n);
    if (end > m->out->size()) m->out->resize(end);
    std::memcpy(m->out->data() + m->pos, buf, static_cast<std::size_t>(n));
    m->pos = end;
    if (end > m->size) m->size = end;
    return n;
}

toff_t memSeek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<MemFile*>(h);
    std::uint64_t base = whence == SEEK_CUR ? m->pos : (whence == SEEK_END ? m->size : 0);
    m->pos = base + off;
    return m->pos;
}

int memClose(thandle_t) {
    return 0;
}
toff_t memSize(thandle_t h) {
    return static_cast<MemFile*>(h)->size;
}
int memMap(thandle_t, void**, toff_t*) {
    return 0;
}
void memUnmap(thandle_t, void*, toff_t) {}

int onError(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
    auto* text = static_cast<std::string*>(user);
    if (text->empty()) {
        char buf[256];
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        *text = std::string("TIFF: ") + buf;
    }
    return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffHandle {
    TIFF* tif = nullptr;
    ~TiffHandle() {
        if (tif) TIFFClose(tif);
    }
};

TIFF* openMemory(MemFile& m, const char* mode, std::string& error) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(opts, onError, &error);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, onWarning, nullptr);
    // A damaged header can ask libtiff for a strip buffer of many gigabytes (a row of 65279
    // pixels of 16641 samples, say): no single buffer of its may exceed 1 GiB.
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t{1} << 30);
    TIFF* tif = TIFFClientOpenExt("memory", mode, &m, memRead, memWrite, memSeek, memClose, memSize,
                                  memMap, memUnmap, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

[[noreturn]] void fail(const std::string& error, const char* fallback) {
    throw Error(error.empty() ? std::string(fallback) : error);
}

} // namespace

void decodeEpsTiff(const std::uint8_t* data, std::size_t size, Bitmap& out) {
    // The TIFF preview: offset at byte 20, length at byte 24 (both little-endian).
    if (size < 28) throw Error("EPS: header incomplete.");
    std::uint64_t offset = le32(data + 20), length = le32(data + 24);
    if (offset >= size) throw Error("EPS: the TIFF preview lies outside the file.");
    if (length > size - offset) length = size - offset;
    decodeTiff(data + offset, static_cast<std::size_t>(length), out);
}

void decodeTiff(const std::uint8_t* data, std::size_t size, Bitmap& out) {
    MemFile m;
    m.data = data;
    m.size = size;
    std::string error;
    TiffHandle h;
    h.tif = openMemory(m, "rm", error);
    if (!h.tif) fail(error, "TIFF: the file cannot be read.");
    std::uint32_t w = 0, hgt = 0;
    std::uint16_t bits = 1, spp = 1, planar = PLANARCONFIG_CONTIG, photometric = 0;
    TIFFGetField(h.tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(h.tif, TIFFTAG_IMAGELENGTH, &hgt);
    TIFFGetFieldDefaulted(h.tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(h.tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(h.tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetField(h.tif, TIFFTAG_PHOTOMETRIC, &photometric);
    checkBitmapSize(w, hgt);
    // Grey, RGB or CMYK with a few extra channels at most.
    if (spp < 1 || spp > 8) fail(std::string(), "TIFF: the file is damaged.");

    const bool deepGrey = photometric == PHOTOMETRIC_MINISBLACK && spp >= 1 && spp <= 2;
    const bool deepRgb = photometric == PHOTOMETRIC_RGB && spp >= 3 && spp <= 4;
    if (bits == 16 && planar == PLANARCONFIG_CONTIG && (deepGrey || deepRgb) &&
        !TIFFIsTiled(h.tif)) {
        out.create(static_cast<int>(w), static_cast<int>(hgt), deepGrey ? 16 : 48);
        const tmsize_t lineSize = TIFFScanlineSize(h.tif);
        if (lineSize < static_cast<tmsize_t>(w) * spp * 2)
            fail(error, "TIFF: unexpected line size.");
        std::vector<std::uint16_t> line(static_cast<std::size_t>(lineSize) / 2 + 1);
        const int keep = deepGrey ? 1 : 3;
        for (std::uint32_t y = 0; y < hgt; ++y) {
            if (TIFFReadScanline(h.tif, line.data(), y, 0) < 0) {
                out.clear();
                fail(error, "TIFF: reading the data failed.");
            }
            std::uint16_t* dst = out.row16(static_cast<int>(y));
            for (std::uint32_t x = 0; x < w; ++x)
                for (int c = 0; c < keep; ++c) dst[x * keep + c] = line[x * spp + c];
        }
        return;
    }

    char why[1024] = {};
    if (!TIFFRGBAImageOK(h.tif, why)) fail(error, (std::string("TIFF: ") + why).c_str());
    const bool grey =
        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
        spp == 1;
    memory::Buffer<std::uint32_t> rgba;
    try {
        rgba.allocate(static_cast<std::size_t>(w) * hgt, false);
    } catch (const std::bad_alloc&) {
        throw Error(kBitmapOutOfMemory);
    }
    if (!TIFFReadRGBAImageOriented(h.tif, w, hgt, rgba.data(), ORIENTATION_TOPLEFT, 0))
        fail(error, "TIFF: reading the data failed.");
    out.create(static_cast<int>(w), static_cast<int>(hgt), grey ? 8 : 32);
    if (grey) out.setGreyPalette();
    for (std::uint32_t y = 0; y < hgt; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint32_t p = rgba[static_cast<std::size_t>(y) * w + x];
            if (grey)
                out.row(static_cast<int>(y))[x] = static_cast<std::uint8_t>(TIFFGetR(p));
            else
                out.setRgb(static_cast<int>(x), static_cast<int>(y),
                           static_cast<std::uint8_t>(TIFFGetR(p)),
                           static_cast<std::uint8_t>(TIFFGetG(p)),
                           static_cast<std::uint8_t>(TIFFGetB(p)));
        }
    }
}

void encodeTiff(const Picture& picture, const std::string& path) {
    const bool grey = picture.format() == PictureFormat::Grey8;
    std::vector<std::uint8_t> bytes;
    MemFile m;
    m.out = &bytes;
    std::string error;
    {
        TiffHandle h;
        h.tif = openMemory(m, "w", error);
        if (!h.tif) fail(error, "TIFF: the file cannot be created.");
        const int spp = grey ? 1 : 3;
        TIFFSetField(h.tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(picture.width()));
        TIFFSetField(h.tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(picture.height()));
        TIFFSetField(h.tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(h.tif, TIFFTAG_SAMPLESPERPIXEL, spp);
        TIFFSetField(h.tif, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
        TIFFSetField(h.tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(h.tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(h.tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(h.tif, 0));
        const int w = picture.width();
        std::vector<std::uint8_t> line(static_cast<std::size_t>(w) * spp);
        for (int y = 0; y < picture.height(); ++y) {
            if (grey) {
                std::memcpy(line.data(), picture.greyRow(y), static_cast<std::size_t>(w));
            } else {
                const std::uint32_t* s = picture.rgbRow(y);
                for (int x = 0; x < w; ++x) {
                    line[3 * static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(redOf(s[x]));
                    line[3 * static_cast<std::size_t>(x) + 1] =
                        static_cast<std::uint8_t>(greenOf(s[x]));
                    line[3 * static_cast<std::size_t>(x) + 2] =
                        static_cast<std::uint8_t>(blueOf(s[x]));
                }
            }
            if (TIFFWriteScanline(h.tif, line.data(), static_cast<std::uint32_t>(y), 0) < 0)
                fail(error, "TIFF: writing the data failed.");
        }
        if (!TIFFWriteDirectory(h.tif)) fail(error, "TIFF: writing the data failed.");
    }
    AtomicFile file(path, "TIFF: writing the file failed.");
    file.write(bytes.data(), bytes.size());
    file.commit();
}

} // namespace quillon
