// Portable greymaps: "P2" (text) and "P5" (binary), 8 or 16 bits per value.
#include "core/error.h"
#include "formats/codecs.h"

namespace quillon {

namespace {

// Skips blanks and "#" comments; returns false at the end of the data.
bool skipSpace(const std::uint8_t* d, std::size_t size, std::size_t& pos) {
    while (pos < size) {
        if (d[pos] == '#') {
            while (pos < size && d[pos] != '\n' && d[pos] != '\r') ++pos;
        } else if (d[pos] == ' ' || d[pos] == '\t' || d[pos] == '\n' || d[pos] == '\r' ||
                   d[pos] == '\v' || d[pos] == '\f') {
            ++pos;
        } else {
            return true;
        }
    }
    return false;
}

bool number(const std::uint8_t* d, std::size_t size, std::size_t& pos, long long& v) {
    if (!skipSpace(d, size, pos) || d[pos] < '0' || d[pos] > '9') return false;
    v = 0;
    while (pos < size && d[pos] >= '0' && d[pos] <= '9') {
        if (v < 1000000000LL) v = v * 10 + (d[pos] - '0');
        ++pos;
    }
    return true;
}

} // namespace

void decodePgm(const std::uint8_t* d, std::size_t size, Bitmap& out) {
    auto fail = [](const char* what) { throw Error(what); };
    if (size < 2 || d[0] != 'P' || (d[1] != '2' && d[1] != '5')) fail("PGM: header damaged.");
    const bool binary = d[1] == '5';
    std::size_t pos = 2;
    long long w = 0, h = 0, maxval = 0;
    if (!number(d, size, pos, w) || !number(d, size, pos, h) || !number(d, size, pos, maxval))
        fail("PGM: header damaged.");
    if (maxval < 1 || maxval > 65535) fail("PGM: invalid maximum value.");
    checkBitmapSize(w, h);
    const bool wide = maxval > 255;
    const std::uint64_t count = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h);
    if (binary) {
        ++pos; // the single blank after the maximum value
        if (pos > size || count * (wide ? 2 : 1) > size - pos) fail("PGM: pixel data incomplete.");
    } else if (count > size - pos) {
        fail("PGM: pixel data incomplete."); // at least one character per value
    }
    const int width = static_cast<int>(w), height = static_cast<int>(h);
    out.create(width, height, wide ? 16 : 8);
    if (!wide) out.setGreyPalette();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            long long v;
            if (binary) {
                v = wide ? (d[pos] << 8 | d[pos + 1]) : d[pos];
                pos += wide ? 2 : 1;
            } else if (!number(d, size, pos, v)) {
                fail("PGM: pixel data incomplete.");
            }
            if (v > maxval) v = maxval;
            if (wide)
                out.row16(y)[x] = static_cast<std::uint16_t>(v);
            else
                out.row(y)[x] = static_cast<std::uint8_t>(v);
        }
    }
}

} // namespace quillon
