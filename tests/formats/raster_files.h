// Test pictures built byte by byte: PNG (stored deflate), TIFF (uncompressed), BMP, TGA, PCX,
// PICT and a small Windows metafile.
#pragma once

#include "formats/bytes.h"
#include "formats/open.h"

namespace qtest {

inline std::uint32_t crc32(const std::uint8_t* p, std::size_t n, std::uint32_t c = 0) {
    c = ~c;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

inline void pngChunk(Bytes& out, const char* type, const Bytes& data) {
    be32(out, static_cast<std::uint32_t>(data.size()));
    Bytes td(type, type + 4);
    td.insert(td.end(), data.begin(), data.end());
    out.insert(out.end(), td.begin(), td.end());
    be32(out, crc32(td.data(), td.size()));
}

// A PNG of raw rows (filter byte 0 is added), stored without compression.
inline Bytes makePng(int w, int h, int depth, int colourType, const Bytes& rows,
                     const Bytes& plte = {}) {
    Bytes out{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    be32(ihdr, static_cast<std::uint32_t>(w));
    be32(ihdr, static_cast<std::uint32_t>(h));
    put8(ihdr, static_cast<unsigned>(depth));
    put8(ihdr, static_cast<unsigned>(colourType));
    put8(ihdr, 0), put8(ihdr, 0), put8(ihdr, 0);
    pngChunk(out, "IHDR", ihdr);
    if (!plte.empty()) pngChunk(out, "PLTE", plte);
    const std::size_t rowBytes = rows.size() / static_cast<std::size_t>(h);
    Bytes raw;
    for (int y = 0; y < h; ++y) {
        put8(raw, 0);
        raw.insert(raw.end(), rows.begin() + static_cast<long>(rowBytes * y),
                   rows.begin() + static_cast<long>(rowBytes * (y + 1)));
    }
    Bytes z{0x78, 0x01};
    std::size_t pos = 0;
    do {
        std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
        put8(z, pos + n == raw.size() ? 1 : 0);
        le16(z, static_cast<unsigned>(n));
        le16(z, static_cast<unsigned>(~n & 0xFFFF));
        z.insert(z.end(), raw.begin() + static_cast<long>(pos),
                 raw.begin() + static_cast<long>(pos + n));
        pos += n;
    } while (pos < raw.size());
    std::uint32_t a = 1, b = 0;
    for (auto v : raw) a = (a + v) % 65521, b = (b + a) % 65521;
    be32(z, (b << 16) | a);
    pngChunk(out, "IDAT", z);
    pngChunk(out, "IEND", {});
    return out;
}

// An uncompressed little-endian TIFF with one strip.
inline Bytes makeTiff(int w, int h, int bits, int spp, const Bytes& pixels) {
    Bytes t{'I', 'I', 42, 0};
    le32(t, 8);
    const int entries = 9;
    const std::uint32_t dataAt = 8 + 2 + entries * 12 + 4 + 8;
    le16(t, entries);
    auto entry = [&](int tag, int type, std::uint32_t count, std::uint32_t value) {
        le16(t, static_cast<unsigned>(tag)), le16(t, static_cast<unsigned>(type)), le32(t, count);
        if (type == 3 && count == 1) {
            le16(t, value), le16(t, 0);
        } else {
            le32(t, value);
        }
    };
    entry(256, 4, 1, static_cast<std::uint32_t>(w));
    entry(257, 4, 1, static_cast<std::uint32_t>(h));
    entry(258, 3, 1, static_cast<std::uint32_t>(bits)); // same for every sample
    entry(259, 3, 1, 1);
    entry(262, 3, 1, spp == 1 ? 1 : 2);
    entry(273, 4, 1, dataAt);
    entry(277, 3, 1, static_cast<std::uint32_t>(spp));
    entry(278, 4, 1, static_cast<std::uint32_t>(h));
    entry(279, 4, 1, static_cast<std::uint32_t>(pixels.size()));
    le32(t, 0);
    le32(t, 0), le32(t, 0); // padding up to dataAt
    t.insert(t.end(), pixels.begin(), pixels.end());
    // libtiff wants BitsPerSample per sample for spp > 1: a count of 1 is accepted.
    return t;
}

// Writes the bytes to a file of that name and opens it as the program would.
inline quillon::Image openBytes(const TempDir& dir, const std::string& name, const Bytes& b) {
    quillon::Image img;
    quillon::openImage(dir.write(name, b), img, quillon::Progress::none());
    return img;
}

// The message of opening such a file.
inline std::string openError(const TempDir& dir, const std::string& name, const Bytes& b) {
    quillon::Image img;
    return errorOf([&] { quillon::openImage(dir.write(name, b), img, quillon::Progress::none()); });
}

} // namespace qtest
