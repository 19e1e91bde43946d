// quillon-cli stack weighing exposures by their stars, and the frame selection judging
// exposures after their dark is subtracted.
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

std::string writeFrame(const TempDir& dir, const std::string& name, const star_frames::FrameSpec& s,
                       const std::vector<star_frames::TrueStar>& stars) {
    Image img;
    star_frames::render(img, s, stars);
    const std::string f = dir.file(name);
    writeFits(img, f, Progress::none());
    return f;
}

// The last column ("gewicht") of each exposure row of a stack report.
std::vector<double> reportWeights(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::vector<double> out;
    while (std::getline(in, line)) out.push_back(std::stod(line.substr(line.rfind(';') + 1)));
    return out;
}

} // namespace

// The weights follow the frames' true figures: a frame of twice the FWHM weighs a quarter
// by fwhm, a frame with half the stars weighs a half by stars, the reference 1.
TEST(StackStarWeights, WeightsFollowFwhmAndStarCount) {
    TempDir dir;
    star_frames::FrameSpec s;
    s.width = s.height = 192;
    s.fwhm = 2.5;
    const auto sky = star_frames::grid(s, 24, 20000); // 64 stars
    const std::vector<star_frames::TrueStar> half(sky.begin(), sky.begin() + 32);
    std::string files;
    s.seed = 1;
    files += " " + writeFrame(dir, "a.fts", s, sky);
    s.seed = 2;
    files += " " + writeFrame(dir, "b.fts", s, half);
    s.seed = 3;
    s.fwhm = 5;
    files += " " + writeFrame(dir, "c.fts", s, sky);

    struct Case {
        const char* weighting;
        double b, c; // expected weights of b and c
    };
    for (const Case& k : {Case{"fwhm", 1.0, 0.25}, Case{"stars", 0.5, 1.0}}) {
        const std::string report = dir.file(std::string(k.weighting) + ".csv");
        const CliResult r =
            runCli("stack " + dir.file("out.fts") + " --average --auto-register --ref-frame 1" +
                   " --weighting " + k.weighting + " --report " + report + files);
        ASSERT_EQ(r.status, 0) << r.out;
        const std::vector<double> w = reportWeights(report);
        ASSERT_EQ(w.size(), 3u) << k.weighting;
        EXPECT_DOUBLE_EQ(w[0], 1.0) << k.weighting;
        EXPECT_NEAR(w[1], k.b, 0.06 * k.b) << k.weighting;
        EXPECT_NEAR(w[2], k.c, 0.06 * k.c) << k.weighting;
    }
}

// A dark holding glow spots that look like stars: measured raw, every frame has too many
// "stars" for the rule; measured as stacked (dark subtracted), none is left out.
TEST(StackStarWeights, SelectionMeasuresCalibratedFrames) {
    TempDir dir;
    star_frames::FrameSpec s;
    s.width = s.height = 160;
    const auto sky = star_frames::grid(s, 32, 8000); // 25 stars
    std::vector<star_frames::TrueStar> glow;
    for (const auto& t : sky) glow.push_back({t.x + 16, t.y + 16, 8000});
    star_frames::FrameSpec d = s;
    d.noise = 0;
    const std::string dark = writeFrame(dir, "dark.fts", d, glow);
    std::vector<star_frames::TrueStar> both = sky;
    both.insert(both.end(), glow.begin(), glow.end());
    std::string files;
    for (unsigned e = 0; e < 3; ++e) {
        s.seed = e + 1;
        files += " " + writeFrame(dir, "f" + std::to_string(e) + ".fts", s, both);
    }
    const std::string base = "stack " + dir.file("out.fts") + " --average --ref " +
                             std::to_string(sky[0].x) + "," + std::to_string(sky[0].y) +
                             " --select 'stars<35'" + files;
    const CliResult raw = runCli(base);
    EXPECT_NE(raw.status, 0) << raw.out;
    EXPECT_NE(raw.out.find("f0.fts: ausgelassen, Regel stars<35 nicht erfüllt"), std::string::npos)
        << raw.out;
    const CliResult calibrated = runCli(base + " --dark " + dark);
    ASSERT_EQ(calibrated.status, 0) << calibrated.out;
    EXPECT_EQ(calibrated.out.find("ausgelassen"), std::string::npos) << calibrated.out;
    EXPECT_NE(calibrated.out.find("Komposit aus 3 Bildern"), std::string::npos) << calibrated.out;
}
