// Convolution, median and resize against OpenCV on the same 4096 × 4096 16-bit plane.
//
// OpenCV's filter2D is run on its fast route (16-bit → float, filter2D, back to 16-bit);
// medianBlur and resize run on the 16-bit plane directly. Each pair runs at one thread and at
// all threads; the table at the end gives OpenCV's time divided by Quillon's (> 1: faster).
// QUILLON_SIMD=avx2 runs Quillon at that instruction-set level (see bench_env.h).
#include "bench_env.h"
#include "core/parallel.h"
#include "filters/mask_filter.h"
#include "filters/noise.h"
#include "ops/sampler.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>

using namespace quillon;

namespace {

constexpr int kSize = 4096;

struct Data {
    Image image;
    cv::Mat mat; // the same samples, CV_16S
};

Data& data() {
    static Data d = [] {
        Data r;
        r.image.Define(kSize, kSize, BW_IMAGE, false);
        r.image.AllocateSamples(false);
        std::mt19937 rng(1);
        std::normal_distribution<float> noise(0.0f, 40.0f);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                r.image.row(0, y)[x] =
                    toSample(1000.0f + 0.5f * static_cast<float>(x + y) + noise(rng));
        r.mat = cv::Mat(kSize, kSize, CV_16S, r.image.planeData(0)).clone();
        return r;
    }();
    return d;
}

// The program's real kernels, and dense kernels without zero or unit coefficients.
Kernel benchKernel(const std::string& name) {
    if (name == "3x3") return highpassKernel(0, 3);
    if (name == "7x7") return highpassKernel(2, 3);
    const int n = name == "3x3dense" ? 3 : (name == "7x7dense" ? 7 : 15);
    std::vector<float> c(static_cast<std::size_t>(n * n));
    for (int r = 0; r < n; ++r)
        for (int q = 0; q < n; ++q)
            c[static_cast<std::size_t>(r * n + q)] =
                static_cast<float>(2 + std::min(r, n - 1 - r) * std::min(q, n - 1 - q));
    return Kernel(n, n, c);
}

int threadsFor(int arg) {
    return arg > 0 ? arg : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void setThreads(int n) {
    setThreadCount(n);
    cv::setNumThreads(n);
}

void pixels(benchmark::State& state, long long perIteration) {
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(perIteration) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void quillonConvolve(benchmark::State& state, const std::string& kernel) {
    setThreads(threadsFor(static_cast<int>(state.range(0))));
    const Kernel k = benchKernel(kernel);
    Image dst;
    dst.Define(kSize - k.width + 1, kSize - k.height + 1, BW_IMAGE, false);
    dst.AllocateSamples(false);
    maskFilter(dst, data().image, k, 0); // warm: pages touched, pool started
    for (auto _ : state) benchmark::DoNotOptimize(maskFilter(dst, data().image, k, 0));
    pixels(state, static_cast<long long>(dst.width()) * dst.height());
}

void opencvConvolve(benchmark::State& state, const std::string& kernel) {
    setThreads(threadsFor(static_cast<int>(state.range(0))));
    const Kernel k = benchKernel(kernel);
    cv::Mat kmat(k.height, k.width, CV_32F);
    for (int r = 0; r < k.height; ++r)
        for (int q = 0; q < k.width; ++q) kmat.at<float>(r, q) = k.at(r, q) / k.sum();
    cv::Mat f, g, out;
    auto run = [&] {
        data().mat.convertTo(f, CV_32F);
        cv::filter2D(f, g, CV_32F, kmat, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
        g.convertTo(out, CV_16S);
    };
    run(); // warm: the matrices are allocated once and reused
    for (auto _ : state) {
        run();
        benchmark::DoNotOptimize(out.data);
    }
    pixels(state, static_cast<long long>(kSize) * kSize);
}

void quillonMedian(benchmark::State& state) {
    setThreads(threadsFor(static_cast<int>(state.range(0))));
    Image dst;
    dst.Define(kSize - 2, kSize - 2, BW_IMAGE, false);
    dst.AllocateSamples(false);
    noiseFilter(dst, data().image, noiseMask(2), NoiseKind::Median, 0, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            noiseFilter(dst, data().image, noiseMask(2), NoiseKind::Median, 0, 0));
    pixels(state, static_cast<long long>(dst.width()) * dst.height());
}

void opencvMedian(benchmark::State& state) {
    setThreads(threadsFor(static_cast<int>(state.range(0))));
    cv::Mat out;
    cv::medianBlur(data().mat, out, 3);
    for (auto _ : state) {
        cv::medianBlur(data().mat, out, 3);
        benchmark::DoNotOptimize(out.data);
    }
    pixels(state, static_cast<long long>(kSize) * kSize);
}

int resizeTarget(bool binning) {
    return binning ? kSize / 2 : static_cast<int>(kSize * 0.6 + 0.5);
}

void quillonResize(benchmark::State& state, bool binning) {
    setThreads(threadsFor(static_cast<int>(state.range(0))));
    const int n = resizeTarget(binning);
    Image dst;
    dst.Define(n, n, BW_IMAGE, false);
    dst.AllocateSamples(false);
    resample(dst, data().image);
    for (auto _ : state) {
        resample(dst, data().image);
        benchmark::ClobberMemory();
    }
    pixels(state, static_cast<long long>(n) * n);
}

void opencvResize(benchmark::State& state, bool binning) {
    setThreads(threadsFor(static_cast<int>(state.range(0))));
    const int n = resizeTarget(binning);
    cv::Mat out;
    cv::resize(data().mat, out, cv::Size(n, n), 0, 0, binning ? cv::INTER_AREA : cv::INTER_CUBIC);
    for (auto _ : state) {
        cv::resize(data().mat, out, cv::Size(n, n), 0, 0,
                   binning ? cv::INTER_AREA : cv::INTER_CUBIC);
        benchmark::DoNotOptimize(out.data);
    }
    pixels(state, static_cast<long long>(n) * n);
}

// Remembers each run's times so that the pairs can be compared at the end: the median of the
// repetitions when there are several (else the run itself), wall-clock and, for one thread,
// the thread's processor time, which other processes on the machine disturb less.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Iteration || median) {
                Times& t = times_[r.run_name.str()];
                if (median || !t.fromMedian) {
                    t.real = r.GetAdjustedRealTime();
                    t.cpu = r.GetAdjustedCPUTime();
                    t.fromMedian = median;
                }
            }
        }
    }
    void printRatios() const {
        std::printf("\nOpenCV time / Quillon time (> 1: Quillon faster)\n");
        std::printf("  %-16s %-22s %10s %10s\n", "", "", "wall", "cpu");
        for (const auto& [name, t] : times_) {
            const auto pos = name.find("/quillon");
            if (pos == std::string::npos) continue;
            const std::string op = name.substr(0, pos);
            const std::string args = name.substr(pos + 8);
            auto it = times_.find(op + "/opencv" + args);
            if (it == times_.end()) continue;
            if (args.find("threads:1/") != std::string::npos)
                std::printf("  %-16s %-22s %10.2f %10.2f\n", op.c_str(), args.c_str(),
                            it->second.real / t.real, it->second.cpu / t.cpu);
            else
                std::printf("  %-16s %-22s %10.2f %10s\n", op.c_str(), args.c_str(),
                            it->second.real / t.real, "-");
        }
    }

private:
    struct Times {
        double real = 0, cpu = 0;
        bool fromMedian = false;
    };
    std::map<std::string, Times> times_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!bench::applyEnvironment()) return 1;
    data();
    auto threads = [](benchmark::internal::Benchmark* b) {
        b->Arg(1);
        if (threadsFor(0) > 1) b->Arg(threadsFor(0));
        b->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    for (std::string k : {"3x3", "3x3dense", "7x7", "7x7dense", "15x15dense"}) {
        benchmark::RegisterBenchmark(("conv" + k + "/quillon").c_str(), [k](benchmark::State& s) {
            quillonConvolve(s, k);
        })->Apply(threads);
        benchmark::RegisterBenchmark(("conv" + k + "/opencv").c_str(), [k](benchmark::State& s) {
            opencvConvolve(s, k);
        })->Apply(threads);
    }
    benchmark::RegisterBenchmark("median3x3/quillon", quillonMedian)->Apply(threads);
    benchmark::RegisterBenchmark("median3x3/opencv", opencvMedian)->Apply(threads);
    for (bool binning : {true, false}) {
        const std::string n = binning ? "resize_bin2" : "resize_cubic0.6";
        benchmark::RegisterBenchmark((n + "/quillon").c_str(), [binning](benchmark::State& s) {
            quillonResize(s, binning);
        })->Apply(threads);
        benchmark::RegisterBenchmark((n + "/opencv").c_str(), [binning](benchmark::State& s) {
            opencvResize(s, binning);
        })->Apply(threads);
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
