// The histogram window's model: range, switches, the bar and curve pictures and the range
// and scroll arithmetic.
#include "display/histogram_view.h"

#include <algorithm>
#include <cmath>

namespace quillon {

void HistogramView::setRange(int a, int b) {
    int lo = std::clamp(std::min(a, b), kSampleMin, kSampleMax);
    int hi = std::clamp(std::max(a, b), kSampleMin, kSampleMax);
    if (lo == hi) {
        if (hi == kSampleMax)
            --lo;
        else
            ++hi;
    }
    if (lo != range_.lo || hi != range_.hi) {
        pics_.barsValid = false;
        pics_.curvesValid = false;
    }
    range_ = {lo, hi};
}

void HistogramView::setChannels(bool r, bool g, bool b) {
    if (channels_ != std::array<bool, 3>{r, g, b}) pics_.barsValid = pics_.curvesValid = false;
    channels_ = {r, g, b};
}

void HistogramView::resetTo(const DisplayParams& p) {
    setChannels(true, true, true);
    int lo = std::min({p.blackPoint[0], p.blackPoint[1], p.blackPoint[2], p.whitePoint[0],
                       p.whitePoint[1], p.whitePoint[2]});
    int hi = std::max({p.blackPoint[0], p.blackPoint[1], p.blackPoint[2], p.whitePoint[0],
                       p.whitePoint[1], p.whitePoint[2]});
    setRange(lo, hi);
}

void HistogramView::copyFrom(const HistogramView& other) {
    range_ = other.range_;
    channels_ = other.channels_;
    pics_.barsValid = pics_.curvesValid = false;
}

bool histogramValidFor(const Image& image, const ImageRenderer& renderer) {
    const HistogramCache& h = renderer.histogram();
    if (!h.valid || !h.allocated() || h.sampleGeneration != image.sampleGeneration()) return false;
    if (image.type() == LRGB_IMAGE || image.type() == USERDEFINED_IMAGE)
        return h.rendererId == renderer.id();
    return true;
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

int drawBars(HistogramView& view, const ImageRenderer& renderer, int width, int height) {
    HistogramPictures& pics = view.pics_;
    const Image& image = renderer.image();
    if (pics.barsValid && view.barsGeneration_ == renderer.histogram().generation &&
        pics.bars.width() == width && pics.bars.height() == height)
        return 0;
    if (!histogramValidFor(image, renderer)) return 1;
    width = std::max(width, 0);
    height = std::max(height, 0);
    pics.bars.resize(width, height, PictureFormat::Rgb32);
    pics.curvesValid = false;
    const int base = std::min(histogramBase(image), std::max(height - 1, 0));
    const HistogramCache& cache = renderer.histogram();
    const double maxCount = std::max<double>(cache.maxCount, 1.0);
    const auto on = view.channels_;
    const HistogramRange range = view.range_;
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
    view.barsGeneration_ = cache.generation;
    return 0;
}

int drawCurves(HistogramView& view, const ImageRenderer& renderer) {
    HistogramPictures& pics = view.pics_;
    if (!pics.barsValid) return 1;
    if (pics.curvesValid && view.curvesVersion_ == renderer.displayVersion() &&
        pics.curves.width() == pics.bars.width() && pics.curves.height() == pics.bars.height())
        return 0;
    pics.curves.copyFrom(pics.bars);
    view.curvesVersion_ = renderer.displayVersion();
    const int width = pics.curves.width(), height = pics.curves.height();
    if (!renderer.hasTables() || width == 0 || height == 0) {
        pics.curvesValid = true;
        return 0;
    }
    const Image& image = renderer.image();
    const int base = std::min(histogramBase(image), std::max(height - 1, 0));
    const auto on = view.channels_;
    const HistogramRange range = view.range_;
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

} // namespace quillon
