// Raster import of PCX, PGM, PICT, PNG, TIFF, EPS, JPEG and metafiles, and the 16-bit rule.
#include "formats/codecs.h"
#include "formats/open.h"
#include "formats/raster_files.h"
#include "formats/raster_import.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

using namespace quillon;
using namespace qtest;

namespace {

Bytes pcxHeader(int w, int h, int bits, int planes, int bytesPerLine, bool rle) {
    Bytes b(128, 0);
    b[0] = 10, b[1] = 5, b[2] = rle ? 1 : 0, b[3] = static_cast<std::uint8_t>(bits);
    b[8] = static_cast<std::uint8_t>(w - 1), b[10] = static_cast<std::uint8_t>(h - 1);
    b[65] = static_cast<std::uint8_t>(planes), b[66] = static_cast<std::uint8_t>(bytesPerLine);
    return b;
}

} // namespace

TEST(RasterFormats, PcxPaletteRgbAndMono) {
    TempDir dir;
    const int w = 12, h = 10;
    Bytes p8 = pcxHeader(w, h, 8, 1, 12, true);
    for (int y = 0; y < h; ++y)
        put8(p8, 0xC0 | 12), put8(p8, static_cast<unsigned>(y)); // a run per line
    put8(p8, 12);
    for (int i = 0; i < 256; ++i) put8(p8, static_cast<unsigned>(i)), put8(p8, 0), put8(p8, 0);
    Image a = openBytes(dir, "p8.pcx", p8);
    ASSERT_EQ(a.type(), RGB_IMAGE) << "red palette";
    EXPECT_EQ(a.row(0, 7)[5], 7);
    EXPECT_EQ(a.row(1, 7)[5], 0);

    Bytes rgb = pcxHeader(w, h, 8, 3, 12, true);
    for (int y = 0; y < h; ++y)
        for (int p = 0; p < 3; ++p)
            for (int x = 0; x < w; ++x) {
                unsigned v = static_cast<unsigned>(p * 100 + x);
                if (v >= 0xC0) put8(rgb, 0xC1); // a run of one
                put8(rgb, v);
            }
    Image b = openBytes(dir, "rgb.pcx", rgb);
    EXPECT_EQ(b.row(0, 3)[4], 4);
    EXPECT_EQ(b.row(2, 3)[4], 204);

    Bytes mono = pcxHeader(w, h, 1, 1, 2, true);
    for (int y = 0; y < h; ++y) put8(mono, 0xA0), put8(mono, 0x00);
    Image c = openBytes(dir, "m.pcx", mono);
    EXPECT_EQ(c.type(), BW_IMAGE);
    EXPECT_EQ(c.row(0, 0)[0], 255);
    EXPECT_EQ(c.row(0, 0)[1], 0);
    EXPECT_EQ(c.row(0, 0)[2], 255);

    Bytes cut = pcxHeader(w, h, 8, 1, 12, true);
    put8(cut, 0xC0 | 12);
    EXPECT_EQ(openError(dir, "cut.pcx", cut), "Decoder error: PCX: pixel data incomplete.\n");
}

TEST(RasterFormats, PgmTextBinaryAndSixteenBit) {
    TempDir dir;
    Bytes p2;
    text(p2, "P2\n# comment\n12 10\n255\n");
    for (int i = 0; i < 120; ++i) text(p2, std::to_string(i * 2) + (i % 12 == 11 ? "\n" : " "));
    Image a = openBytes(dir, "a.pgm", p2);
    ASSERT_EQ(a.type(), BW_IMAGE);
    EXPECT_EQ(a.row(0, 9)[11], 238);
    EXPECT_EQ(comments(a).size(), 1u);

    Bytes p5;
    text(p5, "P5 12 10 255\n");
    for (int i = 0; i < 120; ++i) put8(p5, static_cast<unsigned>(i));
    EXPECT_EQ(openBytes(dir, "b.pgm", p5).row(0, 1)[0], 12);

    // 16 bits: 1 of 120 values (0.83 %) at 65535 → everything halved.
    Bytes h16;
    text(h16, "P5 12 10 65535\n");
    for (int i = 0; i < 120; ++i) be16(h16, i == 0 ? 65535u : 40000u + i);
    Image c = openBytes(dir, "c.pgm", h16);
    EXPECT_EQ(c.row(0, 0)[0], 32767);
    EXPECT_EQ(c.row(0, 0)[1], (40000 + 1) / 2);
    EXPECT_EQ(comments(c)[1], raster::kHalvedComment);

    Bytes cut;
    text(cut, "P5 12 10 255\n");
    cut.resize(cut.size() + 50, 0);
    EXPECT_EQ(openError(dir, "cut.pgm", cut), "Decoder error: PGM: pixel data incomplete.\n");
}

TEST(RasterFormats, SixteenBitRuleClipsBelowTheThreshold) {
    // 1 000 values, 4 of them (0.4 %) above 32767: clipped, not halved.
    Bitmap bmp;
    bmp.create(100, 10, 16);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 100; ++x)
            bmp.row16(y)[x] = static_cast<std::uint16_t>(y == 0 && x < 4 ? 50000 : 1000 + x);
    Image img;
    importBitmap(bmp, img, "x.png", Progress::none());
    EXPECT_EQ(img.row(0, 0)[0], 32767);
    EXPECT_EQ(img.row(0, 5)[7], 1007);
    EXPECT_EQ(comments(img)[1], raster::kClippedComment);
}

TEST(RasterFormats, PngGreyPaletteColourAndSixteenBit) {
    TempDir dir;
    const int w = 12, h = 10;
    Bytes idx, plte;
    for (int i = 0; i < 256; ++i)
        put8(plte, static_cast<unsigned>(255 - i)), put8(plte, static_cast<unsigned>(255 - i)),
            put8(plte, static_cast<unsigned>(255 - i));
    for (int i = 0; i < w * h; ++i) put8(idx, static_cast<unsigned>(i));
    Image a = openBytes(dir, "pal.png", makePng(w, h, 8, 3, idx, plte));
    ASSERT_EQ(a.type(), BW_IMAGE);
    EXPECT_EQ(a.row(0, 0)[0], 255);
    EXPECT_EQ(a.row(0, 9)[11], 255 - 119);

    // RGB whose channels differ by at most 2 is grey; by 3 it is colour.
    Bytes near, far;
    for (int i = 0; i < w * h; ++i) {
        put8(near, 100), put8(near, 101), put8(near, 102);
        put8(far, 100), put8(far, 100), put8(far, i == 7 ? 103 : 100);
    }
    Image b = openBytes(dir, "near.png", makePng(w, h, 8, 2, near));
    EXPECT_EQ(b.type(), BW_IMAGE);
    EXPECT_EQ(b.row(0, 0)[0], 101);
    Image c = openBytes(dir, "far.png", makePng(w, h, 8, 2, far));
    EXPECT_EQ(c.type(), RGB_IMAGE);
    EXPECT_EQ(c.row(2, 0)[7], 103);

    Bytes rgb16;
    for (int i = 0; i < w * h; ++i)
        be16(rgb16, 30000), be16(rgb16, 20000), be16(rgb16, static_cast<unsigned>(i));
    Image d = openBytes(dir, "deep.png", makePng(w, h, 16, 2, rgb16));
    ASSERT_EQ(d.type(), RGB_IMAGE);
    EXPECT_EQ(d.row(0, 0)[0], 30000) << "16-bit precision kept";
    EXPECT_EQ(d.row(2, 9)[11], 119);
    EXPECT_EQ(comments(d)[1], raster::kClippedComment);

    Bytes bad = makePng(w, h, 8, 0, Bytes(120, 1));
    bad.resize(bad.size() - 30);
    EXPECT_EQ(openError(dir, "bad.png", bad).rfind("Decoder error: PNG: ", 0), 0u);
}

TEST(RasterFormats, TiffGrey8Grey16Rgb16AndEpsPreview) {
    TempDir dir;
    const int w = 12, h = 10;
    Bytes g8;
    for (int i = 0; i < w * h; ++i) put8(g8, static_cast<unsigned>(i));
    Image a = openBytes(dir, "g8.tif", makeTiff(w, h, 8, 1, g8));
    ASSERT_EQ(a.type(), BW_IMAGE);
    EXPECT_EQ(a.row(0, 9)[11], 119);

    Bytes g16;
    for (int i = 0; i < w * h; ++i) le16(g16, 500u * i);
    Image b = openBytes(dir, "g16.tif", makeTiff(w, h, 16, 1, g16));
    // 54 of 120 values above 32767: halved.
    EXPECT_EQ(b.row(0, 0)[6], 1500);
    EXPECT_EQ(b.row(0, 9)[11], 59500 / 2);

    Bytes rgb16;
    for (int i = 0; i < w * h; ++i) le16(rgb16, 1000), le16(rgb16, 5000), le16(rgb16, 9000);
    Image c = openBytes(dir, "rgb16.tif", makeTiff(w, h, 16, 3, rgb16));
    ASSERT_EQ(c.type(), RGB_IMAGE);
    EXPECT_EQ(c.row(2, 4)[4], 9000);

    // A header of 16641 samples per pixel in rows of 65279 pixels, which asked libtiff for 13 GB.
    std::ifstream in(std::string(QUILLON_SOURCE_DIR) + "/fuzz/corpus/raster/tiff-huge-strip",
                     std::ios::binary);
    const Bytes huge{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(huge.size(), 340u);
    EXPECT_EQ(openError(dir, "huge.tif", huge), "Decoder error: TIFF: the file is damaged.\n");

    Bytes tiff = makeTiff(w, h, 8, 1, g8);
    Bytes eps{0xC5, 0xD0, 0xD3, 0xC6};
    eps.resize(40, 0);
    setLe32(eps, 20, 40);
    setLe32(eps, 24, static_cast<std::uint32_t>(tiff.size()));
    eps.insert(eps.end(), tiff.begin(), tiff.end());
    text(eps, "%!PS-Adobe-3.0 EPSF-3.0\n");
    EXPECT_EQ(openBytes(dir, "fig.eps", eps).row(0, 1)[0], 12);
}

TEST(RasterFormats, JpegRoundTripAndJpegNamedBmp) {
    TempDir dir;
    Picture bmp;
    bmp.resize(16, 12, PictureFormat::Rgb32);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) bmp.rgbRow(y)[x] = opaque(makeRgb(200, 40, 40));
    encodeJpeg(bmp, dir.file("c.jpg"), 95);
    std::filesystem::rename(dir.file("c.jpg"), dir.file("really-a-jpeg.bmp"));
    Image img;
    openImage(dir.file("really-a-jpeg.bmp"), img, Progress::none());
    ASSERT_EQ(img.type(), RGB_IMAGE);
    EXPECT_NEAR(img.row(0, 5)[5], 200, 4);
    EXPECT_NEAR(img.row(1, 5)[5], 40, 4);

    Picture grey;
    grey.resize(16, 12, PictureFormat::Grey8);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) grey.greyRow(y)[x] = 128;
    encodeJpeg(grey, dir.file("g.jpg"));
    Image g;
    openImage(dir.file("g.jpg"), g, Progress::none());
    EXPECT_EQ(g.type(), BW_IMAGE);
    EXPECT_NEAR(g.row(0, 0)[0], 128, 2);

    Bytes bad = readAll(dir.file("g.jpg"));
    bad.resize(bad.size() / 3);
    // A cut JPEG still decodes (libjpeg fills in grey); a broken header does not.
    Bytes broken{0xFF, 0xD8, 0xFF, 0xC0, 0, 3, 1, 2, 3, 4};
    EXPECT_EQ(openError(dir, "broken.jpg", broken).rfind("Decoder error: JPEG: ", 0), 0u);
}

TEST(RasterFormats, PictPackBitsAndDirectBits) {
    TempDir dir;
    const int w = 12, h = 10;
    auto start = [&](Bytes& b) {
        b.assign(512, 0);
        be16(b, 0);
        be16(b, 0), be16(b, 0), be16(b, h), be16(b, w); // frame
        be16(b, 0x0011), be16(b, 0x02FF);
        be16(b, 0x0C00);
        b.resize(b.size() + 24, 0);
        be16(b, 0x001E);                                                              // DefHilite
        be16(b, 0x0001), be16(b, 10), be16(b, 0), be16(b, 0), be16(b, h), be16(b, w); // clip
    };
    auto pixmap = [&](Bytes& b, int rowBytes, int packType, int pixelSize, int cmpCount) {
        be16(b, 0x8000 | static_cast<unsigned>(rowBytes));
        be16(b, 0), be16(b, 0), be16(b, h), be16(b, w);
        be16(b, 0), be16(b, static_cast<unsigned>(packType)), be32(b, 0), be32(b, 0x480000),
            be32(b, 0x480000);
        be16(b, pixelSize == 32 ? 16 : 0), be16(b, static_cast<unsigned>(pixelSize)),
            be16(b, static_cast<unsigned>(cmpCount)),
            be16(b, pixelSize == 32 ? 8 : static_cast<unsigned>(pixelSize));
        be32(b, 0), be32(b, 0), be32(b, 0);
    };
    auto rects = [&](Bytes& b) {
        for (int i = 0; i < 2; ++i) be16(b, 0), be16(b, 0), be16(b, h), be16(b, w);
        be16(b, 0); // mode
    };
    // PackBitsRect, 8 bits with a 2-colour table: every row a run of value 1.
    Bytes p;
    start(p);
    be16(p, 0x0098);
    pixmap(p, w, 0, 8, 1);
    be32(p, 0), be16(p, 0), be16(p, 1);
    be16(p, 0), be16(p, 0xFFFF), be16(p, 0xFFFF), be16(p, 0xFFFF);
    be16(p, 1), be16(p, 0x1000), be16(p, 0x2000), be16(p, 0x3000);
    rects(p);
    for (int y = 0; y < h; ++y)
        put8(p, 2), put8(p, static_cast<unsigned>(-(w - 1)) & 0xFF), put8(p, 1);
    if (p.size() & 1) put8(p, 0);
    be16(p, 0x00FF);
    Image a = openBytes(dir, "a.pct", p);
    ASSERT_EQ(a.type(), RGB_IMAGE);
    EXPECT_EQ(a.row(0, 9)[11], 0x10);
    EXPECT_EQ(a.row(2, 0)[0], 0x30);

    // DirectBitsRect, 32 bits, packing type 4 (components packed separately).
    Bytes d;
    start(d);
    be16(d, 0x009A);
    be32(d, 0xFF);
    pixmap(d, 4 * w, 4, 32, 3);
    rects(d);
    for (int y = 0; y < h; ++y) {
        Bytes row;
        put8(row, static_cast<unsigned>(-(w - 1)) & 0xFF), put8(row, 200);
        put8(row, static_cast<unsigned>(-(w - 1)) & 0xFF), put8(row, 100);
        put8(row, w - 1);
        for (int x = 0; x < w; ++x) put8(row, static_cast<unsigned>(x));
        put8(d, static_cast<unsigned>(row.size()));
        d.insert(d.end(), row.begin(), row.end());
    }
    if (d.size() & 1) put8(d, 0);
    be16(d, 0x00FF);
    Image b = openBytes(dir, "d.pct", d);
    EXPECT_EQ(b.row(0, 4)[4], 200);
    EXPECT_EQ(b.row(1, 4)[4], 100);
    EXPECT_EQ(b.row(2, 4)[7], 7);

    Bytes none;
    start(none);
    be16(none, 0x00FF);
    EXPECT_EQ(openError(dir, "n.pct", none), "Decoder error: PICT: the picture holds no bitmap.\n");
}

// A 640 × 480 PICT whose picture is a QuickTime JPEG (opcode 0x8200) made by the program's own
// encoder opens as the JPEG itself does, close to the source pixels; another codec is refused
// by name, and lengths that promise more than the file holds fail.
TEST(RasterFormats, PictWithQuickTimeJpeg) {
    TempDir dir;
    const int w = 640, h = 480;
    auto colour = [](int x, int y, int c) {
        return c == 0 ? x * 255 / 639 : c == 1 ? y * 255 / 479 : 90;
    };
    Picture src;
    src.resize(w, h, PictureFormat::Rgb32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            src.rgbRow(y)[x] = opaque(makeRgb(static_cast<std::uint8_t>(colour(x, y, 0)),
                                              static_cast<std::uint8_t>(colour(x, y, 1)), 90));
    encodeJpeg(src, dir.file("q.jpg"), 95);
    const Bytes jpeg = readAll(dir.file("q.jpg"));
    const auto size = static_cast<std::uint32_t>(jpeg.size());
    // lie: added to the opcode's length; dataSize: the image description's.
    auto pict = [&](const char* codec, std::uint32_t lie, std::uint32_t dataSize) {
        Bytes b(512, 0), q(2, 0); // q: the opcode's data, from its version on
        be16(b, 0), be16(b, 0), be16(b, 0), be16(b, h), be16(b, w); // size, frame
        be16(b, 0x0011), be16(b, 0x02FF), be16(b, 0x0C00);
        b.resize(b.size() + 24, 0);
        for (std::uint32_t m : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u})
            be32(q, m);
        q.resize(q.size() + 4 + 8 + 2, 0);              // matte size and rectangle, mode
        be16(q, 0), be16(q, 0), be16(q, h), be16(q, w); // source rectangle
        q.resize(q.size() + 8, 0);                      // accuracy, mask size
        const std::size_t description = q.size();
        be32(q, 86), text(q, codec);
        q.resize(description + 32, 0);
        be16(q, w), be16(q, h), be32(q, 0x480000), be32(q, 0x480000), be32(q, dataSize);
        q.resize(description + 86, 0);
        q.insert(q.end(), jpeg.begin(), jpeg.end());
        be16(b, 0x8200), be32(b, static_cast<std::uint32_t>(q.size()) + lie);
        b.insert(b.end(), q.begin(), q.end());
        if (b.size() & 1) put8(b, 0);
        be16(b, 0x00FF);
        return b;
    };
    Image img = openBytes(dir, "q.pct", pict("jpeg", 0, size));
    ASSERT_EQ(img.type(), RGB_IMAGE);
    ASSERT_EQ(img.width(), w);
    ASSERT_EQ(img.height(), h);
    Image direct;
    openImage(dir.file("q.jpg"), direct, Progress::none());
    int worst = 0;
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(img.row(c, y)[x], direct.row(c, y)[x]) << c << " " << x << "," << y;
                worst = std::max(worst, std::abs(img.row(c, y)[x] - colour(x, y, c)));
            }
    EXPECT_LE(worst, 8);
    EXPECT_EQ(
        openError(dir, "r.pct", pict("rle ", 0, size)),
        "Decoder error: PICT: QuickTime-compressed pictures are not supported (only JPEG).\n");
    const std::string incomplete = "Decoder error: PICT: data incomplete.\n";
    EXPECT_EQ(openError(dir, "l.pct", pict("jpeg", 1000, size)), incomplete);
    EXPECT_EQ(openError(dir, "d.pct", pict("jpeg", 0, size + 1)), incomplete);
    Bytes cut = pict("jpeg", 0, size);
    cut.resize(700);
    EXPECT_EQ(openError(dir, "c.pct", cut), incomplete);
}

TEST(RasterFormats, WindowsMetafileRendersAndBadOnesFailClearly) {
    TempDir dir;
    // Placeable header, metafile header, a red brush, select it, a rectangle, end.
    Bytes m;
    le32(m, 0x9AC6CDD7), le16(m, 0), le16(m, 0), le16(m, 0), le16(m, 100), le16(m, 80), le16(m, 72),
        le32(m, 0);
    unsigned sum = 0;
    for (std::size_t i = 0; i < 20; i += 2) sum ^= m[i] | (m[i + 1] << 8);
    le16(m, sum);
    Bytes recs;
    auto rec = [&](unsigned fn, std::initializer_list<unsigned> params) {
        le32(recs, static_cast<std::uint32_t>(3 + params.size()));
        le16(recs, fn);
        for (auto p : params) le16(recs, p);
    };
    rec(0x02FC, {0, 0x00FF, 0x0000, 0}); // CreateBrushIndirect: solid, red
    rec(0x012D, {0});                    // SelectObject 0
    rec(0x041B, {60, 90, 10, 10});       // Rectangle bottom, right, top, left
    rec(0x0000, {});                     // end
    Bytes hdr;
    le16(hdr, 1), le16(hdr, 9), le16(hdr, 0x0300);
    le32(hdr, static_cast<std::uint32_t>((18 + recs.size()) / 2)), le16(hdr, 1), le32(hdr, 7),
        le16(hdr, 0);
    m.insert(m.end(), hdr.begin(), hdr.end());
    m.insert(m.end(), recs.begin(), recs.end());
    Image img;
    openImage(dir.write("fig.WMF", m), img, Progress::none());
    ASSERT_EQ(img.type(), RGB_IMAGE);
    EXPECT_EQ(img.width(), 100) << "the placeable header's 100 units at 72 per inch";
    EXPECT_EQ(img.height(), 80);
    EXPECT_EQ(img.row(0, 40)[50], 255) << "inside the red rectangle";
    EXPECT_EQ(img.row(1, 40)[50], 0);
    // Whatever a .wmf file holds, it is treated as a metafile.
    EXPECT_EQ(openError(dir, "photo.wmf", Bytes(64, 0x42)).rfind("Decoder error: WMF: ", 0), 0u);
    // A header announcing a record of gigabytes in a file of 31 bytes is refused before
    // libwmf allocates it.
    Bytes huge(12, 0);
    le32(huge, 0x714d0000u);
    huge.resize(31, 0);
    EXPECT_EQ(openError(dir, "huge.wmf", huge), "Decoder error: WMF: the metafile is damaged.\n");
}
