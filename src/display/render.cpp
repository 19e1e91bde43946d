// Rendering into pictures: the composed values of the renderer's Composition through its
// lookup tables, with fast paths for grey and RGB images that read the planes directly.
#include "core/parallel.h"
#include "core/simd.h"
#include "core/simd_dispatch.h"
#include "display/overlay.h"
#include "display/renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace quillon {
namespace {

using Tables = ColourTables;

// The zoom-1 RGB row: three lookups and two ORs per pixel. Two pixels per step let the
// loads of both pixels overlap; the restrict qualifiers tell the compiler that the picture
// row never aliases the tables or samples.
void lookupRgbRowScalar(const Sample* __restrict r, const Sample* __restrict g,
                        const Sample* __restrict b, const Tables& tabs,
                        std::uint32_t* __restrict out, int n, bool stream) {
    const std::uint32_t* __restrict tr = tabs.r + kSampleOffset;
    const std::uint32_t* __restrict tg = tabs.g + kSampleOffset;
    const std::uint32_t* __restrict tb = tabs.b + kSampleOffset;
    int x = 0;
    if (stream && simd::kHasStreamingStores) {
        for (; x < n && !simd::aligned16(out + x); ++x) out[x] = tr[r[x]] | tg[g[x]] | tb[b[x]];
        for (; x + 4 <= n; x += 4) {
            const simd::U32x4 v = {tr[r[x]] | tg[g[x]] | tb[b[x]],
                                   tr[r[x + 1]] | tg[g[x + 1]] | tb[b[x + 1]],
                                   tr[r[x + 2]] | tg[g[x + 2]] | tb[b[x + 2]],
                                   tr[r[x + 3]] | tg[g[x + 3]] | tb[b[x + 3]]};
            simd::streamStore(out + x, v);
        }
    }
    for (; x < n; ++x) out[x] = tr[r[x]] | tg[g[x]] | tb[b[x]];
}

#if defined(__x86_64__) || defined(__i386__)
// The same row with AVX2 gathers: eight pixels a step, each table read by one gather of the
// eight sign-extended samples + 32768 (the index lutIndex gives). The lookups are the same,
// so the pixels are too; the gathers replace 24 scalar loads a step.
#define QL_AVX2 __attribute__((target("avx2"), always_inline)) inline
// Eight table indices: the samples sign-extended, plus 32768.
QL_AVX2 __m256i lutIndices(const Sample* s) {
    return _mm256_add_epi32(
        _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s))),
        _mm256_set1_epi32(kSampleOffset));
}
// Eight pixels: one gather per packed table, ORed.
QL_AVX2 __m256i gatherPixels(const Sample* r, const Sample* g, const Sample* b,
                             const Tables& tabs) {
    const __m256i pr =
        _mm256_i32gather_epi32(reinterpret_cast<const int*>(tabs.r), lutIndices(r), 4);
    const __m256i pg =
        _mm256_i32gather_epi32(reinterpret_cast<const int*>(tabs.g), lutIndices(g), 4);
    const __m256i pb =
        _mm256_i32gather_epi32(reinterpret_cast<const int*>(tabs.b), lutIndices(b), 4);
    return _mm256_or_si256(_mm256_or_si256(pr, pg), pb);
}
#undef QL_AVX2

__attribute__((target("avx2"))) void lookupRgbRowAvx2(const Sample* r, const Sample* g,
                                                      const Sample* b, const Tables& tabs,
                                                      std::uint32_t* out, int n, bool stream) {
    int x = 0;
    if (stream) {
        for (; x < n && (reinterpret_cast<std::uintptr_t>(out + x) & 31) != 0; ++x)
            out[x] = tabs.colour(r[x], g[x], b[x]);
        for (; x + 8 <= n; x += 8)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(out + x),
                                gatherPixels(r + x, g + x, b + x, tabs));
    } else {
        for (; x + 8 <= n; x += 8)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                                gatherPixels(r + x, g + x, b + x, tabs));
    }
    for (; x < n; ++x) out[x] = tabs.colour(r[x], g[x], b[x]);
}
#endif

// The row for an instruction-set level: the gathers from AVX2 on (AVX-512 has no wider
// build), the scalar loop below that.
struct LookupRgbRow {
    template <simd::Level L>
    [[gnu::always_inline]] static void run(const Sample* r, const Sample* g, const Sample* b,
                                           const Tables& tabs, std::uint32_t* out, int n,
                                           bool stream) {
#if defined(__x86_64__) || defined(__i386__)
        if constexpr (L >= simd::Avx2) return lookupRgbRowAvx2(r, g, b, tabs, out, n, stream);
#endif
        lookupRgbRowScalar(r, g, b, tabs, out, n, stream);
    }
};

void lookupRgbRow(const Sample* r, const Sample* g, const Sample* b, const Tables& tabs,
                  std::uint32_t* out, int n, bool stream) {
    simd::select<LookupRgbRow,
                 void(const Sample*, const Sample*, const Sample*, const Tables&, std::uint32_t*,
                      int, bool),
                 simd::Avx2>()(r, g, b, tabs, out, n, stream);
}

} // namespace

std::uint32_t blockColour(const Composition& composition, const ColourTables& tables, int x, int y,
                          int blockW, int blockH, bool withOverlay, Composed* values) {
    Composed v;
    if (!composition.composeBlock(x, y, blockW, blockH, v)) return kOutsideMarker;
    if (values) *values = v;
    if (!tables.r) return kOutsideMarker;
    const Image& im = composition.image();
    std::uint32_t colour = tables.colour(v[0], v[1], v[2]) & 0xFFFFFFu;
    if (withOverlay && im.hasOverlay())
        colour = applyOverlay(colour, im.row(im.overlayPlane(), y)[x]);
    return colour;
}

namespace {

// Everything one renderRect call decides before the first row: sizes, the block of source
// pixels behind each output pixel, the output format, the column map and the path.
struct RectPlan {
    const Image* im;
    const Composition* composition;
    Tables tabs;
    Picture* picture;
    int top, W, H;
    double zy;
    int bw, bh;            // source block per output pixel
    bool grey;             // 8-bit grey picture
    bool monoPreview;      // 32-bit picture in grey
    int overlayPlane;      // -1: no overlay shown
    std::uint32_t bgPixel; // opaque background
    bool stream;           // streaming stores for pictures far beyond any cache
    // Paths: zoom 1 of grey and RGB (lookups only); grey and RGB blocks as 32-bit column sums
    // per plane; every other case as 64-bit composed sums.
    bool fast1x1;
    bool planeSums;
    int sumPlanes;
    // Source column of every output column (-1: background); columns cmin .. cend-1 are read.
    std::vector<int> col;
    int cmin, cend;
    bool contiguous;
    std::size_t ncols() const { return static_cast<std::size_t>(std::max(0, cend - cmin)); }
};

// Maps every output column to its source block's first column. A column shows the image
// when its block lies inside the image and the column ends less than half an image pixel
// beyond the right edge. Zoomed in, a column covers 1 / zx of an image pixel, not a whole
// one: measuring it as a whole pixel would blank the last columns of the zoomed image (at
// 480 % the last two of every 4.8, at 200 % the last one).
void mapColumns(RectPlan& p, int left, double zx) {
    const int imgW = p.im->width();
    const double covered = std::min(static_cast<double>(p.bw), 1.0 / zx);
    p.cmin = imgW;
    int cmax = -1;
    p.contiguous = true;
    for (int X = 0; X < p.W; ++X) {
        double u = (static_cast<double>(left) + X) / zx;
        int c = (u >= 0 && u + covered < imgW + 0.5 && static_cast<long long>(u) + p.bw <= imgW)
                    ? static_cast<int>(u)
                    : -1;
        p.col[static_cast<std::size_t>(X)] = c;
        if (c >= 0) p.cmin = std::min(p.cmin, c), cmax = std::max(cmax, c);
        if (c < 0 || (X > 0 && c != p.col[static_cast<std::size_t>(X) - 1] + 1))
            p.contiguous = false;
    }
    p.cend = cmax >= 0 ? cmax + p.bw : p.cmin;
}

// The rows of one worker: its scratch buffers and the steps of one output row.
class RowRenderer {
public:
    explicit RowRenderer(const RectPlan& p)
        : p_(p), scratch_(p.grey || p.monoPreview ? static_cast<std::size_t>(p.W) : 0),
          acc_(p.fast1x1 || p.planeSums ? 0 : 3 * p.ncols()),
          psum_(p.planeSums ? p.sumPlanes * p.ncols() : 0) {}

    void render(int Y) {
        const int sy = sourceRow(Y);
        if (sy >= 0 && sy == prevSy_) return copyRowAbove(Y); // zoomed in: same source row
        prevSy_ = sy;
        std::uint32_t* colours = rowColours(Y);
        if (sy < 0) {
            std::fill(colours, colours + p_.W, p_.bgPixel);
        } else {
            const Sample* ov = p_.overlayPlane >= 0 ? p_.im->row(p_.overlayPlane, sy) : nullptr;
            if (p_.fast1x1 && p_.contiguous && !ov) {
                lookupRow(sy, colours);
            } else {
                sumBlockRows(sy);
                colourColumns(sy, ov, colours);
            }
        }
        storeRow(Y, colours);
    }

private:
    // The first source row of output row Y, -1 when its block leaves the image.
    int sourceRow(int Y) const {
        double q = (static_cast<double>(p_.top) + Y) / p_.zy;
        int sy = q < 0 ? -1 : truncToInt(q);
        return (sy < 0 || static_cast<long long>(sy) + p_.bh > p_.im->height()) ? -1 : sy;
    }

    void copyRowAbove(int Y) {
        Picture& pic = *p_.picture;
        if (p_.grey)
            std::memcpy(pic.greyRow(Y), pic.greyRow(Y - 1), static_cast<std::size_t>(p_.W));
        else
            std::memcpy(pic.rgbRow(Y), pic.rgbRow(Y - 1), static_cast<std::size_t>(4 * p_.W));
    }

    // Where the row's colours go: the picture row itself, or scratch for grey conversion.
    std::uint32_t* rowColours(int Y) {
        return (p_.grey || p_.monoPreview) ? scratch_.data() : p_.picture->rgbRow(Y);
    }

    // Zoom 1 of grey and RGB without overlay: one lookup per channel of each sample.
    void lookupRow(int sy, std::uint32_t* colours) const {
        const Image& im = *p_.im;
        const int c0 = p_.col[0];
        if (im.type() == RGB_IMAGE) {
            lookupRgbRow(im.row(plainPlane(RGB_IMAGE, 0), sy) + c0,
                         im.row(plainPlane(RGB_IMAGE, 1), sy) + c0,
                         im.row(plainPlane(RGB_IMAGE, 2), sy) + c0, p_.tabs, colours, p_.W,
                         p_.stream);
        } else {
            const Sample* s = im.row(plainPlane(BW_IMAGE, 0), sy) + c0;
            const std::uint32_t* gt = p_.tabs.grey + kSampleOffset;
            const int W = p_.W;
            for (int X = 0; X < W; ++X) colours[X] = gt[s[X]];
        }
    }

    // Column sums over the block's rows: 32-bit per plane, or 64-bit composed values.
    void sumBlockRows(int sy) {
        const Image& im = *p_.im;
        const std::size_t ncols = p_.ncols();
        const int bh = p_.bh, cmin = p_.cmin;
        if (p_.planeSums) {
            for (int pl = 0; pl < p_.sumPlanes; ++pl) {
                std::int32_t* __restrict ps = psum_.data() + pl * ncols;
                const int plane = plainPlane(im.type(), pl);
                const Sample* s0 = im.row(plane, sy) + cmin;
                for (std::size_t i = 0; i < ncols; ++i) ps[i] = s0[i];
                for (int r = 1; r < bh; ++r) {
                    const Sample* sr = im.row(plane, sy + r) + cmin;
                    for (std::size_t i = 0; i < ncols; ++i) ps[i] += sr[i];
                }
            }
        } else if (!p_.fast1x1) {
            std::fill(acc_.begin(), acc_.end(), 0);
            p_.composition->addRows(sy, bh, cmin, p_.cend, acc_.data());
        }
    }

    // The colour of source block c (its column sums are ready).
    std::uint32_t blockColour(int sy, int c) const {
        const Image& im = *p_.im;
        const Tables& tabs = p_.tabs;
        if (p_.fast1x1) {
            const int t = im.type();
            return tabs.colour(im.row(plainPlane(t, 0), sy)[c], im.row(plainPlane(t, 1), sy)[c],
                               im.row(plainPlane(t, 2), sy)[c]);
        }
        const int bw = p_.bw;
        if (p_.planeSums) {
            const int n32 = bw * p_.bh;
            std::int32_t sum[3] = {0, 0, 0};
            for (int pl = 0; pl < p_.sumPlanes; ++pl) {
                const std::int32_t* ps = psum_.data() + pl * p_.ncols() + (c - p_.cmin);
                for (int k = 0; k < bw; ++k) sum[pl] += ps[k];
            }
            return p_.sumPlanes == 1 ? tabs.grey[lutIndex(sum[0] / n32)]
                                     : tabs.colour(sum[0] / n32, sum[1] / n32, sum[2] / n32);
        }
        const std::int64_t n = static_cast<std::int64_t>(bw) * p_.bh;
        std::int64_t s[3] = {0, 0, 0};
        const std::int64_t* a = acc_.data() + 3 * static_cast<std::size_t>(c - p_.cmin);
        for (int k = 0; k < bw; ++k) s[0] += a[3 * k], s[1] += a[3 * k + 1], s[2] += a[3 * k + 2];
        return tabs.colour(composedMean(s[0], n), composedMean(s[1], n), composedMean(s[2], n));
    }

    // Every output column: background, or its block's colour (computed once per block).
    void colourColumns(int sy, const Sample* ov, std::uint32_t* colours) const {
        const int W = p_.W;
        const int* col = p_.col.data();
        const std::uint32_t bgPixel = p_.bgPixel;
        int prevCol = -1;
        std::uint32_t prevColour = 0;
        for (int X = 0; X < W; ++X) {
            const int c = col[X];
            if (c < 0) {
                colours[X] = bgPixel;
                continue;
            }
            if (c != prevCol) {
                std::uint32_t colour = blockColour(sy, c);
                if (ov) colour = applyOverlay(colour, ov[c]);
                prevCol = c;
                prevColour = colour;
            }
            colours[X] = prevColour;
        }
    }

    // Grey output: the grey value of each colour, as 8-bit or as 32-bit grey.
    void storeRow(int Y, const std::uint32_t* colours) const {
        Picture& pic = *p_.picture;
        const int W = p_.W;
        if (p_.grey) {
            std::uint8_t* out = pic.greyRow(Y);
            for (int X = 0; X < W; ++X) out[X] = static_cast<std::uint8_t>(greyOf(colours[X]));
        } else if (p_.monoPreview) {
            std::uint32_t* out = pic.rgbRow(Y);
            for (int X = 0; X < W; ++X)
                out[X] = 0xFF000000u | static_cast<std::uint32_t>(greyOf(colours[X])) * 0x010101u;
        }
    }

    const RectPlan& p_;
    std::vector<std::uint32_t> scratch_;
    std::vector<std::int64_t> acc_;
    std::vector<std::int32_t> psum_;
    int prevSy_ = -2;
};

} // namespace

int ImageRenderer::renderRect(int left, int top, int right, int bottom, Picture* picture,
                              const RenderOptions& opt) const {
    const Image& im = *image_;
    if (im.width() == 0 || im.height() == 0 || im.layerCount() == 0) return RENDER_NO_HEADER;
    if (!im.hasSamples()) return RENDER_NO_SAMPLES;
    if (tables_.empty()) return RENDER_NO_TABLES;
    if (!picture) return RENDER_NO_PICTURE;
    const double zx = opt.zoomX, zy = opt.zoomY == 0.0 ? opt.zoomX : opt.zoomY;
    if (!(zx > 0) || !(zy > 0) || !std::isfinite(zx) || !std::isfinite(zy)) return RENDER_BAD_ZOOM;

    RectPlan p{};
    p.im = &im;
    p.picture = picture;
    p.top = top;
    p.zy = zy;
    p.bw = std::max(1, truncToInt(1.0 / zx + 0.0001));
    p.bh = std::max(1, truncToInt(1.0 / zy + 0.0001));
    const bool withOverlay = opt.allowOverlay && im.hasOverlay() && p_.showOverlay;
    p.grey = (opt.greyRequest && im.type() == BW_IMAGE && p_.palette == 0 && !withOverlay) ||
             (opt.monochromeDevice && !opt.previewOutput);
    p.monoPreview = opt.monochromeDevice && opt.previewOutput;
    p.W = std::max(0, right - left);
    p.H = std::max(0, bottom - top);
    try {
        picture->resize(p.W, p.H, p.grey ? PictureFormat::Grey8 : PictureFormat::Rgb32);
        p.col.resize(static_cast<std::size_t>(p.W));
    } catch (const std::bad_alloc&) {
        return RENDER_OUT_OF_MEMORY;
    }
    if (p.W == 0 || p.H == 0) return RENDER_OK;

    mapColumns(p, left, zx);
    p.bgPixel = 0xFF000000u | (opt.background & 0xFFFFFFu);
    p.tabs = colourTables();
    p.composition = &composition_;
    p.overlayPlane = withOverlay ? im.overlayPlane() : -1;
    // Pictures far larger than any cache (exports, prints of whole images) are written with
    // streaming stores: reading each destination line into the cache first only costs.
    p.stream = static_cast<long long>(p.W) * p.H * 4 > (64LL << 20) - 1;
    p.fast1x1 = p.bw == 1 && p.bh == 1 && isPlainType(im.type());
    // Grey and RGB blocks are plain sums of one plane per channel: 32-bit column sums per
    // plane (vectorised) are exact while a block holds at most 65535 pixels.
    p.planeSums =
        !p.fast1x1 && isPlainType(im.type()) && static_cast<long long>(p.bw) * p.bh <= 65535;
    p.sumPlanes = im.type() == BW_IMAGE ? 1 : 3;

    try {
        parallelRows(p.H, 8, [&](int first, int last) {
            RowRenderer rows(p);
            for (int Y = first; Y < last; ++Y) rows.render(Y);
        });
    } catch (const std::bad_alloc&) {
        return RENDER_OUT_OF_MEMORY; // the working rows of a block could not be obtained
    }
    if (p.stream) simd::streamFence();
    return RENDER_OK;
}

} // namespace quillon
