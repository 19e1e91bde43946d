// Measuring and registering a composite's frames, one frame per thread: the same stars and
// transforms at any thread count, and a cancel ends the work of every thread.
#include "../analysis/star_frames.h"
#include "composite/frame_analysis.h"
#include "composite/run.h"
#include "core/error.h"
#include "core/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>

using namespace quillon;

namespace {

constexpr int kFrames = 7;

// Open windows 1 … kFrames: one sky shifted by a few pixels a frame.
class SkySource : public ImageSource {
public:
    SkySource() {
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> pos(10, 190), flux(5000, 50000);
        std::vector<star_frames::TrueStar> sky;
        for (int i = 0; i < 60; ++i) sky.push_back({pos(rng), pos(rng), flux(rng)});
        for (int f = 1; f <= kFrames; ++f) {
            star_frames::FrameSpec s;
            s.width = s.height = 200;
            s.seed = static_cast<unsigned>(f);
            std::vector<star_frames::TrueStar> shifted = sky;
            for (auto& t : shifted) t.x += 1.7 * f, t.y -= 0.9 * f;
            star_frames::render(images_[static_cast<std::uint64_t>(f)], s, shifted);
        }
    }
    Image* open(int, int, const CompositeEntry& e) override {
        ++opened;
        return &images_.at(e.documentId);
    }
    void release(int, int, const CompositeEntry&) override {}
    std::atomic<int> opened{0};

private:
    std::map<std::uint64_t, Image> images_;
};

CompositeJob skyJob() {
    CompositeJob job;
    job.configure(BW_IMAGE, 0, CalibrationParams{});
    for (int f = 1; f <= kFrames; ++f) {
        CompositeEntry e;
        e.documentId = static_cast<std::uint64_t>(f);
        e.name = "Bild " + std::to_string(f);
        job.lists[0].entries.push_back(e);
    }
    return job;
}

// Asks to stop at the third frame, when the frames run one per thread.
struct CancelAtThird : ProgressSink {
    void update(const std::string&, int) override {}
    bool cancelRequested() override { return ++polls >= 3; }
    std::atomic<int> polls{0};
};

} // namespace

TEST(FrameAnalysis, ThreadCountChangesNothingAndCancelStopsEveryThread) {
    std::vector<std::vector<FrameAnalysis>> runs;
    std::vector<CompositeJob> jobs;
    for (int threads : {1, 3}) {
        ScopedThreadCount scoped(threads);
        SkySource source;
        CompositeJob job = skyJob();
        std::vector<FrameAnalysis> frames =
            analyzeJob(job, source, StarMeasureSettings{}, 0, Progress::none());
        std::string error;
        ASSERT_EQ(autoRegisterJob(job, frames, RegistrationModel::Similarity, 0, error), 2)
            << error;
        runs.push_back(std::move(frames));
        jobs.push_back(std::move(job));
    }
    ASSERT_EQ(runs[0].size(), static_cast<std::size_t>(kFrames));
    ASSERT_EQ(runs[1].size(), runs[0].size());
    for (std::size_t i = 0; i < runs[0].size(); ++i) {
        const FrameAnalysis &a = runs[0][i], &b = runs[1][i];
        EXPECT_EQ(a.name, b.name);
        ASSERT_GT(a.field.stars.size(), 40u) << a.name;
        ASSERT_EQ(a.field.stars.size(), b.field.stars.size()) << a.name;
        for (std::size_t k = 0; k < a.field.stars.size(); ++k) {
            EXPECT_EQ(a.field.stars[k].x, b.field.stars[k].x);
            EXPECT_EQ(a.field.stars[k].y, b.field.stars[k].y);
        }
        EXPECT_EQ(a.quality.score, b.quality.score);
        EXPECT_EQ(a.registration.h, b.registration.h);
        // The shift of the sky against the first frame, found from its stars.
        if (i > 0) {
            EXPECT_NEAR(a.registration.h[2], 1.7 * static_cast<double>(i), 0.02) << a.name;
            EXPECT_NEAR(a.registration.h[5], -0.9 * static_cast<double>(i), 0.02) << a.name;
        }
    }
    EXPECT_EQ(jobs[0].lists, jobs[1].lists);

    ScopedThreadCount scoped(3);
    SkySource source;
    CancelAtThird sink;
    Progress progress(&sink);
    CompositeJob job = skyJob();
    EXPECT_THROW(analyzeJob(job, source, StarMeasureSettings{}, 0, progress), Cancelled);
    EXPECT_LT(source.opened.load(), kFrames); // the other threads took no further frames
}
