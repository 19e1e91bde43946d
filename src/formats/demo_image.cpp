// Synthetic star field: the sample image behind `quillon-cli demo` and the tests.
#include "formats/demo_image.h"

#include "core/error.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace quillon {

namespace {

// Deterministic random numbers (std::mt19937 is fully specified; the standard
// distributions are not, so they are built here).
class Random {
public:
    explicit Random(std::uint32_t seed) : gen_(seed) {}
    double uniform() { return static_cast<double>(gen_() >> 8) * (1.0 / 16777216.0); }
    double normal() {
        if (haveSpare_) {
            haveSpare_ = false;
            return spare_;
        }
        double u = std::max(uniform(), 1e-12), v = uniform();
        double r = std::sqrt(-2.0 * std::log(u));
        spare_ = r * std::sin(2.0 * M_PI * v);
        haveSpare_ = true;
        return r * std::cos(2.0 * M_PI * v);
    }

private:
    std::mt19937 gen_;
    double spare_ = 0;
    bool haveSpare_ = false;
};

// Colour of a star by a temperature-like index 0 (hot, blue-white) .. 1 (cool, orange-red).
void starColour(double index, double rgb[3]) {
    rgb[0] = 0.75 + 0.45 * index;
    rgb[1] = 0.9 + 0.05 * std::sin(index * M_PI);
    rgb[2] = 1.2 - 0.75 * index;
}

struct Field {
    int w, h;
    std::vector<double> v; // 3 planes of w × h, linear signal
    double& at(int c, int x, int y) { return v[(static_cast<std::size_t>(c) * h + y) * w + x]; }
};

void addSky(Field& f) {
    static constexpr double kLevel[3] = {1550, 1480, 1420};
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < f.h; ++y)
            for (int x = 0; x < f.w; ++x) // light pollution brightening towards the lower left
                f.at(c, x, y) =
                    kLevel[c] * (1.0 + 0.12 * (1.0 - x / double(f.w)) * (y / double(f.h)));
}

void addNebula(Field& f) {
    struct Blob {
        double x, y, sx, sy, amp;
    };
    static constexpr Blob kBlobs[] = {{560, 430, 170, 120, 700},
                                      {650, 470, 90, 70, 900},
                                      {500, 380, 60, 110, 500},
                                      {720, 360, 130, 50, 350}};
    static constexpr double kColour[3] = {1.0, 0.35, 0.55}; // hydrogen red with some oxygen
    for (int y = 0; y < f.h; ++y) {
        for (int x = 0; x < f.w; ++x) {
            double s = 0;
            for (const Blob& b : kBlobs) {
                double dx = (x - b.x) / b.sx, dy = (y - b.y) / b.sy;
                s += b.amp * std::exp(-0.5 * (dx * dx + dy * dy));
            }
            // Filaments: a slow interference pattern modulating the glow.
            double mod = 0.65 + 0.35 * std::sin(x * 0.031 + std::sin(y * 0.017) * 3.0) *
                                    std::cos(y * 0.023 - x * 0.011);
            s *= mod;
            for (int c = 0; c < 3; ++c) f.at(c, x, y) += s * kColour[c];
            // A teal core where the oxygen glows brighter.
            double dx = (x - 640) / 40.0, dy = (y - 455) / 30.0;
            double core = 450 * std::exp(-0.5 * (dx * dx + dy * dy));
            f.at(1, x, y) += core * 0.9;
            f.at(2, x, y) += core * 0.8;
        }
    }
}

void addStar(Field& f, double x0, double y0, double flux, double sigma, const double rgb[3]) {
    const int r = static_cast<int>(std::ceil(sigma * 5.0));
    const double norm = flux / (2.0 * M_PI * sigma * sigma);
    for (int y = std::max(0, int(y0) - r); y <= std::min(f.h - 1, int(y0) + r); ++y)
        for (int x = std::max(0, int(x0) - r); x <= std::min(f.w - 1, int(x0) + r); ++x) {
            double dx = x - x0, dy = y - y0;
            double g = norm * std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma));
            for (int c = 0; c < 3; ++c) f.at(c, x, y) += g * rgb[c];
        }
}

void addStars(Field& f, Random& rnd) {
    for (int i = 0; i < 900; ++i) {
        double x = rnd.uniform() * f.w, y = rnd.uniform() * f.h;
        // Many faint stars, few bright ones: flux from a steep power law.
        double flux = 2500.0 * std::pow(1.0 - rnd.uniform() * 0.9995, -1.25);
        double sigma = 1.25 + 0.35 * std::log10(flux / 2500.0) + 0.1 * rnd.uniform();
        double rgb[3];
        starColour(rnd.uniform(), rgb);
        addStar(f, x, y, flux, sigma, rgb);
    }
}

} // namespace

void makeDemoImage(Image& image, std::uint32_t seed) {
    Field f{kDemoWidth, kDemoHeight, std::vector<double>(3u * kDemoWidth * kDemoHeight)};
    Random rnd(seed);
    addSky(f);
    addNebula(f);
    addStars(f, rnd);

    if (image.Define(kDemoWidth, kDemoHeight, RGB_IMAGE, false) == 0 ||
        image.AllocateSamples(false) != 0)
        throw Error(msg::kOutOfMemory);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < f.h; ++y) {
            Sample* row = image.row(c, y);
            for (int x = 0; x < f.w; ++x) {
                double s = f.at(c, x, y);
                // Photon noise (gain 1.5 e-/ADU) and read noise of 12 ADU.
                double noisy = s + rnd.normal() * std::sqrt(s / 1.5 + 144.0);
                row[x] = toSample(std::round(noisy));
            }
        }
    // A few hot pixels, as every uncooled-enough chip has them.
    for (int i = 0; i < 14; ++i) {
        int x = static_cast<int>(rnd.uniform() * f.w), y = static_cast<int>(rnd.uniform() * f.h);
        int level = 9000 + static_cast<int>(rnd.uniform() * 23000);
        for (int c = 0; c < 3; ++c)
            if (i % 3 == 0 || c == i % 3) image.row(c, y)[x] = static_cast<Sample>(level);
    }

    image.SetPixelSize(6.8f, 6.8f);
    ImageInfo* info = nullptr;
    if (image.BeginInfoWrite(info) == 0) {
        info->exposureTime = 300.0f;
        info->temperature = -20.0f;
        info->longitude = -8.4f;
        info->latitude = 49.0f;
        setText(info->date, "08/12/26");
        setText(info->time, "21:34:10");
        setText(info->siderealTime, "04:12:55");
        info->julianDate = 2461383.399;
        info->comments.clear();
        info->addComment("Synthetisches Sternfeld mit Emissionsnebel, Quillon-Beispielbild");
        image.EndInfoWrite();
    }
    StoredDisplayParams& d = image.storedDisplay();
    d.clear();
    d.hasPoints = true;
    d.blackPoint = {1450, 1400, 1350};
    d.whitePoint = {4200, 4100, 4000};
    d.hasWeights = true;
    d.channelWeight = {1.0f, 1.0f, 1.0f};
    d.exponent = 0.8f;
}

} // namespace quillon
