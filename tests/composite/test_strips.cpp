// Artefact removal strip by strip: the strip plan, merging with rejection, the memory limit's
// message, thread independence, a plain per-pixel reference, and the border rectangle.
#include "composite/combine.h"
#include "composite/strips.h"
#include "core/error.h"
#include "core/parallel.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace quillon {
namespace {

using testkit::makeImage;

TEST(StripPlan, CountsBoundariesAndMinimumLimit) {
    EXPECT_EQ(stripCount(20, 1000, 1000, 64), 1);
    EXPECT_EQ(stripCount(40, 1000, 1000, 64), 2);
    EXPECT_EQ(stripBoundaries(1000, 2), (std::vector<int>{0, 500, 1000}));
    EXPECT_EQ(stripBoundaries(10, 3), (std::vector<int>{0, 3, 6, 10}));
    // Far beyond 64 bits in the product, still exact.
    EXPECT_EQ(stripCount(1LL << 40, 14000, 14000, 1), (1LL << 20) * 588000000LL + 1);

    // The minimum is the boundary: at it every strip has 10 rows or more, one MB less not.
    const struct {
        long long n;
        int w, h;
    } cases[] = {{400, 100, 100}, {500, 2048, 2048}, {7, 10, 10}, {200, 1024, 1024}};
    for (const auto& c : cases) {
        const auto shortest = [&](long long mb) {
            const std::vector<int> r = stripBoundaries(c.h, stripCount(c.n, c.w, c.h, mb));
            int least = c.h;
            for (std::size_t d = 0; d + 1 < r.size(); ++d) least = std::min(least, r[d + 1] - r[d]);
            return least;
        };
        const long long mb = minimumStripMemoryMB(c.n, c.w, c.h);
        EXPECT_GE(shortest(mb), kMinStripRows) << c.n;
        if (mb > 1) {
            EXPECT_LT(shortest(mb - 1), kMinStripRows) << c.n;
        }
    }
}

// 100 in the result, 102, 101 and 5000 from three strip images: the 5000 is rejected and
// counted against its strip image; only the strip's rows change.
TEST(MergeStrips, RejectsTheOutlierAndCountsIt) {
    const int w = 12, h = 20, top = 6, rows = 10;
    for (const bool averaging : {true, false}) {
        Image result;
        makeImage(result, w, h, BW_IMAGE, testkit::constant(100));
        ASSERT_EQ(result.AllocateCounters(0, 1), 0);
        result.counterRow(0, top)[0] = 0; // not covered by the reference: only three values
        Image s[3];
        const int values[3] = {102, 101, 5000};
        for (int u = 0; u < 3; ++u) {
            makeImage(s[u], w, rows, BW_IMAGE, testkit::constant(values[u]));
            ASSERT_EQ(s[u].AllocateCounters(0, 1), 0);
        }
        s[1].counterRow(0, 0)[1] = 0; // the 101 missing at one pixel
        const Image* strips[3] = {&s[0], &s[1], &s[2]};
        MergeTally tally;
        mergeStrips(result, strips, top, rows, averaging, 0, Progress::none(), &tally);

        EXPECT_EQ(result.row(0, top + 1)[0], averaging ? 101 : 404);
        EXPECT_EQ(result.counterRow(0, top + 1)[0], 4);
        // 102, 101, 5000: d = 4899, 4900, 9797 → 2.0 ≥ 1.9 rejected; mean 101.5 → 102, sum 305.
        EXPECT_EQ(result.row(0, top)[0], averaging ? 102 : 305);
        EXPECT_EQ(result.counterRow(0, top)[0], 3);
        // 100, 102, 5000: d = 4902, 4900, 9798 → 2.0 ≥ 1.9 rejected.
        EXPECT_EQ(result.row(0, top)[1], averaging ? 101 : 303);
        EXPECT_EQ(result.row(0, top - 1)[0], 100);
        EXPECT_EQ(result.counterRow(0, top + rows)[0], 1);

        const long long all = static_cast<long long>(w) * rows;
        EXPECT_EQ(tally.contributed, (std::vector<long long>{all, all - 1, all}));
        EXPECT_EQ(tally.rejected, (std::vector<long long>{0, 0, all}));
        EXPECT_EQ(tally.resultRejected, 0);
    }
}

// A test series: exposures of a smooth field with noise, each shifted by a sub-pixel offset, one
// with a bright trail; the result holds the reference exposure with count 1 except in a corner it
// did not cover.
struct Series {
    int w = 0, h = 0;
    Image result;
    std::vector<std::unique_ptr<Image>> images;
    std::vector<StripExposure> exposures;
    ReferencePoint target{40.0f, 30.0f};
    int acquired = 0, released = 0, calibrations = 0;

    StripSource source() {
        StripSource s;
        s.acquire = [this](int i) -> Image* {
            ++acquired;
            return images[static_cast<std::size_t>(i)].get();
        };
        s.release = [this](int) { ++released; };
        s.calibrate = [this](int, Image&) { ++calibrations; };
        return s;
    }
};

int field(int x, int y, int seed) {
    const unsigned hash = static_cast<unsigned>(x) * 73856093u ^
                          static_cast<unsigned>(y) * 19349663u ^
                          static_cast<unsigned>(seed) * 83492791u;
    return 1000 + 3 * x + 2 * y + static_cast<int>(hash % 41) - 20;
}

// `lists`: the list of each exposure (a grey result uses list 0 only; an RGB result takes
// grey exposures in channel lists 0..2 and RGB exposures in list 3).
void makeSeries(Series& s, int w, int h, std::uint16_t type, const std::vector<int>& lists) {
    s.w = w;
    s.h = h;
    makeImage(s.result, w, h, type, [](int p, int x, int y) { return field(x, y, p); });
    ASSERT_EQ(s.result.AllocateCounters(kMaxUserLayers, 1), 0);
    for (int p = 0; p < s.result.layerCount(); ++p)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) s.result.counterRow(p, y)[x] = 0;
    const int layers = s.result.layerCount();
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const bool whole = layers > 1 && lists[i] == layers;
        auto img = std::make_unique<Image>();
        const int seed = static_cast<int>(i) + 1;
        makeImage(*img, w, h, whole ? type : std::uint16_t{BW_IMAGE}, [&](int p, int x, int y) {
            if (i == 1 && std::abs(y - x / 3 - 10) <= 1) return 20000; // a trail
            return field(x, y, seed * 7 + p);
        });
        s.images.push_back(std::move(img));
        StripExposure e;
        e.list = lists[i];
        // Offsets in eighths: moving the target points up by a strip's first row is then exact
        // in floats, so the strips reproduce the whole-image arithmetic bit for bit.
        const float dx = 0.375f * static_cast<float>(i) - 1.125f,
                    dy = 0.625f - 0.25f * static_cast<float>(i);
        e.points = {{s.target.x + dx, s.target.y + dy}};
        e.factors = {1.0f, 1.0f, 1.0f};
        e.fromFile = i % 2 == 0;
        s.exposures.push_back(e);
    }
}

StripReport runStrips(Series& s, long long memoryMB, bool averaging) {
    StripOptions o;
    o.target = std::span(&s.target, 1);
    o.memoryLimitMB = memoryMB;
    o.averaging = averaging;
    return accumulateStrips(s.result, s.exposures, s.source(), o);
}

// d_i and the rejection rule written out pairwise, in doubles (exact for these values).
std::vector<bool> rejectedPairwise(const std::vector<Sample>& v) {
    const int n = static_cast<int>(v.size());
    std::vector<double> d(v.size(), 0.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            d[static_cast<std::size_t>(i)] +=
                std::abs(v[static_cast<std::size_t>(i)] - v[static_cast<std::size_t>(j)]);
    double m = n ? *std::min_element(d.begin(), d.end()) : 1.0;
    if (m == 0.0) m = 1.0;
    std::vector<bool> out;
    for (const double di : d) out.push_back(!(di / m < rejectionThreshold(n)));
    return out;
}

// The flags of the rejected values agree with the rule written out, on both ways of forming d
// (pairwise up to 64 values, sorted beyond).
TEST(MergeStrips, RejectedFlagsFollowTheRule) {
    std::srand(15);
    for (const int n : {3, 4, 7, 20, 64, 65, 200}) {
        for (int round = 0; round < 20; ++round) {
            std::vector<Sample> v(static_cast<std::size_t>(n));
            for (Sample& x : v)
                x = static_cast<Sample>(std::rand() % 60 + (std::rand() % 9 == 0 ? 1500 : 0));
            std::unique_ptr<bool[]> flags(new bool[static_cast<std::size_t>(n)]);
            combineSamples(v.data(), n, rejectionThreshold(n), true, flags.get());
            const std::vector<bool> want = rejectedPairwise(v);
            for (int i = 0; i < n; ++i) ASSERT_EQ(flags[i], want[i]) << n << " values, " << i;
        }
    }
}

// Samples and counts of every layer equal.
bool sameLayers(const Image& a, const Image& b) {
    for (int k = 0; k < a.layerCount(); ++k)
        for (int y = 0; y < a.height(); ++y)
            if (std::memcmp(a.row(k, y), b.row(k, y), sizeof(Sample) * a.width()) != 0 ||
                std::memcmp(a.counterRow(k, y), b.counterRow(k, y), sizeof(Count) * a.width()))
                return false;
    return true;
}

// The strips, whatever their number and the thread count, give exactly what a plain per-pixel
// loop over the inserted values gives: each exposure inserted alone (a sum of one exposure
// into an empty image of the result's type), then combineSamples per pixel and layer.
TEST(AccumulateStrips, EqualsPerPixelCombinationOfInsertedValues) {
    const struct {
        std::uint16_t type;
        std::vector<int> lists;
        long long memoryMB;
        int strips; // of the layer with the most exposures
    } cases[] = {{BW_IMAGE, {0, 0, 0, 0, 0, 0}, 1, 3},
                 {BW_IMAGE, {0, 0, 0}, 64, 1},
                 {RGB_IMAGE, {3, 3, 1, 0, 3}, 1, 2}};
    for (const auto& c : cases) {
        for (const bool averaging : {true, false}) {
            Series s;
            makeSeries(s, 400, 300, c.type, c.lists);
            const int layers = s.result.layerCount();
            const std::size_t count = c.lists.size();
            std::vector<Image> inserted(count);
            for (std::size_t i = 0; i < count; ++i) {
                makeImage(inserted[i], s.w, s.h, c.type, testkit::constant(0));
                ASSERT_EQ(inserted[i].AllocateCounters(kMaxUserLayers, 0), 0);
                InsertOptions o;
                o.factors = s.exposures[i].factors;
                o.row = layers > 1 && c.lists[i] < layers ? c.lists[i] : 0;
                insertExposure(inserted[i], *s.images[i], s.exposures[i].points,
                               std::span(&s.target, 1), o);
            }
            Image expected = s.result.clone();
            std::vector<long long> rejected(count, 0);
            for (int k = 0; k < layers; ++k) {
                for (int y = 0; y < s.h; ++y) {
                    for (int x = 0; x < s.w; ++x) {
                        std::vector<Sample> v;
                        std::vector<std::size_t> from; // count: the reference
                        if (s.result.counterRow(k, y)[x])
                            v.push_back(s.result.row(k, y)[x]), from.push_back(count);
                        for (const int list : {k, layers > 1 ? layers : -1})
                            for (std::size_t i = 0; i < count; ++i)
                                if (c.lists[i] == list && inserted[i].counterRow(k, y)[x])
                                    v.push_back(inserted[i].row(k, y)[x]), from.push_back(i);
                        const int n = static_cast<int>(v.size());
                        expected.row(k, y)[x] =
                            combineSamples(v.data(), n, rejectionThreshold(n), averaging);
                        expected.counterRow(k, y)[x] = static_cast<Count>(n);
                        const std::vector<bool> lost = rejectedPairwise(v);
                        for (std::size_t j = 0; j < v.size(); ++j)
                            if (lost[j] && from[j] < count) ++rejected[from[j]];
                    }
                }
            }

            for (const int threads : {1, 3}) {
                const ScopedThreadCount scoped(threads);
                Series run;
                makeSeries(run, 400, 300, c.type, c.lists);
                const StripReport report = runStrips(run, c.memoryMB, averaging);
                EXPECT_TRUE(sameLayers(run.result, expected)) << threads << " threads";
                for (std::size_t i = 0; i < count; ++i) {
                    EXPECT_TRUE(report.exposures[i].inserted);
                    EXPECT_EQ(report.exposures[i].rejected, rejected[i]) << i;
                }
                EXPECT_GT(report.exposures[1].rejected, 300) << "the trail";
                EXPECT_EQ(run.acquired, run.released);
                // Every exposure is calibrated once, however many strips: with more than one,
                // the aligned exposures are read back from the temporary file.
                if (layers == 1) {
                    EXPECT_EQ(run.calibrations, static_cast<int>(count)) << c.strips << " strips";
                }
            }
        }
    }
}

// 400 exposures of 100 × 100 need 2 MB for strips of 10 rows; at 1 MB the run stops before
// touching anything and names the 2 MB; strip images that cannot be allocated stop it too.
TEST(AccumulateStrips, TooLittleMemoryIsAnErrorNotAMissingExposure) {
    Series s;
    makeSeries(s, 100, 100, BW_IMAGE, {0});
    const StripExposure one = s.exposures[0];
    s.exposures.assign(400, one);
    s.images.resize(400);
    for (auto& img : s.images) {
        img = std::make_unique<Image>();
        makeImage(*img, 100, 100, BW_IMAGE, testkit::constant(7));
    }
    const Image before = s.result.clone();
    try {
        runStrips(s, 1, true);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Zu wenig Speicher für die Artefaktentfernung: erhöhen Sie die "
                               "Speichergrenze (Speicherausnutzung) auf mindestens 2 MB.");
    }
    EXPECT_EQ(s.acquired, 0);
    EXPECT_TRUE(sameLayers(before, s.result));

    {
        const memory::ScopedLimit limit(memory::inUse() + 100000);
        EXPECT_THROW(runStrips(s, 2, true), Error);
        EXPECT_EQ(s.acquired, 0);
    }

    const StripReport report = runStrips(s, 2, true);
    EXPECT_EQ(s.result.counterRow(0, 50)[50], 401);
    EXPECT_EQ(report.exposures[399].contributed, 98 * 99); // shifted by (1.125, -0.625)
}

std::vector<int> edges(const BorderRect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

// The two worked rectangles, a difference in one layer only, no counters, and the crop rule.
TEST(BorderRectangle, RoundsAndCrop) {
    const int w = 100, h = 80;
    Image result;
    makeImage(result, w, h, RGB_IMAGE, testkit::constant(0));
    ASSERT_EQ(result.AllocateCounters(kMaxUserLayers, 1), 0);
    EXPECT_EQ(edges(borderRectangle(result)), (std::vector{0, 0, w - 1, h - 1}));

    // A second exposure covering all but the first 30 columns and 20 rows, in every layer.
    for (int p = 0; p < 3; ++p)
        for (int y = 20; y < h; ++y)
            for (int x = 30; x < w; ++x) result.counterRow(p, y)[x] = 2;
    EXPECT_EQ(edges(borderRectangle(result)), (std::vector{30, 20, w - 1, h - 1}));

    // The blue layer alone short of the last 15 columns: the pixel signatures differ there.
    for (int y = 0; y < h; ++y)
        for (int x = w - 15; x < w; ++x) result.counterRow(2, y)[x] = 1;
    EXPECT_EQ(edges(borderRectangle(result)), (std::vector{30, 20, w - 16, h - 1}));

    Image plain;
    makeImage(plain, 30, 20, BW_IMAGE, testkit::constant(0));
    EXPECT_EQ(edges(borderRectangle(plain)), (std::vector{0, 0, 29, 19}));

    EXPECT_TRUE(cropsToBorder({0, 0, 11, 11}));
    EXPECT_FALSE(cropsToBorder({0, 0, 11, 10}));
    EXPECT_FALSE(cropsToBorder({5, 0, 15, 99}));
}

} // namespace
} // namespace quillon
