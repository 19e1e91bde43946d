// OES-ast reader: header blocks, every pixel format, pixel-size rules and damaged files.
#include "formats/bytes.h"
#include "formats/oes_ast.h"
#include "formats/open.h"

#include <cmath>

using namespace quillon;
using namespace qtest;

namespace {

Bytes oesHeader(int w, int h, int bytes, int isSigned, int type, int flags = 0) {
    Bytes b(512, 0);
    setLe32(b, 0, static_cast<std::uint32_t>(w));
    setLe32(b, 4, static_cast<std::uint32_t>(h));
    setLe32(b, 8, static_cast<std::uint32_t>(bytes));
    setLe32(b, 12, static_cast<std::uint32_t>(isSigned));
    setLe32(b, 16, static_cast<std::uint32_t>(type));
    setLe32(b, 20, static_cast<std::uint32_t>(flags));
    return b;
}

Image readMem(const Bytes& b) {
    Image img;
    MemorySource src(b.data(), b.size());
    readOesAst(src, "/data/m51.ast", img, Progress::none());
    return img;
}

} // namespace

struct OesPixelCase {
    const char* name;
    int bytes, isSigned, type;
    std::function<void(Bytes&)> pixel; // appends one pixel
    int expected;
};

class OesPixels : public ::testing::TestWithParam<OesPixelCase> {};

TEST_P(OesPixels, FirstPixelAndRestZero) {
    const auto& c = GetParam();
    Bytes b = oesHeader(10, 10, c.bytes, c.isSigned, c.type);
    c.pixel(b);
    b.resize(512 + 100 * static_cast<std::size_t>(c.bytes), 0);
    Image img = readMem(b);
    ASSERT_EQ(img.type(), BW_IMAGE);
    EXPECT_EQ(img.row(0, 0)[0], c.expected);
    if (c.type != 16) {
        EXPECT_EQ(img.row(0, 9)[9], 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, OesPixels,
    ::testing::Values(
        OesPixelCase{"T4Unsigned", 1, 0, 4, [](Bytes& b) { put8(b, 200); }, 200},
        OesPixelCase{"T4Signed", 1, 1, 4, [](Bytes& b) { put8(b, 200); }, -56},
        OesPixelCase{"T5Signed", 1, 1, 5, [](Bytes& b) { put8(b, 200); }, 200},
        OesPixelCase{"T8Unsigned40000", 2, 0, 8, [](Bytes& b) { le16(b, 40000); }, 32767},
        OesPixelCase{"T8Signed", 2, 1, 8, [](Bytes& b) { le16(b, 40000); }, 40000 - 65536},
        OesPixelCase{"T9Signed", 2, 1, 9, [](Bytes& b) { le16(b, 1234); }, 1234},
        OesPixelCase{"T34One", 4, 0, 34, [](Bytes& b) { leF(b, 1.0f); }, 16384},
        OesPixelCase{"T34Three", 4, 0, 34, [](Bytes& b) { leF(b, 3.0f); }, 32766},
        OesPixelCase{"T34MinusThree", 4, 1, 34, [](Bytes& b) { leF(b, -3.0f); }, -32768},
        OesPixelCase{"T34NaN", 4, 0, 34, [](Bytes& b) { leF(b, NAN); }, 0},
        OesPixelCase{"T16Max", 4, 1, 16, [](Bytes& b) { le32(b, 1000); }, 32767}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(OesAst, Type16ScalesOverTheImageAndIgnoresExtremes) {
    Bytes b = oesHeader(10, 10, 4, 1, 16);
    for (int i = 0; i < 100; ++i) {
        std::int32_t v = i == 0 ? -2147483647 : (i == 1 ? 2147483647 : 100 + 10 * i);
        le32(b, static_cast<std::uint32_t>(v));
    }
    Image img = readMem(b);
    // Range from pixel 2 (120) to pixel 99 (1090); the extremes are outside the counted range.
    EXPECT_EQ(img.row(0, 0)[0], -32768);
    EXPECT_EQ(img.row(0, 0)[1], 32767);
    EXPECT_EQ(img.row(0, 0)[2], -32768);
    EXPECT_EQ(img.row(0, 9)[9], 32767);
    double t = (600.0 - 120.0) / 970.0; // pixel 50
    EXPECT_EQ(img.row(0, 5)[0], static_cast<int>(t * 65535 - 32768));
}

TEST(OesAst, Type16ConstantImageDoesNotDivideByZero) {
    Bytes b = oesHeader(10, 10, 4, 0, 16);
    for (int i = 0; i < 100; ++i) le32(b, 77);
    Image img = readMem(b);
    EXPECT_EQ(img.row(0, 3)[3], -32768);
}

TEST(OesAst, DateTimeSiteExposureAndComments) {
    Bytes b = oesHeader(12, 10, 1, 0, 5, 1 | 2 | 16);
    setLeF(b, 24, 1026737.0f);             // 17 + 5 × 32 + 2005 × 512
    setLeF(b, 28, 3600 * 21 + 60 * 5 + 9); // 21:05:09
    setLeF(b, 32, 59.0f);
    setLeF(b, 36, 2453508.5f);
    setLeF(b, 60, 0.009f); // millimetres
    setLeF(b, 64, 9e-6f);  // metres
    setLeF(b, 76, 3600.0f * 11.5f);
    setLeF(b, 80, 3600.0f * 48.25f);
    setLeF(b, 120, 30.0f);
    setLeF(b, 128, -15.0f);
    std::string c1 = "M51 Whirlpool   ";
    std::copy(c1.begin(), c1.end(), b.begin() + 256);
    b.resize(512 + 120, 9);
    Image img = readMem(b);
    const auto& info = img.info();
    EXPECT_EQ(textOf(info.date), "17/05/05");
    EXPECT_EQ(textOf(info.time), "21:05:09");
    EXPECT_EQ(textOf(info.siderealTime), "00:00:59");
    EXPECT_NEAR(info.julianDate, 2453508.5, 0.5);
    EXPECT_NEAR(img.pixelWidth(), 9.0f, 1e-3);
    EXPECT_NEAR(img.pixelHeight(), 9.0f, 1e-3);
    EXPECT_FLOAT_EQ(info.longitude, 11.5f);
    EXPECT_FLOAT_EQ(info.latitude, 48.25f);
    EXPECT_FLOAT_EQ(info.exposureTime, 30.0f);
    EXPECT_FLOAT_EQ(info.temperature, -15.0f);
    EXPECT_EQ(comments(img),
              (std::vector<std::string>{"M51 Whirlpool", "", "", "",
                                        "Quelle: OES-ast-Format, Typcode=5,  Sign=0"}));
    EXPECT_EQ(textOf(info.sourcePath), "/data/m51.ast");
    EXPECT_EQ(img.row(0, 0)[0], 9);
}

TEST(OesAst, BlocksWithoutTheirFlagAreIgnored) {
    Bytes b = oesHeader(10, 10, 1, 0, 4, 0);
    setLeF(b, 24, 1026737.0f);
    setLeF(b, 120, 30.0f);
    b.resize(512 + 100, 3);
    Image img = readMem(b);
    EXPECT_EQ(textOf(img.info().date), "");
    EXPECT_FLOAT_EQ(img.info().exposureTime, 0.0f);
    EXPECT_EQ(img.row(0, 0)[0], 3) << "pixels at byte 512";
}

TEST(OesAst, PixelSizeConversionToMicrometres) {
    EXPECT_NEAR(oesPixelSizeMicrometres(9.0f), 9.0f, 1e-5);      // µm
    EXPECT_NEAR(oesPixelSizeMicrometres(0.0074f), 7.4f, 1e-4);   // mm
    EXPECT_NEAR(oesPixelSizeMicrometres(6.8e-6f), 6.8f, 1e-4);   // m
    EXPECT_NEAR(oesPixelSizeMicrometres(24000.0f), 24.0f, 1e-4); // nm
    EXPECT_EQ(oesPixelSizeMicrometres(0.0f), 0.0f);
    EXPECT_EQ(oesPixelSizeMicrometres(-5.0f), 0.0f);
    EXPECT_EQ(oesPixelSizeMicrometres(INFINITY), 0.0f);
    EXPECT_EQ(oesPixelSizeMicrometres(1e-30f), 0.0f);
}

struct SizeCase {
    int w, h;
    float pw, ph;
};
class OesDefaultSize : public ::testing::TestWithParam<SizeCase> {};
TEST_P(OesDefaultSize, ByDimensions) {
    const auto& c = GetParam();
    Bytes b = oesHeader(c.w, c.h, 1, 0, 4, 2); // site block present but sizes 0
    b.resize(512 + static_cast<std::size_t>(c.w) * c.h, 0);
    Image img = readMem(b);
    EXPECT_FLOAT_EQ(img.pixelWidth(), c.pw);
    EXPECT_FLOAT_EQ(img.pixelHeight(), c.ph);
}
INSTANTIATE_TEST_SUITE_P(Rules, OesDefaultSize,
                         ::testing::Values(SizeCase{100, 100, 16, 16}, SizeCase{772, 580, 8, 8},
                                           SizeCase{765, 510, 8, 8}, SizeCase{386, 290, 16, 16},
                                           SizeCase{772, 290, 8, 16}, SizeCase{386, 580, 16, 8},
                                           SizeCase{551, 400, 16, 16}));

TEST(OesAst, RejectsBadFilesBeforeAllocating) {
    auto err = [](const Bytes& b) {
        Image img;
        std::string e = errorOf([&] { readMem(b); });
        return e;
    };
    EXPECT_EQ(err(oesHeader(10, 10, 3, 0, 4)), oes::kBadBytes);
    EXPECT_EQ(err(oesHeader(9, 10, 1, 0, 4)), msg::kInvalidSize);
    EXPECT_EQ(err(oesHeader(10, 10, 2, 0, 4)), oes::kBadFormat);
    EXPECT_EQ(err(oesHeader(10, 10, 1, 0, 7)), oes::kBadFormat);
    EXPECT_EQ(err(oesHeader(14000, 14000, 4, 0, 34)), oes::kTruncated) << "pixels missing";
    EXPECT_EQ(err(Bytes(20, 0)), oes::kTruncated);
    Bytes headerOnly = oesHeader(10, 10, 1, 0, 4);
    headerOnly.resize(300);
    EXPECT_EQ(err(headerOnly), oes::kTruncated);
    // Width is taken from the low 16 bits only.
    Bytes wide = oesHeader(0x10000 + 10, 10, 1, 0, 4);
    wide.resize(612, 1);
    EXPECT_EQ(readMem(wide).width(), 10);
}

TEST(OesAst, OpensThroughTheDispatchAndReportsMissingFiles) {
    TempDir dir;
    Bytes b = oesHeader(10, 10, 1, 0, 4);
    b.resize(612, 42);
    Image img;
    openImage(dir.write("cam.AST", b), img, Progress::none());
    EXPECT_EQ(img.row(0, 5)[5], 42);
    Image none;
    EXPECT_EQ(errorOf([&] { openImage(dir.file("missing.ast"), none, Progress::none()); }),
              oes::kOpenFailed);
}
