// libFuzzer target over the format table. Built once per seed corpus fuzz/corpus/<name>/ as
// <name>_fuzz with QUILLON_FUZZ_FORMAT="<name>": a row's name reads the bytes with that row
// (its memory reader, or its decoder and the import), "raster" recognises them by content and
// decodes them with whichever row answers. Built without a name (format_fuzz), the first byte
// picks the row and the rest is the file. Every input must give an image or an Error, never a
// crash, a hang or a huge allocation.
#include "core/error.h"
#include "core/memory.h"
#include "formats/codecs.h"
#include "formats/format_table.h"
#include "formats/raster_import.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

#ifndef QUILLON_FUZZ_FORMAT
#define QUILLON_FUZZ_FORMAT ""
#endif

namespace {

constexpr std::string_view kName = QUILLON_FUZZ_FORMAT;
constexpr bool kByContent = kName == "raster";

const quillon::FileFormat* chosenRow() {
    if (kName.empty() || kByContent) return nullptr;
    const quillon::FileFormat* row = quillon::findFormat(kName);
    if (!row) __builtin_trap(); // a corpus directory without a row of that name
    return row;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Any allocation beyond this budget would come from a header that lies about its data.
    static const std::size_t budget = quillon::memory::setLimit(std::size_t{256} << 20);
    (void)budget;
    static const quillon::FileFormat* const row = chosenRow();
    quillon::Image image;
    try {
        if (kByContent) {
            quillon::Bitmap bmp;
            quillon::decodeMemory(data, size, bmp);
            quillon::importBitmap(bmp, image, "fuzz", quillon::Progress::none());
        } else if (row) {
            quillon::readFormatMemory(*row, data, size, image, quillon::Progress::none());
        } else if (size > 0) {
            const auto rows = quillon::fileFormats();
            quillon::readFormatMemory(rows[data[0] % rows.size()], data + 1, size - 1, image,
                                      quillon::Progress::none());
        }
    } catch (const quillon::Error&) {
    }
    return 0;
}
