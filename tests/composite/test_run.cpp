// The composite run over a job: the per-exposure report, artefact removal's tally, the display
// weights and cancel, on images held in memory.
#include "composite/run.h"
#include "core/error.h"
#include "core/memory.h"

#include "support/progress_recorder.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

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
                                   const std::vector<double>& turns) {
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
        define(*img, kW, kH);
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
