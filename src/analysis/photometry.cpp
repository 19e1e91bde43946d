// Aperture photometry: membership rows of ellipse and ring, the sums of both passes, the
// statistics text, total, ratio, magnitude calibration and the error estimate.
#include "analysis/photometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace quillon {

namespace {
using PA = PhotometryArea;
constexpr ParamField<PA> kAreaFields[] = {
    paramField<&PA::x>({nullptr, OptionKind::Integer, 0, kPhotometryMaxPosition}),
    paramField<&PA::y>({nullptr, OptionKind::Integer, 0, kPhotometryMaxPosition}),
    paramField<&PA::ex>({nullptr, OptionKind::Integer, 1, kPhotometryMaxEllipse}),
    paramField<&PA::ey>({nullptr, OptionKind::Integer, 1, kPhotometryMaxEllipse}),
    paramField<&PA::rx>({nullptr, OptionKind::Integer, 1, kPhotometryMaxRing}),
    paramField<&PA::ry>({nullptr, OptionKind::Integer, 1, kPhotometryMaxRing}),
};
} // namespace

std::span<const ParamField<PhotometryArea>> photometryAreaFields() {
    return kAreaFields;
}
namespace {

// ln(100^0.2): one magnitude step.
const double kLnMagnitudeStep = std::log(std::pow(100.0, 0.2));

std::string format(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}
std::string format(const char* fmt, int v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

// Joins one item per layer and drops the last two characters of the list.
template <class Item>
std::string joined(int layers, Item item) {
    std::string s;
    for (int l = 0; l < layers; ++l) s += item(l);
    if (s.size() >= 2) s.resize(s.size() - 2);
    return s;
}

// Largest d >= 0 with (d, dy) in the ellipse of full axes w × h, or -1 when the row misses it.
int halfWidth(int dy, int w, int h) {
    if (!insideEllipse(0, dy, w, h)) return -1;
    int d = w / 2; // half the axis, rounded down: (d, 0) is inside
    while (!insideEllipse(d, dy, w, h)) --d;
    return d;
}

int truncated(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

// One row of the area: ellipse pixels [e0, e1), ring pixels [o0, e0) and [e1, o1), all
// clipped to the image.
struct Span {
    int y, o0, o1, e0, e1;
};

} // namespace

PhotometryArea keepInside(PhotometryArea a, int width, int height) {
    auto keep = [](int& pos, int& e, int& r, int size) {
        e = std::max(std::min(std::min(e, size - 2), kPhotometryMaxEllipse), 1);
        r = std::max(std::min(std::min(r, (size - e) / 2), (123 - e) / 2), 1);
        pos = std::min(std::max(pos, e / 2 + r), size - e / 2 - r - 1);
    };
    keep(a.x, a.ex, a.rx, width);
    keep(a.y, a.ey, a.ry, height);
    return a;
}

bool insideEllipse(int dx, int dy, int w, int h) {
    // dx² / (w/2)² + dy² / (h/2)² <= 1, multiplied out in integers.
    const std::int64_t x2 = static_cast<std::int64_t>(dx) * dx;
    const std::int64_t y2 = static_cast<std::int64_t>(dy) * dy;
    const std::int64_t w2 = static_cast<std::int64_t>(w) * w;
    const std::int64_t h2 = static_cast<std::int64_t>(h) * h;
    return 4 * x2 * h2 + 4 * y2 * w2 <= w2 * h2;
}

PhotometryResult measure(const Image& image, PhotometryArea area, const Composition* composition) {
    PhotometryResult r;
    if (!image.hasSamples()) return r;
    const int width = image.width(), height = image.height();
    area = keepInside(area, width, height);
    r.area = area;
    const int x = area.x, y = area.y;
    const int outerW = 2 * area.rx + area.ex, outerH = 2 * area.ry + area.ey;
    const double A = outerW / 2.0, B = outerH / 2.0;

    // The rows of truncate(y - B - 1) .. truncate(y + B + 1) - 1 that lie in the image; the
    // column range of the same rule holds every pixel with |dx| <= A, so clipping the spans
    // to the image is all that is left of it.
    std::vector<Span> spans;
    const int yFirst = std::max(static_cast<int>(y - B - 1), 0);
    const int yEnd = std::min(static_cast<int>(y + B + 1), height);
    const int xFirst = std::max(static_cast<int>(x - A - 1), 0);
    const int xEnd = std::min(static_cast<int>(x + A + 1), width);
    for (int py = yFirst; py < yEnd; ++py) {
        const int ho = halfWidth(py - y, outerW, outerH);
        if (ho < 0) continue;
        const int hi = halfWidth(py - y, area.ex, area.ey);
        Span s{py, std::max(x - ho, xFirst), std::min(x + ho + 1, xEnd), 0, 0};
        if (s.o0 >= s.o1) continue;
        if (hi >= 0) {
            s.e0 = std::clamp(x - hi, s.o0, s.o1);
            s.e1 = std::clamp(x + hi + 1, s.o0, s.o1);
        } else {
            s.e0 = s.e1 = s.o0;
        }
        r.ellipseCount += s.e1 - s.e0;
        r.ringCount += (s.o1 - s.o0) - (s.e1 - s.e0);
        spans.push_back(s);
    }
    const long F = r.ellipseCount, G = r.ringCount;
    if (F == 0 || G == 0) {
        r.ellipseCount = r.ringCount = 0;
        return r;
    }

    const int layers = image.layerCount();
    r.layers.resize(static_cast<std::size_t>(layers));
    for (int l = 0; l < layers; ++l) {
        LayerPhotometry& lp = r.layers[static_cast<std::size_t>(l)];
        std::int64_t ell = 0, ring = 0;
        int lo = 32767, hi = -32768;
        for (const Span& s : spans) {
            const Sample* row = image.row(l, s.y);
            for (int px = s.o0; px < s.e0; ++px) ring += row[px];
            for (int px = s.e0; px < s.e1; ++px) {
                const int v = row[px];
                ell += v;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            for (int px = s.e1; px < s.o1; ++px) ring += row[px];
        }
        lp.pixel = image.row(l, y)[x];
        lp.sum = static_cast<double>(ell);
        lp.ringSum = static_cast<double>(ring);
        lp.minimum = lo;
        lp.maximum = hi;
        lp.mean = lp.sum / static_cast<double>(F);
        lp.relSum =
            truncated(lp.sum - static_cast<double>(F) * (lp.ringSum / static_cast<double>(G)));
        // Second pass over the ellipse for the scatter around the mean.
        double sq = 0;
        for (const Span& s : spans) {
            const Sample* row = image.row(l, s.y);
            for (int px = s.e0; px < s.e1; ++px) {
                const double d = lp.mean - row[px];
                sq += d * d;
            }
        }
        lp.noise = std::sqrt(sq / static_cast<double>(F));
    }

    std::string& t = r.text;
    t = "\t   " + joined(layers, [&](int l) { return std::string(image.layerName(l)) + "  \t"; });
    auto line = [&](const char* head, const char* fmt, auto value) {
        t += head;
        t += joined(layers, [&](int l) {
            return format(fmt, value(r.layers[static_cast<std::size_t>(l)]));
        });
    };
    line("   \r\n   Pixelwert:\t(  ", "%i ,\t", [](const LayerPhotometry& p) { return p.pixel; });
    line("  )\r\n   Mittelwert:\t(  ", "%.1f ,\t", [](const LayerPhotometry& p) { return p.mean; });
    line("  )\r\n   Minimum:\t(  ", "%i ,\t", [](const LayerPhotometry& p) { return p.minimum; });
    line("  )\r\n   Maximum:\t(  ", "%i ,\t", [](const LayerPhotometry& p) { return p.maximum; });
    line("  )\r\n   Max-Min:\t(  ", "%i ,\t",
         [](const LayerPhotometry& p) { return p.maximum - p.minimum; });
    line("  )\r\n   Rauschen:\t(  ", "%.1f ,\t", [](const LayerPhotometry& p) { return p.noise; });
    line("  )\r\n   rel.Pixelsumme:\t(  ", "%i ,\t",
         [](const LayerPhotometry& p) { return p.relSum; });
    t += "  )";
    r.valid = true;
    if (!composition) return r;

    // Composed values of the display channels in integers. For the ring's scatter of the
    // per-pixel brightness v = Σ w[c]·value[c] the ring also sums every product of two
    // channels, from which Σv² follows without a floating sum per pixel (LRGB: v is L).
    const std::array<float, 3> w = composition->params().channelWeight;
    const bool lrgb = image.type() == LRGB_IMAGE;
    std::int64_t ellRgb[3] = {0, 0, 0}, ringRgb[3] = {0, 0, 0};
    std::int64_t prod[6] = {0, 0, 0, 0, 0, 0}; // 00 11 22 01 02 12
    std::int64_t lumSum = 0, lumSq = 0;
    std::vector<int> buf;
    // Local accumulators: sums kept in arrays on the stack stall on every store.
    auto addRing = [&](const int* c, int n) {
        std::int64_t r0 = 0, r1 = 0, r2 = 0, p0 = 0, p1 = 0, p2 = 0, p3 = 0, p4 = 0, p5 = 0;
        for (int i = 0; i < n; ++i, c += 3) {
            const std::int64_t a = c[0], b = c[1], d = c[2];
            r0 += a;
            r1 += b;
            r2 += d;
            p0 += a * a;
            p1 += b * b;
            p2 += d * d;
            p3 += a * b;
            p4 += a * d;
            p5 += b * d;
        }
        ringRgb[0] += r0;
        ringRgb[1] += r1;
        ringRgb[2] += r2;
        prod[0] += p0;
        prod[1] += p1;
        prod[2] += p2;
        prod[3] += p3;
        prod[4] += p4;
        prod[5] += p5;
    };
    for (const Span& s : spans) {
        buf.resize(3 * static_cast<std::size_t>(s.o1 - s.o0));
        composition->composeRow(s.y, s.o0, s.o1, buf.data());
        addRing(buf.data(), s.e0 - s.o0);
        addRing(buf.data() + 3 * (s.e1 - s.o0), s.o1 - s.e1);
        const int* c = buf.data() + 3 * (s.e0 - s.o0);
        std::int64_t e0 = 0, e1 = 0, e2 = 0;
        for (int i = 0; i < s.e1 - s.e0; ++i, c += 3) {
            e0 += c[0];
            e1 += c[1];
            e2 += c[2];
        }
        ellRgb[0] += e0;
        ellRgb[1] += e1;
        ellRgb[2] += e2;
        if (lrgb) {
            const Sample* lum = image.row(0, s.y);
            for (int px = s.o0; px < s.o1; ++px) {
                if (px == s.e0) px = s.e1;
                if (px >= s.o1) break;
                lumSum += lum[px];
                lumSq += static_cast<std::int64_t>(lum[px]) * lum[px];
            }
        }
    }
    double ringV = 0, ringV2 = 0;
    if (lrgb) {
        ringV = static_cast<double>(lumSum);
        ringV2 = static_cast<double>(lumSq);
    } else {
        const double w0 = w[0], w1 = w[1], w2 = w[2];
        ringV = w0 * ringRgb[0] + w1 * ringRgb[1] + w2 * ringRgb[2];
        ringV2 = w0 * w0 * prod[0] + w1 * w1 * prod[1] + w2 * w2 * prod[2] +
                 2 * (w0 * w1 * prod[3] + w0 * w2 * prod[4] + w1 * w2 * prod[5]);
    }
    double net[3];
    for (int k = 0; k < 3; ++k)
        net[k] = static_cast<double>(ellRgb[k]) -
                 static_cast<double>(F) * static_cast<double>(ringRgb[k]) / static_cast<double>(G);
    double shot = 0;
    if (lrgb) {
        const auto& rs = r.layers;
        r.total = rs[0].relSum;
        for (int c = 0; c < 3; ++c)
            r.ratio[static_cast<std::size_t>(c)] =
                static_cast<float>(rs[static_cast<std::size_t>(c) + 1].relSum) /
                static_cast<float>(rs[1].relSum) * w[static_cast<std::size_t>(c)] / w[0];
        shot = r.total;
    } else {
        std::int64_t total = 0;
        for (int k = 0; k < 3; ++k) total += truncated(net[k] * w[static_cast<std::size_t>(k)]);
        r.total = static_cast<int>(std::clamp<std::int64_t>(total, std::numeric_limits<int>::min(),
                                                            std::numeric_limits<int>::max()));
        for (int c = 0; c < 3; ++c)
            r.ratio[static_cast<std::size_t>(c)] =
                static_cast<float>(net[c] / net[0]) * w[static_cast<std::size_t>(c)] / w[0];
        if (image.type() == BW_IMAGE) {
            // Three channels of the same samples: the counts enter once per channel weight.
            shot = static_cast<double>(w[0] + w[1] + w[2]) * r.total;
        } else {
            for (int k = 0; k < 3; ++k)
                shot += static_cast<double>(w[static_cast<std::size_t>(k)]) *
                        w[static_cast<std::size_t>(k)] * net[k];
        }
    }
    r.hasTotal = true;
    if (G >= 2) {
        const double g = static_cast<double>(G), f = static_cast<double>(F);
        const double var = std::max(0.0, (ringV2 - ringV * ringV / g) / (g - 1));
        r.totalError = std::sqrt(std::max(0.0, shot) + f * var + f * f * var / g);
    }
    return r;
}

bool ratioShown(const std::array<float, 3>& ratio) {
    for (float v : ratio)
        if (!std::isfinite(v) || v < 0) return false;
    return true;
}

std::optional<double> magnitudeOf(double total, float coefficient) {
    if (!(coefficient > 0) || !(total >= 1)) return std::nullopt;
    const double mag = 10.0 - std::log(total / coefficient) / kLnMagnitudeStep;
    if (!(mag > -30 && mag < 99.9)) return std::nullopt;
    return mag;
}

std::optional<double> magnitudeError(double total, double totalError) {
    if (!(total >= 1) || !(totalError > 0) || !std::isfinite(totalError)) return std::nullopt;
    return totalError / total / kLnMagnitudeStep;
}

std::string magnitudeText(double total, float coefficient) {
    const std::optional<double> m = magnitudeOf(total, coefficient);
    return m ? format("%.2f", *m) : std::string("-----");
}

bool addReference(PhotometricCalibration& cal, int total, float presetMagnitude) {
    if (cal.referenceCount >= kMaxPhotometryReferences || total <= 0) return false;
    const double n = cal.referenceCount + 1.0;
    const double at10 = total / std::pow(std::pow(100.0, 0.2), 10.0 - presetMagnitude);
    cal.coefficient = static_cast<float>((n - 1) * cal.coefficient / n + at10 / n);
    cal.referenceCount = static_cast<std::uint8_t>(n);
    return true;
}

bool typeCoefficient(PhotometricCalibration& cal, double typed, double shown) {
    if (!(typed >= 0.001)) return false;
    const double q = shown / typed;
    if (q >= 0.999 && q <= 1.001) return false;
    cal.coefficient = static_cast<float>(typed);
    cal.referenceCount = 1;
    return true;
}

double magnitude10Brightness(const PhotometryReference& r) {
    return r.total / std::pow(std::pow(100.0, 0.2), 10.0 - r.magnitude);
}

PhotometricCalibration calibrationFrom(const std::vector<PhotometryReference>& refs) {
    PhotometricCalibration cal;
    for (const PhotometryReference& r : refs) addReference(cal, r.total, r.magnitude);
    return cal;
}

std::optional<double> referenceResidual(const PhotometryReference& r, float coefficient) {
    if (!(coefficient > 0) || r.total < 1) return std::nullopt;
    return r.magnitude -
           (10.0 - std::log(r.total / static_cast<double>(coefficient)) / kLnMagnitudeStep);
}

int magnifierZoom(const PhotometryArea& a, int width, int height) {
    int z = 10;
    while (z > 1 && ((a.ex + 2 * a.rx) * z > width || (a.ey + 2 * a.ry) * z > height)) --z;
    return z;
}

std::string photometryCsvHeader(const Image& image) {
    std::string h = "x,y,ex,ey,rx,ry,pixel_ellipse,pixel_ring";
    for (int l = 0; l < image.layerCount(); ++l) {
        std::string name(image.layerName(l));
        std::replace(name.begin(), name.end(), ',', ' ');
        std::replace(name.begin(), name.end(), '"', ' ');
        h += "," + name + "_mittel," + name + "_summe," + name + "_ringsumme," + name + "_relsumme";
    }
    return h + ",gesamt,mag,mag_fehler\n";
}

std::string photometryCsvRow(const PhotometryResult& r, float coefficient) {
    const PhotometryArea& a = r.area;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d,%d,%d,%ld,%ld", a.x, a.y, a.ex, a.ey, a.rx, a.ry,
                  r.ellipseCount, r.ringCount);
    std::string row = buf;
    for (const LayerPhotometry& l : r.layers) {
        std::snprintf(buf, sizeof buf, ",%.3f,%.0f,%.0f,%d", l.mean, l.sum, l.ringSum, l.relSum);
        row += buf;
    }
    row += ",";
    if (r.hasTotal) row += std::to_string(r.total);
    row += ",";
    const std::optional<double> mag = r.hasTotal ? magnitudeOf(r.total, coefficient) : std::nullopt;
    if (mag) row += format("%.4f", *mag);
    row += ",";
    const std::optional<double> err = mag ? magnitudeError(r.total, r.totalError) : std::nullopt;
    if (err) row += format("%.4f", *err);
    return row + "\n";
}

} // namespace quillon
