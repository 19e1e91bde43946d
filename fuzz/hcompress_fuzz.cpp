// libFuzzer target: one HCOMPRESS_1 tile holding a whole small image (see tile_fuzz.h for the
// layout of the input).
#include "tile_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int kBitpix[] = {16, 32};
    quillon::fuzz::readOneTile("HCOMPRESS_1", kBitpix, sizeof kBitpix / sizeof *kBitpix, data,
                               size);
    return 0;
}
