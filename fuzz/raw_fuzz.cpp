// libFuzzer target: the reader of unlisted endings on a memory block: the camera RAW adapter
// (LibRaw) and the image it builds, and the raster import of what LibRaw refuses.
#include "core/error.h"
#include "core/memory.h"
#include "formats/open.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::size_t budget = quillon::memory::setLimit(256u << 20);
    (void)budget;
    quillon::Image image;
    try {
        quillon::readCameraRawOrRasterMemory(data, size, image, quillon::Progress::none());
    } catch (const quillon::Error&) {
    }
    return 0;
}
