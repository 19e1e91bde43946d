// Export: encoder by extension, the messages, the grey rule and round trips of every encoder.
#include "display/export_view.h"
#include "display/histogram.h"
#include "display/renderer.h"
#include "formats/bytes.h"
#include "formats/codecs.h"
#include "formats/format_table.h"
#include "formats/open.h"
#include "formats/raster_export.h"
#include "support/test_images.h"

#include <filesystem>

using namespace quillon;
using namespace qtest;

namespace {

// A 14 × 11 picture: 8-bit grey ramp, or a colour pattern.
Picture picture(bool grey) {
    Picture p;
    p.resize(14, 11, grey ? PictureFormat::Grey8 : PictureFormat::Rgb32);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 14; ++x) {
            const int v = 10 * x + y;
            if (grey)
                p.greyRow(y)[x] = static_cast<std::uint8_t>(v);
            else
                p.rgbRow(y)[x] = opaque(makeRgb(v, 90, 30));
        }
    return p;
}

// The bits per pixel of a BMP file's header.
int bmpBitCount(const std::string& path) {
    Bytes b = readAll(path);
    return b.size() > 30 ? b[28] : -1;
}

} // namespace

TEST(FormatTable, RowsKeepTheirRules) {
    EXPECT_TRUE(formatRowsAreSound());
}

TEST(RasterExport, EncoderByExtensionAndMessages) {
    EXPECT_STREQ(exportEncoderFor("a.JPG")->name, "jpeg");
    EXPECT_STREQ(exportEncoderFor("a.jif")->name, "jpeg");
    EXPECT_STREQ(exportEncoderFor("x.y/a.tif")->name, "tiff");
    EXPECT_STREQ(exportEncoderFor("a.png")->name, "png");
    EXPECT_STREQ(exportEncoderFor("a.Dib")->name, "bmp");
    EXPECT_EQ(rasterExport::dialogFilter(), "Windows Bitmap (*.bmp)|*.bmp|JPEG File (*.jpg)|*.jpg|"
                                            "PNG File (*.png)|*.png|TIFF File (*.tif)|*.tif|");
    TempDir dir;
    EXPECT_EQ(errorOf([&] { exportPicture(picture(true), dir.file("a.tga")); }),
              "Error saving the file: In diesem Dateiformat können sie nicht speichern: Wählen "
              "Sie \"Speichern unter\"");
    EXPECT_EQ(errorOf([&] { exportPicture(picture(true), dir.file("a.xyz")); }),
              "Unbekannte Dateinamenerweiterung! Speichern abgebrochen.");
    EXPECT_EQ(errorOf([&] { exportPicture(picture(true), dir.file("a.tiff")); }),
              rasterExport::kUnknownExtension);
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.tga")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.xyz")));
    std::string e = errorOf([&] { exportPicture(picture(true), dir.file("no/such/dir/a.png")); });
    EXPECT_EQ(e.rfind("Error saving the file: ", 0), 0u) << e;
    Picture broken;
    EXPECT_EQ(errorOf([&] { exportPicture(broken, dir.file("a.png")); }),
              "Error saving the file: Unerwarteter Fehler: Code 00061");
}

TEST(RasterExport, GreyRuleForTiffAndBmpOnly) {
    EXPECT_TRUE(exportKeepsGrey(findFormat("bmp")));
    EXPECT_TRUE(exportKeepsGrey(findFormat("tiff")));
    EXPECT_FALSE(exportKeepsGrey(findFormat("png")));
    EXPECT_FALSE(exportKeepsGrey(findFormat("jpeg")));
    TempDir dir;
    exportPicture(picture(true), dir.file("g.bmp"));
    EXPECT_EQ(bmpBitCount(dir.file("g.bmp")), 8);
    exportPicture(picture(false), dir.file("c.bmp"));
    EXPECT_EQ(bmpBitCount(dir.file("c.bmp")), 24);
    // The grey value of a colour that is not quite grey: (30 r + 59 g + 11 b + 50) / 100.
    EXPECT_EQ(greyOf(makeRgb(50, 100, 200)), (30 * 50 + 59 * 100 + 11 * 200 + 50) / 100);
}

// Every row of the format table that may be exported.
std::vector<const char*> exportedFormats() {
    std::vector<const char*> out;
    for (const FileFormat& f : fileFormats())
        if (f.exportRule == ExportRule::Export) out.push_back(f.name);
    return out;
}

class ExportRoundTrip : public ::testing::TestWithParam<std::tuple<const char*, bool>> {};

// Written under its first export ending, a picture is recognised by the row's own ending and
// content probe and reads back as shown.
TEST_P(ExportRoundTrip, ReadsBackWhatWasShown) {
    auto [name, grey] = GetParam();
    const FileFormat* format = findFormat(name);
    const std::string_view endings = format->exportEndings;
    TempDir dir;
    std::string path = dir.file("out" + std::string(endings.substr(0, endings.find(' '))));
    exportPicture(picture(grey), path);
    EXPECT_EQ(formatForPath(path), format);
    EXPECT_EQ(detectRasterFileContent(path), format);
    Image img;
    openImage(path, img, Progress::none());
    ASSERT_EQ(img.type(), grey ? BW_IMAGE : RGB_IMAGE);
    ASSERT_EQ(img.width(), 14);
    ASSERT_EQ(img.height(), 11);
    const int tol = std::string(name) == "jpeg" ? 6 : 0;
    EXPECT_NEAR(img.row(0, 5)[7], 75, tol);
    EXPECT_NEAR(img.row(0, 10)[13], 140, tol);
    if (!grey) {
        EXPECT_NEAR(img.row(1, 3)[3], 90, tol);
    }
}

INSTANTIATE_TEST_SUITE_P(Encoders, ExportRoundTrip,
                         ::testing::Combine(::testing::ValuesIn(exportedFormats()),
                                            ::testing::Bool()));

namespace {
// A 20 × 12 grey ramp 0 .. 950 (50 per column), optionally with an overlay.
void ramp(Image& img, bool overlay) {
    testkit::define(img, 20, 12, BW_IMAGE, overlay);
    testkit::fill(img, testkit::Ramp{.dx = 50}, 0);
    if (overlay) img.row(1, 0)[0] = 1;
}

} // namespace

TEST(ExportView, StretchedToneMappingAndTheGreyRule) {
    TempDir dir;
    Image img;
    ramp(img, false);
    ImageRenderer r(img);
    initFromImage(r);
    Points black{0, 0, 0}, white{1000, 1000, 1000};
    r.setPoints(&black, &white);
    r.rebuildLut();
    exportView(r, dir.file("a.jpg"));
    Image back;
    openImage(dir.file("a.jpg"), back, Progress::none());
    EXPECT_EQ(back.type(), BW_IMAGE);
    EXPECT_NEAR(back.row(0, 6)[10], 500 * 255 / 1000, 3) << "the shown, stretched value";
    EXPECT_NEAR(back.row(0, 6)[19], 950 * 255 / 1000, 3);

    exportView(r, dir.file("a.bmp"));
    EXPECT_EQ(bmpBitCount(dir.file("a.bmp")), 8) << "grey shown in grey: 8-bit BMP";
    exportView(r, dir.file("a.tif"));
    Image tif;
    openImage(dir.file("a.tif"), tif, Progress::none());
    EXPECT_NEAR(tif.row(0, 0)[10], 127, 1);

    Image withOverlay;
    ramp(withOverlay, true);
    ImageRenderer ro(withOverlay);
    initFromImage(ro);
    exportView(ro, dir.file("o.bmp"));
    EXPECT_EQ(bmpBitCount(dir.file("o.bmp")), 24) << "a visible overlay needs colour";

    EXPECT_EQ(
        errorOf([&] { exportView(r, dir.file("a.tga")); }).rfind("Error saving the file: ", 0), 0u);
    Image empty;
    ImageRenderer re(empty);
    EXPECT_EQ(errorOf([&] { exportView(re, dir.file("e.png")); }),
              "Error saving the file: Unerwarteter Fehler: Code 00061");
}
