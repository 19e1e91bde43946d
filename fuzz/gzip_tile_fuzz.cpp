// libFuzzer target: one GZIP_1 or GZIP_2 tile (bit 7 of the first byte) holding a whole small
// image, integer or floating point (see tile_fuzz.h for the layout of the input).
#include "tile_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int kBitpix[] = {8, 16, 32, -32, -64};
    if (size < 1) return 0;
    quillon::fuzz::readOneTile((data[0] & 0x80) ? "GZIP_2" : "GZIP_1", kBitpix, 5, data, size);
    return 0;
}
