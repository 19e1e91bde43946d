// quillon-cli render and histogram: options, wrong use and missing files.
#include "core/progress.h"
#include "display/histogram.h"
#include "display/renderer.h"
#include "formats/open.h"

#include "cli/cli_runner.h"
#include "support/png_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <vector>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {
using Outcome = CliResult;
} // namespace

TEST(CliRender, HelpListsTheOptions) {
    Outcome h = runCli("help render");
    EXPECT_EQ(h.status, 0);
    for (const char* opt : {"--preset", "--black", "--white", "--exponent", "--lut", "--palette",
                            "--invert", "--periodic", "--zoom"})
        EXPECT_NE(h.out.find(opt), std::string::npos) << opt;
    EXPECT_EQ(runCli("help histogram").status, 0);
}

TEST(CliRender, WrongUseIsAUsageError) {
    EXPECT_EQ(runCli("render").status, 2);
    EXPECT_EQ(runCli("render a.fts").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --preset 7").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --black 1,2").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --exponent 0").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --lut wellen").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --zoom -1").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --frobnicate").status, 2);
    Outcome r = runCli("render a.fts b.png --white");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--white"), std::string::npos) << r.out;
    EXPECT_EQ(runCli("histogram").status, 2);
}

TEST(CliRender, MissingInputFailsWithoutWritingOutput) {
    quillon::testkit::TempDir dir;
    const std::string out = dir.file("missing.png");
    Outcome r = runCli("render /nonexistent/file.fts " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("quillon-cli render: "), std::string::npos) << r.out;
    EXPECT_EQ(std::fopen(out.c_str(), "rb"), nullptr);
    EXPECT_EQ(runCli("histogram /nonexistent/file.fts").status, 1);
}

TEST(CliRender, DemoImageRendersWhatAViewShows) {
    quillon::testkit::TempDir dir;
    const std::string fts = dir.file("demo.fts"), png = dir.file("demo.png");
    ASSERT_EQ(runCli("demo " + fts).status, 0);
    Outcome r = runCli("render " + fts + " " + png + " --zoom 0.25");
    ASSERT_EQ(r.status, 0) << r.out;
    quillon::testkit::RgbPicture got = quillon::testkit::readPng(png);
    ASSERT_GT(got.width, 0);

    // The same view through the library: stored display values, zoom 1/4.
    quillon::Image image;
    quillon::openImage(fts, image, quillon::Progress::none());
    quillon::ImageRenderer view(image);
    initFromImage(view);
    quillon::Picture pic;
    const int w = static_cast<int>(image.width() * 0.25 + 0.5),
              h = static_cast<int>(image.height() * 0.25 + 0.5);
    ASSERT_EQ(view.renderRect(0, 0, w, h, &pic, {0.25}), 0);
    ASSERT_EQ(got.width, w);
    ASSERT_EQ(got.height, h);
    int bright = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = &got.px[static_cast<std::size_t>((y * w + x) * 3)];
            ASSERT_EQ(quillon::makeRgb(p[0], p[1], p[2]), pic.rgbAt(x, y)) << x << "," << y;
            bright += p[1] > 200;
        }
    EXPECT_GT(bright, 10) << "stars show";
    EXPECT_LT(bright, w * h / 10) << "the sky stays dark";

    // Options change the picture: inverted steps with explicit points.
    Outcome o = runCli("render " + fts + " " + png +
                       " --black 1500 --white 3000 --invert --lut stufen --zoom 0.1");
    ASSERT_EQ(o.status, 0) << o.out;
    EXPECT_NE(o.out.find("Schwarz 1500,1500,1500"), std::string::npos) << o.out;
    EXPECT_EQ(quillon::testkit::readPng(png).width, 120);

    Outcome hist = runCli("histogram " + fts);
    ASSERT_EQ(hist.status, 0) << hist.out;
    EXPECT_NE(hist.out.find("1080000 Pixel"), std::string::npos) << hist.out;
    for (const char* ch : {"\nR ", "\nG ", "\nB "})
        EXPECT_NE(hist.out.find(ch), std::string::npos) << ch;
}
