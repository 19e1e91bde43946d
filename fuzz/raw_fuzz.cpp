// libFuzzer target: the camera RAW adapter (LibRaw on a memory block) and the image it builds.
#include "core/error.h"
#include "core/memory.h"
#include "formats/camera_raw.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::size_t budget = quillon::memory::setLimit(256u << 20);
    (void)budget;
    quillon::Image image;
    try {
        quillon::readCameraRawMemory(data, size, image, quillon::Progress::none());
    } catch (const quillon::Error&) {
    }
    return 0;
}
