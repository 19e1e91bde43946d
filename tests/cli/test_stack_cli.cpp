// quillon-cli stack end to end: a generated series with known shifts and rotations, stacked with
// one to four reference points, must put every star back where the truth says.
#include "core/image.h"
#include "core/simd.h"
#include "formats/fits_writer.h"
#include "formats/open.h"

#include "cli/cli_runner.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::testkit;

namespace {

constexpr int kW = 200, kH = 160;
constexpr double kCx = 100, kCy = 80; // rotation centre of the series
constexpr double kSigma = 1.4, kSky = 200;

// The sky: four bright reference stars, then fainter ones that only the check measures.
const std::vector<Star> kSkyStars = {
    {50, 40, 60000},       {150.3, 44.6, 60000}, {54.7, 121.2, 55000},  {146.2, 115.4, 58000},
    {100.4, 79.7, 30000},  {30.2, 80.5, 25000},  {170.6, 82.3, 25000},  {98.8, 20.4, 20000},
    {101.5, 140.7, 20000}, {75.3, 60.2, 15000},  {125.6, 100.9, 15000}, {80.4, 104.5, 18000},
};

// Exposure e sees the sky rotated by angle(e) about the centre and shifted by (dx, dy).
struct Pose {
    double dx, dy, degrees;
};

std::vector<Star> starsOf(const Pose& p) {
    const double a = p.degrees * std::numbers::pi / 180.0;
    std::vector<Star> out;
    for (const Star& s : kSkyStars) {
        const double x = s.x - kCx, y = s.y - kCy;
        out.push_back({kCx + x * std::cos(a) - y * std::sin(a) + p.dx,
                       kCy + x * std::sin(a) + y * std::cos(a) + p.dy, s.flux});
    }
    return out;
}

std::vector<std::string> writeSeries(const TempDir& dir, const std::vector<Pose>& poses,
                                     const std::string& prefix) {
    std::vector<std::string> files;
    for (std::size_t e = 0; e < poses.size(); ++e) {
        Image img;
        define(img, kW, kH);
        fillStars(img, starsOf(poses[e]), kSigma, kSky);
        files.push_back(dir.file(prefix + std::to_string(e) + ".fts"));
        writeFits(img, files.back(), Progress::none());
    }
    return files;
}

// Background-subtracted centroid in a 9 × 9 window, written here independently of the
// library's reference search.
std::pair<double, double> centroid(const Image& img, double x0, double y0) {
    const int cx = static_cast<int>(std::lround(x0)), cy = static_cast<int>(std::lround(y0));
    double sw = 0, sx = 0, sy = 0;
    for (int y = cy - 4; y <= cy + 4; ++y)
        for (int x = cx - 4; x <= cx + 4; ++x) {
            const double w = std::max(0.0, img.row(0, y)[x] - kSky);
            sw += w, sx += w * x, sy += w * y;
        }
    return {sx / sw, sy / sw};
}

// Largest distance between a star's centroid in the result and in the reference exposure (the
// same measurement on both, so the centroid's own bias cancels).
double worstStarError(const std::string& result, const std::string& reference,
                      const std::vector<Star>& stars = kSkyStars, int width = kW) {
    Image r, ref;
    openImage(result, r, Progress::none());
    openImage(reference, ref, Progress::none());
    EXPECT_EQ(r.width(), width);
    double worst = 0;
    for (const Star& s : stars) {
        const auto [rx, ry] = centroid(r, s.x, s.y);
        const auto [tx, ty] = centroid(ref, s.x, s.y);
        worst = std::max(worst, std::hypot(rx - tx, ry - ty));
    }
    return worst;
}

std::string refArgs(int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += " --ref " + std::to_string(std::lround(kSkyStars[static_cast<std::size_t>(i)].x)) +
               "," + std::to_string(std::lround(kSkyStars[static_cast<std::size_t>(i)].y));
    return out;
}

std::string join(const std::vector<std::string>& files) {
    std::string out;
    for (const std::string& f : files) out += " " + f;
    return out;
}

const std::vector<Pose> kShifted = {{0, 0, 0},       {1.3, -0.7, 0}, {2.45, -1.6, 0},
                                    {3.8, -2.25, 0}, {5.1, -2.9, 0}, {6.35, -3.8, 0}};
const std::vector<Pose> kRotated = {{0, 0, 0},          {1.3, -0.7, 0.1},  {2.45, -1.6, 0.2},
                                    {3.8, -2.25, 0.28}, {5.1, -2.9, 0.37}, {6.35, -3.8, 0.45}};

} // namespace

// One point corrects shifts only; two to four points also the rotation. Tolerance 0.1 pixel
// for every star (the rotation left uncorrected would move the outer stars by up to 0.7).
TEST(StackCli, StarsLandWhereTheTruthSays) {
    TempDir dir;
    const auto shifted = writeSeries(dir, kShifted, "s");
    const auto rotated = writeSeries(dir, kRotated, "r");
    for (int n = 1; n <= 4; ++n) {
        const auto& files = n == 1 ? shifted : rotated;
        const std::string out = dir.file("out" + std::to_string(n) + ".fts");
        const CliResult r =
            runCli("stack " + out + refArgs(n) + " --average --no-borders" + join(files));
        ASSERT_EQ(r.status, 0) << n << " points: " << r.out;
        EXPECT_LT(worstStarError(out, files[0]), 0.1) << n << " points";
    }
    // The rotated series with one point is visibly wrong: the check above has teeth.
    const std::string out = dir.file("wrong.fts");
    ASSERT_EQ(
        runCli("stack " + out + refArgs(1) + " --average --no-borders" + join(rotated)).status, 0);
    EXPECT_GT(worstStarError(out, rotated[0]), 0.2);
}

// A job file with placed points on the first entry; the others are searched. A sudden turn of
// exposure 4 (the one after it turns no further) fails the automatic check: used and reported, or
// refused with --strict.
TEST(StackCli, JobFileReportAndStrictCheck) {
    TempDir dir;
    std::vector<Pose> poses = kRotated;
    poses[4].degrees = 1.5;
    poses[5].degrees = 1.6;
    const auto files = writeSeries(dir, poses, "j");
    std::string entries;
    for (std::size_t i = 0; i < files.size(); ++i)
        entries += std::string(i ? "," : "") + "{\"path\":\"" + files[i] + "\"" +
                   (i == 0 ? ",\"points\":[[50,40],[150.3,44.6]]" : "") + "}";
    const std::string job =
        dir.write("job.json", "{\"version\":1,\"type\":\"grey\",\"options\":{\"referencePoints\":2,"
                              "\"average\":true,\"removeBorders\":false},\"lists\":[{\"index\":0,"
                              "\"entries\":[" +
                                  entries + "]}]}");
    const std::string out = dir.file("job.fts"), csv = dir.file("report.csv");
    const CliResult r = runCli("stack " + out + " --job " + job + " --report " + csv);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("1 mit fehlgeschlagener Prüfung"), std::string::npos) << r.out;
    std::ifstream in(csv);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), files.size() + 1);
    EXPECT_NE(lines[5].find(";fehlgeschlagen;"), std::string::npos) << lines[5];
    EXPECT_NE(lines[4].find(";ok;"), std::string::npos) << lines[4];

    const std::string strictOut = dir.file("strict.fts");
    const CliResult s = runCli("stack " + strictOut + " --strict --job " + job);
    EXPECT_EQ(s.status, 1) << s.out;
    EXPECT_NE(s.out.find(files[4]), std::string::npos) << s.out;
    EXPECT_FALSE(std::filesystem::exists(strictOut));
}

TEST(StackCli, NoUsableExposureWritesNothing) {
    TempDir dir;
    const std::string out = dir.file("none.fts");
    const CliResult r =
        runCli("stack " + out + " --ref 5,5 --type grey " + dir.file("missing.fts"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Es wurde kein Gültiges, zu verwendendes Bild gefunden!"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(runCli("stack " + out + " " + dir.file("a.fts")).status, 2); // no --ref
}

// The combination's list and choice options are refused with the form they expect, before
// any exposure is read.
TEST(StackCli, CombinationOptionsNameTheirForm) {
    TempDir dir;
    const std::string base = "stack " + dir.file("o.fts") + " --ref 5,5 --type grey ";
    const struct {
        const char* option;
        const char* message;
    } cases[] = {
        {"--sigma 2", "--sigma: zwei Zahlen NIEDRIG,HOCH erwartet, nicht \"2\""},
        {"--percentile 0.5,2", "--percentile: Zahl von 0 bis 1 erwartet, nicht \"2\""},
        {"--minmax 1,x", "--minmax: ganze Zahl von 0 bis 65535 erwartet, nicht \"x\""},
        {"--weights 1,2,3,4", "--weights: drei Zahlen R,G,B erwartet, nicht \"1,2,3,4\""},
        {"--rejection bogus", "oder minmax erwartet, nicht \"bogus\""},
    };
    for (const auto& c : cases) {
        const CliResult r = runCli(base + c.option + " " + dir.file("missing.fts"));
        EXPECT_EQ(r.status, 2) << c.option;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    }
}

// A dark of another size leaves the exposures uncalibrated with one message at the end; a dark
// that cannot be read is reported and the run goes on without it.
TEST(StackCli, CalibrationNotices) {
    TempDir dir;
    const auto files = writeSeries(dir, {kShifted[0], kShifted[1]}, "c");
    Image dark;
    define(dark, kW - 1, kH);
    const std::string darkFile = dir.file("dark.fts");
    writeFits(dark, darkFile, Progress::none());
    const std::string out = dir.file("c.fts");
    const CliResult mismatch =
        runCli("stack " + out + refArgs(1) + " --dark " + darkFile + join(files));
    EXPECT_EQ(mismatch.status, 0) << mismatch.out;
    EXPECT_NE(mismatch.out.find("Die Bildtypen oder Bildgrößen stimmen nicht überein!"),
              std::string::npos)
        << mismatch.out;
    const CliResult missing =
        runCli("stack " + out + refArgs(1) + " --dark " + dir.file("nodark.fts") + join(files));
    EXPECT_EQ(missing.status, 0) << missing.out;
    EXPECT_NE(missing.out.find("Mindestens ein Dunkelstrombild konnte nicht geladen werden!"),
              std::string::npos)
        << missing.out;
}

// Automatic seeds: a series dithered by far more than the search size (±60 pixels against 12),
// one exposure also turned by 2 degrees. Carried seeds lose the stars; seeds from matching the
// stars put every star back within 0.1 pixel.
TEST(StackCli, AutoSeedsAlignFarDitheredSeries) {
    constexpr int w = 400, h = 300;
    std::vector<Star> sky = {{160.3, 120.6, 60000}, {250.7, 170.2, 60000}};
    std::uint64_t state = 12345;
    auto next = [&state](double lo, double hi) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return lo + (hi - lo) * static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    while (sky.size() < 45) {
        const Star s{next(8, w - 8), next(8, h - 8),
                     60000 - 1200.0 * static_cast<double>(sky.size())};
        bool apart = true;
        for (const Star& o : sky) apart = apart && std::hypot(s.x - o.x, s.y - o.y) > 12;
        if (apart) sky.push_back(s);
    }
    const std::vector<Pose> poses = {
        {0, 0, 0}, {60, -45, 0}, {-55, 50, 0}, {58, 52, 2}, {-60, -40, 0}};
    TempDir dir;
    std::vector<std::string> files;
    for (std::size_t e = 0; e < poses.size(); ++e) {
        const double a = poses[e].degrees * std::numbers::pi / 180.0;
        std::vector<Star> stars;
        for (const Star& s : sky) {
            const double x = s.x - w / 2.0, y = s.y - h / 2.0;
            stars.push_back({w / 2.0 + x * std::cos(a) - y * std::sin(a) + poses[e].dx,
                             h / 2.0 + x * std::sin(a) + y * std::cos(a) + poses[e].dy, s.flux});
        }
        Image img;
        define(img, w, h);
        const PixelFn grain = noise(e + 1, -8, 8);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                img.row(0, y)[x] = toSample(starValue(stars, kSigma, kSky, x, y) + grain(0, x, y));
        files.push_back(dir.file("d" + std::to_string(e) + ".fts"));
        writeFits(img, files.back(), Progress::none());
    }
    // Measured: the stars that every exposure sees, away from the borders.
    std::vector<Star> inside;
    for (const Star& s : sky)
        if (s.x > 75 && s.x < w - 75 && s.y > 65 && s.y < h - 65) inside.push_back(s);
    ASSERT_GE(inside.size(), 8u);

    const std::string args = " --ref 160,121 --ref 251,170 --average --no-borders";
    const std::string plain = dir.file("plain.fts");
    ASSERT_EQ(runCli("stack " + plain + args + join(files)).status, 0);
    EXPECT_GT(worstStarError(plain, files[0], inside, w), 1.0);

    const std::string out = dir.file("auto.fts"), csv = dir.file("auto.csv");
    const CliResult r =
        runCli("stack " + out + args + " --auto-seeds --report " + csv + join(files));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("Prüfung"), std::string::npos) << r.out;
    EXPECT_LT(worstStarError(out, files[0], inside, w), 0.1);
    std::ifstream in(csv);
    int fromStars = 0;
    for (std::string line; std::getline(in, line);)
        fromStars += line.find(";sterne;") != std::string::npos ? 1 : 0;
    EXPECT_EQ(fromStars, 4);
}

// --average rounds the exact mean once; --float keeps it unrounded as BITPIX -32. The frames
// differ only in a patch far from the stars (so every exposure's points, and the alignment,
// are those of the first), and astropy, when present, reads the float result and compares it
// with numpy's mean of the input frames.
TEST(StackCli, AverageIsTheExactMeanAndFloatKeepsIt) {
    TempDir dir;
    std::vector<std::string> files;
    for (int k = 0; k < 3; ++k) {
        Image img;
        define(img, kW, kH);
        fillStars(img, kSkyStars, kSigma, kSky);
        for (int y = 135; y < kH; ++y)
            for (int x = 0; x < 30; ++x)
                img.row(0, y)[x] = static_cast<Sample>(1000 + 37 * k * k + (x * y) % 11);
        files.push_back(dir.file("p" + std::to_string(k) + ".fts"));
        writeFits(img, files.back(), Progress::none());
    }
    const std::string rounded = dir.file("mean.fts"), exact = dir.file("mean32.fts");
    const std::string common = " --average --no-borders" + refArgs(2) + join(files);
    ASSERT_EQ(runCli("stack " + rounded + common).status, 0);
    ASSERT_EQ(runCli("stack " + exact + " --float" + common).status, 0);
    // Artefact removal rejects nothing here (three close values): the same mean.
    const std::string rejecting = dir.file("reject32.fts");
    ASSERT_EQ(runCli("stack " + rejecting + " --float --reject" + common).status, 0);
    const std::string winsorized = dir.file("winsorized32.fts");
    ASSERT_EQ(runCli("stack " + winsorized + " --float --rejection winsorized --sigma 3,3" + common)
                  .status,
              0);

    Image r;
    openImage(rounded, r, Progress::none());
    // 1000, 1037 and 1148 average to 1061.67: 1062 (a truncation at each step gave 1061).
    EXPECT_EQ(r.row(0, 143)[22], 1062);

    const char* python = "/usr/bin/python3";
    const std::string probe = std::string(python) + " -c 'import astropy, numpy' 2>/dev/null";
    if (std::system(probe.c_str()) != 0) GTEST_SKIP() << "astropy not available";
    const std::string script = "import numpy as n; from astropy.io import fits as f\n"
                               "m = n.mean([f.getdata(p).astype(n.float64) for p in ['" +
                               files[0] + "', '" + files[1] + "', '" + files[2] +
                               "']], axis=0)\n"
                               "for name in ['" +
                               exact + "', '" + rejecting + "', '" + winsorized +
                               "']:\n"
                               "    h = f.open(name)[0]\n"
                               "    assert h.header['BITPIX'] == -32\n"
                               "    d = n.abs(h.data - m).max()\n"
                               "    assert d < 1e-3, (name, d)\n";
    const std::string scriptFile = dir.file("check.py");
    std::ofstream(scriptFile) << script;
    EXPECT_EQ(std::system((std::string(python) + " " + scriptFile).c_str()), 0);
}

// QUILLON_SIMD picks the instruction-set level: every level the processor has writes the same
// bytes (calibration, alignment, artefact removal), and an unknown level is refused.
TEST(StackCli, EveryInstructionSetLevelWritesTheSameFile) {
    TempDir dir;
    const std::vector<std::string> files = writeSeries(dir, kRotated, "s");
    const std::string args = refArgs(2) + " --average --reject --float" + join(files);
    std::string first;
    for (const char* level : {"sse2", "avx2", "avx512"}) {
        const bool has = std::string(level) == "sse2" ||
                         simd::available(std::string(level) == "avx2" ? simd::Avx2 : simd::Avx512);
        if (!has) continue;
        const std::string out = dir.file(std::string(level) + ".fts");
        ::setenv("QUILLON_SIMD", level, 1);
        ASSERT_EQ(runCli("stack " + out + args).status, 0);
        std::ifstream in(out, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        if (first.empty()) first = bytes;
        EXPECT_TRUE(bytes == first) << level;
    }
    ::setenv("QUILLON_SIMD", "avx9", 1);
    EXPECT_EQ(runCli("--version").status, 2);
    ::unsetenv("QUILLON_SIMD");
}
