// libFuzzer target: the SBIG reader on arbitrary bytes (both layouts, chosen by the first byte).
#include "core/error.h"
#include "formats/sbig.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    quillon::MemorySource src(data + 1, size - 1);
    quillon::Image image;
    try {
        quillon::readSbig(src, (data[0] & 1) != 0, image, quillon::Progress::none());
    } catch (const quillon::Error&) {
    }
    return 0;
}
