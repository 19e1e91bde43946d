// PNG writer: RGB and grey pictures decode to the same pixels; failures leave no file.
#include "core/error.h"
#include "formats/png_write.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>

using namespace quillon;
namespace fs = std::filesystem;

namespace {
struct Decoded {
    int width = 0, height = 0;
    png_uint_32 format = 0;
    std::vector<std::uint8_t> pixels;
};

Decoded decode(const std::vector<std::uint8_t>& bytes, png_uint_32 format) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    Decoded d;
    if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) return d;
    d.format = img.format;
    img.format = format;
    d.pixels.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, d.pixels.data(), 0, nullptr)) return {};
    d.width = static_cast<int>(img.width);
    d.height = static_cast<int>(img.height);
    return d;
}

std::vector<std::uint8_t> readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}
} // namespace

TEST(PngWrite, RgbAndGreyPicturesRoundTrip) {
    Picture rgb;
    rgb.resize(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            rgb.rgbRow(y)[x] = opaque(makeRgb(x * 30, y * 50, (x * y * 13) % 256));
    Decoded d = decode(encodePng(rgb), PNG_FORMAT_RGB);
    ASSERT_EQ(d.width, 7);
    ASSERT_EQ(d.height, 5);
    EXPECT_EQ(d.format, static_cast<png_uint_32>(PNG_FORMAT_RGB));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const std::uint8_t* px = &d.pixels[static_cast<std::size_t>((y * 7 + x) * 3)];
            EXPECT_EQ(makeRgb(px[0], px[1], px[2]), rgb.rgbAt(x, y)) << x << "," << y;
        }

    Picture grey;
    grey.resize(5, 3, PictureFormat::Grey8); // rows padded to 8 bytes
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) grey.greyRow(y)[x] = static_cast<std::uint8_t>(x * 50 + y);
    Decoded g = decode(encodePng(grey), PNG_FORMAT_GRAY);
    ASSERT_EQ(g.width, 5);
    EXPECT_EQ(g.format, static_cast<png_uint_32>(PNG_FORMAT_GRAY));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(g.pixels[static_cast<std::size_t>(y * 5 + x)], x * 50 + y);

    // A neutral colour picture may be stored as grey.
    Picture neutral;
    neutral.resize(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) neutral.rgbRow(y)[x] = opaque(makeRgb(x, x, x));
    PngOptions o;
    o.greyWhenNeutral = true;
    EXPECT_EQ(decode(encodePng(neutral, o), PNG_FORMAT_GRAY).format,
              static_cast<png_uint_32>(PNG_FORMAT_GRAY));
}

TEST(PngWrite, WritesAtomicallyAndReportsFailures) {
    quillon::testkit::TempDir tmp;
    const fs::path& dir = tmp.path();
    Picture p;
    p.resize(3, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) p.rgbRow(y)[x] = opaque(0x102030);
    fs::path out = dir / "a.png";
    writePng(out.string(), p);
    EXPECT_EQ(decode(readFile(out), PNG_FORMAT_RGB).width, 3);
    EXPECT_THROW(writePng((dir / "missing" / "b.png").string(), p), Error);
    Picture empty;
    EXPECT_THROW(writePng((dir / "c.png").string(), empty, {}, "Fehler X"), Error);
    EXPECT_FALSE(fs::exists(dir / "c.png"));
    std::size_t entries = 0;
    for (auto& e : fs::directory_iterator(dir)) (void)e, ++entries;
    EXPECT_EQ(entries, 1u) << "no temporary files left behind";
}
