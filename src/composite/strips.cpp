// Strip-wise accumulation with artefact rejection, the merge of one strip, the border rectangle.
#include "composite/strips.h"

#include "composite/combine.h"
#include "composite/spill_file.h"
#include "core/error.h"
#include "core/parallel.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>

namespace quillon {
namespace {

__extension__ typedef unsigned __int128 Wide;

constexpr long long kMegabyte = 1048576;
constexpr long long kBytesPerValue = 3;

Wide heldBytes(long long exposures, int width, int height) {
    return static_cast<Wide>(exposures) * static_cast<Wide>(width) * static_cast<Wide>(height) *
           static_cast<Wide>(kBytesPerValue);
}

std::string tooLittleMemory(long long minimumMB) {
    return "Zu wenig Speicher für die Artefaktentfernung: erhöhen Sie die Speichergrenze "
           "(Speicherausnutzung) auf mindestens " +
           std::to_string(minimumMB) + " MB.";
}

std::string stripsNotAllocated(long long megabytes) {
    return "Zu wenig Speicher für die Artefaktentfernung: die Streifenbilder (" +
           std::to_string(megabytes) + " MB) konnten nicht angelegt werden.";
}

// Whether exposure `list` feeds result layer k of a result with n layers, and in which
// group: 1 its channel list, 2 the whole-image list, 0 not at all.
int feedGroup(int list, int k, int n) {
    if (list == k) return 1;
    if (n > 1 && list == n) return 2;
    return 0;
}

// One-layer strip images of the result's width and `rows` rows with counters, zero-filled.
void provideStripImages(std::vector<Image>& images, std::size_t count, int width, int rows) {
    images.clear();
    images.resize(count);
    // Allocated by the worker threads side by side: the system clears every fresh page.
    std::atomic<bool> failed{false};
    parallelRows(static_cast<int>(count), 1, [&](int from, int to) {
        for (int i = from; i < to && !failed; ++i) {
            Image& img = images[static_cast<std::size_t>(i)];
            if (img.Define(width, rows, BW_IMAGE, false) == 0 || img.AllocateSamples(true) != 0 ||
                img.AllocateCounters(0, 0) != 0)
                failed = true;
        }
    });
    if (failed) {
        images.clear();
        const Wide bytes = heldBytes(static_cast<long long>(count), width, rows);
        throw Error(stripsNotAllocated(static_cast<long long>(bytes / kMegabyte) + 1));
    }
}

// Releases an acquired exposure however the insertion ends.
struct Acquired {
    const StripSource& source;
    int index;
    Image* image;
    ~Acquired() {
        if (image && source.release) source.release(index);
    }
};

// The counts of one row of an aligned exposure: almost always 1 over one run of columns (its
// footprint) and 0 elsewhere, kept as that run; other rows are written to the spill file.
struct SpilledRow {
    int from = 0, to = 0; // the run of columns counted once
    off_t at = -1;        // where the row's counts lie in the file instead (>= 0)
};

} // namespace

// Per strip image of a merge, the counts of each result row as spilled.
struct StripCoverage {
    std::vector<const std::vector<SpilledRow>*> rows;
};

namespace {

// What the rows of one merge share, and one thread's tallies of its rows.
struct RowMerge {
    Image& result;
    std::span<const Image* const> strips;
    int top = 0, layer = 0;
    bool averaging = false, counting = false;
    SampleSums* sums = nullptr;
    const StatisticalMerge* statistical = nullptr;
    const StripCoverage* coverage = nullptr;
    std::vector<long long> contributed, rejected, high;
    long long resultRejected = 0, resultHigh = 0;

    RowMerge(Image& r, std::span<const Image* const> s, int t, int l, bool a, bool c,
             SampleSums* su, const StatisticalMerge* st)
        : result(r), strips(s), top(t), layer(l), averaging(a), counting(c), sums(su),
          statistical(st), contributed(c ? s.size() : 0), rejected(contributed.size()),
          high(contributed.size()) {}

    // Pixel x of result row y from n values combined into `value` (their mean, or the median).
    void put(int y, int x, float value, int n) {
        const float total = averaging ? value : value * static_cast<float>(n);
        result.row(layer, y)[x] = roundedSample(total);
        result.counterRow(layer, y)[x] = static_cast<Count>(std::min(n, kMaxContributions));
        if (sums) {
            sums->sumRow(layer, y)[x] = value * static_cast<float>(n);
            sums->weightRow(layer, y)[x] = static_cast<float>(n);
        }
    }
    // A value of strip image u (-1: the result's own), rejected or not, above the kept ones.
    void tally(int u, bool lost, bool above) {
        if (u < 0) {
            resultRejected += lost;
            resultHigh += above;
            return;
        }
        ++contributed[static_cast<std::size_t>(u)];
        rejected[static_cast<std::size_t>(u)] += lost;
        high[static_cast<std::size_t>(u)] += above;
    }
};

// The artefact rule, row by row: each row's values gathered pixel by pixel (the result's own
// first, then the strips' in their order), strip row by strip row so that every row is read
// front to back once.
void mergeArtefactRows(RowMerge& m, int first, int last, Progress& progress) {
    const std::size_t count = m.strips.size(), stride = count + 1;
    const int width = m.result.width();
    std::vector<Sample> values(stride * static_cast<std::size_t>(width));
    std::vector<int> owner(m.counting ? values.size() : 0); // -1: the result's own value
    std::vector<int> filled(static_cast<std::size_t>(width));
    const std::unique_ptr<bool[]> flags(new bool[stride]);
    for (int r = first; r < last; ++r) {
        const int y = m.top + r;
        const Sample* out = m.result.row(m.layer, y);
        const Count* outCount = m.result.counterRow(m.layer, y);
        for (int x = 0; x < width; ++x) {
            const std::size_t at = static_cast<std::size_t>(x) * stride;
            values[at] = out[x];
            if (m.counting) owner[at] = -1;
            filled[static_cast<std::size_t>(x)] = outCount[x] != 0 ? 1 : 0;
        }
        for (std::size_t u = 0; u < count; ++u) {
            const Sample* stripRow = m.strips[u]->row(0, r);
            const Count* stripCounts = m.strips[u]->counterRow(0, r);
            for (int x = 0; x < width; ++x) {
                if (stripCounts[x] == 0) continue;
                const std::size_t at =
                    static_cast<std::size_t>(x) * stride +
                    static_cast<std::size_t>(filled[static_cast<std::size_t>(x)]++);
                values[at] = stripRow[x];
                if (m.counting) owner[at] = static_cast<int>(u);
            }
        }
        for (int x = 0; x < width; ++x) {
            const int n = filled[static_cast<std::size_t>(x)];
            const std::size_t at = static_cast<std::size_t>(x) * stride;
            const Sample combined =
                combineSamples(values.data() + at, n, rejectionThreshold(n), m.averaging,
                               m.counting || m.sums ? flags.get() : nullptr);
            if (m.sums) {
                // The unrounded mean of the kept values; the sum counts every value as it.
                double kept = 0;
                int keptCount = 0;
                for (int i = 0; i < n; ++i)
                    if (!flags[i]) kept += values[at + static_cast<std::size_t>(i)], ++keptCount;
                const double mean = keptCount > 0 ? kept / keptCount : 0.0;
                m.sums->sumRow(m.layer, y)[x] = static_cast<float>(mean * n);
                m.sums->weightRow(m.layer, y)[x] = static_cast<float>(n);
            }
            m.result.row(m.layer, y)[x] = combined;
            m.result.counterRow(m.layer, y)[x] = static_cast<Count>(std::min(n, kMaxContributions));
            if (m.counting)
                for (int i = 0; i < n; ++i)
                    m.tally(owner[at + static_cast<std::size_t>(i)], flags[i], false);
        }
        progress.step();
    }
}

// A statistical rejection, row by row, kLanePixels pixels at a time: where every strip and the
// result give each of them a value (almost everywhere), their values go to the lanes as they
// are, value by value; elsewhere each pixel's values are gathered and combined alone.
void mergeStatisticalRows(RowMerge& m, int first, int last, Progress& progress) {
    const StatisticalMerge& st = *m.statistical;
    const std::size_t count = m.strips.size(), stride = count + 1;
    const int width = m.result.width();
    constexpr int B = kLanePixels;
    // The lanes' values (value j of pixel l at j · B + l) with one weight per value; and the
    // gathered values of the pixels of a block that lack some (pixel l at l · stride).
    std::vector<float> values(stride * B), weights(stride);
    std::vector<float> gathered(stride * B), gatheredWeights(stride * B);
    std::vector<int> owner(stride * B), filled(B);
    std::vector<signed char> sides(stride * B);
    PixelCombination combined[B];
    weights[0] = st.ownWeight;
    for (std::size_t u = 0; u < count; ++u) weights[u + 1] = st.weights[u];
    std::vector<const Sample*> stripRows(count);
    std::vector<const Count*> stripCounts(count);
    for (int r = first; r < last; ++r) {
        const int y = m.top + r;
        const Sample* out = m.result.row(m.layer, y);
        const Count* outCount = m.result.counterRow(m.layer, y);
        for (std::size_t u = 0; u < count; ++u) {
            stripRows[u] = m.strips[u]->row(0, r);
            stripCounts[u] = m.strips[u]->counterRow(0, r);
        }
        for (int x0 = 0; x0 < width; x0 += B) {
            const int pixels = std::min(B, width - x0);
            bool full = pixels == B;
            for (int l = 0; l < pixels && full; ++l) full = outCount[x0 + l] != 0;
            for (std::size_t u = 0; u < count && full; ++u) {
                if (m.coverage) {
                    const SpilledRow& run = (*m.coverage->rows[u])[static_cast<std::size_t>(y)];
                    if (run.at < 0) {
                        full = run.from <= x0 && x0 + B <= run.to;
                        continue;
                    }
                }
                unsigned none = 0;
                for (int l = 0; l < B; ++l) none |= stripCounts[u][x0 + l] == 0;
                full = none == 0;
            }
            if (full) {
                const int n = static_cast<int>(stride);
                for (int l = 0; l < B; ++l) values[static_cast<std::size_t>(l)] = out[x0 + l];
                for (std::size_t u = 0; u < count; ++u) {
                    const LinearMap& map = st.maps[u];
                    float* to = values.data() + (u + 1) * B;
                    for (int l = 0; l < B; ++l)
                        to[l] = map.gain * static_cast<float>(stripRows[u][x0 + l]) + map.offset;
                }
                combineRejectedLanes(values.data(), weights.data(), n, st.params, sides.data(),
                                     combined);
                for (int l = 0; l < B; ++l) m.put(y, x0 + l, combined[l].value, n);
                if (!m.counting) continue;
                for (int j = 0; j < n; ++j) {
                    const signed char* s = sides.data() + static_cast<std::size_t>(j) * B;
                    int lost = 0, above = 0;
                    for (int l = 0; l < B; ++l) lost += s[l] != 0, above += s[l] > 0;
                    if (j == 0) {
                        m.resultRejected += lost;
                        m.resultHigh += above;
                    } else {
                        m.contributed[static_cast<std::size_t>(j - 1)] += B;
                        m.rejected[static_cast<std::size_t>(j - 1)] += lost;
                        m.high[static_cast<std::size_t>(j - 1)] += above;
                    }
                }
                continue;
            }
            for (int l = 0; l < pixels; ++l) {
                const std::size_t at = static_cast<std::size_t>(l) * stride;
                const bool own = outCount[x0 + l] != 0;
                gathered[at] = out[x0 + l];
                gatheredWeights[at] = st.ownWeight;
                owner[at] = -1;
                filled[static_cast<std::size_t>(l)] = own ? 1 : 0;
            }
            for (std::size_t u = 0; u < count; ++u) {
                const LinearMap& map = st.maps[u];
                for (int l = 0; l < pixels; ++l) {
                    if (stripCounts[u][x0 + l] == 0) continue;
                    const std::size_t at =
                        static_cast<std::size_t>(l) * stride +
                        static_cast<std::size_t>(filled[static_cast<std::size_t>(l)]++);
                    gathered[at] = map.gain * static_cast<float>(stripRows[u][x0 + l]) + map.offset;
                    gatheredWeights[at] = st.weights[u];
                    owner[at] = static_cast<int>(u);
                }
            }
            combineRejectedRow(gathered.data(), gatheredWeights.data(), filled.data(), pixels,
                               stride, st.params, sides.data(), combined);
            for (int l = 0; l < pixels; ++l) {
                const int n = filled[static_cast<std::size_t>(l)];
                m.put(y, x0 + l, combined[l].value, n);
                if (!m.counting) continue;
                const std::size_t at = static_cast<std::size_t>(l) * stride;
                for (int i = 0; i < n; ++i) {
                    const signed char s = sides[at + static_cast<std::size_t>(i)];
                    m.tally(owner[at + static_cast<std::size_t>(i)], s != 0, s > 0);
                }
            }
        }
        progress.step();
    }
}

// The rows of `whole`'s counts, those that are not one run written at `append` (advanced).
std::vector<SpilledRow> spillCounts(const Image& whole, SpillFile& spill, off_t& append) {
    const int width = whole.width();
    std::vector<SpilledRow> rows(static_cast<std::size_t>(whole.height()));
    for (int y = 0; y < whole.height(); ++y) {
        const Count* c = whole.counterRow(0, y);
        int from = 0, to = width;
        while (from < width && c[from] == 0) ++from;
        while (to > from && c[to - 1] == 0) --to;
        // Any count but 1 within, four at a time.
        std::uint64_t others = 0;
        int x = from;
        for (; x + 4 <= to; x += 4) {
            std::uint64_t four;
            std::memcpy(&four, c + x, sizeof four);
            others |= four ^ 0x0001000100010001ULL;
        }
        for (; x < to; ++x) others |= c[x] ^ 1u;
        const bool run = others == 0;
        SpilledRow& r = rows[static_cast<std::size_t>(y)];
        if (run) {
            r.from = from;
            r.to = to;
            continue;
        }
        r.at = append;
        spill.write(c, static_cast<std::size_t>(width) * sizeof(Count), append);
        append += static_cast<off_t>(width) * static_cast<off_t>(sizeof(Count));
    }
    return rows;
}

// Rows top .. top + rows - 1 of spilled counts into the strip image's counter rows 0 .. rows - 1.
void readCounts(Image& strip, SpillFile& spill, const std::vector<SpilledRow>& spilled, int top,
                int rows) {
    const auto width = static_cast<std::size_t>(strip.width());
    for (int y = 0; y < rows; ++y) {
        const SpilledRow& r = spilled[static_cast<std::size_t>(top + y)];
        Count* c = strip.counterRow(0, y);
        if (r.at >= 0) {
            spill.read(c, width * sizeof(Count), r.at);
            continue;
        }
        std::fill(c, c + r.from, Count{0});
        std::fill(c + r.from, c + r.to, Count{1});
        std::fill(c + r.to, c + width, Count{0});
    }
}

} // namespace

long long stripCount(long long exposures, int width, int height, long long memoryLimitMB) {
    if (memoryLimitMB < 1) throw std::invalid_argument("stripCount: memory limit below 1 MB");
    const Wide limit = static_cast<Wide>(memoryLimitMB) * kMegabyte;
    return static_cast<long long>(heldBytes(std::max(exposures, 0LL), width, height) / limit) + 1;
}

std::vector<int> stripBoundaries(int height, long long strips) {
    std::vector<int> r(static_cast<std::size_t>(strips) + 1);
    for (long long d = 0; d < strips; ++d)
        r[static_cast<std::size_t>(d)] = static_cast<int>(d * height / strips);
    r.back() = height;
    return r;
}

long long minimumStripMemoryMB(long long exposures, int width, int height) {
    // Strips of at least kMinStripRows rows exist exactly when S × kMinStripRows ≤ height,
    // i.e. S ≤ most; S = B / L + 1 ≤ most needs L > B / most.
    const long long most = std::max(height / kMinStripRows, 1);
    const Wide bytes = heldBytes(std::max(exposures, 0LL), width, height);
    return static_cast<long long>(bytes / (static_cast<Wide>(most) * kMegabyte)) + 1;
}

void mergeStrips(Image& result, std::span<const Image* const> strips, int top, int rows,
                 bool averaging, int layer, Progress& progress, MergeTally* tally, SampleSums* sums,
                 const StatisticalMerge* statistical, const StripCoverage* coverage) {
    if (!result.hasCounters() || !result.hasSamples() || layer < 0 ||
        layer >= result.layerCount() || top < 0 || rows < 0 || top + rows > result.height())
        throw std::invalid_argument("mergeStrips: result, layer or rows out of range");
    for (const Image* s : strips) {
        if (!s || !s->hasCounters() || s->width() != result.width() || s->height() < rows)
            throw std::invalid_argument("mergeStrips: strip image does not fit");
    }
    if (sums && (sums->width() != result.width() || sums->height() != result.height() ||
                 sums->layers() != result.layerCount()))
        throw std::invalid_argument("mergeStrips: sums of another size");
    const std::size_t count = strips.size();
    if (statistical && (statistical->maps.size() < count || statistical->weights.size() < count))
        throw std::invalid_argument("mergeStrips: a map and weight per strip image needed");
    if (tally) {
        tally->contributed.resize(std::max(tally->contributed.size(), count));
        tally->rejected.resize(std::max(tally->rejected.size(), count));
        tally->rejectedHigh.resize(std::max(tally->rejectedHigh.size(), count));
    }
    std::mutex tallyMutex;
    progress.begin("Bilder Zusammenführen", rows, 10);
    parallelRows(rows, 4, [&](int first, int last) {
        RowMerge m(result, strips, top, layer, averaging, tally != nullptr, sums, statistical);
        m.coverage = coverage;
        if (statistical)
            mergeStatisticalRows(m, first, last, progress);
        else
            mergeArtefactRows(m, first, last, progress);
        if (tally) {
            const std::lock_guard lock(tallyMutex);
            for (std::size_t u = 0; u < count; ++u) {
                tally->contributed[u] += m.contributed[u];
                tally->rejected[u] += m.rejected[u];
                tally->rejectedHigh[u] += m.high[u];
            }
            tally->resultRejected += m.resultRejected;
            tally->resultRejectedHigh += m.resultHigh;
        }
    });
    progress.end();
    result.samplesChanged();
}

bool stripsSpill(std::span<const StripExposure> exposures, int layers, int width, int height,
                 long long memoryLimitMB) {
    for (int k = 0; k < layers; ++k) {
        long long size = 0;
        for (const StripExposure& e : exposures) size += feedGroup(e.list, k, layers) > 0;
        if (size > 0 && stripCount(size, width, height, memoryLimitMB) > 1) return true;
    }
    return false;
}

StripReport accumulateStrips(Image& result, std::span<const StripExposure> exposures,
                             const StripSource& source, const StripOptions& options,
                             Progress& progress) {
    const int n = result.layerCount();
    if (!result.hasCounters() || !result.hasSamples())
        throw std::invalid_argument("accumulateStrips: result with samples and counters needed");
    const std::size_t pairs = options.target.size();
    if (pairs < 1 || pairs > 4)
        throw std::invalid_argument("accumulateStrips: 1 to 4 target points expected");
    for (const StripExposure& e : exposures) {
        if (e.points.size() != pairs)
            throw std::invalid_argument("accumulateStrips: point counts differ");
    }
    const int width = result.width(), height = result.height();

    // The exposures of each layer, channel list first, then the whole-image list.
    std::vector<std::vector<int>> perLayer(static_cast<std::size_t>(n));
    std::size_t most = 0;
    for (int k = 0; k < n; ++k) {
        auto& order = perLayer[static_cast<std::size_t>(k)];
        for (int group = 1; group <= 2; ++group)
            for (std::size_t i = 0; i < exposures.size(); ++i)
                if (feedGroup(exposures[i].list, k, n) == group)
                    order.push_back(static_cast<int>(i));
        most = std::max(most, order.size());
    }

    // Every strip must have room before anything is touched.
    const long long needed = minimumStripMemoryMB(static_cast<long long>(most), width, height);
    if (most > 0 && options.memoryLimitMB < needed) throw Error(tooLittleMemory(needed));

    StripReport report;
    report.exposures.resize(exposures.size());
    std::vector<char> calibrated(exposures.size(), 0);
    std::vector<Image> images;
    std::vector<ReferencePoint> target(options.target.begin(), options.target.end());

    // More than one strip in some layer: every exposure is acquired, calibrated and aligned
    // once, each layer it feeds goes to the spill file whole (samples, then counts), and the
    // strips are read back from there. Else each layer's single strip is the whole image.
    const bool spilling = stripsSpill(exposures, n, width, height, options.memoryLimitMB);
    const std::size_t planeSamples = static_cast<std::size_t>(width) * height;
    const std::size_t planeBytes = planeSamples * sizeof(Sample);
    std::unique_ptr<SpillFile> spill;
    // Where exposure i's aligned layer k lies in the spill file (-1: nowhere).
    std::vector<std::vector<long long>> slot(
        exposures.size(), std::vector<long long>(static_cast<std::size_t>(n), -1));
    // The counts of each spilled layer, row by row (see SpilledRow), and where the count rows
    // written out go: after every layer's samples.
    std::vector<std::vector<SpilledRow>> spilledRows;
    off_t countRowsAt = 0;
    if (spilling) {
        spill = std::make_unique<SpillFile>(options.spillFolder, "für die Artefaktentfernung");
        // Everything that can run out of memory comes before the first exposure is acquired:
        // the first layer's strip images (kept for its pass) and the whole-size image.
        for (int k = 0; k < n && images.empty(); ++k) {
            const auto size = static_cast<long long>(perLayer[static_cast<std::size_t>(k)].size());
            if (size == 0) continue;
            const long long strips = stripCount(size, width, height, options.memoryLimitMB);
            provideStripImages(images, static_cast<std::size_t>(size), width,
                               static_cast<int>((height + strips - 1) / strips));
        }
        std::vector<Image> wholeImage;
        provideStripImages(wholeImage, 1, width, height);
        Image& whole = wholeImage[0];
        long long next = 0, layersSpilled = 0;
        for (const StripExposure& e : exposures)
            for (int k = 0; k < n; ++k) layersSpilled += feedGroup(e.list, k, n) > 0;
        countRowsAt = static_cast<off_t>(layersSpilled * static_cast<long long>(planeBytes));
        for (std::size_t i = 0; i < exposures.size(); ++i) {
            const StripExposure& e = exposures[i];
            bool feeds = false;
            for (int k = 0; k < n; ++k) feeds |= feedGroup(e.list, k, n) > 0;
            if (!feeds) continue;
            const int index = static_cast<int>(i);
            Acquired got{source, index, source.acquire ? source.acquire(index) : nullptr};
            if (!got.image) continue;
            if (source.calibrate) source.calibrate(index, *got.image);
            calibrated[i] = 1;
            for (int k = 0; k < n; ++k) {
                if (feedGroup(e.list, k, n) == 0) continue;
                InsertOptions o;
                o.factors = e.factors;
                o.sizeFactor = options.sizeFactor;
                o.layerIndex = k;
                o.strip = true;
                o.overwrite = true;
                insertExposure(whole, *got.image, e.points, options.target, o, progress);
                const auto at = static_cast<off_t>(next * static_cast<long long>(planeBytes));
                spill->write(whole.planeData(0), planeBytes, at);
                spilledRows.push_back(spillCounts(whole, *spill, countRowsAt));
                slot[i][static_cast<std::size_t>(k)] = next++;
            }
            report.exposures[i].inserted = true;
        }
    }
    bool firstPass = spilling;

    for (int k = 0; k < n; ++k) {
        const auto& order = perLayer[static_cast<std::size_t>(k)];
        if (order.empty()) continue;
        const long long strips =
            stripCount(static_cast<long long>(order.size()), width, height, options.memoryLimitMB);
        const std::vector<int> bounds = stripBoundaries(height, strips);
        const int tallest = static_cast<int>((height + strips - 1) / strips);
        if (!firstPass) {
            images.clear(); // the previous pass's images go before the new ones come
            provideStripImages(images, order.size(), width, tallest);
        }
        firstPass = false;

        for (long long s = 0; s < strips; ++s) {
            const int top = bounds[static_cast<std::size_t>(s)];
            const int rows = bounds[static_cast<std::size_t>(s) + 1] - top;
            for (std::size_t i = 0; i < target.size(); ++i) {
                target[i] = options.target[i];
                target[i].y -= static_cast<float>(top);
            }
            std::vector<const Image*> filled;
            std::vector<int> owners;
            std::vector<long long> slots; // the spilled layers to read, one per strip image
            for (const int index : order) {
                const StripExposure& e = exposures[static_cast<std::size_t>(index)];
                if (spilling) {
                    const long long at =
                        slot[static_cast<std::size_t>(index)][static_cast<std::size_t>(k)];
                    if (at < 0) continue;
                    slots.push_back(at);
                    filled.push_back(&images[filled.size()]);
                    owners.push_back(index);
                    continue;
                }
                Acquired got{source, index, source.acquire ? source.acquire(index) : nullptr};
                if (!got.image) continue;
                if (source.calibrate &&
                    (e.fromFile || !calibrated[static_cast<std::size_t>(index)]))
                    source.calibrate(index, *got.image);
                calibrated[static_cast<std::size_t>(index)] = 1;

                Image& strip = images[filled.size()];
                InsertOptions o;
                o.factors = e.factors;
                o.row = 0;
                o.sizeFactor = options.sizeFactor;
                o.layerIndex = k;
                o.strip = true;
                o.overwrite = true;
                insertExposure(strip, *got.image, e.points, target, o, progress);
                report.exposures[static_cast<std::size_t>(index)].inserted = true;
                filled.push_back(&strip);
                owners.push_back(index);
            }
            // The strip of every spilled layer, read by the worker threads side by side.
            parallelRows(static_cast<int>(slots.size()), 1, [&](int from, int to) {
                for (int u = from; u < to; ++u) {
                    Image& strip = images[static_cast<std::size_t>(u)];
                    const long long at = slots[static_cast<std::size_t>(u)];
                    const auto base = static_cast<off_t>(at * static_cast<long long>(planeBytes));
                    const auto rowBytes = static_cast<off_t>(width) * 2;
                    spill->read(strip.planeData(0), static_cast<std::size_t>(rows * rowBytes),
                                base + top * rowBytes);
                    readCounts(strip, *spill, spilledRows[static_cast<std::size_t>(at)], top, rows);
                }
            });
            if (filled.empty()) continue;
            MergeTally tally;
            StatisticalMerge statistical;
            std::vector<LinearMap> maps;
            std::vector<float> weights;
            const bool useStatistical =
                options.rejection && options.rejection->method != Rejection::Artefact;
            if (useStatistical) {
                statistical.params = *options.rejection;
                for (const int index : owners) {
                    const StripExposure& e = exposures[static_cast<std::size_t>(index)];
                    maps.push_back(
                        e.maps.empty()
                            ? LinearMap{}
                            : e.maps[std::min(static_cast<std::size_t>(k), e.maps.size() - 1)]);
                    weights.push_back(e.weight);
                }
                statistical.maps = maps;
                statistical.weights = weights;
                statistical.ownWeight = options.referenceWeight;
            }
            StripCoverage coverage;
            for (const long long at : slots)
                coverage.rows.push_back(&spilledRows[static_cast<std::size_t>(at)]);
            mergeStrips(result, filled, top, rows, options.averaging, k, progress, &tally,
                        options.sums, useStatistical ? &statistical : nullptr,
                        spilling ? &coverage : nullptr);
            for (std::size_t u = 0; u < owners.size(); ++u) {
                auto& r = report.exposures[static_cast<std::size_t>(owners[u])];
                r.contributed += tally.contributed[u];
                r.rejected += tally.rejected[u];
                r.rejectedHigh += tally.rejectedHigh[u];
            }
            report.referenceRejected += tally.resultRejected;
            report.referenceRejectedHigh += tally.resultRejectedHigh;
        }
    }
    return report;
}

BorderRect borderRectangle(const Image& result) {
    const int w = result.width(), h = result.height();
    if (!result.hasCounters()) return {0, 0, w - 1, h - 1};
    const int layers = result.layerCount();
    const int cx = w / 2, cy = h / 2;
    std::vector<Count> centre(static_cast<std::size_t>(layers));
    for (int p = 0; p < layers; ++p)
        centre[static_cast<std::size_t>(p)] = result.counterRow(p, cy)[cx];
    const auto differs = [&](int x, int y) {
        for (int p = 0; p < layers; ++p)
            if (result.counterRow(p, y)[x] != centre[static_cast<std::size_t>(p)]) return true;
        return false;
    };

    BorderRect r{cx, cy, cx, cy};
    for (r.left = cx - 1; r.left > 0 && !differs(r.left, cy); --r.left) {
    }
    for (r.top = cy - 1; r.top > 0 && !differs(cx, r.top); --r.top) {
    }
    for (r.right = cx + 1; r.right < w - 1 && !differs(r.right, cy); ++r.right) {
    }
    for (r.bottom = cy + 1; r.bottom < h - 1 && !differs(cx, r.bottom); ++r.bottom) {
    }

    const auto columnDiffers = [&](int x) {
        for (int y = r.top; y <= r.bottom; ++y)
            if (differs(x, y)) return true;
        return false;
    };
    const auto rowDiffers = [&](int y) {
        for (int x = r.left; x <= r.right; ++x)
            if (differs(x, y)) return true;
        return false;
    };
    for (bool changed = true; changed;) {
        changed = false;
        if (r.left < cx && columnDiffers(r.left)) ++r.left, changed = true;
        if (r.top < cy && rowDiffers(r.top)) ++r.top, changed = true;
        if (r.right > cx && columnDiffers(r.right)) --r.right, changed = true;
        if (r.bottom > cy && rowDiffers(r.bottom)) --r.bottom, changed = true;
    }
    return r;
}

} // namespace quillon
