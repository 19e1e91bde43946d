// FITS reading and writing against cfitsio on the same files in the same run: a 4096 × 4096
// × 3 16-bit image (read and write), 4096 × 4096 images of BITPIX -32, -64 and 32 (read;
// cfitsio reads them into their own type) and a Rice-compressed 4096 × 4096 16-bit image
// (tiles of one row, as cfitsio writes by default; read). Prints the ratios. QUILLON_THREADS and
// QUILLON_SIMD set Quillon's thread count and instruction-set level (bench_env.h).
//
// Files live in QUILLON_BENCH_DIR (default /dev/shm, i.e. the page cache without a disk
// flush; the writer's fsync then costs nothing, as cfitsio does none).
#include "bench_env.h"
#include "core/image.h"
#include "formats/fits_reader.h"
#include "formats/fits_writer.h"

#include <benchmark/benchmark.h>
#include <fitsio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
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
const std::string kDouble = path("double.fts");
const std::string kInt32 = path("int32.fts");
const std::string kRice = path("rice.fits.fz");
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

template <class T>
void writeImage(const std::string& file, int bitpix, int datatype, const std::vector<T>& v) {
    fitsfile* fp = nullptr;
    int status = 0;
    long axes[2] = {kSize, kSize};
    fits_create_file(&fp, ("!" + file).c_str(), &status);
    fits_create_img(fp, bitpix, 2, axes, &status);
    fits_write_img(fp, datatype, 1, kPixels, const_cast<T*>(v.data()), &status);
    fits_close_file(fp, &status);
    check(status, "writing a scaled file");
}

void makeFiles() {
    writeFits(sampleImage(), kShort, Progress::none());
    std::vector<float> f(static_cast<std::size_t>(kPixels));
    std::vector<double> d(f.size());
    std::vector<int> n(f.size());
    std::uint32_t x = 7;
    for (std::size_t i = 0; i < f.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        f[i] = static_cast<float>(x >> 8) * 1e-3f;
        d[i] = static_cast<double>(x >> 8) * 1e-3;
        n[i] = static_cast<int>(x);
    }
    writeImage(kFloat, FLOAT_IMG, TFLOAT, f);
    writeImage(kDouble, DOUBLE_IMG, TDOUBLE, d);
    writeImage(kInt32, LONG_IMG, TINT, n);

    // A sky-like 16-bit frame: background with a gradient and noise of a few counts.
    std::vector<short> sky(f.size());
    for (std::size_t i = 0; i < sky.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        const long row = static_cast<long>(i) / kSize;
        sky[i] = static_cast<short>(1000 + row / 64 + static_cast<int>((x >> 24) % 40));
    }
    fitsfile* fp = nullptr;
    int status = 0;
    long axes[2] = {kSize, kSize};
    fits_create_file(&fp, ("!" + kRice).c_str(), &status);
    fits_set_compression_type(fp, RICE_1, &status);
    fits_create_img(fp, SHORT_IMG, 2, axes, &status);
    fits_write_img(fp, TSHORT, 1, kPixels, sky.data(), &status);
    fits_close_file(fp, &status);
    check(status, "writing the Rice file");
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

// One plane of a scaled BITPIX: Quillon scales it to 16 bits, cfitsio reads it as it is.
void readScaledQuillon(benchmark::State& state, const std::string& file) {
    for (auto _ : state) {
        Image img;
        readFits(file, img, Progress::none());
        benchmark::DoNotOptimize(img.planeData(0));
    }
}

template <class T>
void readScaledCfitsio(benchmark::State& state, const std::string& file, int datatype) {
    for (auto _ : state) {
        auto data = destination<T>(static_cast<std::size_t>(kPixels));
        fitsfile* fp = nullptr;
        int status = 0, anynul = 0;
        fits_open_file(&fp, file.c_str(), READONLY, &status);
        fits_read_img(fp, datatype, 1, kPixels, nullptr, data.get(), &anynul, &status);
        fits_close_file(fp, &status);
        check(status, "read scaled");
        benchmark::DoNotOptimize(data.get());
    }
}

void BM_ReadFloat_Quillon(benchmark::State& state) {
    readScaledQuillon(state, kFloat);
}
void BM_ReadFloat_Cfitsio(benchmark::State& state) {
    readScaledCfitsio<float>(state, kFloat, TFLOAT);
}
void BM_ReadDouble_Quillon(benchmark::State& state) {
    readScaledQuillon(state, kDouble);
}
void BM_ReadDouble_Cfitsio(benchmark::State& state) {
    readScaledCfitsio<double>(state, kDouble, TDOUBLE);
}
void BM_ReadInt32_Quillon(benchmark::State& state) {
    readScaledQuillon(state, kInt32);
}
void BM_ReadInt32_Cfitsio(benchmark::State& state) {
    readScaledCfitsio<int>(state, kInt32, TINT);
}
void BM_ReadRice_Quillon(benchmark::State& state) {
    readScaledQuillon(state, kRice);
}
void BM_ReadRice_Cfitsio(benchmark::State& state) {
    for (auto _ : state) {
        auto data = destination<std::int16_t>(static_cast<std::size_t>(kPixels));
        fitsfile* fp = nullptr;
        int status = 0, anynul = 0;
        fits_open_image(&fp, kRice.c_str(), READONLY, &status);
        fits_read_img(fp, TSHORT, 1, kPixels, nullptr, data.get(), &anynul, &status);
        fits_close_file(fp, &status);
        check(status, "read Rice");
        benchmark::DoNotOptimize(data.get());
    }
}

// Collects the time of every benchmark so the ratios can be printed at the end: the median of
// the repetitions when there are several, else the run itself.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs) {
            if (r.error_occurred) continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type != Run::RT_Iteration && !median) continue;
            const std::string name = r.run_name.function_name;
            if (median || !fromMedian[name]) times[name] = r.GetAdjustedRealTime();
            fromMedian[name] = fromMedian[name] || median;
        }
    }
    std::map<std::string, double> times;
    std::map<std::string, bool> fromMedian;
};

} // namespace

int main(int argc, char** argv) {
    // Two seconds per benchmark unless --benchmark_min_time says otherwise.
    bool minTimeGiven = false;
    for (int i = 1; i < argc; ++i)
        minTimeGiven = minTimeGiven || std::strncmp(argv[i], "--benchmark_min_time", 20) == 0;
    benchmark::Initialize(&argc, argv);
    if (!bench::applyEnvironment()) return 1;
    const char* const ops[] = {"Read16",     "Write16",   "ReadFloat",
                               "ReadDouble", "ReadInt32", "ReadRice"};
    void (*const fns[][2])(benchmark::State&) = {{BM_Read16_Quillon, BM_Read16_Cfitsio},
                                                 {BM_Write16_Quillon, BM_Write16_Cfitsio},
                                                 {BM_ReadFloat_Quillon, BM_ReadFloat_Cfitsio},
                                                 {BM_ReadDouble_Quillon, BM_ReadDouble_Cfitsio},
                                                 {BM_ReadInt32_Quillon, BM_ReadInt32_Cfitsio},
                                                 {BM_ReadRice_Quillon, BM_ReadRice_Cfitsio}};
    for (std::size_t i = 0; i < std::size(ops); ++i)
        for (int peer = 0; peer < 2; ++peer) {
            auto* b = benchmark::RegisterBenchmark(
                (std::string("BM_") + ops[i] + (peer ? "_Cfitsio" : "_Quillon")).c_str(),
                fns[i][peer]);
            b->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
            if (!minTimeGiven) b->MinTime(2.0);
        }
    std::printf("files in %s\n", folder().c_str());
    makeFiles();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\ncfitsio time / Quillon time (above 1: Quillon is faster)\n");
    for (const char* op : ops) {
        auto q = reporter.times.find(std::string("BM_") + op + "_Quillon");
        auto c = reporter.times.find(std::string("BM_") + op + "_Cfitsio");
        if (q != reporter.times.end() && c != reporter.times.end())
            std::printf("  %-10s Quillon %8.2f ms   cfitsio %8.2f ms   ratio %5.2f\n", op,
                        q->second, c->second, c->second / q->second);
    }
    for (const auto& p : {kShort, kFloat, kDouble, kInt32, kRice, kOutQ, kOutC})
        std::remove(p.c_str());
    benchmark::Shutdown();
    return 0;
}
