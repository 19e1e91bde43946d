// quillon-cli analyze end to end: a generated series with blurred, trailed, clouded and empty
// frames, which must rank last.
#include "formats/fits_writer.h"

#include "analysis/star_frames.h"
#include "cli/cli_runner.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace quillon;
using namespace quillon::testkit;

namespace {

// Frames 0..29; 4, 9, 14 blurred (FWHM × 2), 19, 24 trailed, 6, 27 clouded (star flux × 0.2,
// sky × 3), 29 empty.
std::vector<std::string> writeQualitySeries(const TempDir& dir) {
    std::vector<std::string> files;
    for (int e = 0; e < 30; ++e) {
        star_frames::FrameSpec s;
        s.width = s.height = 160;
        s.fwhm = 3;
        s.seed = static_cast<unsigned>(e + 1);
        double flux = 6000;
        if (e == 4 || e == 9 || e == 14) s.fwhm = 6;
        if (e == 19 || e == 24) {
            s.ellipticity = 0.5;
            s.angle = 0.3;
        }
        if (e == 6 || e == 27) {
            flux *= 0.2;
            s.background *= 3;
            s.noise *= std::sqrt(3.0);
        }
        star_frames::FrameSpec layout = s;
        layout.seed = 1; // the same sky in every frame
        auto stars = star_frames::grid(layout, 32, flux);
        if (e == 29) stars.clear();
        Image img;
        star_frames::render(img, s, stars);
        files.push_back(dir.file("q" + std::to_string(e) + ".fts"));
        writeFits(img, files.back(), Progress::none());
    }
    return files;
}

} // namespace

TEST(AnalyzeCli, BadFramesRankLastAndStarListsAreWritten) {
    TempDir dir;
    const std::vector<std::string> files = writeQualitySeries(dir);
    std::string args = "analyze --csv " + dir.file("q.csv") + " --stars " + dir.file("stars");
    for (const std::string& f : files) args += " " + f;
    const CliResult r = runCli(args);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Rang"), std::string::npos);

    std::ifstream csv(dir.file("q.csv"));
    std::string line;
    std::getline(csv, line);
    ASSERT_EQ(line.rfind("file,stars,fwhm", 0), 0u);
    const std::vector<int> bad = {4, 9, 14, 19, 24, 6, 27, 29};
    for (int e = 0; std::getline(csv, line); ++e) {
        std::vector<std::string> cells;
        std::stringstream ss(line);
        for (std::string c; std::getline(ss, c, ',');) cells.push_back(c);
        ASSERT_GE(cells.size(), 9u) << line;
        const int rank = std::stoi(cells[8]);
        const bool isBad = std::find(bad.begin(), bad.end(), e) != bad.end();
        EXPECT_EQ(rank > 22, isBad) << "frame " << e << ": " << line;
        if (e == 0) {
            EXPECT_EQ(cells[1], "25");
            EXPECT_NEAR(std::stod(cells[2]), 3.0, 0.09);
        }
    }
    std::ifstream stars(dir.file("stars/q0.stars.csv"));
    int count = 0;
    while (std::getline(stars, line)) ++count;
    EXPECT_EQ(count, 26); // header and 25 stars

    const CliResult missing = runCli("analyze " + dir.file("nothing.fts") + " " + files[0]);
    EXPECT_EQ(missing.status, 1) << missing.out;
}
