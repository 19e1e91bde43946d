// libFuzzer target: the FITS reader on arbitrary bytes must give an image or an Error,
// never a crash, a hang or a huge allocation.
#include "core/error.h"
#include "core/memory.h"
#include "formats/fits_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Any allocation beyond this budget would come from a header that lies about its data.
    static quillon::memory::ScopedLimit limit(std::size_t{256} << 20);
    quillon::Image image;
    try {
        quillon::readFitsMemory(data, size, image, quillon::Progress::none(), "fuzz.fts");
    } catch (const quillon::Error&) {
    }
    return 0;
}
