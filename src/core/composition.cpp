// The colour arithmetic of each image type, and the row and block walks over it.
#include "core/composition.h"

#include <algorithm>
#include <vector>

namespace quillon {
namespace {

// What one call needs of the image and the parameters, read once.
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

// Adds the contributions of pixels x0 .. x1-1 of row y to acc[3 × (x - x0) + channel].
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

} // namespace

void Composition::addRows(int y, int rows, int x0, int x1, std::int64_t* acc) const {
    if (x1 <= x0) return;
    const Ctx c = makeCtx(*image_, *params_);
    for (int r = 0; r < rows; ++r) addRow(c, y + r, x0, x1, acc);
}

void Composition::composeRow(int y, int x0, int x1, int* out) const {
    if (x1 <= x0) return;
    std::vector<std::int64_t> acc(3 * static_cast<std::size_t>(x1 - x0), 0);
    addRows(y, 1, x0, x1, acc.data());
    for (std::size_t i = 0; i < acc.size(); ++i) out[i] = composedMean(acc[i], 1);
}

bool Composition::composeBlock(int x, int y, int blockW, int blockH, Composed& values) const {
    const Image& im = *image_;
    if (!im.hasSamples() || blockW < 1 || blockH < 1 || x < 0 || y < 0 ||
        static_cast<long long>(x) + blockW > im.width() ||
        static_cast<long long>(y) + blockH > im.height())
        return false;
    // Column sums of the block's rows (on the stack for the usual small blocks), then the
    // columns added up: integer sums, so the order does not change the result.
    constexpr int kStackColumns = 16;
    std::int64_t local[3 * kStackColumns] = {};
    std::vector<std::int64_t> heap;
    std::int64_t* acc = local;
    if (blockW > kStackColumns) {
        heap.assign(3 * static_cast<std::size_t>(blockW), 0);
        acc = heap.data();
    }
    addRows(y, blockH, x, x + blockW, acc);
    std::int64_t sum[3] = {0, 0, 0};
    for (int k = 0; k < blockW; ++k)
        for (int ch = 0; ch < 3; ++ch) sum[ch] += acc[3 * k + ch];
    const std::int64_t n = static_cast<std::int64_t>(blockW) * blockH;
    values = {composedMean(sum[0], n), composedMean(sum[1], n), composedMean(sum[2], n)};
    return true;
}

} // namespace quillon
