// Composition of the layers of every image type, and rendering into pictures.
//
// Composition by type (sums over the block's pixels, n = block size, "/" truncates):
//   BW_IMAGE      R = G = B = sum(layer 0) / n
//   RGB_IMAGE     channel c = sum(layer c) / n
//   LRGB_IMAGE    per pixel r' = max(R - biasR, 1) (g', b' alike), t = r' + g' + b',
//                 l = L - biasL; adds 3·l·r'/t + offsetR to R (likewise G, B)
//   CMY_IMAGE     per pixel adds M + Y - C to R, C - M + Y to G, C + M - Y to B
//   CMYK_IMAGE    as CMY from layers C, M, Y (1, 2, 3), minus K (layer 0) in every channel:
//                 K is the black component, so it darkens all three channels alike, and an
//                 image with K = 0 shows exactly like the CMY image of its C, M, Y layers.
//   USERDEFINED   per pixel, channel c and layer j adds truncate(sample_j × matrix[c][j])
//   other types   0
// Sums are 64-bit (a 100 × 100 block of LRGB or user-defined values exceeds 32 bits), and
// each result is limited to -32768..32767 before the lookup.
#include "core/parallel.h"
#include "core/simd.h"
#include "display/overlay.h"
#include "display/renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace quillon {
namespace {

struct Ctx {
    const Image* img;
    int type;
    int layers;
    int bias[4];
    std::int32_t off[3];
    const float* matrix;
};

Ctx makeCtx(const Image& img, const DisplayParams& p) {
    Ctx c{};
    c.img = &img;
    c.type = img.type();
    c.layers = img.layerCount();
    for (int i = 0; i < 4; ++i) c.bias[i] = p.lrgbBias[static_cast<std::size_t>(i)];
    for (int i = 0; i < 3; ++i) c.off[i] = p.lrgbOffset[static_cast<std::size_t>(i)];
    c.matrix = p.layerMatrix.size() == 3 * static_cast<std::size_t>(c.layers) ? p.layerMatrix.data()
                                                                              : nullptr;
    return c;
}

// --- the colour arithmetic of each type, defined once --------------------------------------
// Every composition path (the reference composeBlock, the row composition shared by the
// histogram and the renderer, the fast render paths) goes through these definitions; they
// differ only in how they walk pixels and rows.

// Grey and RGB images show planes as they are: the plane display channel c reads.
inline int plainPlane(int type, int channel) {
    return type == BW_IMAGE ? 0 : channel;
}
inline bool isPlainType(int type) {
    return type == BW_IMAGE || type == RGB_IMAGE;
}

// LRGB: r' = max(R - biasR, 1) (g', b' alike), t = r' + g' + b', l = L - biasL; channel c
// gets 3·l·c'/t + offset c.
[[gnu::always_inline]] inline void addLrgb(const Ctx& c, int L, int R, int G, int B,
                                           std::int64_t* acc) {
    const int l = L - c.bias[0];
    const int r = std::max(R - c.bias[1], 1), g = std::max(G - c.bias[2], 1),
              b = std::max(B - c.bias[3], 1);
    const int t = r + g + b;
    acc[0] += 3LL * l * r / t + c.off[0];
    acc[1] += 3LL * l * g / t + c.off[1];
    acc[2] += 3LL * l * b / t + c.off[2];
}

// CMY (K = 0) and CMYK: R = M + Y - C - K, G = C - M + Y - K, B = C + M - Y - K.
[[gnu::always_inline]] inline void addCmyk(int C, int M, int Y, int K, std::int64_t* acc) {
    acc[0] += M + Y - C - K;
    acc[1] += C - M + Y - K;
    acc[2] += C + M - Y - K;
}
// The first of the C, M, Y layers (K is layer 0 of a CMYK image).
inline int cmyBase(int type) {
    return type == CMYK_IMAGE ? 1 : 0;
}

// User-defined: one term per channel and layer, truncate(sample × coefficient).
[[gnu::always_inline]] inline std::int64_t userTerm(Sample s, float coefficient) {
    return truncToInt(static_cast<float>(s) * coefficient);
}

// Adds the per-pixel composed contributions of pixel (x, y) to acc (reference path).
void addPixel(const Ctx& c, int x, int y, std::int64_t acc[3]) {
    const Image& im = *c.img;
    switch (c.type) {
    case BW_IMAGE:
    case RGB_IMAGE:
        for (int ch = 0; ch < 3; ++ch) acc[ch] += im.row(plainPlane(c.type, ch), y)[x];
        break;
    case LRGB_IMAGE:
        addLrgb(c, im.row(0, y)[x], im.row(1, y)[x], im.row(2, y)[x], im.row(3, y)[x], acc);
        break;
    case CMY_IMAGE:
    case CMYK_IMAGE: {
        const int base = cmyBase(c.type);
        addCmyk(im.row(base, y)[x], im.row(base + 1, y)[x], im.row(base + 2, y)[x],
                c.type == CMYK_IMAGE ? im.row(0, y)[x] : 0, acc);
        break;
    }
    case USERDEFINED_IMAGE:
        if (!c.matrix) break;
        for (int ch = 0; ch < 3; ++ch)
            for (int j = 0; j < c.layers; ++j)
                acc[ch] += userTerm(im.row(j, y)[x], c.matrix[ch * c.layers + j]);
        break;
    default: break;
    }
}

// Adds the contributions of pixels x0 .. x1-1 of row y to acc[3 × (x - x0) + channel]
// (the fast path: the same definitions as addPixel, loop by loop).
void addRow(const Ctx& c, int y, int x0, int x1, std::int64_t* acc) {
    const Image& im = *c.img;
    const int n = x1 - x0;
    switch (c.type) {
    case BW_IMAGE:
    case RGB_IMAGE:
        for (int ch = 0; ch < 3; ++ch) {
            const Sample* s = im.row(plainPlane(c.type, ch), y) + x0;
            for (int i = 0; i < n; ++i) acc[3 * i + ch] += s[i];
        }
        break;
    case LRGB_IMAGE: {
        const Sample *L = im.row(0, y) + x0, *R = im.row(1, y) + x0, *G = im.row(2, y) + x0,
                     *B = im.row(3, y) + x0;
        for (int i = 0; i < n; ++i) addLrgb(c, L[i], R[i], G[i], B[i], acc + 3 * i);
        break;
    }
    case CMY_IMAGE:
    case CMYK_IMAGE: {
        const int base = cmyBase(c.type);
        const Sample *C = im.row(base, y) + x0, *M = im.row(base + 1, y) + x0,
                     *Y = im.row(base + 2, y) + x0;
        const Sample* K = c.type == CMYK_IMAGE ? im.row(0, y) + x0 : nullptr;
        for (int i = 0; i < n; ++i) addCmyk(C[i], M[i], Y[i], K ? K[i] : 0, acc + 3 * i);
        break;
    }
    case USERDEFINED_IMAGE:
        if (!c.matrix) break;
        for (int ch = 0; ch < 3; ++ch)
            for (int j = 0; j < c.layers; ++j) {
                float coef = c.matrix[ch * c.layers + j];
                if (coef == 0.0f) continue; // truncate(s × 0) adds nothing
                const Sample* s = im.row(j, y) + x0;
                for (int i = 0; i < n; ++i) acc[3 * i + ch] += userTerm(s[i], coef);
            }
        break;
    default: break;
    }
}

inline int limited(std::int64_t sum, std::int64_t n) {
    std::int64_t v = sum / n;
    return static_cast<int>(v < kSampleMin ? kSampleMin : (v > kSampleMax ? kSampleMax : v));
}

// The renderer's packed tables: OR-ing the three entries gives the opaque pixel.
struct Tables {
    const std::uint32_t* r;
    const std::uint32_t* g;
    const std::uint32_t* b;
    const std::uint32_t* grey;
    std::uint32_t colour(int vr, int vg, int vb) const {
        return r[lutIndex(vr)] | g[lutIndex(vg)] | b[lutIndex(vb)];
    }
};

// The zoom-1 RGB row: three lookups and two ORs per pixel. Two pixels per step let the
// loads of both pixels overlap; the restrict qualifiers tell the compiler that the picture
// row never aliases the tables or samples.
void lookupRgbRow(const Sample* __restrict r, const Sample* __restrict g,
                  const Sample* __restrict b, const Tables& tabs, std::uint32_t* __restrict out,
                  int n, bool stream) {
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

} // namespace

void ImageRenderer::composeRow(int y, int x0, int x1, int* out) const {
    if (x1 <= x0) return;
    Ctx c = makeCtx(*image_, p_);
    std::vector<std::int64_t> acc(3 * static_cast<std::size_t>(x1 - x0), 0);
    addRow(c, y, x0, x1, acc.data());
    for (std::size_t i = 0; i < acc.size(); ++i) out[i] = limited(acc[i], 1);
}

bool ImageRenderer::composedAt(int x, int y, Composed& out) const {
    if (!image_->hasSamples() || x < 0 || y < 0 || x >= image_->width() || y >= image_->height())
        return false;
    composeBlock(x, y, 1, 1, false, &out);
    return true;
}

std::uint32_t ImageRenderer::composeBlock(int x, int y, int blockW, int blockH, bool withOverlay,
                                          Composed* values) const {
    const Image& im = *image_;
    if (!im.hasSamples() || blockW < 1 || blockH < 1 || x < 0 || y < 0 ||
        static_cast<long long>(x) + blockW > im.width() ||
        static_cast<long long>(y) + blockH > im.height())
        return kOutsideMarker;
    Ctx c = makeCtx(im, p_);
    std::int64_t acc[3] = {0, 0, 0};
    for (int yy = y; yy < y + blockH; ++yy)
        for (int xx = x; xx < x + blockW; ++xx) addPixel(c, xx, yy, acc);
    const std::int64_t n = static_cast<std::int64_t>(blockW) * blockH;
    Composed v{limited(acc[0], n), limited(acc[1], n), limited(acc[2], n)};
    if (values) *values = v;
    if (tables_.empty()) return kOutsideMarker;
    Tables t{packedTable(0), packedTable(1), packedTable(2), packedTable(3)};
    std::uint32_t colour = t.colour(v[0], v[1], v[2]) & 0xFFFFFFu;
    if (withOverlay && im.hasOverlay())
        colour = applyOverlay(colour, im.row(im.overlayPlane(), y)[x]);
    return colour;
}

namespace {

// Everything one renderRect call decides before the first row: sizes, the block of source
// pixels behind each output pixel, the output format, the column map and the path.
struct RectPlan {
    const Image* im;
    Ctx ctx;
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
            for (int r = 0; r < bh; ++r) addRow(p_.ctx, sy + r, cmin, p_.cend, acc_.data());
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
        return tabs.colour(limited(s[0], n), limited(s[1], n), limited(s[2], n));
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
    p.tabs = Tables{packedTable(0), packedTable(1), packedTable(2), packedTable(3)};
    p.ctx = makeCtx(im, p_);
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
