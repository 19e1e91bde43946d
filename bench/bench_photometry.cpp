// Photometry speed: one measurement of a 121 × 121 ellipse with its ring (grey and RGB, with
// the renderer's composed values), as the window does on every mouse move.
// bench/photometry_speed.py runs it beside photutils on the same aperture.
#include "analysis/photometry.h"
#include "bench_env.h"
#include "display/histogram.h"
#include "display/renderer.h"

#include <benchmark/benchmark.h>

#include <memory>

using namespace quillon;

namespace {

struct Field {
    Image image;
    std::unique_ptr<ImageRenderer> renderer;
    explicit Field(std::uint16_t type) {
        image.Define(400, 400, type, false);
        image.AllocateSamples(false);
        for (int p = 0; p < image.layerCount(); ++p) {
            unsigned s = 12345u + static_cast<unsigned>(p);
            for (int y = 0; y < 400; ++y)
                for (int x = 0; x < 400; ++x) {
                    s = s * 1664525u + 1013904223u;
                    image.row(p, y)[x] = static_cast<Sample>(500 + (s >> 24));
                }
        }
        renderer = std::make_unique<ImageRenderer>(image);
        initFromImage(*renderer);
    }
};

void measureEllipse(benchmark::State& state, std::uint16_t type) {
    static Field grey(BW_IMAGE), rgb(RGB_IMAGE);
    Field& f = type == BW_IMAGE ? grey : rgb;
    int shift = 0;
    for (auto _ : state) {
        PhotometryResult r = measure(f.image, {200 + (shift++ & 7), 200, 121, 121, 1, 1},
                                     &f.renderer->composition());
        benchmark::DoNotOptimize(r.total);
    }
}

BENCHMARK_CAPTURE(measureEllipse, grey_121x121_ring1, BW_IMAGE)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(measureEllipse, rgb_121x121_ring1, RGB_IMAGE)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (!bench::applyEnvironment()) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
