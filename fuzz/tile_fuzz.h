// Shared harness of the tile-compressed FITS fuzz targets: it wraps fuzz bytes in a valid
// empty primary header and the header of a compressed-image table, and reads the result with
// the FITS reader. Every input must give an image or an Error, never a crash, a hang or a huge
// allocation.
#pragma once

#include "core/error.h"
#include "core/memory.h"
#include "formats/fits_format.h"
#include "formats/fits_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace quillon::fuzz {

inline std::string fitsCard(const std::string& key, const std::string& value) {
    char card[81];
    // Strings start in column 11, other values end in column 30.
    std::snprintf(card, sizeof card, value[0] == '\'' ? "%-8.8s= %-70.70s" : "%-8.8s= %20.70s",
                  key.c_str(), value.c_str());
    std::string s(card);
    s.resize(80, ' ');
    return s;
}

inline std::string fitsQuoted(const std::string& v) {
    std::string s = "'" + v;
    if (s.size() < 9) s.resize(9, ' ');
    return s + "'";
}

// One header unit: the cards, END, blanks to the block.
inline std::string fitsHeader(const std::string& cards) {
    std::string h = cards + std::string("END").append(77, ' ');
    h.resize((h.size() + fits::kBlockSize - 1) / fits::kBlockSize * fits::kBlockSize, ' ');
    return h;
}

// The heap's element type of a method: PLIO's line lists are 16-bit words, the rest bytes.
inline char heapType(const std::string& method) {
    return method == "PLIO_1" ? 'I' : 'B';
}

// A compressed image of width × height (tiles tileW × tileH) with ZBITPIX `bitpix` and method
// `method`, whose table of `rows` rows of 8 bytes (one P descriptor each) and heap are
// `table`; the header is followed by the table bytes as they are. With QUILLON_FUZZ_VERBOSE
// set, the reader's message or "ok" is printed (to check seeds).
inline void readTileTable(const char* method, int bitpix, int width, int height, int tileW,
                          int tileH, long long rows, const std::uint8_t* table, std::size_t size,
                          const std::string& extraCards = {}) {
    static const std::size_t budget = memory::setLimit(std::size_t{256} << 20);
    (void)budget;
    const long long heap = static_cast<long long>(size) - rows * 8;
    std::string file = fitsHeader(fitsCard("SIMPLE", "T") + fitsCard("BITPIX", "8") +
                                  fitsCard("NAXIS", "0") + fitsCard("EXTEND", "T"));
    std::string cards =
        fitsCard("XTENSION", fitsQuoted("BINTABLE")) + fitsCard("BITPIX", "8") +
        fitsCard("NAXIS", "2") + fitsCard("NAXIS1", "8") +
        fitsCard("NAXIS2", std::to_string(rows)) +
        fitsCard("PCOUNT", std::to_string(heap < 0 ? 0 : heap)) + fitsCard("GCOUNT", "1") +
        fitsCard("TFIELDS", "1") + fitsCard("TTYPE1", fitsQuoted("COMPRESSED_DATA")) +
        fitsCard("TFORM1", fitsQuoted(std::string("1P") + heapType(method) + "(" +
                                      std::to_string(size) + ")")) +
        fitsCard("ZIMAGE", "T") + fitsCard("ZCMPTYPE", fitsQuoted(method)) +
        fitsCard("ZBITPIX", std::to_string(bitpix)) + fitsCard("ZNAXIS", "2") +
        fitsCard("ZNAXIS1", std::to_string(width)) + fitsCard("ZNAXIS2", std::to_string(height)) +
        fitsCard("ZTILE1", std::to_string(tileW)) + fitsCard("ZTILE2", std::to_string(tileH)) +
        extraCards;
    file += fitsHeader(cards);
    file.append(reinterpret_cast<const char*>(table), size);
    file.resize((file.size() + fits::kBlockSize - 1) / fits::kBlockSize * fits::kBlockSize, '\0');
    Image image;
    static const char* const verbose = std::getenv("QUILLON_FUZZ_VERBOSE");
    if (verbose && *verbose) { // a path: the file as read goes there
        if (std::FILE* f = std::fopen(verbose, "wb")) {
            std::fwrite(file.data(), 1, file.size(), f);
            std::fclose(f);
        }
    }
    try {
        readFitsMemory(file.data(), file.size(), image, Progress::none(), "fuzz.fits.fz");
        if (verbose) std::printf("ok %dx%d\n", image.width(), image.height());
    } catch (const Error& e) {
        if (verbose) std::printf("%s\n", e.what());
    }
}

// One tile holding the whole image: the first byte's low seven bits pick ZBITPIX among
// `bitpixes` (count of them; bit 7 is left to the target) and the next two the size (width 10 … 73,
// height 10 … 25); the rest is the tile.
inline void readOneTile(const char* method, const int* bitpixes, int count,
                        const std::uint8_t* data, std::size_t size,
                        const std::string& extraCards = {}) {
    if (size < 3) return;
    const int bitpix = bitpixes[(data[0] & 0x7F) % count];
    const int width = 10 + data[1] % 64, height = 10 + data[2] % 16;
    const std::size_t n = size - 3;
    const std::size_t elements = heapType(method) == 'I' ? n / 2 : n; // in heap elements
    std::string table(8, '\0');
    for (int b = 0; b < 4; ++b) table[std::size_t(3 - b)] = char((elements >> (8 * b)) & 0xFF);
    table.append(reinterpret_cast<const char*>(data + 3), n);
    readTileTable(method, bitpix, width, height, width, height, 1,
                  reinterpret_cast<const std::uint8_t*>(table.data()), table.size(), extraCards);
}

} // namespace quillon::fuzz
