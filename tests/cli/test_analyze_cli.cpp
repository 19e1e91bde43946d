// quillon-cli analyze and the frame steps of stack end to end: a generated series with
// blurred, trailed, clouded and empty frames, which must rank last and be left out, and a
// series aligned by its stars alone.
#include "analysis/frame_quality.h"
#include "formats/fits_writer.h"
#include "formats/open.h"

#include "analysis/star_frames.h"
#include "cli/cli_runner.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
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

namespace {

double resultFwhm(const std::string& path) {
    Image img;
    openImage(path, img, Progress::none());
    return frameQuality(measureStars(img)).fwhm;
}

} // namespace

// --keep-best 75 % leaves out exactly the 8 poor frames of 30, each with its reason, and the
// result is as sharp as the 22 good frames stacked by naming them.
TEST(AnalyzeCli, StackKeepsTheBestFrames) {
    TempDir dir;
    const std::vector<std::string> files = writeQualitySeries(dir);
    std::string all, good;
    for (int e = 0; e < 30; ++e) {
        all += " " + files[static_cast<std::size_t>(e)];
        if (e != 4 && e != 9 && e != 14 && e != 19 && e != 24 && e != 6 && e != 27 && e != 29)
            good += " " + files[static_cast<std::size_t>(e)];
    }
    const CliResult r = runCli("stack " + dir.file("best.fts") +
                               " --average --auto-register --keep-best 75%" + all);
    ASSERT_EQ(r.status, 0) << r.out;
    for (int e : {4, 9, 14, 19, 24, 6, 27, 29})
        EXPECT_NE(r.out.find("q" + std::to_string(e) + ".fts: ausgelassen, nicht unter den besten"),
                  std::string::npos)
            << e << r.out;
    EXPECT_NE(r.out.find("Komposit aus 22 Bildern"), std::string::npos) << r.out;
    ASSERT_EQ(runCli("stack " + dir.file("hand.fts") + " --average --auto-register" + good).status,
              0);
    EXPECT_LE(resultFwhm(dir.file("best.fts")), resultFwhm(dir.file("hand.fts")) * 1.001);
}

// Without reference points: a shifted, a turned, a mirrored and a scaled exposure align onto
// the reference (the stars of the mean stay as sharp as one exposure's), the empty one is
// left out with its reason.
TEST(AnalyzeCli, StackRegistersByAllStars) {
    TempDir dir;
    star_frames::FrameSpec s;
    s.width = s.height = 200;
    s.fwhm = 2.5;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> pos(10, 190), flux(8000, 50000);
    std::vector<star_frames::TrueStar> sky;
    for (int i = 0; i < 70; ++i) sky.push_back({pos(rng), pos(rng), flux(rng)});
    struct Pose {
        double dx, dy, degrees, scale;
        bool mirror, empty;
    };
    const Pose poses[] = {{0, 0, 0, 1, false, false},          {31.4, -22.7, 0, 1, false, false},
                          {2.2, 1.3, 180, 1, false, false},    {-1.5, 3.5, 25, 1, true, false},
                          {0.6, -0.8, -8, 1.02, false, false}, {0, 0, 0, 1, false, true}};
    std::string args;
    for (std::size_t e = 0; e < std::size(poses); ++e) {
        const Pose& p = poses[e];
        std::vector<star_frames::TrueStar> stars;
        const double a = p.degrees * M_PI / 180;
        for (const auto& t : sky) {
            double u = t.x - 100, v = t.y - 100;
            if (p.mirror) u = -u;
            stars.push_back({100 + p.scale * (std::cos(a) * u - std::sin(a) * v) + p.dx,
                             100 + p.scale * (std::sin(a) * u + std::cos(a) * v) + p.dy, t.flux});
        }
        if (p.empty) stars.clear();
        s.seed = static_cast<unsigned>(e + 1);
        Image img;
        star_frames::render(img, s, stars);
        const std::string f = dir.file("r" + std::to_string(e) + ".fts");
        writeFits(img, f, Progress::none());
        args += " " + f;
    }
    const CliResult r =
        runCli("stack " + dir.file("reg.fts") +
               " --average --auto-register --transform affine --ref-frame 1" + args);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Komposit aus 5 Bildern"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("r5.fts: ausgelassen, nicht ausgerichtet"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("gespiegelt"), std::string::npos) << r.out;
    EXPECT_LT(resultFwhm(dir.file("reg.fts")), 2.5 * 1.05);
}
