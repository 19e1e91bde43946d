// quillon-cli background: the result and the model file against the library, the user's
// sample file, and the refusals.
#include "core/image.h"
#include "filters/background.h"
#include "formats/fits_writer.h"
#include "formats/open.h"

#include "cli/cli_runner.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using namespace quillon;

TEST(CliBackground, ResultModelSamplesAndRefusals) {
    testkit::TempDir dir;
    Image source;
    testkit::makeImage(source, 160, 120, RGB_IMAGE, testkit::Ramp{1500, 4, -3, 100});
    const std::string in = dir.file("in.fts"), out = dir.file("out.fts"),
                      model = dir.file("model.fts"), csv = dir.file("samples.csv");
    saveFits(source, in, Progress::none());
    {
        std::ofstream f(csv);
        f << "# x,y[,1|0]\n5,5,0\n80,60\n";
    }
    const CliResult r = runCli("background " + in + " " + out + " --degree 1 --grid 10 --model " +
                               model + " --samples " + csv);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("100 von 101 Proben benutzt"), std::string::npos) << r.out;

    // The same through the library: the corner sample off, one added at the centre.
    BackgroundOptions o;
    o.degree = 1;
    o.grid = 10;
    std::vector<BackgroundSample> s = placeBackgroundSamples(source, o, 0);
    toggleBackgroundSample(s, source, o, 0, 5, 5);
    toggleBackgroundSample(s, source, o, 0, 80, 60);
    ASSERT_EQ(s.size(), 101u);
    EXPECT_FALSE(s[0].used());
    const BackgroundModel m = fitBackground(source, s, o, 0);
    Image expected = source.clone();
    applyBackground(expected, m, false, 0, Progress::none());
    Image result, modelImage;
    openImage(out, result, Progress::none());
    openImage(model, modelImage, Progress::none());
    EXPECT_EQ(testkit::firstDifference(result, expected), "");
    EXPECT_EQ(testkit::firstDifference(modelImage, backgroundModelImage(source, m, 0)), "");

    for (const char* bad : {"--degree 5", "--grid 7", "--smoothing 2", "--method rbf"})
        EXPECT_EQ(runCli("background " + in + " " + out + " " + bad).status, 2) << bad;
    {
        std::ofstream f(csv);
        f << "500,5\n";
    }
    EXPECT_EQ(runCli("background " + in + " " + out + " --samples " + csv).status, 2);
}
