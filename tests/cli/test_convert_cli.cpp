// quillon-cli grey and split end to end: FITS in, FITS out.
#include "core/image.h"
#include "formats/fits_writer.h"
#include "formats/open.h"

#include "cli/cli_runner.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace quillon;

namespace {

class CliConvert : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir_.file(name); }
    Image read(const std::string& name) const {
        Image img;
        openImage(path(name), img, Progress::none());
        return img;
    }
    testkit::TempDir dir_;
};

} // namespace

TEST_F(CliConvert, GreyUsesTheWeightsStoredInTheFile) {
    Image src;
    testkit::makeImage(src, 20, 12, RGB_IMAGE, testkit::noise(5, -4000, 4000), true);
    StoredDisplayParams& s = src.storedDisplay();
    s.hasPoints = true;
    s.blackPoint = {-100, 0, 0};
    s.whitePoint = {1000, 1000, 1000};
    s.hasWeights = true;
    s.channelWeight = {2.0f, 1.0f, 1.0f};
    saveFits(src, path("in.fts"), Progress::none());

    // Red factor 0.5 times the stored red weight 2: the grey picture is the red layer.
    CliResult r = runCli("grey --factors 0.5,0,0 " + path("in.fts") + " " + path("g.fts"));
    ASSERT_EQ(r.status, 0) << r.out;
    Image grey = read("g.fts");
    EXPECT_EQ(
        testkit::mismatch(grey, [&](int p, int x, int y) { return src.row(p ? 3 : 0, y)[x]; }), "");
    EXPECT_EQ(grey.storedDisplay().blackPoint[1], -100);
}

TEST_F(CliConvert, SplitWritesOneFilePerLayerWithSafeNames) {
    Image user;
    std::vector<std::string> names{"M/31", "M 31", "Ha*"};
    ASSERT_GT(user.Define(15, 10, USERDEFINED_IMAGE, true, 3, &names), 0u);
    ASSERT_EQ(user.AllocateSamples(true), 0);
    testkit::fill(user, [](int p, int x, int y) { return p == 3 ? 0x7FFF : p * 1000 + x - y; });
    saveFits(user, path("u.fts"), Progress::none());

    CliResult r = runCli("split " + path("u.fts") + " " + path("part_"));
    ASSERT_EQ(r.status, 0) << r.out;
    const char* files[] = {"part_M_31.fts", "part_M_31_2.fts", "part_Ha_.fts"};
    for (int i = 0; i < 3; ++i) {
        Image layer = read(files[i]);
        EXPECT_EQ(layer.type(), BW_IMAGE);
        EXPECT_FALSE(layer.hasOverlay());
        EXPECT_EQ(testkit::mismatch(layer, [&](int, int x, int y) { return user.row(i, y)[x]; }),
                  "")
            << files[i];
        EXPECT_TRUE(layer.storedDisplay().hasPoints) << "automatic points stored";
    }
    Image overlay = read("part_Overlay.fts");
    EXPECT_EQ(testkit::mismatch(overlay, testkit::constant(248)), "");
    EXPECT_EQ(overlay.storedDisplay().whitePoint[0], 255);
}
