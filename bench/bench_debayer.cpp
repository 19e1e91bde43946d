// Debayering a 4096 × 2160 mosaic against OpenCV: VNG (OpenCV's runs on 8-bit mosaics only and
// on one thread) and bilinear (16-bit), each at one thread and at all threads.
// QUILLON_SIMD / QUILLON_THREADS as in bench_env.h.
#include "bench_env.h"
#include "core/parallel.h"
#include "ops/debayer.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <random>
#include <thread>

using namespace quillon;

namespace {

constexpr int kW = 4096, kH = 2160;

struct Data {
    Image mosaic;
    Image result;
    cv::Mat raw8, raw16;
};

Data& data() {
    static Data d = [] {
        Data r;
        r.mosaic.Define(kW, kH, BW_IMAGE, false);
        r.mosaic.AllocateSamples(false);
        std::mt19937 rng(1);
        std::normal_distribution<float> noise(0.0f, 6.0f);
        r.raw8 = cv::Mat(kH, kW, CV_8UC1);
        r.raw16 = cv::Mat(kH, kW, CV_16UC1);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const float v = 40.0f + std::fmod(0.02f * static_cast<float>(x + y), 150.0f) +
                                ((x * 7 + y * 13) % 997 == 0 ? 120.0f : 0.0f) + noise(rng);
                const int s = std::clamp(static_cast<int>(v), 0, 255);
                r.mosaic.row(0, y)[x] = static_cast<Sample>(s * 64);
                r.raw8.at<unsigned char>(y, x) = static_cast<unsigned char>(s);
                r.raw16.at<unsigned short>(y, x) = static_cast<unsigned short>(s * 64);
            }
        r.result = debayerImage(r.mosaic, BayerPattern::Rggb, DebayerMethod::Bilinear);
        return r;
    }();
    return d;
}

int threadsFor(int arg) {
    return arg == 0 ? static_cast<int>(std::thread::hardware_concurrency()) : arg;
}

void setThreads(int n) {
    setThreadCount(n);
    cv::setNumThreads(n);
}

void pixels(benchmark::State& state) {
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kW) * kH / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void runQuillon(benchmark::State& state, DebayerMethod method) {
    Data& d = data();
    setThreads(threadsFor(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        debayer(d.result, d.mosaic, BayerPattern::Rggb, method);
        benchmark::DoNotOptimize(d.result.row(1, 7)[7]);
    }
    pixels(state);
}

void runOpenCv(benchmark::State& state, const cv::Mat& raw, int code) {
    setThreads(threadsFor(static_cast<int>(state.range(0))));
    cv::Mat bgr;
    for (auto _ : state) {
        cv::cvtColor(raw, bgr, code);
        benchmark::DoNotOptimize(bgr.data);
    }
    pixels(state);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!bench::applyEnvironment()) return 1;
    data();
    auto threads = [](benchmark::internal::Benchmark* b) {
        b->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    benchmark::RegisterBenchmark("vng/quillon16", [](benchmark::State& s) {
        runQuillon(s, DebayerMethod::Vng);
    })->Apply(threads);
    benchmark::RegisterBenchmark("vng/opencv8", [](benchmark::State& s) {
        runOpenCv(s, data().raw8, cv::COLOR_BayerBG2BGR_VNG);
    })->Apply(threads);
    benchmark::RegisterBenchmark("bilinear/quillon16", [](benchmark::State& s) {
        runQuillon(s, DebayerMethod::Bilinear);
    })->Apply(threads);
    benchmark::RegisterBenchmark("bilinear/opencv16", [](benchmark::State& s) {
        runOpenCv(s, data().raw16, cv::COLOR_BayerBG2BGR);
    })->Apply(threads);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
