// The composite run over a job: the per-exposure report, artefact removal's tally, the display
// weights and cancel, on images held in memory.
#include "composite/run.h"
#include "core/error.h"
#include "core/memory.h"

#include "support/progress_recorder.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

using namespace quillon;
using namespace quillon::testkit;

namespace {

constexpr int kW = 120, kH = 90;

// Exposures as open documents; counts every open and release.
struct MemorySource : ImageSource {
    std::map<std::uint64_t, std::unique_ptr<Image>> images;
    int opens = 0, releases = 0;
    Image* open(int, int, const CompositeEntry& e) override {
        const auto it = images.find(e.documentId);
        if (it == images.end() || !it->second) return nullptr;
        ++opens;
        return it->second.get();
    }
    void release(int, int, const CompositeEntry&) override { ++releases; }
};

// A grey job of `shifts.size()` exposures: exposure k shows the same two stars shifted by
// shifts[k] and turned by turns[k] degrees about (60, 45). Entry 0 carries the stars' points.
struct Series {
    MemorySource source;
    CompositeJob job;
};

std::unique_ptr<Series> makeSeries(const std::vector<std::pair<double, double>>& shifts,
                                   const std::vector<double>& turns, int w = kW, int h = kH) {
    auto s = std::make_unique<Series>();
    s->job.configure(BW_IMAGE, 0, CalibrationParams{});
    s->job.options.referencePointCount = 2;
    s->job.options.removeBorders = false;
    s->job.options.averaging = true;
    for (std::size_t k = 0; k < shifts.size(); ++k) {
        const double a = turns[k] * 3.14159265358979 / 180.0;
        std::vector<Star> stars;
        for (const auto& [x, y] : {std::pair{30.0, 25.0}, std::pair{95.0, 70.0}}) {
            const double dx = x - 60, dy = y - 45;
            stars.push_back({60 + dx * std::cos(a) - dy * std::sin(a) + shifts[k].first,
                             45 + dx * std::sin(a) + dy * std::cos(a) + shifts[k].second, 40000});
        }
        auto img = std::make_unique<Image>();
        define(*img, w, h);
        fillStars(*img, stars, 1.3, 100);
        s->source.images[k + 1] = std::move(img);
        CompositeEntry& e = s->job.addDocument(0, k + 1, "B" + std::to_string(k));
        if (k == 0) e.points[0] = {30, 25}, e.points[1] = {95, 70}, e.pointsSet = true;
    }
    return s;
}

RunOptions searching() {
    RunOptions o;
    o.searchReferences = true;
    return o;
}

} // namespace

TEST(CompositeRun, ReportGivesShiftTurnAndCoverage) {
    auto s = makeSeries({{0, 0}, {3.4, -2.3}, {5.0, -1.0}}, {0, 0, 0.6});
    s->source.images[9] = nullptr; // an entry whose image cannot be had is skipped
    s->job.addDocument(0, 9, "fehlt");
    RunOptions options = searching();
    int seen = 0;
    options.afterExposure = [&](const Image&, const ExposureReport&) { ++seen; };
    const CompositeResult r = runComposite(s->job, s->source, options);
    EXPECT_EQ(s->source.opens, s->source.releases);
    EXPECT_EQ(seen, 3);
    ASSERT_EQ(r.exposures.size(), 4u);
    EXPECT_TRUE(r.exposures[0].reference);
    EXPECT_EQ(r.exposures[0].contributed, kW * kH);
    const ExposureReport& e1 = r.exposures[1];
    EXPECT_TRUE(e1.searched && e1.checkPassed && e1.inserted);
    EXPECT_NEAR(e1.shiftX, -3.4, 0.05);
    EXPECT_NEAR(e1.shiftY, 2.3, 0.05);
    EXPECT_NEAR(e1.angleDegrees, 0.0, 0.03);
    // Result pixels whose exposure position x − 3.4, y + 2.3 lies inside it: x 4 … 119,
    // y 0 … 86.
    EXPECT_EQ(e1.contributed, 116 * 87);
    EXPECT_NEAR(r.exposures[2].angleDegrees, -0.6, 0.03); // turned clockwise by 0.6°
    EXPECT_NEAR(r.exposures[2].scale, 1.0, 0.002);
    EXPECT_FALSE(r.exposures[3].available);
    EXPECT_FALSE(r.exposures[3].inserted);
}

// A bright artefact in one of five exposures is rejected: the tally names that exposure and
// the result keeps the sky there.
TEST(CompositeRun, ArtefactRemovalCountsTheRejectedSamples) {
    auto s = makeSeries({{0, 0}, {1, 1}, {2, 0}, {1, -1}, {0, 1}}, {0, 0, 0, 0, 0});
    Image& hit = *s->source.images[3];
    for (int y = 60; y < 63; ++y)
        for (int x = 40; x < 43; ++x) hit.row(0, y)[x] = 20000;
    s->job.options.removeArtefacts = true;
    const CompositeResult r = runComposite(s->job, s->source, searching());
    EXPECT_EQ(s->source.opens, s->source.releases);
    ASSERT_EQ(r.exposures.size(), 5u);
    EXPECT_GE(r.exposures[2].rejected, 9);
    EXPECT_LT(r.exposures[1].rejected, r.exposures[2].rejected);
    EXPECT_LT(r.image.row(0, 60)[38], 200); // (40, 60) of exposure 2, whose shift is (2, 0)
    EXPECT_LT(r.image.row(0, 61)[39], 200);
}

// With more exposures than the memory limit holds, the strip-wise run spills them: each is
// opened once (prepared, calibrated and aligned in the same pass) and reported like the others.
TEST(CompositeRun, SpillingRunOpensEachExposureOnceAndReportsIt) {
    auto s = makeSeries({{0, 0}, {1.5, -1}, {-2, 0.5}, {0.5, 2}}, {0, 0, 0.2, 0}, 400, 300);
    s->source.images[9] = nullptr;
    s->job.addDocument(0, 9, "fehlt");
    s->job.options.rejection.method = Rejection::Winsorized;
    s->job.options.removeArtefacts = false;
    RunOptions options = searching();
    options.memoryLimitMB = 1;
    const CompositeResult r = runComposite(s->job, s->source, options);
    EXPECT_EQ(s->source.opens, 4);
    EXPECT_EQ(s->source.opens, s->source.releases);
    ASSERT_EQ(r.exposures.size(), 5u);
    for (std::size_t k = 1; k < 4; ++k) {
        EXPECT_TRUE(r.exposures[k].searched && r.exposures[k].inserted) << k;
        EXPECT_GT(r.exposures[k].contributed, 390 * 290) << k;
    }
    EXPECT_NEAR(r.exposures[1].shiftX, -1.5, 0.05);
    EXPECT_FALSE(r.exposures[4].available);
    // The same job in one strip (no spill file) gives the same result and tallies.
    const CompositeResult whole = runComposite(s->job, s->source, searching());
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(whole.exposures[k].contributed, r.exposures[k].contributed) << k;
        EXPECT_EQ(whole.exposures[k].rejected, r.exposures[k].rejected) << k;
    }
    for (int y = 0; y < 300; ++y)
        ASSERT_TRUE(std::equal(r.image.row(0, y), r.image.row(0, y) + 400, whole.image.row(0, y)))
            << "row " << y;
}

TEST(CompositeRun, NothingUsableAndCancel) {
    auto s = makeSeries({{0, 0}, {1, 0}}, {0, 0});
    for (CompositeEntry& e : s->job.lists[0].entries) e.used = false;
    try {
        runComposite(s->job, s->source, searching());
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), kNoUsableExposureMessage);
    }
    // Only the overlay list holds a usable entry: that is no exposure either.
    s->job.addDocument(1, 1, "Overlay");
    EXPECT_THROW(runComposite(s->job, s->source, searching()), Error);
    for (CompositeEntry& e : s->job.lists[0].entries) e.used = true;
    ProgressRecorder rec;
    rec.cancelAfter = 0;
    Progress p(&rec);
    EXPECT_THROW(runComposite(s->job, s->source, searching(), p), Cancelled);
    EXPECT_EQ(s->source.opens, s->source.releases);
}

TEST(CompositeRun, DisplayWeights) {
    struct Case {
        std::array<float, 3> weights, sums;
        bool averaging;
        std::array<float, 3> expected;
    };
    const Case cases[] = {
        {{1, 1, 1}, {1, 2, 1}, false, {1, 0.5f, 1}},
        {{1, 1, 1}, {1, 2, 1}, true, {1, 1, 1}},
        {{2, 1, 1}, {0, 0, 4}, false, {1, 0.5f, 0.125f}}, // sums of 0 count as 1
        {{0, 1, 2}, {1, 1, 1}, false, {0, 0.5f, 1}},      // red off: green and blue kept
    };
    for (const Case& c : cases)
        EXPECT_EQ(compositeDisplayWeights(c.weights, c.sums, c.averaging), c.expected);
}

TEST(CompositeRun, SizeFactorTwoOfThousandByEight) {
    MemorySource source;
    source.images[1] = make(1000, 800);
    CompositeJob job;
    job.configure(BW_IMAGE, 0, CalibrationParams{});
    job.options.referencePointCount = 1;
    job.options.sizeFactor = 2.0f;
    job.options.removeBorders = false; // the size of the result as created
    job.addDocument(0, 1, "B");
    const CompositeResult r = runComposite(job, source, RunOptions{});
    EXPECT_EQ(r.image.width(), 1999);
    EXPECT_EQ(r.image.height(), 1599);
    EXPECT_FALSE(r.image.hasCounters());
}

// Both runs weigh every exposure by its own factor, with and without averaging: three flat
// exposures of 100 with the factors 2, 3 and 4 give the mean 300 or the sum 900.
TEST(CompositeRun, BothRunsTakeEveryExposuresFactor) {
    for (const auto& [artefacts, averaging, expected] :
         {std::tuple{true, true, 300}, std::tuple{true, false, 900}, std::tuple{false, true, 300},
          std::tuple{false, false, 900}}) {
        MemorySource source;
        CompositeJob job;
        job.configure(BW_IMAGE, 0, CalibrationParams{});
        job.options.referencePointCount = 1;
        job.options.removeBorders = false;
        job.options.removeArtefacts = artefacts;
        job.options.averaging = averaging;
        for (int k = 0; k < 3; ++k) {
            source.images[k + 1] = make(30, 20);
            fill(*source.images[k + 1], constant(100));
            CompositeEntry& e = job.addDocument(0, k + 1, "B");
            e.factors = {static_cast<float>(k + 2)};
            e.points[0] = {5, 5};
        }
        const CompositeResult r = runComposite(job, source, RunOptions{});
        EXPECT_EQ(mismatch(r.image, constant(expected)), "")
            << "artefacts " << artefacts << ", averaging " << averaging;
    }
}

// A long series (more exposures than an 8-bit count holds) averages to the exact mean of its
// samples, checked against a double-precision mean formed here: the 16-bit result rounded once,
// the unrounded sums within 1e-3. Truncating at every exposure would sit several ADU low.
TEST(CompositeRun, LongSeriesAveragesToTheExactMean) {
    constexpr int kFrames = 300, kW2 = 23, kH2 = 11;
    MemorySource source;
    CompositeJob job;
    job.configure(BW_IMAGE, 0, CalibrationParams{});
    job.options.referencePointCount = 1;
    job.options.removeBorders = false;
    job.options.averaging = true;
    std::vector<double> mean(kW2 * kH2, 0.0);
    std::uint32_t state = 12345;
    for (int k = 0; k < kFrames; ++k) {
        source.images[static_cast<std::uint64_t>(k + 1)] = make(kW2, kH2);
        Image& img = *source.images[static_cast<std::uint64_t>(k + 1)];
        for (int y = 0; y < kH2; ++y)
            for (int x = 0; x < kW2; ++x) {
                state = state * 1664525u + 1013904223u;
                const int v = 1000 + static_cast<int>(state >> 24) % 41 - 20; // 980 .. 1020
                img.row(0, y)[x] = static_cast<Sample>(v);
                mean[static_cast<std::size_t>(y * kW2 + x)] += v / double{kFrames};
            }
        job.addDocument(0, static_cast<std::uint64_t>(k + 1), "B").points[0] = {5, 5};
    }
    const CompositeResult r = runComposite(job, source, RunOptions{});
    ASSERT_FALSE(r.sums.empty());
    for (int y = 0; y < kH2; ++y)
        for (int x = 0; x < kW2; ++x) {
            const double want = mean[static_cast<std::size_t>(y * kW2 + x)];
            ASSERT_NEAR(r.sums.value(0, x, y), want, 1e-3) << x << "," << y;
            ASSERT_EQ(r.image.row(0, y)[x], static_cast<int>(std::lround(want))) << x << "," << y;
        }
}

// Exposures whose sky rises by 100 ADU per frame and whose transparency varies (×0.9 … ×1.1),
// one with a trail and one with a hot pixel: winsorized rejection with its default addscale
// normalisation gives the reference exposure's sky (noise near that of the mean; the spreads
// estimated from frames this small add some) and star, and rejects the trail and the hot pixel;
// without normalisation the sky is off.
TEST(CompositeRun, WinsorizedWithNormalisationFlattensAChangingSky) {
    constexpr int kFrames = 15, kW2 = 40, kH2 = 30;
    auto truth = [](int x, int y) {
        const double r2 = (x - 20) * (x - 20) + (y - 15) * (y - 15);
        return 1000.0 + 3000.0 * std::exp(-r2 / (2 * 1.5 * 1.5));
    };
    auto run = [&](int normalization) {
        MemorySource source;
        CompositeJob job;
        job.configure(BW_IMAGE, 0, CalibrationParams{});
        job.options.referencePointCount = 1;
        job.options.removeBorders = false;
        job.options.averaging = true;
        job.options.rejection.method = Rejection::Winsorized;
        job.options.normalization = normalization;
        std::uint32_t state = 99;
        for (int k = 0; k < kFrames; ++k) {
            const double gain = 0.9 + 0.2 * ((k * 7) % kFrames) / (kFrames - 1);
            auto img = make(kW2, kH2);
            for (int y = 0; y < kH2; ++y)
                for (int x = 0; x < kW2; ++x) {
                    state = state * 1664525u + 1013904223u;
                    const double noise = (static_cast<double>(state >> 8) / (1 << 24) - 0.5) * 69.3;
                    double v = gain * (truth(x, y) + noise) + 100.0 * k;
                    if (k == 4 && y == 10) v += 3000;          // a trail
                    if (k == 7 && x == 5 && y == 5) v = 30000; // a hot pixel
                    img->row(0, y)[x] = static_cast<Sample>(std::lround(v));
                }
            source.images[static_cast<std::uint64_t>(k + 1)] = std::move(img);
            job.addDocument(0, static_cast<std::uint64_t>(k + 1), "B").points[0] = {20, 15};
        }
        return runComposite(job, source, RunOptions{});
    };
    // The noise of the mean in the reference exposure's scale (gain 0.9).
    const double g0 = 0.9, sigma = 20 * g0 / std::sqrt(double{kFrames});
    const CompositeResult r = run(-1);
    // The sky within the noise of the mean; the star (whose height depends on the estimated
    // spreads, a few per cent on frames this small) within 3 %, so its core was not rejected.
    double worst = 0, sum = 0, squares = 0;
    int n = 0;
    for (int y = 0; y < kH2; ++y)
        for (int x = 0; x < kW2; ++x)
            if (std::hypot(x - 20, y - 15) > 6) {
                const double d = r.image.row(0, y)[x] - g0 * truth(x, y);
                worst = std::max(worst, std::fabs(d));
                sum += d, squares += d * d, ++n;
            }
    EXPECT_LT(worst, 6 * sigma) << "no trail or hot pixel left";
    EXPECT_LT(std::fabs(sum / n), 0.4 * sigma) << "flat sky at the reference level";
    EXPECT_LT(std::sqrt(squares / n), 1.2 * sigma) << "noise near σ/√N";
    EXPECT_NEAR(r.image.row(0, 15)[20], g0 * truth(20, 15), 0.03 * g0 * truth(20, 15));
    long long rejected = 0;
    for (const ExposureReport& e : r.exposures) rejected += e.rejected;
    EXPECT_GE(r.exposures[4].rejectedHigh, kW2 - 2) << "the trail";
    EXPECT_LT(rejected, kFrames * kW2 * kH2 / 50) << "clean values stay";

    const CompositeResult plain = run(static_cast<int>(Normalization::None));
    EXPECT_GT(std::fabs(plain.image.row(0, 2)[2] - g0 * truth(2, 2)), 100.0);
}

// Out of memory for the border crop keeps the finished result at full size and says why.
TEST(CompositeRun, BorderCropWithoutMemoryKeepsTheWholeResult) {
    auto s = makeSeries({{0, 0}, {2, 1}, {-1, 2}}, {0, 0, 0});
    s->job.options.removeBorders = true;
    RunOptions options = searching();
    int seen = 0;
    CompositeResult r;
    {
        memory::ScopedLimit unlimited(0);
        // Nothing more can be had once the last exposure is in.
        options.afterExposure = [&](const Image&, const ExposureReport&) {
            if (++seen == 2) memory::setLimit(1);
        };
        r = runComposite(s->job, s->source, options);
    }
    EXPECT_FALSE(r.cropped);
    EXPECT_EQ(r.notices, std::vector<std::string>{kBordersNotRemovedMessage});
    s->job.options.removeBorders = false;
    const CompositeResult whole = runComposite(s->job, s->source, searching());
    EXPECT_EQ(firstDifference(r.image, whole.image), "");
    EXPECT_FALSE(r.image.hasCounters());
}

// Each exposure's insertion shows its own title inside the run's "Komposit", which comes back
// when the insertion ends.
TEST(CompositeRun, InsertionTitlesShowInsideTheRun) {
    auto s = makeSeries({{0, 0}, {2, 1}, {-1, 2}}, {0, 0, 0});
    ProgressRecorder rec;
    Progress p(&rec);
    runComposite(s->job, s->source, searching(), p);
    EXPECT_EQ(rec.titles, (std::vector<std::string>{"Komposit", "Drehaddieren", "Komposit",
                                                    "Drehaddieren", "Komposit"}));
    EXPECT_EQ(rec.finishes, 1);
}
