// Master frames built from FITS files, checked against a plain per-pixel loop.
#include "composite/combine.h"
#include "composite/master.h"
#include "core/error.h"
#include "formats/fits_writer.h"
#include "formats/open.h"

#include "support/progress_recorder.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::testkit;

namespace {

constexpr int kWidth = 23, kHeight = 17;

// Frames of noise around 0 (negative means round away from zero too), with one wild pixel,
// written as RGB FITS files; the first has an overlay, which the master does not take over.
std::vector<std::string> writeFrames(const TempDir& dir, int count) {
    std::vector<std::string> files;
    for (int f = 0; f < count; ++f) {
        Image frame;
        makeImage(frame, kWidth, kHeight, RGB_IMAGE, noise(100 + f, -200, 200), f == 0);
        if (f == 2) frame.row(1, 5)[7] = 30000; // a wild pixel in one frame
        files.push_back(dir.file("frame" + std::to_string(f) + ".fts"));
        writeFits(frame, files.back(), Progress::none());
    }
    return files;
}

// The expected value of one pixel from the frames' samples.
Sample expectedPixel(std::vector<Sample> v, MasterMethod method) {
    const int n = static_cast<int>(v.size());
    double mean = 0;
    for (Sample s : v) mean += s;
    switch (method) {
    case MasterMethod::Mean: return static_cast<Sample>(std::round(mean / n));
    case MasterMethod::Median:
        std::sort(v.begin(), v.end());
        return static_cast<Sample>(n % 2 ? v[n / 2] : std::round((v[n / 2 - 1] + v[n / 2]) / 2.0));
    case MasterMethod::Reject: break;
    }
    return combineSamples(v.data(), n, rejectionThreshold(n), true);
}

} // namespace

TEST(Master, EveryMethodMatchesPlainLoopForAnyStripHeight) {
    TempDir dir;
    for (int count : {4, 5}) {
        const std::vector<std::string> files = writeFrames(dir, count);
        std::vector<Image> frames(static_cast<std::size_t>(count));
        for (int f = 0; f < count; ++f) openImage(files[f], frames[f], Progress::none());
        for (MasterMethod method :
             {MasterMethod::Mean, MasterMethod::Median, MasterMethod::Reject}) {
            // One row per strip, a strip of 5 rows (the last one shorter), the whole image.
            for (std::size_t rows : {1, 5, 100}) {
                MasterOptions options;
                options.method = method;
                options.stripBytes = rows * count * kWidth * sizeof(Sample);
                options.spillFolder = dir.path().string();
                Image master;
                buildMaster(files, options, master);
                SCOPED_TRACE(std::string(masterMethodName(method)) + " frames " +
                             std::to_string(count) + " rows " + std::to_string(rows));
                ASSERT_EQ(master.type(), RGB_IMAGE);
                EXPECT_FALSE(master.hasOverlay());
                EXPECT_EQ(std::string(textOf(master.info().comments.back())),
                          "Masterbild aus " + std::to_string(count) + " Bildern (" +
                              masterMethodName(method) + ")");
                EXPECT_EQ(mismatch(master,
                                   [&](int p, int x, int y) {
                                       std::vector<Sample> v;
                                       for (const Image& fr : frames) v.push_back(fr.row(p, y)[x]);
                                       return expectedPixel(v, method);
                                   }),
                          "");
            }
        }
        // The wild pixel: rejected as an outlier, but it pulls the mean.
        Image reject, mean;
        buildMaster(files, {MasterMethod::Reject}, reject);
        buildMaster(files, {MasterMethod::Mean}, mean);
        EXPECT_LE(std::abs(reject.row(1, 5)[7]), 200);
        EXPECT_GT(mean.row(1, 5)[7], 5000);
    }
    // Nothing is left behind in the folder but the frames.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 5);
}

TEST(Master, MismatchAndCancelLeaveNothing) {
    TempDir dir;
    std::vector<std::string> files = writeFrames(dir, 3);
    Image small;
    makeImage(small, kWidth, kHeight - 1, RGB_IMAGE, constant(0));
    files.push_back(dir.file("small.fts"));
    writeFits(small, files.back(), Progress::none());
    Image master;
    try {
        buildMaster(files, {}, master);
        ADD_FAILURE() << "a smaller frame was accepted";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Die Datei \"" + files.back() +
                      "\" passt nicht zum ersten Bild (23 x 16, RGB, 3 Ebene(n) statt 23 x 17, "
                      "RGB, 3 Ebene(n)).");
    }
    EXPECT_FALSE(master.hasSamples());

    files.pop_back();
    ProgressRecorder recorder;
    recorder.cancelAfter = 0;
    Progress progress(&recorder);
    EXPECT_THROW(buildMaster(files, {}, master, progress), Cancelled);
    EXPECT_FALSE(master.hasSamples());
}
