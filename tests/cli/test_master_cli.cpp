// quillon-cli master end to end: FITS frames in, the master as FITS out.
#include "composite/master.h"
#include "core/image.h"
#include "formats/fits_writer.h"
#include "formats/open.h"

#include "cli/cli_runner.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <filesystem>
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
