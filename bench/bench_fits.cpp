// FITS reading and writing against cfitsio on the same files in the same run: a 4096 × 4096
// × 3 16-bit image (read and write) and a 4096 × 4096 float image (read). Prints the ratios.
//
// Files live in QUILLON_BENCH_DIR (default /dev/shm, i.e. the page cache without a disk
// flush; the writer's fsync then costs nothing, as cfitsio does none).
#include "core/image.h"
#include "formats/fits_reader.h"
#include "formats/fits_writer.h"

#include <benchmark/benchmark.h>
#include <fitsio.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace quillon;

namespace {

constexpr int kSize = 4096;
constexpr int kPlanes = 3;
const long kPixels = static_cast<long>(kSize) * kSize;

std::string folder() {
    const char* d = std::getenv("QUILLON_BENCH_DIR");
    if (d && *d) return d;
    return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

std::string path(const char* name) {
    return folder() + "/quillon-bench-" + std::to_string(getpid()) + "-" + name;
}

const std::string kShort = path("short.fts");
const std::string kFloat = path("float.fts");
const std::string kOutQ = path("out-q.fts");
const std::string kOutC = path("out-c.fts");

void check(int status, const char* what) {
    if (status != 0) {
        char text[FLEN_STATUS];
        fits_get_errstatus(status, text);
        std::fprintf(stderr, "cfitsio %s: %s\n", what, text);
        std::exit(1);
    }
}

// cfitsio's destination gets the same treatment of fresh memory as the Quillon reader gives
// its planes (huge pages, populated in one call), so both pay the same for first touching it.
template <class T>
std::unique_ptr<T[]> destination(std::size_t count) {
    std::unique_ptr<T[]> p(new T[count]);
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20, kPage = 4096;
    const auto begin = reinterpret_cast<std::uintptr_t>(p.get()), end = begin + count * sizeof(T);
    const auto first = (begin + kHuge - 1) & ~(kHuge - 1), last = end & ~(kHuge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    const auto pageBegin = begin & ~(kPage - 1), pageEnd = (end + kPage - 1) & ~(kPage - 1);
    madvise(reinterpret_cast<void*>(pageBegin), pageEnd - pageBegin, 23 /* MADV_POPULATE_WRITE */);
    return p;
}

Image& sampleImage() {
    static Image img;
    if (!img.hasSamples()) {
        img.Define(kSize, kSize, RGB_IMAGE, false);
        img.AllocateSamples(false);
        std::uint32_t x = 1;
        for (int p = 0; p < kPlanes; ++p)
            for (long i = 0; i < kPixels; ++i) {
                x = x * 1664525u + 1013904223u;
                img.planeData(p)[i] = static_cast<Sample>(x >> 16);
            }
    }
    return img;
}

void makeFiles() {
    writeFits(sampleImage(), kShort, Progress::none());
    std::vector<float> f(static_cast<std::size_t>(kPixels));
    std::uint32_t x = 7;
    for (auto& v : f) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<float>(x >> 8) * 1e-3f;
    }
    fitsfile* fp = nullptr;
    int status = 0;
    long axes[2] = {kSize, kSize};
    fits_create_file(&fp, ("!" + kFloat).c_str(), &status);
    fits_create_img(fp, FLOAT_IMG, 2, axes, &status);
    fits_write_img(fp, TFLOAT, 1, kPixels, f.data(), &status);
    fits_close_file(fp, &status);
    check(status, "writing the float file");
}

void BM_Read16_Quillon(benchmark::State& state) {
    for (auto _ : state) {
        Image img;
        readFits(kShort, img, Progress::none());
        benchmark::DoNotOptimize(img.planeData(2));
    }
}

void BM_Read16_Cfitsio(benchmark::State& state) {
    for (auto _ : state) {
        auto data = destination<std::int16_t>(static_cast<std::size_t>(kPixels) * kPlanes);
        fitsfile* fp = nullptr;
        int status = 0, anynul = 0;
        fits_open_file(&fp, kShort.c_str(), READONLY, &status);
        fits_read_img(fp, TSHORT, 1, kPixels * kPlanes, nullptr, data.get(), &anynul, &status);
        fits_close_file(fp, &status);
        check(status, "read16");
        benchmark::DoNotOptimize(data.get());
    }
}

void BM_Write16_Quillon(benchmark::State& state) {
    Image& img = sampleImage();
    for (auto _ : state) writeFits(img, kOutQ, Progress::none());
}

void BM_Write16_Cfitsio(benchmark::State& state) {
    Image& img = sampleImage();
    for (auto _ : state) {
        fitsfile* fp = nullptr;
        int status = 0;
        long axes[3] = {kSize, kSize, kPlanes};
        fits_create_file(&fp, ("!" + kOutC).c_str(), &status);
        fits_create_img(fp, SHORT_IMG, 3, axes, &status);
        for (int p = 0; p < kPlanes; ++p)
            fits_write_img(fp, TSHORT, 1 + p * kPixels, kPixels, img.planeData(p), &status);
        fits_close_file(fp, &status);
        check(status, "write16");
    }
}

void BM_ReadFloat_Quillon(benchmark::State& state) {
    for (auto _ : state) {
        Image img;
        readFits(kFloat, img, Progress::none());
        benchmark::DoNotOptimize(img.planeData(0));
    }
}

void BM_ReadFloat_Cfitsio(benchmark::State& state) {
    for (auto _ : state) {
        auto data = destination<float>(static_cast<std::size_t>(kPixels));
        fitsfile* fp = nullptr;
        int status = 0, anynul = 0;
        fits_open_file(&fp, kFloat.c_str(), READONLY, &status);
        fits_read_img(fp, TFLOAT, 1, kPixels, nullptr, data.get(), &anynul, &status);
        fits_close_file(fp, &status);
        check(status, "readFloat");
        benchmark::DoNotOptimize(data.get());
    }
}

BENCHMARK(BM_Read16_Quillon)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(2.0);
BENCHMARK(BM_Read16_Cfitsio)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(2.0);
BENCHMARK(BM_Write16_Quillon)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(2.0);
BENCHMARK(BM_Write16_Cfitsio)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(2.0);
BENCHMARK(BM_ReadFloat_Quillon)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(2.0);
BENCHMARK(BM_ReadFloat_Cfitsio)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(2.0);

// Collects the mean real time of every benchmark so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration)
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::printf("files in %s\n", folder().c_str());
    makeFiles();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\ncfitsio time / Quillon time (above 1: Quillon is faster)\n");
    for (const char* op : {"Read16", "Write16", "ReadFloat"}) {
        auto q = reporter.times.find(std::string("BM_") + op +
                                     "_Quillon/min_time:2.000/process_time/real_time");
        auto c = reporter.times.find(std::string("BM_") + op +
                                     "_Cfitsio/min_time:2.000/process_time/real_time");
        if (q != reporter.times.end() && c != reporter.times.end())
            std::printf("  %-10s Quillon %8.2f ms   cfitsio %8.2f ms   ratio %5.2f\n", op,
                        q->second, c->second, c->second / q->second);
    }
    for (const auto& p : {kShort, kFloat, kOutQ, kOutC}) std::remove(p.c_str());
    benchmark::Shutdown();
    return 0;
}
