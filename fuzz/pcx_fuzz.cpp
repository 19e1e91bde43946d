// libFuzzer target: the PCX decoder of the codec layer and the import of its bitmap.
#include "core/error.h"
#include "core/memory.h"
#include "formats/codecs.h"
#include "formats/raster_import.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::size_t budget = quillon::memory::setLimit(256u << 20);
    (void)budget;
    quillon::Bitmap bmp;
    try {
        quillon::decodePcx(data, size, bmp);
        quillon::Image image;
        quillon::importBitmap(bmp, image, "fuzz", quillon::Progress::none());
    } catch (const quillon::Error&) {
    }
    return 0;
}
