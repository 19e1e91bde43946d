// libFuzzer target: the XML header of an XISF file. The bytes go to the XML parser alone and,
// behind a valid signature and header length, to the reader with a small attached block of
// 64 × 64 bytes at position 4096, so that geometry, location, compression and checksum
// attributes in the header meet real data.
#include "core/error.h"
#include "core/memory.h"
#include "formats/xisf.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::size_t budget = quillon::memory::setLimit(std::size_t{256} << 20);
    (void)budget;
    if (size > 4000) return 0;
    try {
        (void)quillon::xisf::parseXml({reinterpret_cast<const char*>(data), size});
    } catch (const quillon::Error&) {
    }
    std::vector<std::uint8_t> file(4096 + 64 * 64, 0);
    std::copy_n("XISF0100", 8, file.begin());
    for (int b = 0; b < 4; ++b) file[std::size_t(8 + b)] = std::uint8_t((size >> (8 * b)) & 0xFF);
    std::copy_n(data, size, file.begin() + 16);
    for (std::size_t i = 4096; i < file.size(); ++i) file[i] = std::uint8_t(i * 7);
    quillon::Image image;
    try {
        quillon::readXisfMemory(file.data(), file.size(), image, quillon::Progress::none());
    } catch (const quillon::Error&) {
    }
    return 0;
}
