// quillon-cli deconvolve: the PSF from the named stars as the dialog collects it, the result
// compared with the library's, and the refusals with exit status 1.
#include "core/image.h"
#include "filters/deconvolve.h"
#include "filters/psf.h"
#include "formats/fits_writer.h"
#include "formats/open.h"

#include "cli/cli_runner.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon;

namespace {

bool contains(const CliResult& r, const std::string& text) {
    return r.out.find(text) != std::string::npos;
}

class CliDeconvolve : public ::testing::Test {
protected:
    void SetUp() override {
        testkit::define(source_, 80, 60);
        testkit::fillStars(source_, {{20.3, 20.6, 30000}, {55.0, 38.2, 20000}}, 1.5, 300);
        saveFits(source_, in(), Progress::none());
    }
    std::string in() const { return dir_.file("in.fts"); }
    std::string out() const { return dir_.file("out.fts"); }

    testkit::TempDir dir_;
    Image source_;
};

} // namespace

TEST_F(CliDeconvolve, TwoStarsFiveIterationsMatchTheLibrary) {
    const CliResult r = runCli("deconvolve --psf-star 21,20 --psf-star 54,39 --psf-size 6x5 "
                               "--iterations 5 " +
                               in() + " " + out());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r, "Anzahl gemittelter PSF: 2 (7 x 5 Pixel)")) << r.out;
    EXPECT_TRUE(contains(r, "Bearbeitungszeit (ca.): 0 sek.")) << r.out;
    Image expected;
    testkit::define(expected, 80, 60);
    for (const auto& [x, y] : {std::pair{21.0f, 20.0f}, std::pair{54.0f, 39.0f}}) {
        const ReferencePoint c = locatePsfStar(source_, x, y);
        addReferenceStar(source_, psfCutout(source_, c.x, c.y), 7, 5);
    }
    DeconvolveOptions o;
    o.iterations = 5;
    deconvolve(expected, source_, o);
    Image result;
    openImage(out(), result, Progress::none());
    EXPECT_EQ(testkit::firstDifference(result, expected), "");
}

TEST_F(CliDeconvolve, RefusedStarsExitWithOne) {
    for (const std::string& stars :
         {std::string(), std::string("--psf-star 80,10"), std::string("--psf-star 10,-1"),
          std::string("--psf-star 70,8 --psf-size 3x3")}) {
        const CliResult r = runCli("deconvolve " + stars + " " + in() + " " + out());
        EXPECT_EQ(r.status, 1) << stars << "\n" << r.out;
    }
    EXPECT_EQ(runCli("deconvolve --psf-star 5 " + in() + " " + out()).status, 2);
}
