// Histogram counting, column ranges and the bar and curve pictures.
#include "analysis/histogram.h"

#include "core/parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace quillon {

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
    // Channels counted separately; a grey image counts once and copies.
    const int counted = type == BW_IMAGE ? 1 : 3;
    std::vector<std::uint32_t> total;
    try {
        total.assign(static_cast<std::size_t>(counted) * kLutSize, 0);
    } catch (const std::bad_alloc&) {
        return 200;
    }
    std::mutex mergeMutex;
    progress.begin("Histogrammberechnung", h, 1);
    parallelRows(h, 32, [&](int first, int last) {
        // Per block: 32-bit counts; merged into the totals and saturated at the end, so the
        // result (min(count, 65535)) does not depend on how rows were split.
        std::vector<std::uint32_t> local(static_cast<std::size_t>(counted) * kLutSize, 0);
        if (type == BW_IMAGE || type == RGB_IMAGE) {
            for (int c = 0; c < counted; ++c) {
                std::uint32_t* hc =
                    local.data() + static_cast<std::size_t>(c) * kLutSize + kSampleOffset;
                for (int y = first; y < last; ++y) {
                    const Sample* s = image.row(c, y);
                    for (int x = 0; x < w; ++x) ++hc[s[x]];
                    if (c == counted - 1) progress.step();
                }
            }
        } else {
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
        }
        std::lock_guard<std::mutex> lock(mergeMutex);
        for (std::size_t i = 0; i < total.size(); ++i) total[i] += local[i];
    });
    std::uint16_t maxCount = 0;
    for (int c = 0; c < 3; ++c) {
        const std::uint32_t* src =
            total.data() + static_cast<std::size_t>(std::min(c, counted - 1)) * kLutSize;
        std::uint16_t* dst = image.histogram().tables[static_cast<std::size_t>(c)].data();
        for (int i = 0; i < kLutSize; ++i) {
            dst[i] = static_cast<std::uint16_t>(std::min<std::uint32_t>(src[i], 65535u));
            maxCount = std::max(maxCount, dst[i]);
        }
    }
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
