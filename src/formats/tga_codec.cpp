// TARGA pictures: colour-mapped, true-colour and grey, plain or run-length encoded, with
// 8 to 32 bits per pixel and either origin.
#include "core/error.h"
#include "formats/byte_source.h"
#include "formats/codecs.h"

#include <vector>

namespace quillon {

namespace {

[[noreturn]] void fail(const char* what) {
    throw Error(what);
}

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

// A colour of 15, 16, 24 or 32 bits as stored (little-endian, blue first).
Rgb colourOf(const std::uint8_t* p, int bits) {
    if (bits == 15 || bits == 16) {
        unsigned v = le16(p);
        auto five = [](unsigned c) { return static_cast<std::uint8_t>((c << 3) | (c >> 2)); };
        return Rgb{five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31)};
    }
    return Rgb{p[2], p[1], p[0]};
}

} // namespace

void decodeTga(const std::uint8_t* data, std::size_t size, Bitmap& out) {
    if (size < 18) fail("TGA: header incomplete.");
    const int idLen = data[0], mapType = data[1], type = data[2];
    const int mapStart = le16(data + 3), mapLen = le16(data + 5), mapBits = data[7];
    const int width = le16(data + 12), height = le16(data + 14), bits = data[16];
    const int desc = data[17];
    const bool rle = type >= 9;
    const int kind = rle ? type - 8 : type; // 1 mapped, 2 true colour, 3 grey
    if (kind < 1 || kind > 3) fail("TGA: unsupported image type.");
    checkBitmapSize(width, height);
    const int bpp = (bits + 7) / 8;
    if (kind == 1 && (bits != 8 && bits != 16)) fail("TGA: unsupported index size.");
    if (kind == 2 && bits != 15 && bits != 16 && bits != 24 && bits != 32)
        fail("TGA: unsupported pixel size.");
    if (kind == 3 && bits != 8 && bits != 16) fail("TGA: unsupported grey depth.");

    std::size_t pos = 18 + static_cast<std::size_t>(idLen);
    std::vector<Rgb> map;
    if (mapType == 1) {
        if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)
            fail("TGA: unsupported colour map.");
        const std::size_t entry = (static_cast<std::size_t>(mapBits) + 7) / 8;
        if (pos + entry * mapLen > size) fail("TGA: colour map incomplete.");
        map.resize(static_cast<std::size_t>(mapStart) + mapLen);
        for (int i = 0; i < mapLen; ++i)
            map[static_cast<std::size_t>(mapStart + i)] = colourOf(data + pos + entry * i, mapBits);
        pos += entry * mapLen;
    } else if (kind == 1) {
        fail("TGA: colour map missing.");
    }
    if (pos > size) fail("TGA: pixel data missing.");
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
    // Plain data must be complete; run-length data needs at least one byte per 128 pixels.
    if (!rle && pixels * bpp > size - pos) fail("TGA: pixel data incomplete.");
    if (rle && pixels / 128 > size - pos) fail("TGA: pixel data incomplete.");

    const bool paletted = kind == 1 && bits == 8 && map.size() <= 256;
    const bool grey = kind == 3 && bits == 8;
    out.create(width, height, paletted || grey ? 8 : 32);
    if (grey) out.setGreyPalette();
    if (paletted)
        for (std::size_t i = 0; i < map.size(); ++i)
            out.palette()[i] = PaletteEntry{map[i].b, map[i].g, map[i].r, 0};

    const bool topOrigin = (desc & 0x20) != 0, rightToLeft = (desc & 0x10) != 0;
    auto store = [&](std::uint64_t index, const std::uint8_t* px) {
        int x = static_cast<int>(index % width), y = static_cast<int>(index / width);
        if (!topOrigin) y = height - 1 - y;
        if (rightToLeft) x = width - 1 - x;
        if (paletted || grey) {
            out.row(y)[x] = px[0];
            return;
        }
        Rgb c;
        if (kind == 1) {
            unsigned idx = bits == 8 ? px[0] : le16(px);
            if (idx < map.size()) c = map[idx];
        } else if (kind == 3) {
            c.r = c.g = c.b = px[0];
        } else {
            c = colourOf(px, bits);
        }
        out.setRgb(x, y, c.r, c.g, c.b);
    };

    const std::uint8_t* p = data + pos;
    const std::uint8_t* end = data + size;
    std::uint64_t i = 0;
    if (!rle) {
        for (; i < pixels; ++i, p += bpp) store(i, p);
        return;
    }
    while (i < pixels) {
        if (p >= end) fail("TGA: run-length data incomplete.");
        int head = *p++;
        int count = (head & 0x7F) + 1;
        if (head & 0x80) {
            if (end - p < bpp) fail("TGA: run-length data incomplete.");
            for (int k = 0; k < count && i < pixels; ++k) store(i++, p);
            p += bpp;
        } else {
            if (end - p < static_cast<std::ptrdiff_t>(count) * bpp)
                fail("TGA: run-length data incomplete.");
            for (int k = 0; k < count && i < pixels; ++k, p += bpp) store(i++, p);
        }
    }
}

} // namespace quillon
