// Display engine speed: rendering a 4096 × 4096 RGB image at zoom 1 and 1/4 into 32-bit
// pictures, rebuilding the lookup tables, counting the histogram, and plain memory passes
// over the same bytes in the same run; prints the ratios at the end.
#include "core/parallel.h"
#include "display/histogram.h"
#include "display/renderer.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace quillon;

namespace {

constexpr int kSize = 4096;

struct Fixture {
    Image image;
    std::unique_ptr<ImageRenderer> renderer;
    Picture picture;
    std::vector<std::uint32_t> copySource, copyTarget;

    Fixture() {
        image.Define(kSize, kSize, RGB_IMAGE, false);
        image.AllocateSamples(false);
        // A star-field-like content: smooth background with a pseudo-random texture.
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < kSize; ++y) {
                Sample* row = image.row(p, y);
                unsigned s =
                    static_cast<unsigned>(y * 2654435761u + static_cast<unsigned>(p) * 97u);
                for (int x = 0; x < kSize; ++x) {
                    s = s * 1664525u + 1013904223u;
                    row[x] = static_cast<Sample>(1000 + (x + y) / 4 + p * 300 +
                                                 static_cast<int>((s >> 20) & 511));
                }
            }
        renderer = std::make_unique<ImageRenderer>(image);
        Points b{800, 900, 1000}, w{4000, 4200, 4500};
        renderer->setPoints(&b, &w, 1.6f);
        renderer->rebuildLut();
        copySource.assign(static_cast<std::size_t>(kSize) * kSize, 0x00ABCDEFu);
        copyTarget.assign(copySource.size(), 0);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

int threadsFor(const benchmark::State& st) {
    return static_cast<int>(st.range(0));
}

void BM_RenderZoom1(benchmark::State& st) {
    Fixture& f = fixture();
    ScopedThreadCount t(threadsFor(st));
    for (auto _ : st) {
        f.renderer->renderRect(0, 0, kSize, kSize, &f.picture, {1.0});
        benchmark::DoNotOptimize(f.picture.bits());
    }
}

void BM_RenderZoomQuarter(benchmark::State& st) {
    Fixture& f = fixture();
    ScopedThreadCount t(threadsFor(st));
    for (auto _ : st) {
        f.renderer->renderRect(0, 0, kSize / 4, kSize / 4, &f.picture, {0.25});
        benchmark::DoNotOptimize(f.picture.bits());
    }
}

// Copying the 64 MiB that a zoom-1 picture holds (split over threads like the renderer).
void BM_CopyOutputBytes(benchmark::State& st) {
    Fixture& f = fixture();
    ScopedThreadCount t(threadsFor(st));
    for (auto _ : st) {
        parallelRows(kSize, 8, [&](int a, int b) {
            std::memcpy(f.copyTarget.data() + static_cast<std::size_t>(a) * kSize,
                        f.copySource.data() + static_cast<std::size_t>(a) * kSize,
                        static_cast<std::size_t>(b - a) * kSize * 4);
        });
        benchmark::DoNotOptimize(f.copyTarget.data());
    }
}

// Reading every sample of the three planes once (a sum, so nothing is skipped; 32-bit row
// sums cannot overflow and let the compiler vectorise the pass).
void BM_ReadSamples(benchmark::State& st) {
    Fixture& f = fixture();
    ScopedThreadCount t(threadsFor(st));
    for (auto _ : st) {
        std::vector<std::int32_t> sums(kSize, 0);
        parallelRows(kSize, 32, [&](int a, int b) {
            for (int y = a; y < b; ++y) {
                std::int32_t s = 0;
                for (int p = 0; p < 3; ++p) {
                    const Sample* row = f.image.row(p, y);
                    for (int x = 0; x < kSize; ++x) s += row[x];
                }
                sums[static_cast<std::size_t>(y)] = s;
            }
        });
        benchmark::DoNotOptimize(sums.data());
    }
}

void BM_Histogram(benchmark::State& st) {
    Fixture& f = fixture();
    ScopedThreadCount t(threadsFor(st));
    for (auto _ : st) {
        f.image.samplesChanged();
        computeHistogram(*f.renderer);
        benchmark::DoNotOptimize(f.renderer->histogram().maxCount);
    }
}

// Worst case: three different full-range tables with an exponent (no shortcut applies).
void BM_RebuildLutFullRangeExponent(benchmark::State& st) {
    Fixture& f = fixture();
    ScopedThreadCount t(threadsFor(st));
    ImageRenderer r(f.image);
    Points b{-32768, -32000, -31000}, w{32767, 32000, 31000};
    r.setPoints(&b, &w, 2.2f);
    for (auto _ : st) {
        r.rebuildLut();
        benchmark::DoNotOptimize(r.table(0));
    }
}

void BM_RebuildLutTypical(benchmark::State& st) {
    Fixture& f = fixture();
    ScopedThreadCount t(threadsFor(st));
    for (auto _ : st) {
        f.renderer->rebuildLut();
        benchmark::DoNotOptimize(f.renderer->table(0));
    }
}

#define THREADS ->Arg(1)->Arg(threadCount())->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK(BM_RenderZoom1) THREADS;
BENCHMARK(BM_CopyOutputBytes) THREADS;
BENCHMARK(BM_RenderZoomQuarter) THREADS;
BENCHMARK(BM_ReadSamples) THREADS;
BENCHMARK(BM_Histogram) THREADS;
BENCHMARK(BM_RebuildLutFullRangeExponent) THREADS;
BENCHMARK(BM_RebuildLutTypical) THREADS;

// Console output plus the ratios of each measurement to its memory pass.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // With --benchmark_repetitions the medians are used, otherwise the single run.
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string name = r.run_name.str();
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                ms_[name] = r.GetAdjustedRealTime();
                cpu_[name] = r.GetAdjustedCPUTime();
                medians_.insert(name);
            } else if (r.run_type == Run::RT_Iteration && !medians_.count(name)) {
                ms_[name] = r.GetAdjustedRealTime();
                cpu_[name] = r.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nRatios of real time (same thread count, lower is better; one-thread "
                    "CPU-time ratio in "
                    "brackets, less disturbed by other processes):\n");
        for (const auto& [name, ms] : ms_) {
            auto slash = name.find('/');
            std::string base = name.substr(0, slash),
                        arg = slash == std::string::npos ? "" : name.substr(slash);
            std::string peer;
            if (base == "BM_RenderZoom1") peer = "BM_CopyOutputBytes";
            if (base == "BM_RenderZoomQuarter") peer = "BM_ReadSamples";
            if (base == "BM_Histogram") peer = "BM_ReadSamples";
            if (peer.empty()) continue;
            auto it = ms_.find(peer + arg);
            if (it == ms_.end()) continue;
            std::printf("  %-36s / %-28s = %5.2f", name.c_str(), it->first.c_str(),
                        ms / it->second);
            if (arg.rfind("/1/", 0) == 0) std::printf("  [%5.2f]", cpu_[name] / cpu_[it->first]);
            std::printf("\n");
        }
        // Rendering runs on all cores while a copy is limited by memory bandwidth: the ratio
        // of the parallel render to the one-thread copy is what a user waits for.
        auto all = ms_.find("BM_RenderZoom1/" + std::to_string(threadCount()) + "/real_time");
        auto copy1 = ms_.find("BM_CopyOutputBytes/1/real_time");
        if (all != ms_.end() && copy1 != ms_.end()) {
            std::printf("  %-36s / %-28s = %5.2f\n", all->first.c_str(), copy1->first.c_str(),
                        all->second / copy1->second);
        }
        for (const auto& [name, ms] : ms_)
            if (name.rfind("BM_RebuildLut", 0) == 0)
                std::printf("  %-36s   %8.3f ms\n", name.c_str(), ms);
    }

private:
    std::map<std::string, double> ms_, cpu_;
    std::set<std::string> medians_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    fixture(); // build the 4096 × 4096 image before any timing
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
