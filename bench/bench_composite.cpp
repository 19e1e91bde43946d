// Composite engine speed: insertExposure of a grey 2048 × 2048 exposure by a shift and by a
// rotation, and into a fresh strip image (cleared first, or overwritten), and mergeStrips of
// 20 strip images, at each instruction-set level this processor has (first argument: 1 SSE2,
// 2 AVX2, 3 AVX-512) and at 1 and all threads (second argument).
#include "bench_env.h"
#include "composite/accumulate.h"
#include "composite/strips.h"
#include "core/image.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

using namespace quillon;

namespace {

constexpr int kSize = 2048;
constexpr int kStrips = 20;
constexpr int kStripRows = 128;

// Sky of about 1000 with noise of ±64 and one sample in 500 a bright outlier, from a fixed
// xorshift so that every run sees the same data.
void fillSky(Image& img, std::uint32_t seed) {
    std::uint32_t s = seed;
    for (int y = 0; y < img.height(); ++y) {
        Sample* r = img.row(0, y);
        for (int x = 0; x < img.width(); ++x) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            r[x] =
                static_cast<Sample>(s % 500 == 0 ? 20000 : 1000 + static_cast<int>(s % 128) - 64);
        }
    }
}

void makeGrey(Image& img, int w, int h, std::uint32_t seed, bool counters) {
    img.Define(w, h, BW_IMAGE, false);
    img.AllocateSamples(true);
    if (counters) img.AllocateCounters(0, 1);
    fillSky(img, seed);
}

struct Fixture {
    Image exposure, result;
    std::vector<Image> strips;
    Image merged;
    Fixture() {
        makeGrey(exposure, kSize, kSize, 1, false);
        makeGrey(result, kSize, kSize, 2, true);
        strips.resize(kStrips);
        for (int i = 0; i < kStrips; ++i)
            makeGrey(strips[static_cast<std::size_t>(i)], kSize, kStripRows,
                     static_cast<std::uint32_t>(10 + i), true);
        makeGrey(merged, kSize, kStripRows, 3, true);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// Forces the level of the first argument and the thread count of the second; false (the
// benchmark skipped) when the processor lacks the level.
bool setUp(benchmark::State& st) {
    if (!simd::force(static_cast<int>(st.range(0)))) {
        st.SkipWithError("instruction-set level not available");
        return false;
    }
    setThreadCount(static_cast<int>(st.range(1)));
    return true;
}

void insertBench(benchmark::State& st, std::vector<ReferencePoint> source,
                 std::vector<ReferencePoint> target) {
    if (!setUp(st)) return;
    Fixture& f = fixture();
    for (auto _ : st) {
        // Counts saturate, never overflow: the same work on every iteration.
        insertExposure(f.result, f.exposure, source, target);
        benchmark::DoNotOptimize(f.result.row(0, 0));
    }
    st.SetItemsProcessed(st.iterations() * kSize * kSize);
}

void BM_InsertShift(benchmark::State& st) {
    insertBench(st, {{1000.0f, 1000.0f}}, {{1003.37f, 998.81f}});
}

void BM_InsertRotation(benchmark::State& st) {
    // About 0.3° about a point near the centre, with a sub-pixel shift.
    insertBench(st, {{1000.0f, 1000.0f}, {1500.0f, 1200.0f}},
                {{1002.5f, 1001.25f}, {1501.4f, 1203.9f}});
}

// One exposure into a fresh whole-size strip image with a factor, as the strip-wise run does:
// the image cleared first and then accumulated into, or written by the overwrite mode.
void stripInsertBench(benchmark::State& st, bool overwrite) {
    if (!setUp(st)) return;
    Fixture& f = fixture();
    static Image strip;
    if (!strip.hasSamples()) makeGrey(strip, kSize, kSize, 4, true);
    const std::vector<ReferencePoint> source{{1000.0f, 1000.0f}, {1500.0f, 1200.0f}};
    const std::vector<ReferencePoint> target{{1002.5f, 1001.25f}, {1501.4f, 1203.9f}};
    const float factor = 1.0f;
    InsertOptions o;
    o.factors = std::span<const float>(&factor, 1);
    o.strip = true;
    o.overwrite = overwrite;
    for (auto _ : st) {
        if (!overwrite) {
            std::fill_n(strip.planeData(0), std::size_t{kSize} * kSize, Sample{0});
            for (int y = 0; y < kSize; ++y) std::fill_n(strip.counterRow(0, y), kSize, Count{0});
        }
        insertExposure(strip, f.exposure, source, target, o);
        benchmark::DoNotOptimize(strip.row(0, 0));
    }
    st.SetItemsProcessed(st.iterations() * kSize * kSize);
}

void BM_StripInsertCleared(benchmark::State& st) {
    stripInsertBench(st, false);
}

void BM_StripInsertOverwrite(benchmark::State& st) {
    stripInsertBench(st, true);
}

void BM_MergeStrips(benchmark::State& st) {
    if (!setUp(st)) return;
    Fixture& f = fixture();
    std::vector<const Image*> strips;
    for (const Image& s : f.strips) strips.push_back(&s);
    for (auto _ : st) {
        mergeStrips(f.merged, strips, 0, kStripRows, true, 0);
        benchmark::DoNotOptimize(f.merged.row(0, 0));
    }
    st.SetItemsProcessed(st.iterations() * kSize * kStripRows);
}

void levelsAndThreads(benchmark::internal::Benchmark* b) {
    for (int level = simd::Sse2; level <= simd::Avx512; ++level)
        for (int threads : {1, threadCount()}) b->Args({level, threads});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_InsertShift)->Apply(levelsAndThreads);
BENCHMARK(BM_InsertRotation)->Apply(levelsAndThreads);
BENCHMARK(BM_StripInsertCleared)->Apply(levelsAndThreads);
BENCHMARK(BM_StripInsertOverwrite)->Apply(levelsAndThreads);
BENCHMARK(BM_MergeStrips)->Apply(levelsAndThreads);

} // namespace

int main(int argc, char** argv) {
    if (!bench::applyEnvironment()) return 1;
    benchmark::Initialize(&argc, argv);
    fixture(); // the images exist before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
