// Histogram counting, statistics and the automatic presets computed from the counts.
#include "display/histogram.h"

#include "core/parallel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace quillon {
namespace {

inline std::uint16_t saturatedSum(std::uint16_t a, std::uint32_t b) {
    return static_cast<std::uint16_t>(std::min<std::uint32_t>(a + b, 65535u));
}

// Counting one plane: four interleaved 32-bit sub-histograms, so that runs of equal values
// (sky background) do not wait on the previous increment of the same counter.
class SubHistograms {
public:
    SubHistograms() : data_(new std::uint32_t[4 * static_cast<std::size_t>(kLutSize)]) {}
    void reset() {
        std::fill(data_.get(), data_.get() + 4 * static_cast<std::size_t>(kLutSize), 0u);
    }
    void count(const Sample* s, int w) {
        std::uint32_t* a = data_.get() + kSampleOffset;
        std::uint32_t* b = a + kLutSize;
        std::uint32_t* c = b + kLutSize;
        std::uint32_t* d = c + kLutSize;
        int x = 0;
        for (; x + 4 <= w; x += 4) ++a[s[x]], ++b[s[x + 1]], ++c[s[x + 2]], ++d[s[x + 3]];
        for (; x < w; ++x) ++a[s[x]];
    }
    // Adds the counts to a table of the cache, saturating at 65535 (order-independent).
    void addTo(std::uint16_t* table) const {
        const std::uint32_t* p = data_.get();
        for (int i = 0; i < kLutSize; ++i)
            table[i] = saturatedSum(table[i], p[i] + p[i + kLutSize] + p[i + 2 * kLutSize] +
                                                  p[i + 3 * kLutSize]);
    }

private:
    std::unique_ptr<std::uint32_t[]> data_;
};

std::uint64_t nextGeneration() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

} // namespace

int HistogramCache::reset() {
    try {
        for (auto& t : tables)
            if (t.empty()) t.allocate(65536, true);
    } catch (const std::bad_alloc&) {
        for (auto& t : tables) t.reset();
        valid = false;
        return 200;
    }
    for (auto& t : tables) std::fill(t.begin(), t.end(), std::uint16_t{0});
    valid = false;
    rendererId = 0;
    return 0;
}

std::shared_ptr<HistogramCache> sharedHistogramCache(const Image& image) {
    // Keyed by address; an image later created at the same address does not match the
    // counts' sample generation, so stale counts never pass for its own.
    static std::mutex mutex;
    static std::map<const Image*, std::weak_ptr<HistogramCache>> caches;
    std::lock_guard<std::mutex> lock(mutex);
    std::erase_if(caches, [](const auto& entry) { return entry.second.expired(); });
    std::weak_ptr<HistogramCache>& slot = caches[&image];
    std::shared_ptr<HistogramCache> cache = slot.lock();
    if (!cache) {
        cache = std::make_shared<HistogramCache>();
        slot = cache;
    }
    return cache;
}

int computeHistogram(ImageRenderer& renderer, Progress& progress) {
    Image& image = renderer.image();
    if (histogramValidFor(image, renderer)) return 0;
    HistogramCache& cache = renderer.histogram();
    if (int r = cache.reset(); r != 0) return r;
    if (!image.hasSamples()) return 100;
    const int w = image.width(), h = image.height();
    const int type = image.type();
    // Channels counted separately; a grey image counts once and copies. Blocks of rows count
    // in 32 bits and add into the cache saturating at 65535; saturating sums of counts are
    // min(total, 65535) in any order, so the result does not depend on the thread count.
    const int counted = type == BW_IMAGE ? 1 : 3;
    std::uint16_t* tables[3];
    for (int c = 0; c < 3; ++c) tables[c] = cache.tables[static_cast<std::size_t>(c)].data();
    const Composition& composition = renderer.composition();
    std::mutex mergeMutex;
    progress.begin("Histogrammberechnung", h, 1);
    try {
        parallelRows(h, 32, [&](int first, int last) {
            if (type == BW_IMAGE || type == RGB_IMAGE) {
                SubHistograms sub;
                for (int c = 0; c < counted; ++c) {
                    sub.reset();
                    for (int y = first; y < last; ++y) {
                        sub.count(image.row(c, y), w);
                        if (c == counted - 1) progress.step();
                    }
                    std::lock_guard<std::mutex> lock(mergeMutex);
                    sub.addTo(tables[c]);
                }
                return;
            }
            std::vector<std::uint32_t> local(3 * static_cast<std::size_t>(kLutSize), 0);
            std::vector<int> values(3 * static_cast<std::size_t>(w));
            std::uint32_t* h0 = local.data() + kSampleOffset;
            std::uint32_t* h1 = h0 + kLutSize;
            std::uint32_t* h2 = h1 + kLutSize;
            for (int y = first; y < last; ++y) {
                composition.composeRow(y, 0, w, values.data());
                for (int x = 0; x < w; ++x) {
                    ++h0[values[3 * static_cast<std::size_t>(x)]];
                    ++h1[values[3 * static_cast<std::size_t>(x) + 1]];
                    ++h2[values[3 * static_cast<std::size_t>(x) + 2]];
                }
                progress.step();
            }
            std::lock_guard<std::mutex> lock(mergeMutex);
            for (int c = 0; c < 3; ++c)
                for (int i = 0; i < kLutSize; ++i)
                    tables[c][i] = saturatedSum(tables[c][i],
                                                local[static_cast<std::size_t>(c) * kLutSize + i]);
        });
    } catch (const std::bad_alloc&) {
        progress.end();
        return 200; // the cache stays invalid
    }
    if (counted == 1) {
        std::copy(tables[0], tables[0] + kLutSize, tables[1]);
        std::copy(tables[0], tables[0] + kLutSize, tables[2]);
    }
    std::uint16_t maxCount = 0;
    for (int c = 0; c < counted; ++c)
        maxCount = std::max(maxCount, *std::max_element(tables[c], tables[c] + kLutSize));
    progress.end();
    cache.maxCount = maxCount;
    cache.valid = true;
    cache.rendererId = renderer.id();
    cache.sampleGeneration = image.sampleGeneration();
    cache.generation = nextGeneration();
    return 0;
}

ChannelStatistics histogramStatistics(const HistogramCache& cache, int channel) {
    ChannelStatistics st;
    if (!cache.allocated() || channel < 0 || channel > 2) return st;
    const std::uint16_t* cnt = cache.tables[static_cast<std::size_t>(channel)].data();
    double sum = 0;
    int best = -1;
    for (int i = 0; i < kLutSize; ++i) {
        if (cnt[i] == 0) continue;
        int v = i - kSampleOffset;
        if (st.count == 0) st.minimum = v;
        st.maximum = v;
        st.count += cnt[i];
        sum += static_cast<double>(cnt[i]) * v;
        if (cnt[i] == 65535) ++st.saturatedValues;
        if (best < 0 || cnt[i] > cnt[best]) best = i;
    }
    if (st.count == 0) return st;
    st.mean = sum / static_cast<double>(st.count);
    st.mode = best - kSampleOffset;
    long long half = (st.count + 1) / 2, acc = 0;
    for (int i = 0; i < kLutSize; ++i) {
        acc += cnt[i];
        if (acc >= half) {
            st.median = i - kSampleOffset;
            break;
        }
    }
    return st;
}

int autoScale(ImageRenderer& renderer, int preset, ScalePoints& points, Progress& progress) {
    if (preset < -1 || preset > 6) return 2;
    if (computeHistogram(renderer, progress) != 0) return 1;
    const Image& image = renderer.image();
    const HistogramCache& h = renderer.histogram();
    const double n = static_cast<double>(image.width()) * image.height();
    auto limited = [](double v) {
        return std::clamp<long long>(static_cast<long long>(v), 1, 65535);
    };
    const long long t[4] = {limited(0.000025 * n), limited(0.0005 * n), limited(0.01 * n),
                            static_cast<long long>(0.08 * n)};
    Points b[3], w[4];
    for (int c = 0; c < 3; ++c) {
        const std::uint16_t* cnt = h.tables[static_cast<std::size_t>(c)].data();
        long long total = 0;
        for (int i = 0; i < kLutSize; ++i) total += cnt[i];
        // Saturated counters can sum to less than a threshold (t3 on large images); the
        // threshold then becomes the total, i.e. the extreme value that occurs, instead of
        // running off to the opposite end of the range.
        long long tk[4];
        for (int k = 0; k < 4; ++k) tk[k] = std::min(t[k], total);
        // Upward: the lowest v with count(samples <= v) >= tk.
        long long sum = 0;
        int found = 0;
        for (int i = 0; i < kLutSize && found < 3; ++i) {
            sum += cnt[i];
            while (found < 3 && sum >= tk[found])
                b[found++][static_cast<std::size_t>(c)] =
                    static_cast<std::int16_t>(i - kSampleOffset);
        }
        while (found < 3) b[found++][static_cast<std::size_t>(c)] = kSampleMax;
        // Downward: the highest v with count(samples >= v) >= tk.
        sum = 0;
        int foundW[4] = {0, 0, 0, 0};
        for (int i = kLutSize - 1; i >= 0; --i) {
            sum += cnt[i];
            for (int k = 0; k < 4; ++k)
                if (!foundW[k] && sum >= tk[k]) {
                    foundW[k] = 1;
                    w[k][static_cast<std::size_t>(c)] =
                        static_cast<std::int16_t>(i - kSampleOffset);
                }
            if (foundW[0] && foundW[1] && foundW[2] && foundW[3]) break;
        }
        for (int k = 0; k < 4; ++k)
            if (!foundW[k]) w[k][static_cast<std::size_t>(c)] = kSampleMin;
    }
    static constexpr int kBlack[8] = {0, 1, 1, 0, 0, 0, 1, 1}; // presets -1 .. 6
    static constexpr int kWhite[8] = {0, 2, 3, 0, 0, 1, 0, 1};
    Points black = b[kBlack[preset + 1]], white = w[kWhite[preset + 1]];
    if (renderer.params().keepRatio) renderer.balanceToWeights(black, white);
    if (preset == 6) {
        bool eightBit = true;
        for (std::size_t c = 0; c < 3; ++c) eightBit = eightBit && black[c] >= 0 && white[c] <= 256;
        if (eightBit) {
            for (std::size_t c = 0; c < 3; ++c) {
                black[c] = 0;
                white[c] =
                    clampSample(truncToInt(255.0f / renderer.params().channelWeight[c] + 0.5f));
            }
        }
    }
    points = {black, white};
    return 0;
}

int applyAutoScale(ImageRenderer& renderer, int preset, Progress& progress) {
    ScalePoints points;
    const int result = autoScale(renderer, preset, points, progress);
    if (result == 0) renderer.setPoints(&points.black, &points.white);
    return result;
}

int applyPresetEntry(ImageRenderer& r, int listPosition) {
    int result = applyAutoScale(r, listPosition - 1);
    if (result == 0) r.rebuildLut();
    return result;
}

void initFromImage(ImageRenderer& renderer) {
    renderer.initFromImage([](ImageRenderer& r, int preset, Progress& progress) {
        return applyAutoScale(r, preset, progress);
    });
}

} // namespace quillon
