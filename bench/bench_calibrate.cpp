// Calibrating a series against Siril in the same run: 20 int16 exposures of 2048 × 2048, one
// dark and one flat, read, calibrated and written as FITS by `quillon-cli calibrate --out-dir`
// and by siril-cli (bench/siril_calibrate.sh with bench/calibrate.ssf: link, then preprocess
// with -dark= and -flat=), both at the same thread count. Prints both times and the ratio.
//
// Environment: QUILLON_THREADS (both programs; default: the number of cores), QUILLON_SIMD
// (bench_env.h), QUILLON_BENCH_DIR (default /dev/shm), QUILLON_BENCH_FRAMES (20),
// QUILLON_BENCH_SIZE (2048), QUILLON_BENCH_REPEAT (3, the best run counts), QUILLON_CLI (default:
// src/quillon-cli of this build folder), QUILLON_BENCH_KEEP=1 keeps the files.
#include "bench_env.h"
#include "core/image.h"
#include "formats/fits_writer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace quillon;
namespace fs = std::filesystem;

namespace {

int envInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

// Noise from a 32-bit xorshift, the same on every run.
struct Rng {
    std::uint32_t s;
    int next(int spread) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return static_cast<int>(s % static_cast<std::uint32_t>(2 * spread + 1)) - spread;
    }
};

// Dark: a bias with a fixed pattern and hot pixels; flat: vignetting around 20000; exposures:
// dark + vignetted sky with a few stars + noise.
void writeFrames(const fs::path& dir, int size, int frames) {
    fs::create_directories(dir / "lights");
    fs::create_directories(dir / "masters");
    auto vignette = [size](int x, int y) {
        const double dx = 2.0 * x / size - 1, dy = 2.0 * y / size - 1;
        return 1.0 - 0.2 * (dx * dx + dy * dy);
    };
    auto darkAt = [](int x, int y) {
        return 400 + (x * 7 + y * 13) % 40 + ((x * 31 + y * 17) % 997 == 0 ? 3000 : 0);
    };
    auto write = [&](const fs::path& path, auto value) {
        Image img;
        img.Define(size, size, BW_IMAGE, false);
        img.AllocateSamples(false);
        for (int y = 0; y < size; ++y) {
            Sample* r = img.row(0, y);
            for (int x = 0; x < size; ++x) r[x] = static_cast<Sample>(value(x, y));
        }
        writeFits(img, path.string(), Progress::none());
    };
    write(dir / "masters" / "dark.fit", darkAt);
    write(dir / "masters" / "flat.fit",
          [&](int x, int y) { return static_cast<int>(20000 * vignette(x, y)); });
    for (int i = 1; i <= frames; ++i) {
        Rng rng{static_cast<std::uint32_t>(0x9E3779B9u * static_cast<std::uint32_t>(i))};
        char name[32];
        std::snprintf(name, sizeof name, "light_%05d.fit", i);
        write(dir / "lights" / name, [&](int x, int y) {
            const int cx = x % 256 - 128 + i % 3, cy = y % 256 - 128;
            const double star = 20000.0 * std::exp(-(cx * cx + cy * cy) / 8.0);
            return darkAt(x, y) + static_cast<int>(vignette(x, y) * (1500 + star)) + rng.next(60);
        });
    }
}

double seconds(const std::string& command) {
    const auto t0 = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (status != 0) {
        std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
        std::exit(1);
    }
    return s;
}

std::size_t countFiles(const fs::path& dir, const std::string& prefix) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(prefix, 0) == 0 &&
            (e.path().extension() == ".fit" || e.path().extension() == ".fts"))
            ++n;
    return n;
}

} // namespace

int main() {
    if (!bench::applyEnvironment()) return 1;
    const int threads = threadCount();
    const int frames = envInt("QUILLON_BENCH_FRAMES", 20);
    const int size = envInt("QUILLON_BENCH_SIZE", 2048);
    const int repeat = std::max(1, envInt("QUILLON_BENCH_REPEAT", 3));
    const char* benchDir = std::getenv("QUILLON_BENCH_DIR");
    const fs::path base = benchDir && *benchDir           ? fs::path(benchDir)
                          : access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm")
                                                          : fs::temp_directory_path();
    const fs::path dir = base / ("quillon-bench-calibrate-" + std::to_string(getpid()));
    const fs::path here = fs::path(__FILE__).parent_path();
    const char* cliEnv = std::getenv("QUILLON_CLI");
    const fs::path cli = cliEnv && *cliEnv
                             ? fs::path(cliEnv)
                             : fs::read_symlink("/proc/self/exe").parent_path().parent_path() /
                                   "src" / "quillon-cli";

    std::printf("%d frames of %d x %d, %d threads, in %s\n", frames, size, size, threads,
                dir.c_str());
    writeFrames(dir, size, frames);
    std::string inputs;
    for (int i = 1; i <= frames; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "light_%05d.fit", i);
        inputs += " " + quoted(dir / "lights" / name);
    }
    const std::string quillon = "QUILLON_THREADS=" + std::to_string(threads) + " " + quoted(cli) +
                                " calibrate" + inputs + " --out-dir " + quoted(dir / "quillon") +
                                " --dark " + quoted(dir / "masters" / "dark.fit") + " --flat " +
                                quoted(dir / "masters" / "flat.fit") + " >/dev/null";
    const std::string siril = quoted(here / "siril_calibrate.sh") + " " + quoted(dir) + " " +
                              std::to_string(threads) + " >/dev/null";

    double bestQ = 1e30, bestS = 1e30;
    for (int r = 0; r < repeat; ++r) {
        fs::remove_all(dir / "quillon");
        fs::create_directories(dir / "quillon");
        bestQ = std::min(bestQ, seconds(quillon));
        bestS = std::min(bestS, seconds(siril));
    }
    const std::size_t outQ = countFiles(dir / "quillon", "light_");
    const std::size_t outS = countFiles(dir / "siril", "pp_light_");
    std::printf("quillon-cli calibrate --out-dir: %.3f s (%zu files)\n", bestQ, outQ);
    std::printf("siril-cli preprocess:            %.3f s (%zu files)\n", bestS, outS);
    std::printf("ratio Siril / Quillon:           %.2f\n", bestS / bestQ);
    if (envInt("QUILLON_BENCH_KEEP", 0) == 0) fs::remove_all(dir);
    return outQ == static_cast<std::size_t>(frames) && outS == static_cast<std::size_t>(frames) ? 0
                                                                                                : 1;
}
