// Raster import: recognition by content, every decoder and its variants, the grey test, the
// 16-bit rule and the import's metadata.
#include "formats/codecs.h"
#include "formats/format_table.h"
#include "formats/open.h"
#include "formats/raster_files.h"
#include "formats/raster_import.h"
#include "support/progress_recorder.h"

using namespace quillon;
using namespace qtest;

namespace {

// A 12 × 10 BMP header for the given bit count and palette size.
Bytes bmpHeader(int w, int h, int bpp, int compression, std::size_t paletteEntries,
                std::size_t dataSize) {
    Bytes b{'B', 'M'};
    std::uint32_t off = static_cast<std::uint32_t>(54 + 4 * paletteEntries);
    le32(b, static_cast<std::uint32_t>(off + dataSize)), le32(b, 0), le32(b, off);
    le32(b, 40), le32(b, static_cast<std::uint32_t>(w)), le32(b, static_cast<std::uint32_t>(h));
    le16(b, 1), le16(b, static_cast<unsigned>(bpp)),
        le32(b, static_cast<std::uint32_t>(compression));
    le32(b, static_cast<std::uint32_t>(dataSize)), le32(b, 0), le32(b, 0);
    le32(b, static_cast<std::uint32_t>(paletteEntries)), le32(b, 0);
    return b;
}

void palette(Bytes& b, int n, bool grey) {
    for (int i = 0; i < n; ++i) {
        put8(b, static_cast<unsigned>(i)); // blue
        put8(b, static_cast<unsigned>(grey ? i : 255 - i));
        put8(b, static_cast<unsigned>(grey ? i : i / 2));
        put8(b, 0);
    }
}

} // namespace

TEST(RasterDetect, ContentOrderAndMetafileNames) {
    auto fmt = [](Bytes b, const std::string& name = {}) {
        b.resize(std::max<std::size_t>(b.size(), 600), 0);
        const FileFormat* f = detectRasterFormat(name, b.data(), b.size());
        return std::string(f ? f->name : "unknown");
    };
    EXPECT_EQ(fmt({'B', 'M'}), "bmp");
    EXPECT_EQ(fmt({'B', 'M'}, "x.wmf.bmp"), "wmf") << "name test comes first";
    EXPECT_EQ(fmt({0xFF, 0xD8, 0xFF}, "a.EMF"), "emf");
    Bytes tga(18, 0);
    tga[2] = 2, tga[16] = 24;
    EXPECT_EQ(fmt(tga), "tga");
    EXPECT_EQ(fmt({'G', 'I', 'F', '8', '9', 'a'}), "gif");
    EXPECT_EQ(fmt({'I', 'I', 42, 0}), "tiff");
    EXPECT_EQ(fmt({'M', 'M', 0, 42}), "tiff");
    Bytes pict(600, 0);
    pict[0] = 1; // keeps it from looking like a TGA
    pict[523] = 0x11, pict[524] = 2, pict[525] = 0xFF;
    EXPECT_EQ(fmt(pict), "pict");
    EXPECT_EQ(fmt({0xFF, 0xD8, 0xFF, 0xE0}), "jpeg");
    EXPECT_EQ(fmt({0x89, 'P', 'N', 'G'}), "png");
    Bytes eps{0xC5, 0xD0, 0xD3, 0xC6};
    eps.resize(28, 0);
    eps[20] = 30, eps[24] = 10;
    EXPECT_EQ(fmt(eps), "eps");
    eps[24] = 0;
    EXPECT_EQ(fmt(eps), "unknown");
    EXPECT_EQ(fmt({10, 5, 1, 8}), "pcx");
    EXPECT_EQ(fmt({'P', '5'}), "pgm");
    EXPECT_EQ(fmt({'P', '6', 1, 1}), "unknown");
}

TEST(RasterImport, UnknownGifAndMissingFilesGiveDecoderErrors) {
    TempDir dir;
    EXPECT_EQ(openError(dir, "a.png",
                        Bytes{'P', '6', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}),
              "Decoder error: Unknown file type.\n");
    EXPECT_EQ(openError(dir, "a.bmp",
                        Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1}),
              "Decoder error: Library not compiled for this file type.\n");
    Image img;
    std::string e = errorOf([&] { openImage(dir.file("none.png"), img, Progress::none()); });
    EXPECT_EQ(e, "Decoder error: Opening " + dir.file("none.png") + " failed\n");
    EXPECT_NE(openError(dir, "a.emf", Bytes(100, 1)).find("Enhanced metafiles"), std::string::npos);
}

// The alternative endings go to the raster import; a raster file under an ending no table lists
// reaches it after the camera RAW import refused it. Every file is made here.
TEST(RasterImport, AlternativeEndingsAndRasterFilesUnderUnlistedEndings) {
    TempDir dir;
    Bytes tiff = makeTiff(12, 10, 8, 1, Bytes(120, 77));
    // A version 2 PICT of 16 × 10 with one 1-bit BitsRect: left half black, right half white.
    Bytes pict(512, 0);
    be16(pict, 0);
    be16(pict, 0), be16(pict, 0), be16(pict, 10), be16(pict, 16); // frame
    be16(pict, 0x0011), be16(pict, 0x02FF), be16(pict, 0x0090), be16(pict, 2);
    for (int i = 0; i < 3; ++i) be16(pict, 0), be16(pict, 0), be16(pict, 10), be16(pict, 16);
    be16(pict, 0); // transfer mode
    for (int y = 0; y < 10; ++y) put8(pict, 0xFF), put8(pict, 0x00);
    be16(pict, 0x00FF);
    Picture grey;
    grey.resize(16, 12, PictureFormat::Grey8);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) grey.greyRow(y)[x] = 128;
    encodeJpeg(grey, dir.file("made.jpg"));
    const Bytes jpeg = readAll(dir.file("made.jpg"));
    const Bytes gif{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const std::string noGif = "Decoder error: Library not compiled for this file type.\n";
    struct Case {
        const char* name;
        const Bytes& bytes;
        std::string error; // empty: the file opens
        int width, x, value, tolerance;
    };
    const Case cases[] = {
        {"scan.tiff", tiff, "", 12, 0, 77, 0},
        {"mac.pict", pict, "", 16, 3, 0, 0},
        {"mac2.PICT", pict, "", 16, 12, 255, 0},
        {"photo.jpe", jpeg, "", 16, 5, 128, 2},
        {"anim.gif", gif, noGif, 0, 0, 0, 0},
        {"photo.jpg_large", jpeg, "", 16, 5, 128, 2}, // through the camera RAW import
        {"scan.tif2", tiff, "", 12, 0, 77, 0},
        {"anim.gif.part", gif, noGif, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image img;
        const std::string path = dir.write(c.name, c.bytes);
        EXPECT_EQ(errorOf([&] { openImage(path, img, Progress::none()); }), c.error);
        if (!c.error.empty()) {
            EXPECT_EQ(img.type(), NO_IMAGE);
            continue;
        }
        ASSERT_EQ(img.type(), BW_IMAGE);
        EXPECT_EQ(img.width(), c.width);
        EXPECT_NEAR(img.row(0, 4)[c.x], c.value, c.tolerance);
        EXPECT_EQ(comments(img).at(0), raster::kSourceComment);
    }
}

TEST(RasterImport, Bmp8BitGreyPaletteMetadataAndProgress) {
    TempDir dir;
    const int w = 12, h = 10;
    Bytes b = bmpHeader(w, h, 8, 0, 256, 12 * 10);
    palette(b, 256, true);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) put8(b, static_cast<unsigned>(10 * y + x)); // bottom row first
    testkit::ProgressRecorder rec;
    Progress progress(&rec);
    Image img;
    std::string path = dir.write("grey.bmp", b);
    openImage(path, img, progress);
    EXPECT_EQ(rec.title(), "Bild öffnen");
    EXPECT_EQ(progress.done(), h);
    ASSERT_EQ(img.type(), BW_IMAGE);
    EXPECT_EQ(img.row(0, h - 1)[0], 0) << "bottom-up rows";
    EXPECT_EQ(img.row(0, 0)[11], 90 + 11);
    EXPECT_FLOAT_EQ(img.pixelWidth(), 64.0f);
    EXPECT_EQ(textOf(img.info().date), "  /  /  ");
    EXPECT_EQ(textOf(img.info().time), "  :  :  ");
    EXPECT_EQ(textOf(img.info().siderealTime), "  :  :  ");
    EXPECT_EQ(comments(img),
              std::vector<std::string>{" Quelle war ein \"nicht-Astro\"-Bildformat !!! "});
    EXPECT_EQ(textOf(img.info().sourcePath), path);
}

TEST(RasterImport, BmpDepthsAndRle) {
    TempDir dir;
    const int w = 12, h = 10;
    // 24-bit, top-down: red ramp, constant green, blue by row.
    {
        Bytes b = bmpHeader(w, -h, 24, 0, 0, 36 * 10);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                put8(b, static_cast<unsigned>(y)), put8(b, 100),
                    put8(b, static_cast<unsigned>(20 * x));
        Image img = openBytes(dir, "c24.bmp", b);
        ASSERT_EQ(img.type(), RGB_IMAGE);
        EXPECT_EQ(img.row(0, 0)[3], 60);
        EXPECT_EQ(img.row(1, 5)[5], 100);
        EXPECT_EQ(img.row(2, 9)[0], 9);
    }
    // 16-bit 5-5-5.
    {
        Bytes b = bmpHeader(w, h, 16, 0, 0, 24 * 10);
        for (int i = 0; i < w * h; ++i) le16(b, (31u << 10) | (0u << 5) | 16u);
        Image img = openBytes(dir, "c16.bmp", b);
        EXPECT_EQ(img.row(0, 0)[0], 255);
        EXPECT_EQ(img.row(1, 0)[0], 0);
        EXPECT_EQ(img.row(2, 0)[0], (16 * 255 + 15) / 31);
    }
    // 4-bit colour palette.
    {
        Bytes b = bmpHeader(w, h, 4, 0, 16, 8 * 10);
        palette(b, 16, false);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; x += 2) put8(b, 0x3A);
            put8(b, 0), put8(b, 0);
        }
        Image img = openBytes(dir, "c4.bmp", b);
        ASSERT_EQ(img.type(), RGB_IMAGE);
        EXPECT_EQ(img.row(2, 0)[0], 3) << "blue of entry 3";
        EXPECT_EQ(img.row(1, 0)[1], 255 - 10) << "green of entry 10";
    }
    // RLE8 with a run, an absolute run, a delta and end of line / bitmap.
    {
        Bytes data{4, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 3, 1, 1, 9, 0, 1};
        Bytes b = bmpHeader(w, h, 8, 1, 256, data.size());
        palette(b, 256, true);
        b.insert(b.end(), data.begin(), data.end());
        Image img = openBytes(dir, "r8.bmp", b);
        const Sample* bottom = img.row(0, h - 1);
        EXPECT_EQ(bottom[0], 7);
        EXPECT_EQ(bottom[3], 7);
        EXPECT_EQ(bottom[4], 1);
        EXPECT_EQ(bottom[6], 3);
        EXPECT_EQ(img.row(0, h - 2)[2], 0) << "skipped by the delta";
        EXPECT_EQ(img.row(0, h - 3)[3], 9) << "end of line, then a delta of (3, 1)";
    }
    // RLE4.
    {
        Bytes data{5, 0x12, 0, 3, 0x45, 0x60, 0, 1};
        Bytes b = bmpHeader(w, h, 4, 2, 16, data.size());
        palette(b, 16, true);
        b.insert(b.end(), data.begin(), data.end());
        Image img = openBytes(dir, "r4.bmp", b);
        const Sample* bottom = img.row(0, h - 1);
        EXPECT_EQ(bottom[0], 1);
        EXPECT_EQ(bottom[1], 2);
        EXPECT_EQ(bottom[4], 1);
        EXPECT_EQ(bottom[5], 4);
        EXPECT_EQ(bottom[7], 6);
    }
    // 1-bit.
    {
        Bytes b = bmpHeader(w, h, 1, 0, 2, 4 * 10);
        palette(b, 2, true);
        for (int y = 0; y < h; ++y) put8(b, 0x80), put8(b, 0x10), put8(b, 0), put8(b, 0);
        Image img = openBytes(dir, "m1.bmp", b);
        EXPECT_EQ(img.row(0, 0)[0], 1);
        EXPECT_EQ(img.row(0, 0)[1], 0);
        EXPECT_EQ(img.row(0, 0)[11], 1);
    }
    // Truncated plain data.
    Bytes bad = bmpHeader(w, h, 24, 0, 0, 360);
    bad.resize(bad.size() + 100, 0);
    EXPECT_EQ(openError(dir, "bad.bmp", bad), "Decoder error: BMP: pixel data incomplete.\n");
}

TEST(RasterImport, TgaVariants) {
    TempDir dir;
    const int w = 12, h = 10;
    auto header = [&](int type, int mapLen, int mapBits, int bits, int desc) {
        Bytes b{0, static_cast<std::uint8_t>(mapLen ? 1 : 0), static_cast<std::uint8_t>(type)};
        le16(b, 0), le16(b, static_cast<unsigned>(mapLen)), put8(b, static_cast<unsigned>(mapBits));
        le16(b, 0), le16(b, 0), le16(b, w), le16(b, h);
        put8(b, static_cast<unsigned>(bits)), put8(b, static_cast<unsigned>(desc));
        return b;
    };
    // True colour 24-bit, bottom origin.
    Bytes tc = header(2, 0, 0, 24, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) put8(tc, 1), put8(tc, 2), put8(tc, static_cast<unsigned>(y));
    Image a = openBytes(dir, "tc.tga", tc);
    ASSERT_EQ(a.type(), RGB_IMAGE);
    EXPECT_EQ(a.row(0, h - 1)[0], 0);
    EXPECT_EQ(a.row(0, 0)[0], 9);
    EXPECT_EQ(a.row(2, 0)[0], 1);
    // RLE true colour 32-bit, top origin: one run of 100 and one of 20 raw pixels.
    Bytes rle = header(10, 0, 0, 32, 0x20);
    put8(rle, 0x80 | 99), put8(rle, 10), put8(rle, 20), put8(rle, 30), put8(rle, 255);
    put8(rle, 19);
    for (int i = 0; i < 20; ++i)
        put8(rle, 5), put8(rle, 6), put8(rle, static_cast<unsigned>(i)), put8(rle, 255);
    Image b = openBytes(dir, "rle.tga", rle);
    EXPECT_EQ(b.row(0, 0)[0], 30);
    EXPECT_EQ(b.row(2, 8)[3], 10);
    EXPECT_EQ(b.row(0, 9)[11], 19);
    // Colour-mapped, 24-bit map of 3 entries; grey map → grey image.
    Bytes cm = header(1, 3, 24, 8, 0x20);
    for (int i = 0; i < 3; ++i) put8(cm, 50u * i), put8(cm, 50u * i), put8(cm, 50u * i);
    for (int i = 0; i < w * h; ++i) put8(cm, static_cast<unsigned>(i % 3));
    Image c = openBytes(dir, "cm.tga", cm);
    EXPECT_EQ(c.type(), BW_IMAGE);
    EXPECT_EQ(c.row(0, 0)[2], 100);
    // Grey RLE.
    Bytes gr = header(11, 0, 0, 8, 0x20);
    put8(gr, 0x80 | 127), put8(gr, 77);
    Image d = openBytes(dir, "g.tga", gr);
    EXPECT_EQ(d.type(), BW_IMAGE);
    EXPECT_EQ(d.row(0, 9)[11], 77);
    // 16-bit true colour.
    Bytes t16 = header(2, 0, 0, 16, 0x20);
    for (int i = 0; i < w * h; ++i) le16(t16, 31u << 10);
    Image e = openBytes(dir, "t16.tga", t16);
    EXPECT_EQ(e.row(0, 0)[0], 255);
    EXPECT_EQ(e.row(1, 0)[0], 0);
    // Run-length data cut short.
    Bytes cut = header(10, 0, 0, 24, 0);
    put8(cut, 0x80 | 10), put8(cut, 1), put8(cut, 2), put8(cut, 3);
    EXPECT_NE(openError(dir, "cut.tga", cut).find("TGA: "), std::string::npos);
}

// libjpeg refuses an empty block through its error exit, which must already be set up.
TEST(RasterImport, EmptyJpegBlockIsAnError) {
    Bitmap bmp;
    const std::uint8_t none = 0;
    EXPECT_EQ(errorOf([&] { decodeJpeg(&none, 0, bmp); }), "JPEG: Empty input file");
}
