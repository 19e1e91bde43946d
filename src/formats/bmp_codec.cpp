// Windows bitmaps: decoding 1, 4, 8, 16, 24 and 32 bits per pixel (plain, bit fields, RLE4
// and RLE8, bottom-up and top-down) and encoding 8-bit palette or 32-bit bitmaps.
#include "core/atomic_file.h"
#include "core/error.h"
#include "formats/byte_source.h"
#include "formats/codecs.h"

#include <cstring>
#include <vector>

namespace quillon {

namespace {

[[noreturn]] void fail(const char* what) {
    throw Error(what);
}

// Position and width of a colour mask, to scale its value to 8 bits.
struct MaskField {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit MaskField(std::uint32_t m) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) ++bits;
    }
    std::uint8_t value(std::uint32_t px) const {
        if (!bits) return 0;
        std::uint32_t v = (px & mask) >> shift;
        if (bits >= 8) return static_cast<std::uint8_t>(v >> (bits - 8));
        std::uint32_t maxv = (1u << bits) - 1;
        return static_cast<std::uint8_t>((v * 255 + maxv / 2) / maxv);
    }
};

// RLE8 / RLE4 into an 8-bit bitmap whose rows are addressed bottom-up.
void decodeRle(const std::uint8_t* p, const std::uint8_t* end, bool four, Bitmap& out) {
    const int w = out.width(), h = out.height();
    int x = 0, y = 0; // y counts from the bottom
    auto put = [&](int idx) {
        if (x < w && y < h) out.row(h - 1 - y)[x] = static_cast<std::uint8_t>(idx);
        ++x;
    };
    while (p + 2 <= end && y < h) {
        int n = p[0], v = p[1];
        p += 2;
        if (n > 0) {
            for (int i = 0; i < n; ++i) put(four ? ((i & 1) ? (v & 15) : (v >> 4)) : v);
        } else if (v == 0) {
            x = 0, ++y;
        } else if (v == 1) {
            return;
        } else if (v == 2) {
            if (p + 2 > end) return;
            x += p[0], y += p[1];
            p += 2;
        } else {
            std::size_t bytes = four ? (static_cast<std::size_t>(v) + 1) / 2 : v;
            std::size_t padded = (bytes + 1) & ~std::size_t{1};
            if (static_cast<std::size_t>(end - p) < bytes) fail("BMP: RLE data incomplete.");
            for (int i = 0; i < v; ++i)
                put(four ? ((i & 1) ? (p[i / 2] & 15) : (p[i / 2] >> 4)) : p[i]);
            p += padded <= static_cast<std::size_t>(end - p) ? padded : bytes;
        }
    }
}

} // namespace

void decodeBmp(const std::uint8_t* data, std::size_t size, Bitmap& out) {
    if (size < 26 || data[0] != 'B' || data[1] != 'M') fail("BMP: file header damaged.");
    const std::uint32_t offBits = le32(data + 10);
    const std::uint32_t hdrSize = le32(data + 14);
    long long width, height;
    int bpp, planes;
    std::uint32_t compression = 0, colorsUsed = 0;
    std::size_t palEntry = 4;
    std::uint32_t masks[3] = {0, 0, 0};
    const std::uint8_t* h = data + 14;
    if (hdrSize == 12) {
        width = le16(h + 4);
        height = le16(h + 6);
        planes = le16(h + 8);
        bpp = le16(h + 10);
        palEntry = 3;
    } else if (hdrSize >= 40 && hdrSize <= 124 && 14 + static_cast<std::size_t>(hdrSize) <= size) {
        width = static_cast<std::int32_t>(le32(h + 4));
        height = static_cast<std::int32_t>(le32(h + 8));
        planes = le16(h + 12);
        bpp = le16(h + 14);
        compression = le32(h + 16);
        colorsUsed = le32(h + 32);
        if (compression == 3 || compression == 6) {
            std::size_t at = 14 + 40;
            if (hdrSize < 52 && (at + 12 > size)) fail("BMP: bit field masks missing.");
            for (int i = 0; i < 3; ++i) masks[i] = le32(data + at + 4 * i);
        }
    } else {
        fail("BMP: unsupported header.");
    }
    (void)planes;
    bool topDown = height < 0;
    if (topDown) height = -height;
    checkBitmapSize(width, height);
    const int w = static_cast<int>(width), hgt = static_cast<int>(height);

    std::size_t palAt =
        14 + hdrSize + ((hdrSize == 40 && (compression == 3 || compression == 6)) ? 12 : 0);
    if (offBits > size) fail("BMP: pixel data missing.");
    const std::uint8_t* pixels = data + offBits;
    const std::uint8_t* end = data + size;

    if (bpp == 1 || bpp == 4 || bpp == 8) {
        if (compression != 0 && !(compression == 1 && bpp == 8) && !(compression == 2 && bpp == 4))
            fail("BMP: unsupported compression.");
        std::size_t count = colorsUsed ? colorsUsed : (1u << bpp);
        if (count > 256) count = 256;
        if (palAt + count * palEntry > size) fail("BMP: palette incomplete.");
        const std::size_t stride = ((static_cast<std::size_t>(w) * bpp + 31) / 32) * 4;
        if (compression == 0 && stride * static_cast<std::size_t>(hgt) > size - offBits)
            fail("BMP: pixel data incomplete.");
        out.create(w, hgt, 8);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* e = data + palAt + i * palEntry;
            out.palette()[i] = PaletteEntry{e[0], e[1], e[2], 0};
        }
        if (compression != 0) {
            if (topDown) fail("BMP: compressed bitmaps cannot be top-down.");
            decodeRle(pixels, end, compression == 2, out);
            return;
        }
        for (int y = 0; y < hgt; ++y) {
            const std::uint8_t* src =
                pixels + stride * static_cast<std::size_t>(topDown ? y : hgt - 1 - y);
            std::uint8_t* dst = out.row(y);
            for (int x = 0; x < w; ++x) {
                if (bpp == 8)
                    dst[x] = src[x];
                else if (bpp == 4)
                    dst[x] = (x & 1) ? (src[x / 2] & 15) : (src[x / 2] >> 4);
                else
                    dst[x] = (src[x / 8] >> (7 - (x & 7))) & 1;
            }
        }
        return;
    }
    if (bpp != 16 && bpp != 24 && bpp != 32) fail("BMP: unsupported bit depth.");
    if (compression != 0 && compression != 3 && compression != 6)
        fail("BMP: unsupported compression.");
    if (compression == 0) {
        if (bpp == 16)
            masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
        else
            masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    }
    const std::size_t stride = ((static_cast<std::size_t>(w) * bpp + 31) / 32) * 4;
    if (stride * static_cast<std::size_t>(hgt) > size - offBits)
        fail("BMP: pixel data incomplete.");
    out.create(w, hgt, 32);
    MaskField r(masks[0]), g(masks[1]), b(masks[2]);
    for (int y = 0; y < hgt; ++y) {
        const std::uint8_t* src =
            pixels + stride * static_cast<std::size_t>(topDown ? y : hgt - 1 - y);
        for (int x = 0; x < w; ++x) {
            if (bpp == 24) {
                const std::uint8_t* s = src + 3 * x;
                out.setRgb(x, y, s[2], s[1], s[0]);
            } else {
                std::uint32_t px = bpp == 16 ? le16(src + 2 * x) : le32(src + 4 * x);
                out.setRgb(x, y, r.value(px), g.value(px), b.value(px));
            }
        }
    }
}

void encodeBmp(const Picture& picture, const std::string& path) {
    const int w = picture.width(), h = picture.height();
    const bool pal = picture.format() == PictureFormat::Grey8;
    const int outBpp = pal ? 8 : 24;
    const std::size_t stride = ((static_cast<std::size_t>(w) * outBpp + 31) / 32) * 4;
    const std::uint32_t palBytes = pal ? 1024 : 0;
    const std::uint32_t off = 14 + 40 + palBytes;
    const std::uint64_t total = off + stride * static_cast<std::uint64_t>(h);
    std::vector<std::uint8_t> head;
    auto p16 = [&](unsigned v) { head.push_back(v & 255), head.push_back((v >> 8) & 255); };
    auto p32 = [&](std::uint32_t v) { p16(v & 0xFFFF), p16(v >> 16); };
    head.push_back('B'), head.push_back('M');
    p32(static_cast<std::uint32_t>(total)), p32(0), p32(off);
    p32(40), p32(static_cast<std::uint32_t>(w)), p32(static_cast<std::uint32_t>(h)), p16(1),
        p16(outBpp);
    p32(0), p32(static_cast<std::uint32_t>(stride * h)), p32(2835), p32(2835), p32(pal ? 256 : 0),
        p32(0);
    if (pal) // the linear grey palette of an 8-bit picture
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            head.push_back(v), head.push_back(v), head.push_back(v), head.push_back(0);
        }
    AtomicFile file(path, "BMP: writing the file failed.");
    file.write(head.data(), head.size());
    std::vector<std::uint8_t> line(stride, 0);
    for (int y = h - 1; y >= 0; --y) {
        if (pal) {
            std::memcpy(line.data(), picture.greyRow(y), static_cast<std::size_t>(w));
        } else {
            const std::uint32_t* src = picture.rgbRow(y);
            for (int x = 0; x < w; ++x) {
                std::uint8_t* d = &line[3 * static_cast<std::size_t>(x)];
                d[0] = static_cast<std::uint8_t>(blueOf(src[x]));
                d[1] = static_cast<std::uint8_t>(greenOf(src[x]));
                d[2] = static_cast<std::uint8_t>(redOf(src[x]));
            }
        }
        file.write(line.data(), line.size());
    }
    file.commit();
}

} // namespace quillon
