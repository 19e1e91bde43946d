// Writes the deterministic star-field series of the stacking benchmark with its truth.
//
//   stack_data DIR [FRAMES [WIDTH [HEIGHT]]]        (defaults 20, 2048, 2048)
//
// DIR/lights/light_00001.fit ... are int16 exposures of one star field: Gaussian stars of many
// brightnesses on a sky with shot and read noise and a few cosmic-ray hits, each exposure
// shifted by a known sub-pixel offset along a dither path (within about ±30 px), three of them
// also rotated by a known small angle about a known centre. Every exposure carries the dark
// (DIR/masters/dark.fit: bias pattern and hot pixels, added) and the flat's vignetting
// (DIR/masters/flat.fit, multiplied in). DIR/truth.json holds the transforms, the star list of
// exposure 1 in its own pixel coordinates, the two reference stars and the check stars;
// DIR/ref_args.txt holds "--ref X1,Y1 --ref X2,Y2" for the stack command.
//
// Coordinates: x is the column, y the row as stored (row 0 first in the file), the centre of
// pixel (x, y) is at (x, y). A point p of exposure 1 lies in exposure k at
// c + R(angle_k) (p - c) + (dx_k, dy_k), R rotating from +x towards +y.
#include "core/image.h"
#include "core/parallel.h"
#include "core/progress.h"
#include "formats/fits_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

using namespace quillon;
namespace fs = std::filesystem;

namespace {

// splitmix64: a seedable stream that is the same on every platform and library.
struct Rng {
    std::uint64_t s;
    std::uint64_t next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; } // [0, 1)
    double gauss() { // Box-Muller, one value per call
        const double u = 1.0 - uniform(), v = uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * std::numbers::pi * v);
    }
};

struct Star {
    double x, y, peak;
};

struct Exposure {
    double dx, dy, angleDeg, sigma;
};

constexpr double kSky = 1000;      // sky level at the optical centre, ADU
constexpr double kReadNoise = 8;   // ADU rms
constexpr double kRefPeak = 15000; // the two reference stars
constexpr int kCosmics = 30;       // hits per exposure

double vignette(int x, int y, int w, int h) {
    const double u = 2.0 * x / w - 1, v = 2.0 * y / h - 1;
    return 1.0 - 0.25 * (u * u + v * v);
}

int darkAt(int x, int y) {
    return 400 + (x * 7 + y * 13) % 40 + ((x * 31 + y * 17) % 1499 == 0 ? 3000 : 0);
}

void writeImage(const fs::path& path, int w, int h, const std::vector<float>& values) {
    Image img;
    img.Define(w, h, BW_IMAGE, false);
    if (img.AllocateSamples(false) != 0) {
        std::fprintf(stderr, "out of memory\n");
        std::exit(1);
    }
    for (int y = 0; y < h; ++y) {
        Sample* r = img.row(0, y);
        const float* v = values.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x)
            r[x] = static_cast<Sample>(std::clamp(std::lround(v[x]), 0L, 32767L));
    }
    writeFits(img, path.string(), Progress::none());
}

// Adds a pixel-sampled Gaussian of the given peak and sigma centred at (sx, sy).
void addStar(std::vector<float>& img, int w, int h, double sx, double sy, double peak,
             double sigma) {
    const int r = static_cast<int>(std::ceil(6 * sigma));
    const int x0 = std::max(0, static_cast<int>(std::floor(sx)) - r);
    const int x1 = std::min(w - 1, static_cast<int>(std::floor(sx)) + r + 1);
    const int y0 = std::max(0, static_cast<int>(std::floor(sy)) - r);
    const int y1 = std::min(h - 1, static_cast<int>(std::floor(sy)) + r + 1);
    const double k = -0.5 / (sigma * sigma);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const double ddx = x - sx, ddy = y - sy;
            img[static_cast<std::size_t>(y) * w + x] +=
                static_cast<float>(peak * std::exp(k * (ddx * ddx + ddy * ddy)));
        }
}

bool isolated(const std::vector<Star>& stars, std::size_t i, double radius, double brightRadius) {
    for (std::size_t j = 0; j < stars.size(); ++j) {
        if (j == i) continue;
        const double d = std::hypot(stars[j].x - stars[i].x, stars[j].y - stars[i].y);
        if (d < radius || (d < brightRadius && stars[j].peak > 0.1 * stars[i].peak)) return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: stack_data DIR [FRAMES [WIDTH [HEIGHT]]]\n");
        return 2;
    }
    const fs::path dir = argv[1];
    const int frames = argc > 2 ? std::atoi(argv[2]) : 20;
    const int w = argc > 3 ? std::atoi(argv[3]) : 2048;
    const int h = argc > 4 ? std::atoi(argv[4]) : w;
    if (frames < 1 || w < 400 || h < 400 || w > kMaxImageSize || h > kMaxImageSize) {
        std::fprintf(stderr, "stack_data: at least 1 frame of 400 x 400\n");
        return 2;
    }
    fs::create_directories(dir / "lights");
    fs::create_directories(dir / "masters");
    const double cx = std::round(0.47 * w) + 0.5, cy = std::round(0.52 * h) + 0.25;

    // The field: two bright reference stars a few hundred pixels either side of the rotation
    // centre (so the largest rotation moves them by only a few pixels), then a few hundred
    // random stars over an area larger than the frame, none crowding the reference stars.
    Rng rng{0x5EED0001};
    std::vector<Star> stars = {{cx - 181.3, cy - 148.6, kRefPeak},
                               {cx + 203.7, cy + 166.2, kRefPeak}};
    const int count = std::max(50, static_cast<int>(400.0 * w * h / (2048.0 * 2048.0)));
    const double margin = 80;
    while (static_cast<int>(stars.size()) < count + 2) {
        Star s{-margin + rng.uniform() * (w + 2 * margin),
               -margin + rng.uniform() * (h + 2 * margin),
               150 * std::exp(std::pow(rng.uniform(), 3) * std::log(120.0))};
        if (std::hypot(s.x - stars[0].x, s.y - stars[0].y) < 40 ||
            std::hypot(s.x - stars[1].x, s.y - stars[1].y) < 40)
            continue;
        stars.push_back(s);
    }

    // Transforms: exposure 1 is the reference; the rest follow a dither path of steps of a few
    // pixels (so that seeds carried from the exposure before stay inside the search box) that
    // wanders about 30 px (less for short series, to keep the steps small), with a sub-pixel
    // jitter; three exposures are also rotated.
    std::vector<Exposure> exps(static_cast<std::size_t>(frames));
    const double ampX = std::min(28.0, 1.5 * (frames - 1)),
                 ampY = std::min(14.5, 0.8 * (frames - 1));
    const int rotated[3] = {std::max(2, (frames + 2) / 4), std::max(2, (frames * 11 + 10) / 20),
                            std::max(2, (frames * 17 + 10) / 20)};
    const double angles[3] = {0.3, -0.6, 1.0};
    for (int k = 0; k < frames; ++k) {
        Exposure& e = exps[static_cast<std::size_t>(k)];
        const double t = frames > 1 ? static_cast<double>(k) / (frames - 1) : 0;
        e.dx = k == 0 ? 0 : ampX * std::sin(std::numbers::pi * t) + (rng.uniform() - 0.5);
        e.dy = k == 0 ? 0 : -ampY * (1 - std::cos(std::numbers::pi * t)) + (rng.uniform() - 0.5);
        e.angleDeg = 0;
        for (int r = 0; r < 3; ++r)
            if (rotated[r] == k + 1 && k > 0) e.angleDeg = angles[r];
        e.sigma = 1.7 + 0.3 * rng.uniform();
    }

    std::vector<float> buf(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            buf[static_cast<std::size_t>(y) * w + x] = static_cast<float>(darkAt(x, y));
        }
    writeImage(dir / "masters" / "dark.fit", w, h, buf);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            buf[static_cast<std::size_t>(y) * w + x] =
                static_cast<float>(20000 * vignette(x, y, w, h));
    writeImage(dir / "masters" / "flat.fit", w, h, buf);

    double worstRefStep = 0;
    std::vector<std::pair<double, double>> lastRefs;
    for (int k = 0; k < frames; ++k) {
        const Exposure& e = exps[static_cast<std::size_t>(k)];
        const double a = e.angleDeg * std::numbers::pi / 180, ca = std::cos(a), sa = std::sin(a);
        auto place = [&](const Star& s) {
            const double px = s.x - cx, py = s.y - cy;
            return std::pair{cx + ca * px - sa * py + e.dx, cy + sa * px + ca * py + e.dy};
        };
        std::fill(buf.begin(), buf.end(), 0.0f);
        for (const Star& s : stars) {
            const auto [sx, sy] = place(s);
            addStar(buf, w, h, sx, sy, s.peak, e.sigma);
        }
        std::vector<std::pair<double, double>> refs = {place(stars[0]), place(stars[1])};
        if (!lastRefs.empty())
            for (int r = 0; r < 2; ++r)
                worstRefStep =
                    std::max(worstRefStep, std::hypot(refs[r].first - lastRefs[r].first,
                                                      refs[r].second - lastRefs[r].second));
        lastRefs = refs;
        // Sky, vignetting, noise and dark per row, each row with its own seed so the bytes do not
        // depend on the thread count.
        parallelRows(h, 16, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                Rng noise{0xC0FFEE00ull + static_cast<std::uint64_t>(k) * 1000003ull +
                          static_cast<std::uint64_t>(y) * 7919ull};
                float* row = buf.data() + static_cast<std::size_t>(y) * w;
                for (int x = 0; x < w; ++x) {
                    const double signal = vignette(x, y, w, h) * (kSky + row[x]);
                    const double sd = std::sqrt(signal + kReadNoise * kReadNoise);
                    row[x] = static_cast<float>(darkAt(x, y) + signal + sd * noise.gauss());
                }
            }
        });
        Rng hits{0xC05A1C00ull + static_cast<std::uint64_t>(k)};
        for (int c = 0; c < kCosmics; ++c) {
            const std::size_t at =
                static_cast<std::size_t>(hits.next() % static_cast<std::uint64_t>(w)) +
                static_cast<std::size_t>(hits.next() % static_cast<std::uint64_t>(h)) * w;
            buf[at] += static_cast<float>(4000 + 8000 * hits.uniform());
        }
        char name[32];
        std::snprintf(name, sizeof name, "light_%05d.fit", k + 1);
        writeImage(dir / "lights" / name, w, h, buf);
    }

    // Check stars for the accuracy measurement: in each cell of a 5 × 4 grid over the part of
    // exposure 1 that every exposure covers, the brightest isolated star that is bright enough
    // for a precise centroid and not a reference star.
    std::vector<std::size_t> checks;
    const double safe = 100;
    for (int gy = 0; gy < 4; ++gy)
        for (int gx = 0; gx < 5; ++gx) {
            const double x0 = safe + gx * (w - 2 * safe) / 5, x1 = x0 + (w - 2 * safe) / 5;
            const double y0 = safe + gy * (h - 2 * safe) / 4, y1 = y0 + (h - 2 * safe) / 4;
            std::size_t best = 0;
            for (std::size_t i = 2; i < stars.size(); ++i) {
                const Star& s = stars[i];
                if (s.x < x0 || s.x >= x1 || s.y < y0 || s.y >= y1 || s.peak < 600) continue;
                if (std::hypot(s.x - stars[0].x, s.y - stars[0].y) < 30 ||
                    std::hypot(s.x - stars[1].x, s.y - stars[1].y) < 30 ||
                    !isolated(stars, i, 12, 25))
                    continue;
                if (best == 0 || s.peak > stars[best].peak) best = i;
            }
            if (best != 0) checks.push_back(best);
        }

    FILE* f = std::fopen((dir / "truth.json").c_str(), "w");
    if (!f) {
        std::perror("truth.json");
        return 1;
    }
    std::fprintf(f, "{\n  \"width\": %d,\n  \"height\": %d,\n  \"frames\": %d,\n", w, h, frames);
    std::fprintf(f, "  \"centre\": [%.4f, %.4f],\n", cx, cy);
    std::fprintf(f, "  \"worst_reference_step\": %.3f,\n", worstRefStep);
    std::fprintf(f, "  \"exposures\": [\n");
    for (int k = 0; k < frames; ++k) {
        const Exposure& e = exps[static_cast<std::size_t>(k)];
        std::fprintf(f,
                     "    {\"file\": \"lights/light_%05d.fit\", \"dx\": %.6f, \"dy\": %.6f, "
                     "\"angle_deg\": %.4f, \"sigma\": %.4f}%s\n",
                     k + 1, e.dx, e.dy, e.angleDeg, e.sigma, k + 1 < frames ? "," : "");
    }
    std::fprintf(f, "  ],\n  \"reference_stars\": [[%.4f, %.4f], [%.4f, %.4f]],\n", stars[0].x,
                 stars[0].y, stars[1].x, stars[1].y);
    std::fprintf(f, "  \"check_stars\": [");
    for (std::size_t i = 0; i < checks.size(); ++i)
        std::fprintf(f, "%s[%.4f, %.4f]", i ? ", " : "", stars[checks[i]].x, stars[checks[i]].y);
    std::fprintf(f, "],\n  \"stars\": [\n");
    bool first = true;
    for (const Star& s : stars) {
        if (s.x < -0.5 || s.y < -0.5 || s.x > w - 0.5 || s.y > h - 0.5) continue;
        std::fprintf(f, "%s    [%.4f, %.4f, %.1f]", first ? "" : ",\n", s.x, s.y, s.peak);
        first = false;
    }
    std::fprintf(f, "\n  ]\n}\n");
    std::fclose(f);

    if (FILE* r = std::fopen((dir / "ref_args.txt").c_str(), "w")) {
        std::fprintf(r, "--ref %.2f,%.2f --ref %.2f,%.2f\n", stars[0].x, stars[0].y, stars[1].x,
                     stars[1].y);
        std::fclose(r);
    }
    std::printf("%d exposures of %d x %d, %zu stars, %zu check stars, worst reference step "
                "%.2f px, in %s\n",
                frames, w, h, stars.size(), checks.size(), worstRefStep, dir.c_str());
    return 0;
}
