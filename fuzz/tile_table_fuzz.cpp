// libFuzzer target: the tile table of a compressed FITS image. The first byte picks the method
// and ZBITPIX, the next two the image size (width 10 … 73, height 10 … 25, one tile per row,
// four for H-compress);
// the rest is the table of descriptors (8 bytes per row) followed by the heap.
#include "tile_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    static const char* const kMethods[] = {"RICE_1",      "GZIP_1", "GZIP_2",
                                           "HCOMPRESS_1", "PLIO_1", "NOCOMPRESS"};
    static const int kBitpix[] = {8, 16, 32, -32, -64};
    const char* method = kMethods[data[0] % 6];
    const int bitpix = kBitpix[(data[0] / 6) % 5];
    const int width = 10 + data[1] % 64, height = 10 + data[2] % 16;
    // H-compress needs tiles of 4 rows at least.
    const int tileH = method[0] == 'H' ? 4 : 1;
    quillon::fuzz::readTileTable(method, bitpix, width, height, width, tileH,
                                 (height + tileH - 1) / tileH, data + 3, size - 3);
    return 0;
}
