// Tile-compressed and gzipped FITS: Quillon's own .fits.fz read back, and damaged files that
// must give the reader's message without a crash or a large allocation. (Agreement with the
// field's tools: fits_compressed_interop.py.)
#include "core/error.h"
#include "core/memory.h"
#include "fits_test_util.h"
#include "formats/fits_compressed.h"
#include "formats/fits_format.h"
#include "formats/fits_reader.h"
#include "formats/open.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <zlib.h>

using namespace quillon;
using fitstest::TempDir;

namespace {

std::string compressedFile(Image& img) {
    TempDir dir;
    const std::string path = dir.file("a.fits.fz");
    writeFitsCompressed(img, path, Progress::none());
    return testkit::readFile(path);
}

std::string gzipOf(const std::string& bytes, std::size_t extraZeros = 0) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out, in = bytes;
    std::vector<char> buf(1 << 16);
    auto pump = [&](const char* data, std::size_t n, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z.avail_in = static_cast<uInt>(n);
        do {
            z.next_out = reinterpret_cast<Bytef*>(buf.data());
            z.avail_out = static_cast<uInt>(buf.size());
            deflate(&z, flush);
            out.append(buf.data(), buf.size() - z.avail_out);
        } while (z.avail_out == 0);
    };
    pump(in.data(), in.size(), Z_NO_FLUSH);
    const std::string zeros(1 << 20, '\0');
    for (std::size_t n = 0; n < extraZeros; n += zeros.size())
        pump(zeros.data(), zeros.size(), Z_NO_FLUSH);
    pump(nullptr, 0, Z_FINISH);
    deflateEnd(&z);
    return out;
}

std::string readError(const std::string& bytes) {
    Image img;
    try {
        readFitsMemory(bytes.data(), bytes.size(), img, Progress::none(), "m.fits.fz");
    } catch (const Error& e) {
        EXPECT_FALSE(img.hasSamples());
        return e.what();
    }
    return "";
}

// Replaces the first card of the table header that starts with `key`.
void setCard(std::string& bytes, const std::string& key, const std::string& card) {
    for (std::size_t at = fits::kBlockSize; at + 80 <= bytes.size(); at += 80)
        if (bytes.compare(at, key.size(), key) == 0) {
            bytes.replace(at, 80, fitstest::card(card));
            return;
        }
    FAIL() << key;
}

// Where the tile table begins: after the table header's END card, rounded up to a block.
std::size_t tableStart(const std::string& bytes) {
    std::size_t at = fits::kBlockSize;
    while (bytes.compare(at, 8, "END     ") != 0) at += 80;
    return (at / fits::kBlockSize + 1) * fits::kBlockSize;
}

TEST(FitsCompressed, QuillonsFileReadsBackSamplesTypeOverlayAndCards) {
    Image img;
    testkit::define(img, 61, 23, RGB_IMAGE, true);
    fitstest::fillPattern(img);
    {
        ImageInfo* info = nullptr;
        ASSERT_EQ(img.BeginInfoWrite(info), 0);
        info->exposureTime = 90.5f;
        img.EndInfoWrite();
    }
    const std::string bytes = compressedFile(img);
    Image back;
    readFitsMemory(bytes.data(), bytes.size(), back, Progress::none());
    EXPECT_EQ(back.type(), RGB_IMAGE);
    EXPECT_TRUE(back.hasOverlay());
    EXPECT_FLOAT_EQ(back.info().exposureTime, 90.5f);
    EXPECT_EQ(testkit::firstDifference(img, back), "");
    // The same bytes gzipped read the same.
    const std::string gz = gzipOf(bytes);
    Image viaGzip;
    readFitsMemory(gz.data(), gz.size(), viaGzip, Progress::none());
    EXPECT_EQ(testkit::firstDifference(img, viaGzip), "");
}

// FITS, plain or gzipped, under names that do not tell it is read by its content; a gzip
// stream of something else still gets a message.
TEST(FitsCompressed, FitsUnderAnyNameIsOpenedByContent) {
    Image img;
    testkit::define(img, 37, 19);
    fitstest::fillPattern(img);
    const std::string bytes = compressedFile(img);
    TempDir dir;
    for (const auto& [name, content] : {std::pair{"image.gz", gzipOf(bytes)},
                                        {"download", gzipOf(bytes)},
                                        {"frame.dat", bytes}}) {
        testkit::writeFile(dir.file(name), content);
        Image back;
        openImage(dir.file(name), back, Progress::none());
        EXPECT_EQ(testkit::firstDifference(img, back), "") << name;
    }
    testkit::writeFile(dir.file("notes.gz"), gzipOf(std::string(3000, 'x')));
    Image none;
    EXPECT_THROW(openImage(dir.file("notes.gz"), none, Progress::none()), Error);
    EXPECT_FALSE(none.hasSamples());
}

TEST(FitsCompressed, DamagedFilesGiveTheMessageWithoutLargeAllocations) {
    Image img;
    testkit::define(img, 40, 30, BW_IMAGE);
    testkit::fillNoise(img, 5);
    const std::string good = compressedFile(img);
    const std::size_t table = tableStart(good);
    auto setBE32 = [](std::string& b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (24 - 8 * i));
    };
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        const char* message;
    };
    const char* unknown = fits::kMsgUnknownFormat;
    const std::vector<Case> cases = {
        {"cut in the heap", [&](std::string& b) { b.resize(table + 30 * 8 + 40); }, unknown},
        {"more image rows than tiles",
         [](std::string& b) { setCard(b, "ZNAXIS2 ", "ZNAXIS2 =   31"); }, unknown},
        {"gigabytes claimed",
         [](std::string& b) {
             setCard(b, "ZNAXIS1 ", "ZNAXIS1 = 14000");
             setCard(b, "ZNAXIS2 ", "ZNAXIS2 = 14000");
         },
         unknown},
        {"tile offset past the heap", [&](std::string& b) { setBE32(b, table + 4, 0x7FFFFFF0u); },
         unknown},
        {"tile length past the heap", [&](std::string& b) { setBE32(b, table, 0x40000000u); },
         unknown},
        {"tile shorter than its pixels", [&](std::string& b) { setBE32(b, table, 3); }, unknown},
        {"heap past the file", [](std::string& b) { setCard(b, "PCOUNT  ", "PCOUNT  = 99999999"); },
         unknown},
        {"table rows disagree with the columns",
         [](std::string& b) { setCard(b, "NAXIS1  ", "NAXIS1  =    9"); }, unknown},
        {"unknown compression", [](std::string& b) { setCard(b, "ZCMPTYPE", "ZCMPTYPE= 'FOO_1'"); },
         fits::kMsgNotSupported},
        {"gzip cut short", [](std::string& b) { b = gzipOf(b).substr(0, 900); }, unknown},
    };
    memory::ScopedLimit limit(32u << 20);
    for (const Case& c : cases) {
        std::string bytes = good;
        c.damage(bytes);
        EXPECT_EQ(readError(bytes), c.message) << c.what;
    }
}

TEST(FitsCompressed, GzipStreamLongerThanTheImageIsNotInflatedBeyondIt) {
    fitstest::Crafted f = fitstest::Crafted::image(16, 2, 100, 100);
    for (int i = 0; i < 100 * 100; ++i) f.be16(i);
    // 64 MB of zeros behind the image: inflating them would break the budget.
    const std::string bomb = gzipOf(f.bytes(), std::size_t{64} << 20);
    memory::ScopedLimit limit(8u << 20);
    Image img;
    readFitsMemory(bomb.data(), bomb.size(), img, Progress::none());
    EXPECT_EQ(img.row(0, 99)[99], 9999);
}

} // namespace
