// Macintosh PICT pictures (version 1 and 2): the bitmap opcodes (BitsRect, BitsRgn,
// PackBitsRect, PackBitsRgn, DirectBitsRect, DirectBitsRgn) and QuickTime JPEG pictures drawn
// onto a white picture of the frame's size; drawing opcodes are passed over.
#include "core/error.h"
#include "formats/byte_source.h"
#include "formats/codecs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace quillon {

namespace {

[[noreturn]] void fail(const char* what) {
    throw Error(what);
}

struct Reader {
    const std::uint8_t* d;
    std::size_t size;
    std::size_t pos;

    void need(std::size_t n) const {
        if (n > size - pos) fail("PICT: data incomplete.");
    }
    std::uint8_t u8() {
        need(1);
        return d[pos++];
    }
    std::uint16_t u16() {
        need(2);
        std::uint16_t v = be16(d + pos);
        pos += 2;
        return v;
    }
    std::uint32_t u32() {
        need(4);
        std::uint32_t v = be32(d + pos);
        pos += 4;
        return v;
    }
    void skip(std::size_t n) {
        need(n);
        pos += n;
    }
};

struct Rect {
    int top = 0, left = 0, bottom = 0, right = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

Rect rect(Reader& r) {
    Rect x;
    x.top = static_cast<std::int16_t>(r.u16());
    x.left = static_cast<std::int16_t>(r.u16());
    x.bottom = static_cast<std::int16_t>(r.u16());
    x.right = static_cast<std::int16_t>(r.u16());
    return x;
}

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

// Unpacks PackBits bytes (or 16-bit words) into `out` of exactly `n` bytes.
void unpackBits(const std::uint8_t* in, std::size_t len, std::uint8_t* out, std::size_t n,
                int unit) {
    std::size_t i = 0, o = 0;
    while (i < len && o < n) {
        int c = static_cast<std::int8_t>(in[i++]);
        if (c >= 0) {
            std::size_t bytes = static_cast<std::size_t>(c + 1) * unit;
            if (bytes > len - i) bytes = len - i;
            for (std::size_t k = 0; k < bytes && o < n; ++k) out[o++] = in[i + k];
            i += bytes;
        } else if (c != -128) {
            int count = 1 - c;
            if (static_cast<std::size_t>(unit) > len - i) break;
            for (int k = 0; k < count; ++k)
                for (int u = 0; u < unit && o < n; ++u) out[o++] = in[i + u];
            i += unit;
        }
    }
    while (o < n) out[o++] = 0;
}

// One bitmap opcode: reads its description and rows and draws them into the picture.
void drawBits(Reader& r, int opcode, const Rect& frame, Bitmap& out) {
    const bool direct = opcode == 0x9A || opcode == 0x9B;
    const bool region = opcode & 1;
    if (direct) r.skip(4); // base address
    int rowBytesField = r.u16();
    const bool pixmap = direct || (rowBytesField & 0x8000);
    const int rowBytes = rowBytesField & 0x3FFF;
    Rect bounds = rect(r);
    int packType = 0, pixelSize = 1, cmpCount = 1;
    std::vector<Rgb> colours;
    if (pixmap) {
        r.skip(2); // version
        packType = r.u16();
        r.skip(4 + 4 + 4); // pack size, resolutions
        r.skip(2);         // pixel type
        pixelSize = r.u16();
        cmpCount = r.u16();
        r.skip(2 + 4 + 4 + 4); // component size, plane bytes, table, reserved
        if (!direct) {
            r.skip(4 + 2); // seed, flags
            int n = r.u16() + 1;
            if (n > 256) n = 256;
            colours.assign(256, Rgb{});
            for (int i = 0; i < n; ++i) {
                int value = r.u16() & 0xFF;
                int red = r.u16(), green = r.u16(), blue = r.u16();
                colours[static_cast<std::size_t>(value)] =
                    Rgb{static_cast<std::uint8_t>(red >> 8), static_cast<std::uint8_t>(green >> 8),
                        static_cast<std::uint8_t>(blue >> 8)};
            }
        }
    } else {
        colours = {Rgb{255, 255, 255}, Rgb{0, 0, 0}};
    }
    Rect src = rect(r);
    Rect dst = rect(r);
    r.skip(2); // transfer mode
    if (region) {
        int n = r.u16();
        if (n < 2) fail("PICT: region damaged.");
        r.skip(static_cast<std::size_t>(n) - 2);
    }
    const int w = bounds.width(), h = bounds.height();
    if (w <= 0 || h <= 0 || w > kMaxBitmapSide || h > kMaxBitmapSide)
        fail("PICT: invalid bitmap bounds.");
    if (pixelSize != 1 && pixelSize != 2 && pixelSize != 4 && pixelSize != 8 && pixelSize != 16 &&
        pixelSize != 32)
        fail("PICT: unsupported pixel size.");
    if (direct && pixelSize < 16) fail("PICT: unsupported direct pixel size.");
    // Bytes one row needs when unpacked.
    std::size_t unpacked;
    if (pixelSize == 32 && cmpCount >= 3 && packType != 2)
        unpacked = static_cast<std::size_t>(w) * cmpCount;
    else if (pixelSize == 32 && packType == 2)
        unpacked = static_cast<std::size_t>(w) * 3;
    else
        unpacked = (static_cast<std::size_t>(w) * pixelSize + 7) / 8;
    if (rowBytes > 0 && static_cast<std::size_t>(rowBytes) < unpacked &&
        !(pixelSize == 32 && cmpCount >= 3))
        fail("PICT: row length too short.");
    // Rows of fewer than 8 bytes, and the packing types 1 and 2, are stored unpacked.
    const bool packed = rowBytes >= 8 && packType != 1 && packType != 2;
    std::size_t rowLen =
        packed ? unpacked : (packType == 2 ? unpacked : static_cast<std::size_t>(rowBytes));
    if (rowLen < unpacked) rowLen = unpacked;
    if (!packed && static_cast<std::uint64_t>(rowLen) * h > r.size - r.pos)
        fail("PICT: data incomplete.");
    if (packed && static_cast<std::uint64_t>(h) > r.size - r.pos) fail("PICT: data incomplete.");

    std::vector<std::uint8_t> row(rowLen);
    const int dx = dst.left - frame.left + (bounds.left - src.left);
    const int dy = dst.top - frame.top + (bounds.top - src.top);
    for (int y = 0; y < h; ++y) {
        if (packed) {
            std::size_t len = rowBytes > 250 ? r.u16() : r.u8();
            r.need(len);
            // PackBits makes at most 128 units from two bytes: a shorter row is damaged (and
            // would let a tiny file cost gigabytes of unpacking).
            if ((len + 2) * 64 * static_cast<std::size_t>(pixelSize == 16 ? 2 : 1) < rowLen)
                fail("PICT: packed row too short.");
            unpackBits(r.d + r.pos, len, row.data(), rowLen, pixelSize == 16 ? 2 : 1);
            r.pos += len;
        } else {
            r.need(rowLen);
            std::copy(r.d + r.pos, r.d + r.pos + rowLen, row.begin());
            r.pos += rowLen;
        }
        const int oy = y + dy;
        if (oy < 0 || oy >= out.height()) continue;
        for (int x = 0; x < w; ++x) {
            const int ox = x + dx;
            if (ox < 0 || ox >= out.width()) continue;
            Rgb c;
            if (pixelSize == 32) {
                if (packType == 2) {
                    c = Rgb{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
                } else if (cmpCount >= 3) {
                    std::size_t plane = static_cast<std::size_t>(w);
                    std::size_t first = cmpCount == 4 ? plane : 0; // alpha plane first
                    c = Rgb{row[first + x], row[first + plane + x], row[first + 2 * plane + x]};
                } else {
                    c = Rgb{row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
                }
            } else if (pixelSize == 16) {
                unsigned v = be16(&row[2 * static_cast<std::size_t>(x)]);
                auto five = [](unsigned q) {
                    return static_cast<std::uint8_t>((q << 3) | (q >> 2));
                };
                c = Rgb{five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31)};
            } else {
                int bit = x * pixelSize;
                int idx = (row[static_cast<std::size_t>(bit / 8)] >> (8 - pixelSize - (bit & 7))) &
                          ((1 << pixelSize) - 1);
                c = static_cast<std::size_t>(idx) < colours.size()
                        ? colours[static_cast<std::size_t>(idx)]
                        : Rgb{};
            }
            out.setRgb(ox, oy, c.r, c.g, c.b);
        }
    }
}

// CompressedQuickTime (0x8200): a picture compressed by a QuickTime codec. Its data: the
// length of the rest; version; the 3 × 3 matrix (36 bytes) that places the picture; matte size
// and rectangle; transfer mode; source rectangle; accuracy; mask size; the matte (matte size
// bytes) and the mask region (mask size bytes); then the image description (its own size
// first, then the 4-byte codec type, ..., width and height at 32, the data size at 44; 86
// bytes at least) and the compressed data. Only the 'jpeg' codec is decoded: through libjpeg, drawn
// where the matrix puts the source rectangle.
void drawQuickTime(Reader& r, const Rect& frame, Bitmap& out) {
    const std::uint32_t length = r.u32();
    r.need(length);
    const std::size_t end = r.pos + length;
    Reader q{r.d, end, r.pos};
    r.pos = end;
    q.skip(2); // version
    std::int32_t matrix[9];
    for (std::int32_t& m : matrix) m = static_cast<std::int32_t>(q.u32());
    const std::uint32_t matteSize = q.u32();
    q.skip(8 + 2); // matte rectangle, transfer mode
    const Rect src = rect(q);
    q.skip(4); // accuracy
    const std::uint32_t maskSize = q.u32();
    q.skip(matteSize);
    q.skip(maskSize);
    const std::size_t description = q.pos;
    const std::uint32_t descriptionSize = q.u32();
    constexpr std::uint32_t kDescriptionBytes = 86;
    if (descriptionSize < kDescriptionBytes) fail("PICT: QuickTime image description damaged.");
    q.need(descriptionSize - 4);
    if (std::memcmp(q.d + q.pos, "jpeg", 4) != 0)
        fail("PICT: QuickTime-compressed pictures are not supported (only JPEG).");
    std::uint32_t dataSize = be32(q.d + description + 44);
    q.pos = description + descriptionSize;
    // A data size of 0 means "not known": the data is the rest of the opcode.
    if (dataSize == 0) dataSize = static_cast<std::uint32_t>(end - q.pos);
    if (dataSize == 0) fail("PICT: QuickTime picture without data.");
    q.need(dataSize);

    // Only moving and scaling along the axes: the fixed-point (16.16) scale and offsets.
    if (matrix[1] != 0 || matrix[3] != 0 || matrix[0] <= 0 || matrix[4] <= 0)
        fail("PICT: turned or mirrored QuickTime pictures are not supported.");
    Bitmap jpeg;
    decodeJpeg(q.d + q.pos, dataSize, jpeg);
    const double scaleX = matrix[0] / 65536.0, scaleY = matrix[4] / 65536.0;
    const double offsetX = matrix[6] / 65536.0, offsetY = matrix[7] / 65536.0;
    // Every frame pixel inside the placed source rectangle takes the nearest source pixel.
    const Rect area{std::max(src.top, 0), std::max(src.left, 0),
                    std::min(src.bottom, jpeg.height()), std::min(src.right, jpeg.width())};
    if (area.width() <= 0 || area.height() <= 0) return;
    // Pixel ranges are worked out in double and limited to the frame before they become int.
    auto span = [](double from, double to, int size) {
        return std::pair<int, int>{static_cast<int>(std::clamp(std::floor(from), 0.0, 1.0 * size)),
                                   static_cast<int>(std::clamp(std::ceil(to), 0.0, 1.0 * size))};
    };
    const auto [oxBegin, oxEnd] = span(area.left * scaleX + offsetX - frame.left,
                                       area.right * scaleX + offsetX - frame.left, out.width());
    const auto [oyBegin, oyEnd] = span(area.top * scaleY + offsetY - frame.top,
                                       area.bottom * scaleY + offsetY - frame.top, out.height());
    for (int oy = oyBegin; oy < oyEnd; ++oy) {
        const double fy = (oy + frame.top + 0.5 - offsetY) / scaleY;
        if (!(fy >= area.top && fy < area.bottom)) continue;
        const std::uint8_t* in = jpeg.row(static_cast<int>(fy));
        for (int ox = oxBegin; ox < oxEnd; ++ox) {
            const double fx = (ox + frame.left + 0.5 - offsetX) / scaleX;
            if (!(fx >= area.left && fx < area.right)) continue;
            const int sx = static_cast<int>(fx);
            if (jpeg.bitCount() == 8) {
                const PaletteEntry& e = jpeg.palette()[in[sx]];
                out.setRgb(ox, oy, e.red, e.green, e.blue);
            } else {
                const std::uint8_t* p = in + 4 * static_cast<std::size_t>(sx);
                out.setRgb(ox, oy, p[2], p[1], p[0]);
            }
        }
    }
}

// Length of the data of an opcode that is passed over, for version 2 pictures.
void skipOpcode(Reader& r, int op) {
    // Data sizes of the opcodes 0x00 .. 0x2F (-1: variable, handled below).
    static const signed char fixed[0x30] = {
        0, -1, 8,  2,  1,  2,  4,  4,  2,  8,  8,  4,  4,  2,  4,  4,   // 0x00
        8, -1, -1, -1, -1, 2,  2,  0,  0,  0,  6,  6,  0,  6,  0,  6,   // 0x10
        8, 4,  6,  2,  -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}; // 0x20
    if (op <= 0x2F && fixed[op] >= 0) {
        r.skip(static_cast<std::size_t>(fixed[op]));
        return;
    }
    if (op == 0x01 || (op >= 0x80 && op <= 0x87) || (op >= 0x70 && op <= 0x77)) {
        int n = r.u16();
        if (n < 2) fail("PICT: region damaged.");
        r.skip(static_cast<std::size_t>(n) - 2);
        return;
    }
    if (op >= 0x28 && op <= 0x2B) { // text: position, then a counted string
        r.skip(op == 0x28 ? 4 : (op == 0x2B ? 2 : 1));
        r.skip(r.u8());
        return;
    }
    if (op == 0x2C || op == 0x2E || op == 0x24 || op == 0x25 || op == 0x26 || op == 0x27 ||
        op == 0x2D || op == 0x2F || op == 0x92 || op == 0x93 || op == 0x94 || op == 0x95 ||
        op == 0x96 || op == 0x97 || op == 0x9C || op == 0x9D || op == 0x9E || op == 0x9F ||
        (op >= 0xA2 && op <= 0xAF)) {
        r.skip(r.u16());
        return;
    }
    if ((op >= 0x30 && op <= 0x37) || (op >= 0x40 && op <= 0x47) || (op >= 0x50 && op <= 0x57)) {
        r.skip(8);
        return;
    }
    if ((op >= 0x38 && op <= 0x3F) || (op >= 0x48 && op <= 0x4F) || (op >= 0x58 && op <= 0x5F) ||
        (op >= 0x78 && op <= 0x7F) || (op >= 0x88 && op <= 0x8F) || (op >= 0xB0 && op <= 0xCF) ||
        (op >= 0x8000 && op <= 0x80FF)) {
        return;
    }
    if (op >= 0x60 && op <= 0x67) {
        r.skip(12);
        return;
    }
    if (op >= 0x68 && op <= 0x6F) {
        r.skip(4);
        return;
    }
    if (op == 0xA0) {
        r.skip(2);
        return;
    }
    if (op == 0xA1) {
        r.skip(2);
        r.skip(r.u16());
        return;
    }
    if (op == 0x0C00) {
        r.skip(24);
        return;
    }
    if (op >= 0x12 && op <= 0x14) fail("PICT: pixel patterns are not supported.");
    if ((op >= 0xD0 && op <= 0xFE) || op >= 0x8100) {
        r.skip(r.u32());
        return;
    }
    if (op >= 0x100 && op <= 0x7FFF) {
        r.skip(static_cast<std::size_t>(op >> 8) * 2);
        return;
    }
    fail("PICT: unknown opcode.");
}

} // namespace

void decodePict(const std::uint8_t* data, std::size_t size, Bitmap& out) {
    if (size < 512 + 14) fail("PICT: header incomplete.");
    Reader r{data, size, 512};
    r.skip(2); // picture size (low 16 bits)
    Rect frame = rect(r);
    checkBitmapSize(frame.width(), frame.height());
    int version = 1;
    if (be16(data + r.pos) == 0x0011 && be16(data + r.pos + 2) == 0x02FF) {
        version = 2;
        r.skip(4);
    } else if (data[r.pos] == 0x11 && data[r.pos + 1] == 0x01) {
        r.skip(2);
    } else {
        fail("PICT: unknown version.");
    }
    bool drew = false;
    for (;;) {
        if (version == 2 && (r.pos & 1)) r.skip(1);
        if (r.pos >= r.size) break;
        int op = version == 2 ? r.u16() : r.u8();
        if (op == 0xFF) break;
        const bool bits =
            op == 0x90 || op == 0x91 || op == 0x98 || op == 0x99 || op == 0x9A || op == 0x9B;
        if (bits || (version == 2 && op == 0x8200)) {
            if (!drew) { // the white picture is made when the first bitmap comes
                out.create(frame.width(), frame.height(), 32);
                for (int y = 0; y < out.height(); ++y) std::memset(out.row(y), 0xFF, out.stride());
            }
            drew = true;
            if (bits)
                drawBits(r, op, frame, out);
            else
                drawQuickTime(r, frame, out);
            continue;
        }
        if (op == 0x11) {
            r.skip(version == 2 ? 2 : 1);
            continue;
        }
        skipOpcode(r, op);
    }
    if (!drew) fail("PICT: the picture holds no bitmap.");
}

} // namespace quillon
