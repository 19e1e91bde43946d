// quillon-cli filter, resize, crop, rotate, mirror end to end: FITS in, FITS out, compared with
// the library's own results.
#include "core/image.h"
#include "filters/filter.h"
#include "filters/mask_filter.h"
#include "filters/noise.h"
#include "filters/unsharp.h"
#include "formats/fits_writer.h"
#include "formats/open.h"
#include "ops/geometry.h"
#include "ops/sampler.h"

#include "cli/cli_runner.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

using namespace quillon;
namespace fs = std::filesystem;

namespace {
using Result = CliResult;

class CliOpsFits : public ::testing::Test {
protected:
    void SetUp() override {
        testkit::makeImage(
            source_, 60, 40, RGB_IMAGE,
            [n = testkit::noise(3, -2000, 20000)](int p, int x, int y) {
                return p == 3 ? (x == y ? 1 : 0) : n(p, x, y);
            },
            true);
        saveFits(source_, path("in.fts"), Progress::none());
    }
    std::string path(const std::string& name) const { return dir_.file(name); }

    Image read(const std::string& name) {
        Image img;
        openImage(path(name), img, Progress::none());
        return img;
    }
    static void expectSame(const Image& a, const Image& b) {
        EXPECT_EQ(testkit::firstDifference(a, b), "");
    }

    testkit::TempDir dir_;
    Image source_;
};
} // namespace

TEST_F(CliOpsFits, HighpassWithLayerSelectionMatchesLibrary) {
    Result r = runCli("filter highpass --staerke 4 --groesse 7 --ebenen 1,3 " + path("in.fts") +
                      " " + path("out.fts"));
    ASSERT_EQ(r.status, 0) << r.out;
    Image out = read("out.fts");
    EXPECT_EQ(out.width(), 54);
    EXPECT_EQ(out.height(), 34);
    auto expected =
        applyFilter(ConvolutionFilter::highpass(2, 3), source_, 0b101, Progress::none());
    expectSame(out, *expected);
}

TEST_F(CliOpsFits, SpecialFilterCentresTheDisplay) {
    Result r = runCli("filter special --typ 0 " + path("in.fts") + " " + path("out.fts"));
    ASSERT_EQ(r.status, 0) << r.out;
    Image out = read("out.fts");
    ASSERT_TRUE(out.storedDisplay().hasPoints);
    for (int c = 0; c < 3; ++c)
        EXPECT_LE(std::abs(out.storedDisplay().blackPoint[c] + out.storedDisplay().whitePoint[c]),
                  1);
}

TEST_F(CliOpsFits, NoiseThresholdReportsReplacements) {
    Image hot;
    testkit::makeImage(hot, 20, 20, BW_IMAGE,
                       [](int, int x, int y) { return x == 9 && y == 9 ? 30000 : 1000; });
    saveFits(hot, path("hot.fts"), Progress::none());
    Result r = runCli("filter noise --art schwelle --schwelle 100 " + path("hot.fts") + " " +
                      path("out.fts"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Es wurden 9 Pixel ersetzt !"), std::string::npos) << r.out;
    Image out = read("out.fts");
    EXPECT_EQ(out.row(0, 8)[8], 1000);
    EXPECT_EQ(out.row(0, 7)[7], 4625);
}

TEST_F(CliOpsFits, UnsharpAndMedianMatchLibrary) {
    Result r =
        runCli("filter unsharp --maske 6 --m 2 --o 3 " + path("in.fts") + " " + path("u.fts"));
    ASSERT_EQ(r.status, 0) << r.out;
    expectSame(read("u.fts"),
               *applyFilter(UnsharpMaskFilter(6, 2, 3), source_, 0, Progress::none()));
    r = runCli("filter noise --maske 0 " + path("in.fts") + " " + path("n.fts"));
    ASSERT_EQ(r.status, 0) << r.out;
    expectSame(read("n.fts"),
               *applyFilter(NoiseFilter(0, NoiseKind::Median, 100), source_, 0, Progress::none()));
}

TEST_F(CliOpsFits, GeometryCommands) {
    ASSERT_EQ(runCli("resize --prozent 50 " + path("in.fts") + " " + path("r.fts")).status, 0);
    Image resized = read("r.fts");
    Image expected;
    DerivedImageDescription d = describeDerived(source_);
    d.width = 30;
    d.height = 20;
    createImage(d, expected);
    resample(expected, source_);
    expectSame(resized, expected);

    ASSERT_EQ(runCli("crop 5 6 25 21 " + path("in.fts") + " " + path("c.fts")).status, 0);
    Image cropped = read("c.fts");
    ASSERT_EQ(cropped.width(), 20);
    ASSERT_EQ(cropped.height(), 15);
    EXPECT_EQ(cropped.row(1, 0)[0], source_.row(1, 6)[5]);

    ASSERT_EQ(runCli("rotate rechts " + path("in.fts") + " " + path("rot.fts")).status, 0);
    Image rotated = read("rot.fts");
    ASSERT_EQ(rotated.width(), 40);
    ASSERT_EQ(rotated.height(), 60);
    EXPECT_EQ(rotated.row(2, 0)[39], source_.row(2, 0)[0]);

    ASSERT_EQ(runCli("mirror vertikal " + path("in.fts") + " " + path("m.fts")).status, 0);
    Image mirrored = read("m.fts");
    EXPECT_EQ(mirrored.row(0, 3)[59], source_.row(0, 3)[0]);
    EXPECT_EQ(mirrored.row(3, 3)[56], 1) << "overlay mirrored with the layers";

    Result refused = runCli("crop 0 0 9 10 " + path("in.fts") + " " + path("x.fts"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_FALSE(fs::exists(path("x.fts")));
    Result outside = runCli("crop 50 0 70 20 " + path("in.fts") + " " + path("x.fts"));
    EXPECT_EQ(outside.status, 1) << outside.out;
    EXPECT_FALSE(fs::exists(path("x.fts")));
    Result notFits = runCli("rotate links " + path("in.fts") + " " + path("x.png"));
    EXPECT_EQ(notFits.status, 1) << notFits.out;
}
