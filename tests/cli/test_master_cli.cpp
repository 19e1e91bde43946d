// quillon-cli master end to end: FITS frames in, the master as FITS out.
#include "composite/master.h"
#include "core/image.h"
#include "formats/fits_writer.h"
#include "formats/open.h"

#include "cli/cli_runner.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::testkit;

namespace {

std::vector<std::string> writeGreyFrames(const TempDir& dir, int count, int height) {
    std::vector<std::string> files;
    for (int f = 0; f < count; ++f) {
        Image frame;
        makeImage(frame, 31, f == count - 1 ? height : 20, BW_IMAGE, noise(7 + f, -500, 500));
        files.push_back(dir.file("f" + std::to_string(f) + ".fts"));
        writeFits(frame, files.back(), Progress::none());
    }
    return files;
}

} // namespace

TEST(MasterCli, WritesTheLibrarysMaster) {
    TempDir dir;
    const std::vector<std::string> files = writeGreyFrames(dir, 4, 20);
    const std::string out = dir.file("master.fts");
    const CliResult r = runCli("master " + out + " " + files[0] + " --method median " + files[1] +
                               " " + files[2] + " " + files[3]);
    ASSERT_EQ(r.status, 0) << r.out;
    Image written, expected;
    openImage(out, written, Progress::none());
    buildMaster(files, {MasterMethod::Median}, expected);
    EXPECT_EQ(firstDifference(written, expected), "");

    EXPECT_EQ(runCli("master " + out + " " + files[0]).status, 2); // one frame is no master
    const CliResult help = runCli("help master");
    EXPECT_NE(help.out.find("64 MiB"), std::string::npos) << help.out;
}

TEST(MasterCli, MismatchIsRefusedWithoutOutput) {
    TempDir dir;
    const std::vector<std::string> files = writeGreyFrames(dir, 3, 21);
    const std::string out = dir.file("master.fts");
    const CliResult r = runCli("master " + out + " " + files[0] + " " + files[1] + " " + files[2]);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"" + files[2] + "\" passt nicht zum ersten Bild (31 x 21"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(std::filesystem::exists(out));
}

// A float master keeps the unrounded mean (100, 101, 103: 101.33), and calibrate reads it in its
// ADU scale: calibrating with it gives what a 16-bit dark of the rounded value 101 gives.
TEST(MasterCli, FloatMasterCalibratesInItsOwnScale) {
    TempDir dir;
    std::vector<std::string> darks;
    for (const int level : {100, 101, 103}) {
        Image frame;
        makeImage(frame, 24, 16, BW_IMAGE, constant(level));
        darks.push_back(dir.file("d" + std::to_string(level) + ".fts"));
        writeFits(frame, darks.back(), Progress::none());
    }
    const std::string master = dir.file("master32.fts");
    ASSERT_EQ(runCli("master " + master + " --method mean --float " + darks[0] + " " + darks[1] +
                     " " + darks[2])
                  .status,
              0);
    std::ifstream in(master, std::ios::binary);
    std::string header(2880, ' ');
    in.read(header.data(), 2880);
    EXPECT_NE(header.find("BITPIX  =                  -32"), std::string::npos);
    unsigned char b[4] = {};
    in.read(reinterpret_cast<char*>(b), 4);
    const auto bits = static_cast<std::uint32_t>(b[0]) << 24 |
                      static_cast<std::uint32_t>(b[1]) << 16 |
                      static_cast<std::uint32_t>(b[2]) << 8 | b[3];
    EXPECT_NEAR(std::bit_cast<float>(bits), 304.0 / 3.0, 1e-4);

    Image light, rounded;
    makeImage(light, 24, 16, BW_IMAGE, noise(3, 900, 1100));
    makeImage(rounded, 24, 16, BW_IMAGE, constant(101));
    const std::string in16 = dir.file("light.fts"), dark16 = dir.file("dark101.fts");
    writeFits(light, in16, Progress::none());
    writeFits(rounded, dark16, Progress::none());
    const std::string a = dir.file("a.fts"), c = dir.file("c.fts");
    ASSERT_EQ(runCli("calibrate " + in16 + " " + a + " --dark " + master).status, 0);
    ASSERT_EQ(runCli("calibrate " + in16 + " " + c + " --dark " + dark16).status, 0);
    Image withFloat, withInt;
    openImage(a, withFloat, Progress::none());
    openImage(c, withInt, Progress::none());
    EXPECT_EQ(firstDifference(withFloat, withInt), "");
}
