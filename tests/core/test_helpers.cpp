// Shared helpers: sample conversion, progress text and interval, parallel rows, atomic saving.
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/parallel.h"
#include "core/progress.h"
#include "core/sample.h"
#include "support/progress_recorder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

using namespace quillon;
namespace fs = std::filesystem;

TEST(SampleConversion, TruncatesClampsAndDefinesNaN) {
    EXPECT_EQ(toSample(1.9f), 1);
    EXPECT_EQ(toSample(-1.9f), -1) << "toward zero";
    EXPECT_EQ(toSample(32767.9f), 32767);
    EXPECT_EQ(toSample(40000.0f), 32767);
    EXPECT_EQ(toSample(-32768.5f), -32768);
    EXPECT_EQ(toSample(-1e30f), -32768);
    EXPECT_EQ(toSample(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(toSample(std::numeric_limits<float>::infinity()), 32767);
    EXPECT_EQ(toSample(-std::numeric_limits<float>::infinity()), -32768);
    EXPECT_EQ(toSample(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(toSample(1e300), 32767);
    EXPECT_EQ(roundToSample(2.5f), 3);
    EXPECT_EQ(roundToSample(-2.5f), -2) << "adds 0.5 then truncates";
    EXPECT_EQ(clampSample(70000), 32767);
    EXPECT_EQ(clampSample(-70000), -32768);
    EXPECT_EQ(truncToInt(std::nan("")), 0);
    EXPECT_EQ(truncToInt(1e20), 2147483647);
}

TEST(ProgressText, ExactFormat) {
    EXPECT_EQ(Progress::format("Maskenfilter", 50), "   Maskenfilter  50% ");
    EXPECT_EQ(Progress::format("FITS öffnen", 5), "   FITS öffnen   5% ");
    EXPECT_EQ(Progress::format("X", 100), "   X  100% ");
    EXPECT_EQ(Progress::format("X", 0), "   X    % ") << "%2.0i prints no digit for 0";
}

TEST(ProgressText, IntervalRule) {
    EXPECT_EQ(Progress::interval(1000, 20), 20);
    EXPECT_EQ(Progress::interval(10000, 20), 100);
    EXPECT_EQ(Progress::interval(10, 20), 10) << "capped at the total";
    EXPECT_EQ(Progress::interval(0, 20), 1);
}

TEST(ProgressText, ReportsAtIntervalsAndHalfway) {
    testkit::ProgressRecorder r;
    Progress p(&r);
    p.begin("Maskenfilter", 200, 20);
    for (int i = 0; i < 200; ++i) p.step();
    p.end();
    // start + one report every 20 units
    ASSERT_EQ(r.texts.size(), 11u);
    EXPECT_EQ(r.texts[5], "   Maskenfilter  50% ");
    EXPECT_EQ(r.texts.back(), "   Maskenfilter  100% ");
    EXPECT_EQ(r.finishes, 1);
}

TEST(ProgressText, CancelThrowsAtNextReport) {
    testkit::ProgressRecorder r;
    r.cancelAfter = 0;
    Progress p(&r);
    p.begin("Lang", 100, 10);
    for (int i = 0; i < 9; ++i) p.step();
    EXPECT_THROW(p.step(), Cancelled);
}

TEST(ParallelRows, CoversEveryRowOnceForAnyThreadCount) {
    for (int threads : {1, 2, 3, 8}) {
        ScopedThreadCount tc(threads);
        for (int count : {1, 7, 100, 1001}) {
            std::vector<std::atomic<int>> hits(static_cast<size_t>(count));
            parallelRows(count, 4, [&](int a, int b) {
                for (int i = a; i < b; ++i) hits[static_cast<size_t>(i)]++;
            });
            for (int i = 0; i < count; ++i)
                ASSERT_EQ(hits[static_cast<size_t>(i)].load(), 1) << threads << " " << count;
        }
    }
}

TEST(ParallelRows, RethrowsAndNests) {
    ScopedThreadCount tc(4);
    EXPECT_THROW(parallelRows(100, 1,
                              [](int a, int b) {
                                  if (a <= 50 && 50 < b) throw Error("kaputt");
                              }),
                 Error);
    std::atomic<int> total{0};
    parallelRows(8, 1, [&](int a, int b) {
        for (int i = a; i < b; ++i) parallelRows(10, 1, [&](int c, int d) { total += d - c; });
    });
    EXPECT_EQ(total.load(), 80);
}

using testkit::readFile;

TEST(AtomicFileTest, ReplacesOnlyOnCommit) {
    testkit::TempDir tmp;
    const fs::path& dir = tmp.path();
    fs::path target = dir / "a.fts";
    { std::ofstream(target) << "old"; }
    {
        AtomicFile f(target.string(), "Fehler beim Speichern des Dokuments.");
        f.write("new content", 11);
        EXPECT_EQ(readFile(target), "old") << "target untouched until commit";
        // destroyed without commit: the temporary file disappears
    }
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
    {
        AtomicFile f(target.string(), "x");
        std::string big(3 << 20, 'b');
        f.write("n", 1);
        f.write(big.data(), big.size());
        f.commit();
    }
    EXPECT_EQ(readFile(target).size(), (3u << 20) + 1);
}

TEST(AtomicFileTest, UnwritableFolderReportsTheMessage) {
    try {
        AtomicFile f("/nonexistent-folder/x.fts", "Fehler beim Speichern des Dokuments.");
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Fehler beim Speichern des Dokuments. Der Ordner existiert nicht.");
    }
}

TEST(AtomicFileTest, FailedCommitLeavesNoDebris) {
    testkit::TempDir tmp;
    const fs::path& dir = tmp.path();
    fs::path target = dir / "b.fts";
    fs::create_directory(target); // renaming a file over a folder fails
    {
        AtomicFile f(target.string(), "voll");
        f.write("data", 4);
        EXPECT_THROW(f.commit(), Error);
    }
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
}
