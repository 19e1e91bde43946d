// Lucy-Richardson speed and agreement against scikit-image's richardson_lucy, in one run:
// 20 iterations of a lopsided 7 × 7 PSF on one 2048 × 2048 star-field layer, Quillon at one
// and two threads, the peer through /usr/bin/python3 (bench/deconvolve_skimage.py).
//
// Both start from the constant 0.5 as scikit-image does, so the interior (64 pixels away from
// the edges, which the two treat differently) must agree within 1e-3 relative.
#include "bench_env.h"
#include "core/parallel.h"
#include "filters/deconvolve.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

using namespace quillon;

namespace {

constexpr int kSize = 2048, kKernel = 7, kIterations = 20, kMargin = 64;

std::vector<float> starField() {
    std::vector<float> img(static_cast<std::size_t>(kSize) * kSize);
    unsigned seed = 12345;
    auto rnd = [&] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 16777216.0f;
    };
    for (float& v : img) v = 800.0f + 40.0f * rnd();
    for (int s = 0; s < 3000; ++s) {
        const float cx = rnd() * kSize, cy = rnd() * kSize, flux = 2000.0f + 60000.0f * rnd();
        const int x0 = static_cast<int>(cx), y0 = static_cast<int>(cy);
        for (int y = std::max(0, y0 - 6); y < std::min(kSize, y0 + 7); ++y)
            for (int x = std::max(0, x0 - 6); x < std::min(kSize, x0 + 7); ++x) {
                const float dx = static_cast<float>(x) - cx, dy = static_cast<float>(y) - cy;
                // A tail to the lower right, as coma would draw it.
                const float tail = dx > 0 && dy > 0 ? 0.35f : 0.0f;
                img[static_cast<std::size_t>(y) * kSize + x] +=
                    flux * 0.05f * std::exp(-(dx * dx + dy * dy) / 3.0f) * (1.0f + tail);
            }
    }
    return img;
}

std::vector<float> lopsidedKernel() {
    std::vector<float> k(kKernel * kKernel);
    float sum = 0;
    for (int r = 0; r < kKernel; ++r)
        for (int c = 0; c < kKernel; ++c) {
            const float dx = static_cast<float>(c - 3), dy = static_cast<float>(r - 3);
            float v = std::exp(-(dx * dx + dy * dy) / 2.0f);
            if (dx > 0 && dy >= 0) v *= 2.5f;
            k[static_cast<std::size_t>(r * kKernel + c)] = v;
            sum += v;
        }
    for (float& v : k) v /= sum;
    return k;
}

void writeFile(const std::string& path, const std::vector<float>& v) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(v.data()),
               static_cast<std::streamsize>(v.size() * sizeof(float)));
}

// Wall-clock seconds; `cpu` receives the processor seconds of the whole process (on a shared
// machine the one-thread figure to compare with the peer's).
double runQuillon(const std::vector<float>& observed, const std::vector<float>& kernel,
                  std::vector<float>& out, int threads, double& cpu) {
    ScopedThreadCount tc(threads);
    std::fill(out.begin(), out.end(), 0.5f);
    const std::clock_t c0 = std::clock();
    const auto t0 = std::chrono::steady_clock::now();
    richardsonLucy(observed.data(), out.data(), kSize, kSize, kernel.data(), kKernel, kKernel,
                   kIterations, {}, true);
    cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main() {
    if (!bench::applyEnvironment()) return 2;
    const std::vector<float> observed = starField();
    const std::vector<float> kernel = lopsidedKernel();
    const std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    const std::string layerPath = dir + "/quillon_rl_layer.f32",
                      kernelPath = dir + "/quillon_rl_kernel.f32",
                      peerPath = dir + "/quillon_rl_skimage.f32";
    writeFile(layerPath, observed);
    writeFile(kernelPath, kernel);

    std::vector<float> one(observed.size()), two(observed.size());
    double cpu1 = 0, cpu2 = 0;
    const double t1 = runQuillon(observed, kernel, one, 1, cpu1);
    const double t2 = runQuillon(observed, kernel, two, 2, cpu2);
    std::printf("Quillon, 20 Iterationen 7x7 auf 2048x2048: 1 Thread %.3f s (CPU %.3f s), "
                "2 Threads %.3f s (gleiches Ergebnis: %s)\n",
                t1, cpu1, t2, one == two ? "ja" : "NEIN");
    std::printf(
        "Schätzung des Dialogs: %s (%.0f s)\n",
        deconvolutionTimeText(deconvolutionSeconds(1, kIterations, kKernel, kKernel, kSize, kSize))
            .c_str(),
        deconvolutionSeconds(1, kIterations, kKernel, kKernel, kSize, kSize));

    const std::string cmd = "/usr/bin/python3 " QUILLON_BENCH_DIR "/deconvolve_skimage.py " +
                            layerPath + " " + kernelPath + " 2048 2048 7 7 20 " + peerPath;
    FILE* p = popen(cmd.c_str(), "r");
    double peer = 0, peerCpu = 0;
    if (!p || std::fscanf(p, "%lf %lf", &peer, &peerCpu) != 2 || pclose(p) != 0) {
        std::fprintf(stderr, "scikit-image run failed (python3-skimage installed?)\n");
        return 1;
    }
    std::vector<float> ref(observed.size());
    std::ifstream(peerPath, std::ios::binary)
        .read(reinterpret_cast<char*>(ref.data()),
              static_cast<std::streamsize>(ref.size() * sizeof(float)));
    double worst = 0;
    for (int y = kMargin; y < kSize - kMargin; ++y)
        for (int x = kMargin; x < kSize - kMargin; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * kSize + x;
            worst = std::max(worst, std::abs(static_cast<double>(one[i]) - ref[i]) /
                                        std::abs(static_cast<double>(ref[i])));
        }
    std::printf("scikit-image richardson_lucy(clip=False): %.3f s (CPU %.3f s); Quillon %.1fx "
                "(1 Thread), %.1fx (2 Threads) schneller, nach CPU-Zeit %.1fx (1 Thread)\n",
                peer, peerCpu, peer / t1, peer / t2, peerCpu / cpu1);
    std::printf("größte relative Abweichung im Inneren: %.2e (%s 1e-3)\n", worst,
                worst <= 1e-3 ? "innerhalb" : "AUSSERHALB");
    for (const std::string& f : {layerPath, kernelPath, peerPath}) std::remove(f.c_str());
    return worst <= 1e-3 && one == two ? 0 : 1;
}
