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

inline std::int64_t lrgbShare(int l, int part, int total) {
    return 3LL * l * part / total;
}

// Adds the per-pixel composed contributions of pixel (x, y) to acc (reference path).
void addPixel(const Ctx& c, int x, int y, std::int64_t acc[3]) {
    const Image& im = *c.img;
    switch (c.type) {
    case BW_IMAGE: {
        int v = im.row(0, y)[x];
        acc[0] += v, acc[1] += v, acc[2] += v;
        break;
    }
    case RGB_IMAGE:
        for (int ch = 0; ch < 3; ++ch) acc[ch] += im.row(ch, y)[x];
        break;
    case LRGB_IMAGE: {
        int l = im.row(0, y)[x] - c.bias[0];
        int r = std::max(im.row(1, y)[x] - c.bias[1], 1),
            g = std::max(im.row(2, y)[x] - c.bias[2], 1),
            b = std::max(im.row(3, y)[x] - c.bias[3], 1);
        int t = r + g + b;
        acc[0] += lrgbShare(l, r, t) + c.off[0];
        acc[1] += lrgbShare(l, g, t) + c.off[1];
        acc[2] += lrgbShare(l, b, t) + c.off[2];
        break;
    }
    case CMY_IMAGE:
    case CMYK_IMAGE: {
        int base = c.type == CMYK_IMAGE ? 1 : 0;
        int k = c.type == CMYK_IMAGE ? im.row(0, y)[x] : 0;
        int cy = im.row(base, y)[x], m = im.row(base + 1, y)[x], ye = im.row(base + 2, y)[x];
        acc[0] += m + ye - cy - k;
        acc[1] += cy - m + ye - k;
        acc[2] += cy + m - ye - k;
        break;
    }
    case USERDEFINED_IMAGE:
        if (!c.matrix) break;
        for (int ch = 0; ch < 3; ++ch)
            for (int j = 0; j < c.layers; ++j)
                acc[ch] +=
                    truncToInt(static_cast<float>(im.row(j, y)[x]) * c.matrix[ch * c.layers + j]);
        break;
    default: break;
    }
}

// Adds the contributions of pixels x0 .. x1-1 of row y to acc[3 × (x - x0) + channel]
// (the fast path; the same arithmetic as addPixel, loop by loop).
void addRow(const Ctx& c, int y, int x0, int x1, std::int64_t* acc) {
    const Image& im = *c.img;
    const int n = x1 - x0;
    switch (c.type) {
    case BW_IMAGE: {
        const Sample* s = im.row(0, y) + x0;
        for (int i = 0; i < n; ++i) {
            std::int64_t v = s[i];
            acc[3 * i] += v, acc[3 * i + 1] += v, acc[3 * i + 2] += v;
        }
        break;
    }
    case RGB_IMAGE:
        for (int ch = 0; ch < 3; ++ch) {
            const Sample* s = im.row(ch, y) + x0;
            for (int i = 0; i < n; ++i) acc[3 * i + ch] += s[i];
        }
        break;
    case LRGB_IMAGE: {
        const Sample *L = im.row(0, y) + x0, *R = im.row(1, y) + x0, *G = im.row(2, y) + x0,
                     *B = im.row(3, y) + x0;
        for (int i = 0; i < n; ++i) {
            int l = L[i] - c.bias[0];
            int r = std::max(R[i] - c.bias[1], 1), g = std::max(G[i] - c.bias[2], 1),
                b = std::max(B[i] - c.bias[3], 1);
            int t = r + g + b;
            acc[3 * i] += lrgbShare(l, r, t) + c.off[0];
            acc[3 * i + 1] += lrgbShare(l, g, t) + c.off[1];
            acc[3 * i + 2] += lrgbShare(l, b, t) + c.off[2];
        }
        break;
    }
    case CMY_IMAGE:
    case CMYK_IMAGE: {
        int base = c.type == CMYK_IMAGE ? 1 : 0;
        const Sample *C = im.row(base, y) + x0, *M = im.row(base + 1, y) + x0,
                     *Y = im.row(base + 2, y) + x0;
        const Sample* K = c.type == CMYK_IMAGE ? im.row(0, y) + x0 : nullptr;
        for (int i = 0; i < n; ++i) {
            int k = K ? K[i] : 0;
            acc[3 * i] += M[i] + Y[i] - C[i] - k;
            acc[3 * i + 1] += C[i] - M[i] + Y[i] - k;
            acc[3 * i + 2] += C[i] + M[i] - Y[i] - k;
        }
        break;
    }
    case USERDEFINED_IMAGE:
        if (!c.matrix) break;
        for (int ch = 0; ch < 3; ++ch)
            for (int j = 0; j < c.layers; ++j) {
                float coef = c.matrix[ch * c.layers + j];
                if (coef == 0.0f) continue; // truncate(s × 0) adds nothing
                const Sample* s = im.row(j, y) + x0;
                for (int i = 0; i < n; ++i)
                    acc[3 * i + ch] += truncToInt(static_cast<float>(s[i]) * coef);
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

int ImageRenderer::renderRect(int left, int top, int right, int bottom, Picture* picture,
                              const RenderOptions& opt) const {
    const Image& im = *image_;
    if (im.width() == 0 || im.height() == 0 || im.layerCount() == 0) return RENDER_NO_HEADER;
    if (!im.hasSamples()) return RENDER_NO_SAMPLES;
    if (tables_.empty()) return RENDER_NO_TABLES;
    if (!picture) return RENDER_NO_PICTURE;
    const double zx = opt.zoomX, zy = opt.zoomY == 0.0 ? opt.zoomX : opt.zoomY;
    if (!(zx > 0) || !(zy > 0) || !std::isfinite(zx) || !std::isfinite(zy)) return RENDER_BAD_ZOOM;
    const int bw = std::max(1, truncToInt(1.0 / zx + 0.0001));
    const int bh = std::max(1, truncToInt(1.0 / zy + 0.0001));
    const int imgW = im.width(), imgH = im.height();
    const bool withOverlay = opt.allowOverlay && im.hasOverlay() && p_.showOverlay;
    const bool grey =
        (opt.greyRequest && im.type() == BW_IMAGE && p_.palette == 0 && !withOverlay) ||
        (opt.monochromeDevice && !opt.previewOutput);
    const bool monoPreview = opt.monochromeDevice && opt.previewOutput;
    const int W = std::max(0, right - left), H = std::max(0, bottom - top);

    std::vector<int> col;
    try {
        picture->resize(W, H, grey ? PictureFormat::Grey8 : PictureFormat::Rgb32);
        col.resize(static_cast<std::size_t>(W));
    } catch (const std::bad_alloc&) {
        return RENDER_OUT_OF_MEMORY;
    }
    if (W == 0 || H == 0) return RENDER_OK;

    // Source column of every output column, -1 for background.
    int cmin = imgW, cmax = -1;
    bool contiguous = true;
    for (int X = 0; X < W; ++X) {
        double u = (static_cast<double>(left) + X) / zx;
        int c = (u >= 0 && u + bw < imgW + 0.5) ? static_cast<int>(u) : -1;
        col[static_cast<std::size_t>(X)] = c;
        if (c >= 0) cmin = std::min(cmin, c), cmax = std::max(cmax, c);
        if (c < 0 || (X > 0 && c != col[static_cast<std::size_t>(X) - 1] + 1)) contiguous = false;
    }
    const int cend = cmax >= 0 ? cmax + bw : cmin; // columns cmin .. cend-1 are read
    const std::uint32_t bgColour = opt.background & 0xFFFFFFu;
    const Tables tabs{packedTable(0), packedTable(1), packedTable(2), packedTable(3)};
    const Ctx ctx = makeCtx(im, p_);
    const int ovl = withOverlay ? im.overlayPlane() : -1;
    // Pictures far larger than any cache (exports, prints of whole images) are written with
    // streaming stores: reading each destination line into the cache first only costs.
    const bool stream = static_cast<long long>(W) * H * 4 > (64LL << 20) - 1;
    const bool fast1x1 = bw == 1 && bh == 1 && (im.type() == BW_IMAGE || im.type() == RGB_IMAGE);
    // Grey and RGB blocks are plain sums of one plane per channel: 32-bit column sums per
    // plane (vectorised) are exact while a block holds at most 65535 pixels.
    const bool planeSums = !fast1x1 && (im.type() == BW_IMAGE || im.type() == RGB_IMAGE) &&
                           static_cast<long long>(bw) * bh <= 65535;
    const int sumPlanes = im.type() == BW_IMAGE ? 1 : 3;
    const std::size_t ncols = static_cast<std::size_t>(std::max(0, cend - cmin));

    auto sourceRow = [&](int Y) {
        double q = (static_cast<double>(top) + Y) / zy;
        int sy = q < 0 ? -1 : truncToInt(q);
        return (sy < 0 || static_cast<long long>(sy) + bh > imgH) ? -1 : sy;
    };

    auto store = [&](int Y, const std::uint32_t* colours) {
        if (grey) {
            std::uint8_t* out = picture->greyRow(Y);
            for (int X = 0; X < W; ++X) out[X] = static_cast<std::uint8_t>(greyOf(colours[X]));
        } else if (monoPreview) {
            std::uint32_t* out = picture->rgbRow(Y);
            for (int X = 0; X < W; ++X)
                out[X] = 0xFF000000u | static_cast<std::uint32_t>(greyOf(colours[X])) * 0x010101u;
        }
    };

    try {
        parallelRows(H, 8, [&](int first, int last) {
            std::vector<std::uint32_t> scratch(grey || monoPreview ? static_cast<std::size_t>(W)
                                                                   : 0);
            std::vector<std::int64_t> acc(fast1x1 || planeSums ? 0 : 3 * ncols);
            std::vector<std::int32_t> psum(planeSums ? sumPlanes * ncols : 0);
            int prevSy = -2;
            for (int Y = first; Y < last; ++Y) {
                const int sy = sourceRow(Y);
                std::uint32_t* colours =
                    (grey || monoPreview) ? scratch.data() : picture->rgbRow(Y);
                if (sy >= 0 && sy == prevSy) {
                    // Same source row as the row above (zoomed in): copy it.
                    std::memcpy(grey ? static_cast<void*>(picture->greyRow(Y))
                                     : static_cast<void*>(picture->rgbRow(Y)),
                                grey ? static_cast<const void*>(picture->greyRow(Y - 1))
                                     : static_cast<const void*>(picture->rgbRow(Y - 1)),
                                static_cast<std::size_t>(grey ? W : 4 * W));
                    continue;
                }
                prevSy = sy;
                if (sy < 0) {
                    std::fill(colours, colours + W, 0xFF000000u | bgColour);
                    store(Y, colours);
                    continue;
                }
                const Sample* ov = ovl >= 0 ? im.row(ovl, sy) : nullptr;
                if (fast1x1 && contiguous && !ov) {
                    const int c0 = col[0];
                    if (im.type() == RGB_IMAGE) {
                        lookupRgbRow(im.row(0, sy) + c0, im.row(1, sy) + c0, im.row(2, sy) + c0,
                                     tabs, colours, W, stream);
                    } else {
                        const Sample* s = im.row(0, sy) + c0;
                        const std::uint32_t* gt = tabs.grey + kSampleOffset;
                        for (int X = 0; X < W; ++X) colours[X] = gt[s[X]];
                    }
                    store(Y, colours);
                    continue;
                }
                if (planeSums) {
                    for (int pl = 0; pl < sumPlanes; ++pl) {
                        std::int32_t* __restrict ps = psum.data() + pl * ncols;
                        const Sample* s0 = im.row(pl, sy) + cmin;
                        for (std::size_t i = 0; i < ncols; ++i) ps[i] = s0[i];
                        for (int r = 1; r < bh; ++r) {
                            const Sample* sr = im.row(pl, sy + r) + cmin;
                            for (std::size_t i = 0; i < ncols; ++i) ps[i] += sr[i];
                        }
                    }
                } else if (!fast1x1) {
                    std::fill(acc.begin(), acc.end(), 0);
                    for (int r = 0; r < bh; ++r) addRow(ctx, sy + r, cmin, cend, acc.data());
                }
                const std::int64_t n = static_cast<std::int64_t>(bw) * bh;
                int prevCol = -1;
                std::uint32_t prevColour = 0;
                for (int X = 0; X < W; ++X) {
                    const int c = col[static_cast<std::size_t>(X)];
                    if (c < 0) {
                        colours[X] = 0xFF000000u | bgColour;
                        continue;
                    }
                    if (c != prevCol) {
                        std::uint32_t colour;
                        if (fast1x1) {
                            if (im.type() == RGB_IMAGE)
                                colour = tabs.colour(im.row(0, sy)[c], im.row(1, sy)[c],
                                                     im.row(2, sy)[c]);
                            else
                                colour = tabs.colour(im.row(0, sy)[c], im.row(0, sy)[c],
                                                     im.row(0, sy)[c]);
                        } else if (planeSums) {
                            const int n32 = bw * bh;
                            std::int32_t sum[3] = {0, 0, 0};
                            for (int pl = 0; pl < sumPlanes; ++pl) {
                                const std::int32_t* ps = psum.data() + pl * ncols + (c - cmin);
                                for (int k = 0; k < bw; ++k) sum[pl] += ps[k];
                            }
                            colour = sumPlanes == 1
                                         ? tabs.grey[lutIndex(sum[0] / n32)]
                                         : tabs.colour(sum[0] / n32, sum[1] / n32, sum[2] / n32);
                        } else {
                            std::int64_t s[3] = {0, 0, 0};
                            const std::int64_t* a =
                                acc.data() + 3 * static_cast<std::size_t>(c - cmin);
                            for (int k = 0; k < bw; ++k)
                                s[0] += a[3 * k], s[1] += a[3 * k + 1], s[2] += a[3 * k + 2];
                            colour =
                                tabs.colour(limited(s[0], n), limited(s[1], n), limited(s[2], n));
                        }
                        if (ov) colour = applyOverlay(colour, ov[c]);
                        prevCol = c;
                        prevColour = colour;
                    }
                    colours[X] = prevColour;
                }
                store(Y, colours);
            }
        });
    } catch (const std::bad_alloc&) {
        return RENDER_OUT_OF_MEMORY; // the working rows of a block could not be obtained
    }
    if (stream) simd::streamFence();
    return RENDER_OK;
}

} // namespace quillon
