// quillon-cli debayer and stack --debayer end to end: colour star fields taken through a
// colour-filter array come back in their colours.
#include "core/image.h"
#include "formats/fits_writer.h"
#include "formats/open.h"
#include "ops/debayer.h"

#include "cli/cli_runner.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::testkit;

namespace {

constexpr int kW = 120, kH = 90;

// A red star at (40 + dx, 30 + dy) and a blue one at (80 + dx, 60 + dy) on a grey sky, taken
// through the pattern; the file carries BAYERPAT unless `cards` is false.
std::string writeMosaic(const TempDir& dir, const std::string& name, int dx, int dy,
                        bool cards = true) {
    Image rgb;
    define(rgb, kW, kH, RGB_IMAGE);
    const double red[3] = {40000, 4000, 4000}, blue[3] = {4000, 4000, 40000};
    for (int c = 0; c < 3; ++c)
        fillStars(rgb, {{40.0 + dx, 30.0 + dy, red[c]}, {80.0 + dx, 60.0 + dy, blue[c]}}, 1.6, 300,
                  c);
    Image m;
    makeImage(m, kW, kH, BW_IMAGE, [&](int, int x, int y) {
        return rgb.row(bayerColour(BayerPattern::Rggb, x, y), y)[x];
    });
    if (cards) {
        ImageInfo* info = nullptr;
        m.BeginInfoWrite(info);
        info->bayer.pattern = "RGGB";
        m.EndInfoWrite();
    }
    const std::string path = dir.file(name);
    writeFits(m, path, Progress::none());
    return path;
}

Image readBack(const std::string& path) {
    Image img;
    openImage(path, img, Progress::none());
    return img;
}

TEST(DebayerCli, WritesTheLibrarysResultAndRefusesWhatItCannotDo) {
    TempDir dir;
    const std::string in = writeMosaic(dir, "raw.fts", 0, 0);
    const std::string out = dir.file("colour.fts");
    CliResult r = runCli("debayer " + in + " " + out + " --method bilinear");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("RGGB, bilinear, 120 x 90"), std::string::npos) << r.out;
    const Image mosaic = readBack(in);
    const Image got = readBack(out);
    EXPECT_EQ(
        firstDifference(got, debayerImage(mosaic, BayerPattern::Rggb, DebayerMethod::Bilinear)),
        "");
    ASSERT_EQ(runCli("debayer " + in + " " + out + " --method superpixel --pattern gbrg").status,
              0);
    EXPECT_EQ(readBack(out).width(), kW / 2);

    const std::string bare = writeMosaic(dir, "bare.fts", 0, 0, false);
    r = runCli("debayer " + bare + " " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("BAYERPAT"), std::string::npos) << r.out;
    EXPECT_EQ(runCli("debayer " + in + " " + out + " --method ahd").status, 2);
    EXPECT_EQ(runCli("debayer " + in + " " + out + " --pattern RGBG").status, 2);
    EXPECT_EQ(runCli("debayer " + out + " " + dir.file("again.fts")).status, 1); // RGB input
}

TEST(DebayerCli, StackDebayersEachExposureBeforeAligningThem) {
    TempDir dir;
    std::string files;
    for (int e = 0; e < 3; ++e)
        files += " " + writeMosaic(dir, "e" + std::to_string(e) + ".fts", 3 * e, 2 * e);
    const std::string out = dir.file("stack.fts");
    // Plain insertion, and strip-wise with artefact removal (exposures acquired again per strip).
    for (const char* way : {" --average", " --average --reject --memory 1"}) {
        const CliResult r = runCli("stack " + out + " --ref 40,30 --ref 80,60 --no-borders" +
                                   " --debayer auto --debayer-method vng" + way + files);
        ASSERT_EQ(r.status, 0) << r.out;
        const Image s = readBack(out);
        ASSERT_EQ(s.type(), RGB_IMAGE);
        // Each star keeps its colour where the reference exposure had it: its flux above the
        // sky in a 9 × 9 window, 40000 in its own colour and 4000 in the others (within 15 % and
        // 2000: debayering, resampling and averaging spread a little of it).
        auto flux = [&](int c, int x0, int y0) {
            double f = 0;
            for (int y = y0 - 4; y <= y0 + 4; ++y)
                for (int x = x0 - 4; x <= x0 + 4; ++x) f += s.row(c, y)[x] - 300;
            return f;
        };
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(flux(c, 40, 30), c == 0 ? 40000 : 4000, c == 0 ? 6000 : 2000) << way << c;
            EXPECT_NEAR(flux(c, 80, 60), c == 2 ? 40000 : 4000, c == 2 ? 6000 : 2000) << way << c;
        }
    }

    EXPECT_EQ(runCli("stack " + out + " --ref 40,30 --debayer auto --type grey" + files).status, 2);
    EXPECT_EQ(runCli("stack " + out + " --ref 40,30 --debayer-method vng" + files).status, 2);
}

} // namespace
