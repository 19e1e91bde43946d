// PCX pictures: monochrome, 2/4-bit (packed or in planes), 8-bit with a palette and 24-bit
// in three planes, run-length encoded or plain.
#include "core/error.h"
#include "formats/byte_source.h"
#include "formats/codecs.h"

#include <vector>

namespace quillon {

void decodePcx(const std::uint8_t* data, std::size_t size, Bitmap& out) {
    auto fail = [](const char* what) { throw Error(what); };
    if (size < 128 || data[0] != 10) fail("PCX: header damaged.");
    const bool rle = data[2] == 1;
    const int bits = data[3];
    const int xmin = le16(data + 4), ymin = le16(data + 6), xmax = le16(data + 8),
              ymax = le16(data + 10);
    const int planes = data[65];
    const int bytesPerLine = le16(data + 66);
    if (xmax < xmin || ymax < ymin) fail("PCX: invalid image dimensions.");
    const int w = xmax - xmin + 1, h = ymax - ymin + 1;
    checkBitmapSize(w, h);
    const bool mapped = (planes == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) ||
                        (bits == 1 && (planes == 2 || planes == 3 || planes == 4));
    const bool rgb = bits == 8 && (planes == 3 || planes == 4);
    if (!mapped && !rgb) fail("PCX: unsupported pixel format.");
    if (static_cast<long long>(bytesPerLine) * 8 < static_cast<long long>(w) * bits)
        fail("PCX: line length too short.");
    const std::size_t lineBytes = static_cast<std::size_t>(bytesPerLine) * planes;
    // Plain data must be complete; run-length data holds at most 63 bytes per two.
    const std::uint64_t need = static_cast<std::uint64_t>(lineBytes) * h;
    if (!rle && need > size - 128) fail("PCX: pixel data incomplete.");
    if (rle && need / 32 > size - 128) fail("PCX: pixel data incomplete.");

    out.create(w, h, mapped ? 8 : 32);
    if (mapped) {
        if (bits == 8) {
            // The 256-colour palette follows the marker byte 12 at the end of the file.
            if (size >= 128 + 769 && data[size - 769] == 12) {
                const std::uint8_t* pal = data + size - 768;
                for (int i = 0; i < 256; ++i)
                    out.palette()[i] = PaletteEntry{pal[3 * i + 2], pal[3 * i + 1], pal[3 * i], 0};
            } else {
                out.setGreyPalette();
            }
        } else if (bits == 1 && planes == 1) {
            out.palette()[0] = PaletteEntry{0, 0, 0, 0};
            out.palette()[1] = PaletteEntry{255, 255, 255, 0};
        } else {
            for (int i = 0; i < 16; ++i) {
                const std::uint8_t* e = data + 16 + 3 * i;
                out.palette()[i] = PaletteEntry{e[2], e[1], e[0], 0};
            }
        }
    }

    std::vector<std::uint8_t> line(lineBytes);
    std::size_t pos = 128;
    int run = 0;
    std::uint8_t runValue = 0;
    for (int y = 0; y < h; ++y) {
        for (std::size_t i = 0; i < lineBytes; ++i) {
            if (!rle) {
                line[i] = data[pos++];
                continue;
            }
            if (run == 0) {
                if (pos >= size) fail("PCX: pixel data incomplete.");
                std::uint8_t c = data[pos++];
                if ((c & 0xC0) == 0xC0) {
                    if (pos >= size) fail("PCX: pixel data incomplete.");
                    run = c & 0x3F;
                    runValue = data[pos++];
                    if (run == 0) {
                        --i;
                        continue;
                    }
                } else {
                    run = 1;
                    runValue = c;
                }
            }
            line[i] = runValue;
            --run;
        }
        const std::uint8_t* l = line.data();
        for (int x = 0; x < w; ++x) {
            if (rgb) {
                out.setRgb(x, y, l[x], l[bytesPerLine + x], l[2 * bytesPerLine + x]);
            } else if (planes == 1) {
                int bitPos = x * bits;
                int v = (l[bitPos / 8] >> (8 - bits - (bitPos & 7))) & ((1 << bits) - 1);
                out.row(y)[x] = static_cast<std::uint8_t>(v);
            } else {
                int v = 0;
                for (int p = 0; p < planes; ++p)
                    v |= ((l[p * bytesPerLine + x / 8] >> (7 - (x & 7))) & 1) << p;
                out.row(y)[x] = static_cast<std::uint8_t>(v);
            }
        }
    }
}

} // namespace quillon
