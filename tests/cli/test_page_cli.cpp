// quillon-cli page: the worked layout example on the written PNG, pixel mode 4, an image
// moved off the page, and wrong use.
#include "display/histogram.h"
#include "display/renderer.h"
#include "formats/fits_writer.h"
#include "formats/open.h"

#include "cli/cli_runner.h"
#include "support/png_file.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quillon;

namespace {

class CliPage : public ::testing::Test {
protected:
    // A grey ramp of w × h saved as FITS, and the view the command prints (stored display).
    std::string input(int w, int h) {
        Image src;
        testkit::makeImage(src, w, h, BW_IMAGE, testkit::Ramp{.base = 100, .dx = 7, .dy = 11});
        const std::string path = dir_.file("in.fts");
        saveFits(src, path, Progress::none());
        openImage(path, image_, Progress::none());
        view_ = std::make_unique<ImageRenderer>(image_);
        initFromImage(*view_);
        return path;
    }
    // The image rendered at `zoom` from its zoomed corner (x, y): what the page must show.
    Picture imageAt(double zoom, int x = 0, int y = 0) const {
        Picture p;
        RenderOptions o;
        o.zoomX = zoom;
        o.background = 0xFFFFFF;
        EXPECT_EQ(view_->renderRect(x, y, static_cast<int>(image_.width() * zoom + 0.001),
                                    static_cast<int>(image_.height() * zoom + 0.001), &p, o),
                  RENDER_OK);
        return p;
    }
    // The page shows `expected` at (x0, y0) and white everywhere else.
    static void expectPage(const testkit::RgbPicture& page, const Picture& expected, int x0,
                           int y0) {
        for (int y = 0; y < page.height; ++y)
            for (int x = 0; x < page.width; ++x) {
                const bool inside =
                    x >= x0 && y >= y0 && x < x0 + expected.width() && y < y0 + expected.height();
                ASSERT_EQ(page.at(x, y), inside ? expected.rgbAt(x - x0, y - y0) : 0xFFFFFFu)
                    << x << "," << y;
            }
    }
    testkit::TempDir dir_;
    Image image_;
    std::unique_ptr<ImageRenderer> view_;
};

} // namespace

TEST_F(CliPage, WorkedExampleFillsTheWidthAndSitsInTheMiddle) {
    // 1000 × 500 on a 600-dpi printable area of 4800 × 6600 pixels, automatic size: the
    // height factor 13.2 is cut to 4.8, printed 4800 × 2400 at (0, 2100).
    const std::string in = input(1000, 500), out = dir_.file("page.png");
    CliResult r = runCli("page " + in + " " + out +
                         " --dpi 600 --paper 203.2x279.4mm --tile 300x300 --overlap 50,50");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Seite 4800 x 6600 Pixel (600 dpi), Bild 4800 x 2400 bei (0, 2100)"),
              std::string::npos)
        << r.out;
    const testkit::RgbPicture page = testkit::readPng(out);
    ASSERT_EQ(page.width, 4800);
    ASSERT_EQ(page.height, 6600);
    expectPage(page, imageAt(4.8), 0, 2100);
}

TEST_F(CliPage, WorkedExampleShowsTheImageInEveryPixelOfItsRectangle) {
    // The same page with the default tiles, checked against the image pixels themselves:
    // page pixel (x, y) of the 4800 x 2400 rectangle at (0, 2100) shows image pixel
    // (x / 4.8, (y - 2100) / 4.8), up to the last column and row; the rest is white.
    const std::string in = input(1000, 500), out = dir_.file("page.png");
    CliResult r = runCli("page " + in + " " + out + " --dpi 600 --paper 203.2x279.4mm");
    ASSERT_EQ(r.status, 0) << r.out;
    const testkit::RgbPicture page = testkit::readPng(out);
    ASSERT_EQ(page.width, 4800);
    ASSERT_EQ(page.height, 6600);
    std::vector<std::uint32_t> colour(1000 * 500);
    for (int y = 0; y < 500; ++y)
        for (int x = 0; x < 1000; ++x)
            colour[static_cast<std::size_t>(y) * 1000 + x] = view_->blockColour(x, y, 1, 1, true);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            const bool inside = y >= 2100 && y < 4500; // every column 0..4799
            ASSERT_EQ(page.at(x, y),
                      inside ? colour[static_cast<std::size_t>(y - 2100) * 10 / 48 * 1000 +
                                      static_cast<std::size_t>(x) * 10 / 48]
                             : 0xFFFFFFu)
                << x << "," << y;
        }
}

TEST_F(CliPage, PixelModeFourAndOffsets) {
    const std::string in = input(60, 40), out = dir_.file("page.png");
    // 254 dpi: 10 printer pixels per millimetre; each image pixel 2 × 2 printer pixels at
    // the bottom right.
    CliResult r =
        runCli("page " + in + " " + out + " --dpi 254 --paper 30x20mm --pixel 4 --position 8");
    ASSERT_EQ(r.status, 0) << r.out;
    testkit::RgbPicture page = testkit::readPng(out);
    ASSERT_EQ(page.width, 300);
    ASSERT_EQ(page.height, 200);
    expectPage(page, imageAt(2), 300 - 120, 200 - 80);

    // Moved 5 mm left and 2 mm up: only the part still on the paper is printed.
    r = runCli("page " + in + " " + out + " --dpi 254 --paper 30x20mm --pixel 1 --offset -5,-2mm");
    ASSERT_EQ(r.status, 0) << r.out;
    // at (-49, -19): -50 + 0.5 and -20 + 0.5 truncated toward zero
    expectPage(testkit::readPng(out), imageAt(1, 49, 19), 0, 0);

    // −1000 mm: nothing of the image is left on the page.
    r = runCli("page " + in + " " + out + " --dpi 254 --paper 30x20mm --offset -1000,0 --grey");
    ASSERT_EQ(r.status, 0) << r.out;
    expectPage(testkit::readPng(out), Picture{}, 0, 0);
}

TEST(CliPageUse, WrongUseIsAUsageError) {
    for (const char* args :
         {"page", "page a.fts", "page a.fts b.png --position 9", "page a.fts b.png --offset 1,2,3",
          "page a.fts b.png --offset 5,1001", "page a.fts b.png --tile 50x100",
          "page a.fts b.png --overlap 0,101", "page a.fts b.png --paper B5",
          "page a.fts b.png --size 5x100mm", "page a.fts b.png --pixel 2",
          "page a.fts b.png --position 1 --offset 0,0", "page a.fts b.png --dpi 0",
          // an overlap as large as the tile would advance the tiles one pixel at a time
          "page a.fts b.png --tile 100x100 --overlap 100,100",
          "page a.fts b.png --tile 300x100 --overlap 0,100"})
        EXPECT_EQ(runCli(args).status, 2) << args;
}
