// Lucy-Richardson deconvolution and PSF collection: the dialog's numbers, a double-precision
// reference of the iteration, the lopsided-star case, the minimum shift and the PSF mean.
#include "core/error.h"
#include "core/parallel.h"
#include "filters/deconvolve.h"
#include "filters/psf.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace quillon;
using namespace quillon::testkit;

namespace {

TEST(DeconvolveDialog, EstimateIterationsAndPreviewRule) {
    // seconds = L × iterations × PSF area × image area ÷ 10^6 ÷ 17, then the three formats.
    EXPECT_EQ(deconvolutionTimeText(deconvolutionSeconds(1, 10, 5, 5, 1000, 1000)), "14 sek.");
    EXPECT_EQ(deconvolutionTimeText(59.9), "59 sek.");
    EXPECT_EQ(deconvolutionTimeText(60.0), "1 min.");
    EXPECT_EQ(deconvolutionTimeText(3599.0), "59 min.");
    EXPECT_EQ(deconvolutionTimeText(deconvolutionSeconds(3, 1000, 39, 39, 4000, 3000)),
              "894 std.!");
    // Typed counts are pulled into 1 … 1000; "-" at 1 and "+" at 1000 do nothing.
    EXPECT_EQ(clampIterations(0), 1);
    EXPECT_EQ(clampIterations(5000), 1000);
    EXPECT_EQ(iterationsMinus(1), 1);
    EXPECT_EQ(iterationsPlus(1000), 1000);
    EXPECT_EQ(iterationsPlus(7), 8);
    EXPECT_EQ(iterationsMinus(7), 6);
    EXPECT_TRUE(previewFollows(3, 20, 7, 7));  // 2940
    EXPECT_FALSE(previewFollows(3, 21, 7, 7)); // 3087
    EXPECT_EQ(normalisePsfSide(8), 9);
    EXPECT_EQ(normalisePsfSide(1), 3);
    EXPECT_EQ(normalisePsfSide(60), 39);
}

// The iteration written out in double precision: correlate with the edge rescaling, step a
// with the turned kernel, step c with the kernel itself.
std::vector<double> correlateRef(const std::vector<double>& a, int w, int h,
                                 const std::vector<double>& k, int kw, int kh) {
    std::vector<double> out(a.size());
    double total = 0;
    for (double v : k) total += v;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double acc = 0, outside = 0;
            for (int r = 0; r < kh; ++r)
                for (int c = 0; c < kw; ++c) {
                    const int sy = y - kh / 2 + r, sx = x - kw / 2 + c;
                    const double kc = k[static_cast<std::size_t>(r * kw + c)];
                    if (sx < 0 || sy < 0 || sx >= w || sy >= h)
                        outside += kc;
                    else
                        acc += a[static_cast<std::size_t>(sy * w + sx)] * kc;
                }
            out[static_cast<std::size_t>(y * w + x)] =
                outside != 0 ? acc * total / (total - outside) : acc;
        }
    return out;
}

std::vector<double> lucyRef(const std::vector<double>& o, int w, int h,
                            const std::vector<double>& k, int kw, int kh, int iterations) {
    const std::vector<double> turned(k.rbegin(), k.rend());
    std::vector<double> u = o;
    for (int it = 0; it < iterations; ++it) {
        std::vector<double> q = correlateRef(u, w, h, turned, kw, kh);
        for (std::size_t i = 0; i < q.size(); ++i) q[i] = o[i] / (q[i] == 0 ? 1 : q[i]);
        const std::vector<double> r = correlateRef(q, w, h, k, kw, kh);
        for (std::size_t i = 0; i < u.size(); ++i) u[i] *= r[i];
    }
    return u;
}

// A one-sided 7 × 7 kernel (a star with a tail to the lower right), normalised to 1.
std::vector<float> lopsidedKernel() {
    std::vector<float> k(49, 0.0f);
    k[3 * 7 + 3] = 0.40f;
    k[3 * 7 + 4] = 0.20f;
    k[4 * 7 + 4] = 0.15f;
    k[4 * 7 + 5] = 0.10f;
    k[5 * 7 + 5] = 0.08f;
    k[6 * 7 + 6] = 0.07f;
    return k;
}

TEST(Deconvolve, MatchesDoubleReferenceAtEveryLevelAndThreadCount) {
    const int w = 61, h = 37, kw = 5, kh = 7;
    std::vector<float> kernel(static_cast<std::size_t>(kw * kh));
    for (std::size_t i = 0; i < kernel.size(); ++i) kernel[i] = 0.01f + 0.03f * ((i * 7) % 11);
    std::vector<float> observed(static_cast<std::size_t>(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            observed[static_cast<std::size_t>(y * w + x)] = static_cast<float>(
                200 + ((x * 37 + y * 91) % 53) * 40 + (x == 30 && y == 18 ? 20000 : 0));
    const std::vector<double> ref = lucyRef({observed.begin(), observed.end()}, w, h,
                                            {kernel.begin(), kernel.end()}, kw, kh, 8);
    std::vector<float> first;
    forEachSimdLevel([&](int level) {
        for (int threads : {1, 3}) {
            ScopedThreadCount tc(threads);
            std::vector<float> u(observed.size());
            richardsonLucy(observed.data(), u.data(), w, h, kernel.data(), kw, kh, 8);
            double worst = 0;
            for (std::size_t i = 0; i < u.size(); ++i)
                worst = std::max(worst, std::abs(u[i] - ref[i]) / std::abs(ref[i]));
            EXPECT_LT(worst, 1e-4) << "level " << level << ", " << threads << " threads";
            if (first.empty())
                first = u;
            else
                EXPECT_EQ(u, first) << "level " << level << ", " << threads << " threads";
        }
    });
}

TEST(Deconvolve, ConstantImageStaysConstantToItsEdges) {
    const int w = 40, h = 30;
    const std::vector<float> kernel = lopsidedKernel();
    std::vector<float> observed(static_cast<std::size_t>(w * h), 3000.0f), u(observed.size());
    richardsonLucy(observed.data(), u.data(), w, h, kernel.data(), 7, 7, 100);
    for (float v : u) ASSERT_NEAR(v, 3000.0f, 3000.0f * 1e-5f);
}

// The mend of the kernel orientation: a point blurred by a lopsided star profile comes back
// into its pixel. With the two kernels the other way round the light spreads further instead.
TEST(Deconvolve, LopsidedStarIsSharpenedBackIntoItsPixel) {
    const int w = 48, h = 48, px = 20, py = 22;
    const float flux = 20000.0f, background = 100.0f;
    const std::vector<float> kernel = lopsidedKernel();
    auto src = make(w, h);
    fill(*src, constant(static_cast<int>(background)));
    // The star as the camera records it: the kernel laid over the point, cell (r, c) at the
    // offset (c - 3, r - 3), like the cut-out of a star.
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c)
            src->row(0, py - 3 + r)[px - 3 + c] = static_cast<Sample>(
                background + flux * kernel[static_cast<std::size_t>(r * 7 + c)]);
    src->psf()[0] = PsfKernel{7, 7, kernel};
    src->setPsfCount(1);
    auto dst = make(w, h);
    DeconvolveOptions o;
    o.iterations = 50;
    deconvolve(*dst, *src, o);
    const float inPixel = static_cast<float>(dst->row(0, py)[px]) - background;
    EXPECT_GT(inPixel / flux, 0.9f);
}

TEST(Deconvolve, MinimumShiftWithDeltaKernelReturnsTheSource) {
    auto src = make(30, 20, RGB_IMAGE, true);
    fill(*src, [](int p, int x, int y) {
        return p == 3 ? x * 3 + y : (x * 131 + y * 71 + p) % 900 - 200;
    });
    src->row(1, 3)[4] = -200; // the minimum of every layer is -200 (layer 0 and 2 reach it too)
    PsfKernel delta{5, 5, std::vector<float>(25, 0.0f)};
    delta.values[12] = 1.0f;
    for (int i = 0; i < 3; ++i) src->psf()[static_cast<std::size_t>(i)] = delta;
    src->setPsfCount(1);
    for (int iterations : {1, 9}) {
        auto dst = make(30, 20, RGB_IMAGE, true);
        DeconvolveOptions o;
        o.iterations = iterations;
        o.mask = 0b101; // layer 1 copied, overlay carried
        deconvolve(*dst, *src, o);
        EXPECT_EQ(firstDifference(*dst, *src), "") << iterations << " iterations";
    }
    // A layer without kernel is refused before anything is written.
    src->psf()[2] = {};
    auto dst = make(30, 20, RGB_IMAGE, true);
    EXPECT_THROW(deconvolve(*dst, *src, {}), Error);
}

TEST(Deconvolve, PublishedRunShowsEveryIterationAndKeepsThemOnCancel) {
    auto src = make(32, 32);
    fillStars(*src, {{15.3, 16.1, 30000}}, 1.6, 500);
    src->psf()[0] = PsfKernel{7, 7, lopsidedKernel()};
    src->setPsfCount(1);
    auto dst = make(32, 32);
    struct StopAfter3 : ProgressSink {
        int updates = 0;
        void update(const std::string&, int) override { ++updates; }
        bool cancelRequested() override { return updates >= 3; }
    } sink;
    Progress progress(&sink);
    int writes = 0;
    DeconvolveOptions o;
    o.iterations = 10;
    o.publish = [&](const std::function<void()>& write) {
        write();
        ++writes;
    };
    EXPECT_THROW(deconvolve(*dst, *src, o, progress), Cancelled);
    EXPECT_EQ(writes, 1 + 3); // the copy of the source, then three iterations
    // What was shown is three iterations' result.
    auto three = make(32, 32);
    o.iterations = 3;
    o.publish = {};
    deconvolve(*three, *src, o);
    EXPECT_EQ(firstDifference(*dst, *three), "");
}

// ---- PSF collection -------------------------------------------------------------------------

TEST(Psf, CutoutBoxAndRingBackground) {
    auto img = make(100, 80, RGB_IMAGE);
    fillStars(*img, {{40.0, 30.0, 40000}}, 1.5, 300, 0);
    fillStars(*img, {{40.0, 30.0, 20000}}, 1.5, 100, 1);
    fill(*img, constant(50), 2); // a flat layer: nothing brighter than its ring
    const ReferencePoint c = locatePsfStar(*img, 42, 29);
    EXPECT_NEAR(c.x, 40.0f, 0.1f);
    EXPECT_NEAR(c.y, 30.0f, 0.1f);
    const Image cut = psfCutout(*img, 40.0f, 30.0f);
    ASSERT_EQ(cut.width(), kPsfCutoutSize);
    EXPECT_EQ(cut.row(0, 20)[20], img->row(0, 30)[40]);
    EXPECT_EQ(cut.layerName(1), img->layerName(1));
    EXPECT_EQ(psfMaximaText(cut, 5, 5),
              "Maximalwerte im Rahmen: \r\n" + std::string(cut.layerName(0)) + ": " +
                  std::to_string(cut.row(0, 20)[20]) + ", " + std::string(cut.layerName(1)) + ": " +
                  std::to_string(cut.row(1, 20)[20]) + ", " + std::string(cut.layerName(2)) +
                  ": 50, \r\nAchtung: Nur Hinzufügen, wenn keine Sättigung!");
    const std::vector<float> psf = psfFromCutout(cut, 7, 5, 0);
    ASSERT_EQ(psf.size(), 35u);
    float sum = 0;
    for (float v : psf) sum += v;
    EXPECT_NEAR(sum, 1.0f, 1e-5f);
    EXPECT_GT(psf[2 * 7 + 3], psf[2 * 7 + 2]); // the peak in the centre cell
    // The flat layer: the sum is 0, so the star is refused as a whole and nothing changes.
    EXPECT_THROW(psfFromCutout(cut, 7, 5, 2), Error);
    EXPECT_THROW(addReferenceStar(*img, cut, 7, 5), Error);
    EXPECT_EQ(img->psfCount(), 0);
    // Near the edge the cut-out holds 0 where the image ends.
    const Image edge = psfCutout(*img, 3.0f, 3.0f);
    EXPECT_EQ(edge.row(0, 0)[0], 0);
}

TEST(Psf, ThreeStarsAverageAndClearingStartsANewSize) {
    auto img = make(120, 60);
    fillStars(*img, {{20.2, 30.4, 30000}, {60.7, 29.1, 15000}, {100.0, 31.5, 22000}}, 1.4, 200);
    std::vector<std::vector<float>> psfs;
    for (float x : {20.0f, 61.0f, 100.0f}) {
        const ReferencePoint c = locatePsfStar(*img, x, 30);
        const Image cut = psfCutout(*img, c.x, c.y);
        psfs.push_back(psfFromCutout(cut, 7, 7, 0));
        addReferenceStar(*img, cut, 7, 7);
    }
    ASSERT_EQ(img->psfCount(), 3);
    const PsfKernel& k = img->psf()[0];
    ASSERT_EQ(k.width, 7);
    for (std::size_t i = 0; i < 49; ++i)
        EXPECT_NEAR(k.values[i], (psfs[0][i] + psfs[1][i] + psfs[2][i]) / 3.0f, 1e-6f) << i;
    // "Bisherige PSF löschen", then a 5 × 9 star: a new kernel of the new size.
    img->setPsfCount(0);
    const Image cut = psfCutout(*img, 20.2f, 30.4f);
    addReferenceStar(*img, cut, 5, 9);
    EXPECT_EQ(img->psfCount(), 1);
    EXPECT_EQ(img->psf()[0].width, 5);
    EXPECT_EQ(img->psf()[0].height, 9);
    EXPECT_EQ(img->psf()[0].values, psfFromCutout(cut, 5, 9, 0));
    // The 256th star is refused.
    img->setPsfCount(255);
    EXPECT_THROW(addReferenceStar(*img, cut, 5, 9), Error);
    EXPECT_EQ(img->psfCount(), 255);
}

} // namespace
