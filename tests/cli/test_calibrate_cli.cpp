// quillon-cli calibrate and repair end to end: a series against the library, the refusals, and a
// CCD-like exposure with vignetting, a dark pattern and a stuck column.
#include "core/image.h"
#include "formats/fits_writer.h"
#include "formats/open.h"
#include "ops/calibration.h"

#include "cli/cli_runner.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

using namespace quillon;
using namespace quillon::testkit;
namespace fs = std::filesystem;

namespace {

class CliCalibrate : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir_.file(name); }
    std::string save(const std::string& name, Image& img) {
        saveFits(img, path(name), Progress::none());
        return path(name);
    }
    Image read(const std::string& name) {
        Image img;
        openImage(path(name), img, Progress::none());
        return img;
    }
    TempDir dir_;
};

int median(std::vector<int> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

int columnMedian(const Image& img, int x) {
    std::vector<int> v;
    for (int y = 0; y < img.height(); ++y) v.push_back(img.row(0, y)[x]);
    return median(v);
}

int regionMedian(const Image& img, int x0, int y0, int size) {
    std::vector<int> v;
    for (int y = y0; y < y0 + size; ++y)
        for (int x = x0; x < x0 + size; ++x) v.push_back(img.row(0, y)[x]);
    return median(v);
}

} // namespace

TEST_F(CliCalibrate, SeriesMatchesTheLibraryAndReportsClamping) {
    Image a, b, dark, flat;
    makeImage(a, 60, 40, RGB_IMAGE, noise(1), true);
    makeImage(b, 60, 40, RGB_IMAGE, noise(2, 0, 20000));
    makeImage(dark, 60, 40, BW_IMAGE, noise(3, 0, 500));
    makeImage(flat, 60, 40, RGB_IMAGE, noise(4, 0, 30000));
    fs::create_directory(path("out"));
    const CliResult r =
        runCli("calibrate " + save("a.fts", a) + " " + save("b.fit", b) + " --out-dir " +
               path("out") + " --dark " + save("dark.fts", dark) + " --flat " +
               save("flat.fts", flat) + " --dark-divisor 2.5 --offset 100");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("a.fts: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" Werte lagen außerhalb des Wertebereichs"), std::string::npos) << r.out;
    CalibrationParams params;
    params.darkDivisor = 2.5;
    params.offset = 100;
    for (auto [img, name] : {std::pair<Image*, const char*>{&a, "out/a.fts"}, {&b, "out/b.fts"}}) {
        darkFlatCorrect(*img, &dark, &flat, params);
        EXPECT_EQ(firstDifference(read(name), *img), "") << name;
    }
}

TEST_F(CliCalibrate, RefusalsExitWithStatusOne) {
    Image img, dark2;
    makeImage(img, 20, 20, RGB_IMAGE, constant(1000));
    makeImage(dark2, 20, 20, USERDEFINED_IMAGE, constant(10), false, 2);
    const std::string in = save("in.fts", img);
    CliResult r =
        runCli("calibrate " + in + " " + path("out.fts") + " --dark " + save("d2.fts", dark2));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Das Dunkelstrombild ist vom falschen Bildtyp!"), std::string::npos);
    EXPECT_FALSE(fs::exists(path("out.fts")));
    r = runCli("calibrate " + in + " " + path("out.fts") + " --flat " + path("missing.fts"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Flatfield-Bild konnte nicht geladen werden!"), std::string::npos);
    r = runCli("repair " + in + " " + path("out.fts") + " --column 3 --layer 4");
    EXPECT_EQ(r.status, 2) << r.out;
}

// A CCD-like exposure: sky and stars dimmed by vignetting, a dark pattern, noise, and column 100
// stuck near full scale. Calibration must flatten the sky; repair must bring the column back
// to its neighbours.
TEST_F(CliCalibrate, RealisticFrameCalibratedAndColumnRepaired) {
    const int w = 256, h = 192, bad = 100;
    auto vignette = [&](int x, int y) {
        const double dx = (x - w / 2.0) / (w / 2.0), dy = (y - h / 2.0) / (h / 2.0);
        return 1.0 - 0.15 * (dx * dx + dy * dy);
    };
    auto darkAt = [](int x, int y) { return 300 + (x * 7 + y * 13) % 50; };
    const std::vector<Star> stars = {{40.3, 50.7, 90000}, {180.5, 30.2, 40000}, {120, 150, 60000}};
    const PixelFn shot = noise(9, -40, 40);
    Image light, dark, flat;
    makeImage(light, w, h, BW_IMAGE, [&](int p, int x, int y) {
        if (x == bad) return 30000 + shot(p, x, y) / 4;
        const double signal = vignette(x, y) * starValue(stars, 1.6, 2000.0, x, y);
        return darkAt(x, y) + static_cast<int>(signal) + shot(p, x, y);
    });
    makeImage(dark, w, h, BW_IMAGE, [&](int, int x, int y) { return darkAt(x, y); });
    makeImage(flat, w, h, BW_IMAGE,
              [&](int, int x, int y) { return static_cast<int>(20000 * vignette(x, y)); });
    CliResult r = runCli("calibrate " + save("light.fts", light) + " " + path("cal.fts") +
                         " --dark " + save("dark.fts", dark) + " --flat " + save("flat.fts", flat));
    ASSERT_EQ(r.status, 0) << r.out;
    const Image cal = read("cal.fts");
    const int corner = regionMedian(cal, 2, 2, 20), centre = regionMedian(cal, 150, 80, 20);
    const int rawCorner = regionMedian(light, 2, 2, 20),
              rawCentre = regionMedian(light, 150, 80, 20);
    EXPECT_LT(std::abs(corner - centre), centre / 100) << "vignetting left after the flat";

    r = runCli("repair " + path("cal.fts") + " " + path("fixed.fts") + " --column " +
               std::to_string(bad));
    ASSERT_EQ(r.status, 0) << r.out;
    const Image fixed = read("fixed.fts");
    const int before = columnMedian(cal, bad), after = columnMedian(fixed, bad);
    const int left = columnMedian(fixed, bad - 1), right = columnMedian(fixed, bad + 1);
    std::printf("sky median corner/centre: raw %d/%d, calibrated %d/%d\n"
                "column %d median: before %d, after %d; neighbours %d and %d\n",
                rawCorner, rawCentre, corner, centre, bad, before, after, left, right);
    EXPECT_GT(before, 20000);
    EXPECT_LE(std::abs(after - (left + right) / 2), 30);
    EXPECT_EQ(
        mismatch(fixed, [&](int p, int x,
                            int y) { return x == bad ? fixed.row(p, y)[x] : cal.row(p, y)[x]; }),
        "")
        << "only the column changes";
}
