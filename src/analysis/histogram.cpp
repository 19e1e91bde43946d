// Histogram counting, column ranges and the bar and curve pictures.
#include "analysis/histogram.h"

#include "core/parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

} // namespace

bool histogramValidFor(const Image& image, const ImageRenderer& renderer) {
    const HistogramCache& h = image.histogram();
    if (!h.valid || !h.allocated()) return false;
    if (image.type() == LRGB_IMAGE || image.type() == USERDEFINED_IMAGE)
        return h.renderer == &renderer;
    return true;
}

int computeHistogram(ImageRenderer& renderer, Progress& progress) {
    Image& image = renderer.image();
    if (histogramValidFor(image, renderer)) return 0;
    if (int r = image.ResetHistogramCache(); r != 0) return r;
    if (!image.hasSamples()) return 100;
    const int w = image.width(), h = image.height();
    const int type = image.type();
    // Channels counted separately; a grey image counts once and copies. Blocks of rows count
    // in 32 bits and add into the cache saturating at 65535; saturating sums of counts are
    // min(total, 65535) in any order, so the result does not depend on the thread count.
    const int counted = type == BW_IMAGE ? 1 : 3;
    std::uint16_t* tables[3];
    for (int c = 0; c < 3; ++c)
        tables[c] = image.histogram().tables[static_cast<std::size_t>(c)].data();
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
                renderer.composeRow(y, 0, w, values.data());
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
    HistogramCache& cache = image.histogram();
    cache.maxCount = maxCount;
    cache.valid = true;
    cache.renderer = &renderer;
    renderer.histogramPictures().barsValid = false;
    renderer.histogramPictures().curvesValid = false;
    return 0;
}

HistogramColumn histogramColumn(const HistogramRange& range, int x, int width) {
    const long long c = static_cast<long long>(range.hi) - range.lo + 1;
    const long long wd = std::max(width, 1);
    int low = static_cast<int>(range.lo + x * c / wd);
    // Wide ranges let a column reach one value into the next; the last column must still
    // stop at the range's top (and inside the table).
    int high = static_cast<int>(std::min<long long>(low + c / wd, range.hi));
    return {low, std::max(high, low)};
}

int histogramBase(const Image& image) {
    return image.type() == BW_IMAGE ? 15 : 0;
}

namespace {
constexpr std::uint32_t kBarColour[3] = {0x5A0000u, 0x005A00u, 0x00005Au};
constexpr std::uint32_t kCurveColour[3] = {0xFF0000u, 0x00FF00u, 0x0000FFu};
} // namespace

int drawBars(ImageRenderer& renderer, int width, int height) {
    HistogramPictures& pics = renderer.histogramPictures();
    if (pics.barsValid && pics.bars.width() == width && pics.bars.height() == height) return 0;
    const Image& image = renderer.image();
    if (!histogramValidFor(image, renderer)) return 1;
    width = std::max(width, 0);
    height = std::max(height, 0);
    pics.bars.resize(width, height, PictureFormat::Rgb32);
    pics.curvesValid = false;
    const int base = std::min(histogramBase(image), std::max(height - 1, 0));
    const HistogramCache& cache = image.histogram();
    const double maxCount = std::max<double>(cache.maxCount, 1.0);
    const auto on = renderer.params().histogramChannels;
    const HistogramRange range = renderer.histogramRange();
    for (int x = 0; x < width; ++x) {
        HistogramColumn col = histogramColumn(range, x, width);
        int top[3];
        for (int c = 0; c < 3; ++c) {
            const std::uint16_t* cnt = cache.tables[static_cast<std::size_t>(c)].data();
            double s = 0;
            for (int v = col.low; v <= col.high; ++v) s += cnt[lutIndex(v)];
            double k = col.high - col.low + 1;
            top[c] = truncToInt(std::sqrt(s / k / maxCount) * (height - base - 1) + base);
        }
        for (int row = 0; row < height; ++row) {
            std::uint32_t colour = 0;
            if (row >= base)
                for (int c = 0; c < 3; ++c)
                    if (on[static_cast<std::size_t>(c)] && top[c] >= row) colour |= kBarColour[c];
            pics.bars.rgbRow(height - 1 - row)[x] = 0xFF000000u | colour;
        }
    }
    pics.barsValid = true;
    return 0;
}

int drawCurves(ImageRenderer& renderer) {
    HistogramPictures& pics = renderer.histogramPictures();
    if (!pics.barsValid) return 1;
    if (pics.curvesValid && pics.curves.width() == pics.bars.width() &&
        pics.curves.height() == pics.bars.height())
        return 0;
    pics.curves.copyFrom(pics.bars);
    const int width = pics.curves.width(), height = pics.curves.height();
    if (!renderer.hasTables() || width == 0 || height == 0) {
        pics.curvesValid = true;
        return 0;
    }
    const Image& image = renderer.image();
    const int base = std::min(histogramBase(image), std::max(height - 1, 0));
    const auto on = renderer.params().histogramChannels;
    const HistogramRange range = renderer.histogramRange();
    for (int x = 0; x < width; ++x) {
        HistogramColumn col = histogramColumn(range, x, width);
        for (int c = 0; c < 3; ++c) {
            if (!on[static_cast<std::size_t>(c)]) continue;
            const std::uint8_t* t = renderer.table(c);
            for (int v = col.low; v <= col.high; ++v) {
                int row = (height - base - 1) * t[lutIndex(v)] / 255 + base;
                pics.curves.rgbRow(height - 1 - row)[x] |= kCurveColour[c];
            }
        }
        if (base > 0) {
            int mid = (col.low + col.high) / 2;
            std::uint32_t colour = 0xFF000000u | makeRgb(renderer.table(0)[lutIndex(mid)],
                                                         renderer.table(1)[lutIndex(mid)],
                                                         renderer.table(2)[lutIndex(mid)]);
            for (int row = 1; row <= 12 && row < height; ++row)
                pics.curves.rgbRow(height - 1 - row)[x] = colour;
        }
    }
    pics.curvesValid = true;
    return 0;
}

HistogramRange widenHistogramRange(const HistogramRange& r) {
    int m = (r.lo + r.hi) / 2, d = r.hi - r.lo;
    return {std::max(m - d, kSampleMin), std::min(m + d, kSampleMax)};
}

HistogramRange narrowHistogramRange(const HistogramRange& r) {
    int m = (r.lo + r.hi) / 2, q = (r.hi - r.lo) / 4;
    return {m - q, m + q + 1};
}

HistogramScroll histogramScroll(const HistogramRange& r) {
    HistogramScroll s;
    s.page = r.hi - r.lo;
    s.position = r.lo + kSampleOffset;
    s.lineStep = std::max(1, (r.hi - r.lo) / 8);
    s.pageStep = r.hi - r.lo;
    return s;
}

HistogramRange scrollHistogramRange(const HistogramRange& r, int position) {
    const int width = r.hi - r.lo;
    position = std::clamp(position, 0, 65535 - width);
    int lo = position - kSampleOffset;
    return {lo, std::min(lo + width, kSampleMax)};
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

} // namespace quillon
