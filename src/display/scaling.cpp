// Interactive display adjustments: point editing with kept ratios, the step buttons, black
// and white point from the image, the layer matrix helpers.
#include "display/scaling.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillon {

void editPoint(ImageRenderer& r, int channel, bool isBlack, int value) {
    const int ch = std::clamp(channel, 0, 2);
    const DisplayParams& p = r.params();
    long long black[3], white[3];
    double m[3];
    for (int q = 0; q < 3; ++q) {
        black[q] = p.blackPoint[static_cast<std::size_t>(q)];
        white[q] = p.whitePoint[static_cast<std::size_t>(q)];
        m[q] = (black[q] + white[q]) / 2.0;
    }
    (isBlack ? black : white)[ch] = std::clamp(value, kSampleMin, kSampleMax);
    if (p.keepRatio) {
        const auto& wt = p.channelWeight;
        int ref = ch;
        // Each round re-derives the other two channels from the reference; a channel pushed
        // outside the range is clamped and leads the next round. Ranges only shrink, so a
        // few rounds settle it; the bound only guards against float ping-pong.
        for (int round = 0; round < 16; ++round) {
            const double wi = wt[static_cast<std::size_t>(ref)];
            const double h = (white[ref] - black[ref]) / 2.0 * wi;
            const double s = ((white[ref] + black[ref]) / 2.0 - m[ref]) * wi;
            for (int k = 1; k <= 2; ++k) {
                int j = (ref + k) % 3;
                const double wj = wt[static_cast<std::size_t>(j)];
                m[j] += s / wj;
                black[j] = std::llround(m[j] - h / wj);
                white[j] = std::llround(m[j] + h / wj);
            }
            for (int q = 0; q < 3; ++q) m[q] = (black[q] + white[q]) / 2.0;
            int clamped = -1;
            for (int q = 0; q < 3 && clamped < 0; ++q) {
                if (black[q] < kSampleMin || black[q] > kSampleMax || white[q] < kSampleMin ||
                    white[q] > kSampleMax) {
                    black[q] = std::clamp<long long>(black[q], kSampleMin, kSampleMax);
                    white[q] = std::clamp<long long>(white[q], kSampleMin, kSampleMax);
                    clamped = q;
                }
            }
            if (clamped < 0) break;
            ref = clamped;
        }
    }
    Points b, w;
    for (std::size_t q = 0; q < 3; ++q) {
        b[q] = clampSample(black[q]);
        w[q] = clampSample(white[q]);
    }
    r.setPoints(&b, &w);
    r.rebuildLut();
}

bool applyScalingStep(ImageRenderer& r, ScalingStep step) {
    const DisplayParams& p = r.params();
    if (step == ScalingStep::GammaMinus || step == ScalingStep::GammaPlus) {
        float e = p.exponent;
        if (step == ScalingStep::GammaMinus) {
            if (!(e > 0.2f)) return false;
            e -= 0.05f;
        } else {
            if (!(e < 4.0f)) return false;
            e += 0.05f;
        }
        r.setPoints(nullptr, nullptr, e);
        r.rebuildLut();
        return true;
    }
    Points b, w;
    for (std::size_t c = 0; c < 3; ++c) {
        const int black = p.blackPoint[c], white = p.whitePoint[c];
        const bool brightness =
            step == ScalingStep::BrightnessMinus || step == ScalingStep::BrightnessPlus;
        const int d = (white - black) / (brightness ? 20 : 40);
        int nb = black, nw = white;
        switch (step) {
        case ScalingStep::BrightnessMinus: nb += d, nw += d; break;
        case ScalingStep::BrightnessPlus: nb -= d, nw -= d; break;
        case ScalingStep::ContrastMinus: nb -= d, nw += d; break;
        default: nb += d, nw -= d; break;
        }
        if (nb < kSampleMin || nb > kSampleMax || nw < kSampleMin || nw > kSampleMax) return false;
        b[c] = static_cast<std::int16_t>(nb);
        w[c] = static_cast<std::int16_t>(nw);
    }
    r.setPoints(&b, &w);
    r.rebuildLut();
    return true;
}

int setBlackAtPoint(ImageRenderer& r, double x, double y) {
    if (!(x == x) || !(y == y)) return 1;
    long long sum[3] = {0, 0, 0};
    long long count = 0;
    const Image& im = r.image();
    const int x0 = std::max(truncToInt(x - 6), 0), x1 = std::min(truncToInt(x + 6), im.width());
    const int y0 = std::max(truncToInt(y - 6), 0), y1 = std::min(truncToInt(y + 6), im.height());
    for (int py = y0; py < y1; ++py)
        for (int px = x0; px < x1; ++px) {
            double dx = px - x, dy = py - y;
            if (dx * dx / 25 + dy * dy / 25 > 1) continue;
            Composed v;
            if (!r.composition().composedAt(px, py, v)) continue;
            for (int c = 0; c < 3; ++c) sum[c] += v[static_cast<std::size_t>(c)];
            ++count;
        }
    if (count == 0) return 1;
    const DisplayParams& p = r.params();
    Points b, w = p.whitePoint;
    for (std::size_t c = 0; c < 3; ++c) {
        b[c] = clampSample(sum[c] / count);
        if (p.keepRatio)
            w[c] = clampSample(static_cast<long long>(b[c]) + (p.whitePoint[c] - p.blackPoint[c]));
    }
    if (p.keepRatio) r.balanceToWeights(b, w);
    r.setPoints(&b, &w);
    r.rebuildLut();
    return 0;
}

int setWhiteAtPoint(ImageRenderer& r, int x, int y) {
    Composed v;
    if (!r.composition().composedAt(x, y, v)) return 1;
    Points b = r.params().blackPoint, w;
    for (std::size_t c = 0; c < 3; ++c) w[c] = static_cast<std::int16_t>(v[c]);
    if (r.params().keepRatio) r.balanceToWeights(b, w);
    r.setPoints(&b, &w);
    r.rebuildLut();
    return 0;
}

void switchKeepRatio(ImageRenderer& r, bool on) {
    r.setKeepRatio(on);
    if (!on) return;
    Points b = r.params().blackPoint, w = r.params().whitePoint;
    r.balanceToWeights(b, w);
    r.setPoints(&b, &w);
    r.rebuildLut();
}

void normaliseLayerMatrix(std::vector<float>& matrix, int layerCount) {
    if (layerCount < 1 || matrix.size() != 3 * static_cast<std::size_t>(layerCount)) return;
    for (int c = 0; c < 3; ++c) {
        float* row = matrix.data() + static_cast<std::size_t>(c) * layerCount;
        float sum = 0;
        for (int j = 0; j < layerCount; ++j) sum += row[j];
        if (sum == 0.0f) sum = 1.0f;
        for (int j = 0; j < layerCount; ++j) row[j] /= sum;
    }
}

std::string matrixCellText(float coefficient) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", static_cast<double>(coefficient));
    return buf;
}

std::string layerNumberText(int layerNumber) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%2i", layerNumber);
    return buf;
}

} // namespace quillon
