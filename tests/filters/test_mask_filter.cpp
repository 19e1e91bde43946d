// maskFilter: known answers, layer and overlay rules, and every kernel against a plain loop.
#include "core/error.h"
#include "core/parallel.h"
#include "core/simd.h"
#include "filters/filter.h"
#include "filters/mask_filter.h"
#include "support/progress_recorder.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::testkit;

namespace {

// The engine written out as plainly as possible: every coefficient, zero or not, in row-major
// order, one float sum per pixel.
float referenceMaskFilter(Image& dst, const Image& src, const Kernel& k, LayerMask mask) {
    const int ow = src.width() - k.width + 1, oh = src.height() - k.height + 1;
    const int dx = (dst.width() - ow) / 2, dy = (dst.height() - oh) / 2;
    float sum = 0.0f;
    for (float c : k.coefficients) sum += c;
    const bool zero = sum > -0.0001f && sum < 0.0001f;
    const float div = zero ? 1.0f : sum;
    for (int i = 0; i < dst.planeCount(); ++i) {
        const bool isOverlay = i == dst.overlayPlane();
        if (isOverlay && !src.hasOverlay()) continue;
        const int sp = isOverlay ? src.overlayPlane() : i;
        for (int y = 0; y < oh; ++y)
            for (int x = 0; x < ow; ++x) {
                Sample v;
                if (isOverlay || !layerSelected(mask, i)) {
                    v = src.row(sp, y + (k.height - 1) / 2)[x + (k.width - 1) / 2];
                } else {
                    float acc = 0.0f;
                    for (int r = 0; r < k.height; ++r)
                        for (int c = 0; c < k.width; ++c)
                            acc += static_cast<float>(src.row(i, y + r)[x + c]) * k.at(r, c);
                    float q = acc / div;
                    v = q >= 32767.0f
                            ? 32767
                            : (q <= -32768.0f ? -32768 : static_cast<Sample>(static_cast<int>(q)));
                    if (q != q) v = 0;
                }
                dst.row(i, y + dy)[x + dx] = v;
            }
    }
    return zero ? 0.0f : sum;
}

std::vector<Kernel> everyKernel() {
    std::vector<Kernel> all;
    for (int size = 0; size < 3; ++size)
        for (int strength = 0; strength < 4; ++strength) {
            all.push_back(highpassKernel(size, strength));
            all.push_back(lowpassKernel(size, strength));
        }
    for (int i = 0; i < kSpecialKernelCount; ++i) all.push_back(specialKernel(i));
    for (int i = 0; i < kUnsharpMaskCount; ++i) all.push_back(unsharpBlurKernel(i));
    // Kernels whose float sums round: non-integer coefficients, odd shapes, the largest size.
    SplitMix64 rng{42};
    for (auto [w, h] : {std::pair{15, 15}, std::pair{11, 5}, std::pair{3, 15}, std::pair{4, 6}}) {
        std::vector<float> c(static_cast<std::size_t>(w * h));
        for (auto& v : c) v = static_cast<float>(rng.uniformReal(-3.0, 3.0));
        c[3] = 0.0f;
        c[5] = 1.0f;
        c[6] = -1.0f;
        all.emplace_back(w, h, c);
    }
    return all;
}

} // namespace

TEST(MaskFilter, OutputSizes) {
    auto src = make(100, 80, RGB_IMAGE);
    fillNoise(*src, 1, 0, 4000);
    auto seven = applyFilter(ConvolutionFilter::highpass(2, 0), *src, 0, Progress::none());
    EXPECT_EQ(seven->width(), 94);
    EXPECT_EQ(seven->height(), 74);
    auto three = applyFilter(ConvolutionFilter::lowpass(0, 3), *src, 0, Progress::none());
    EXPECT_EQ(three->width(), 98);
    EXPECT_EQ(three->height(), 78);
    EXPECT_STREQ(ConvolutionFilter::highpass(0, 0).title(), "Hochpassfilter");
    EXPECT_STREQ(ConvolutionFilter::lowpass(0, 0).title(), "Tiefpassfilter");
    EXPECT_STREQ(ConvolutionFilter::special(0).title(), "Spezialfilter");
}

TEST(MaskFilter, BoxTruncatesTowardZero) {
    auto src = make(12, 12);
    fill(*src, [](int, int x, int y) { return (x < 3 && y < 3) ? 1 + x + 3 * y : 0; });
    auto dst = make(10, 10);
    const Kernel box = lowpassKernel(0, 3);
    EXPECT_EQ(maskFilter(*dst, *src, box, 0), 9.0f);
    EXPECT_EQ(dst->row(0, 0)[0], 5) << "45 / 9";
    // 44 / 9 = 4.89 → 4 and −44 / 9 → −4.
    fill(*src,
         [](int, int x, int y) { return x == 0 && y == 0 ? 44 : (x == 6 && y == 6 ? -44 : 0); });
    maskFilter(*dst, *src, box, 0);
    EXPECT_EQ(dst->row(0, 0)[0], 4);
    EXPECT_EQ(dst->row(0, 5)[5], -4);
}

TEST(MaskFilter, ConstantAreaAndClampingAtSteps) {
    auto src = make(20, 20);
    fill(*src, [](int, int x, int) { return x < 10 ? 1000 : 30000; });
    auto dst = make(18, 18);
    maskFilter(*dst, *src, highpassKernel(0, 3), 0); // strength 4: 10 in the centre, sum 2
    EXPECT_EQ(dst->row(0, 5)[3], 1000);
    EXPECT_EQ(dst->row(0, 5)[15], 30000);
    EXPECT_EQ(dst->row(0, 5)[8], -32768) << "dark side of the step";
    EXPECT_EQ(dst->row(0, 5)[9], 32767) << "bright side of the step";
}

TEST(MaskFilter, UnselectedLayersAndOverlayComeFromTheCentreRegion) {
    auto src = make(30, 25, RGB_IMAGE, true);
    fillNoise(*src, 7);
    auto dst = make(24, 19, RGB_IMAGE, true);
    maskFilter(*dst, *src, highpassKernel(2, 1), 0b010);
    const auto centre = [&](int p, int x, int y) { return src->row(p, y + 3)[x + 3]; };
    for (int p : {0, 2, 3}) EXPECT_EQ(mismatch(*dst, centre, p), "") << p;
    auto ref = make(24, 19, RGB_IMAGE, true);
    referenceMaskFilter(*ref, *src, highpassKernel(2, 1), 0b010);
    const auto refAt = [&](int p, int x, int y) { return ref->row(p, y)[x]; };
    EXPECT_EQ(mismatch(*dst, refAt, 1), "") << "the selected layer";
}

TEST(MaskFilter, ZeroSumKernelsReturnZeroAndCentreTheDisplay) {
    auto src = make(16, 16);
    fill(*src, constant(1234));
    for (int option = 0; option < kSpecialKernelCount; ++option) {
        auto dst = make(14, 14);
        EXPECT_EQ(maskFilter(*dst, *src, specialKernel(option), 0), 0.0f)
            << specialKernelLabel(option);
        EXPECT_EQ(mismatch(*dst, constant(0)), "");
    }
    FilterOutcome o;
    std::unique_ptr<Image> result;
    ASSERT_NO_THROW(result =
                        applyFilter(ConvolutionFilter::special(0), *src, 0, Progress::none(), &o));
    EXPECT_TRUE(result);
    EXPECT_TRUE(o.zeroSum);
    auto p = centredDisplayPoints({100, 0, -20}, {1100, 255, 31});
    EXPECT_EQ(p.black[0], -500);
    EXPECT_EQ(p.white[0], 500);
    EXPECT_EQ(p.black[1], -127);
    EXPECT_EQ(p.white[1], 128);
    EXPECT_EQ(p.black[2], -25);
    EXPECT_EQ(p.white[2], 26);
    auto full = centredDisplayPoints({-32768, 0, 0}, {32767, 0, 0});
    EXPECT_EQ(full.black[0], -32767);
    EXPECT_EQ(full.white[0], 32767) << "kept within the sample range";
}

TEST(MaskFilter, InvalidKernelOrDestinationWritesNothing) {
    auto src = make(20, 20);
    fillNoise(*src, 3);
    auto dst = make(15, 15);
    fill(*dst, constant(77));
    EXPECT_THROW(maskFilter(*dst, *src, Kernel(2, 3, std::vector<float>(6, 1.0f)), 0), Error);
    EXPECT_THROW(maskFilter(*dst, *src, Kernel(16, 3, std::vector<float>(48, 1.0f)), 0), Error);
    try {
        maskFilter(*dst, *src, lowpassKernel(0, 0), 0);
        ADD_FAILURE() << "needs 18 × 18";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), msg::kFilterNotApplicable);
    }
    EXPECT_EQ(mismatch(*dst, constant(77)), "");
    // A larger destination receives the result centred.
    auto big = make(20, 20);
    EXPECT_EQ(maskFilter(*big, *src, lowpassKernel(1, 0), 0), 35.0f);
    auto ref = make(20, 20);
    referenceMaskFilter(*ref, *src, lowpassKernel(1, 0), 0);
    EXPECT_EQ(firstDifference(*big, *ref), "");
}

TEST(MaskFilter, KernelRecordHoldsLargeKernels) {
    EXPECT_EQ(unsharpBlurKernel(5).width, 9);
    EXPECT_EQ(unsharpBlurKernel(5).coefficients.size(), 81u);
    EXPECT_EQ(unsharpBlurKernel(6).sum(), 144.0f);
    Kernel k(15, 15, std::vector<float>(225, 1.0f));
    auto src = make(30, 30);
    fill(*src, constant(10));
    auto dst = make(16, 16);
    EXPECT_EQ(maskFilter(*dst, *src, k, 0), 225.0f);
    EXPECT_EQ(dst->row(0, 15)[15], 10);
}

TEST(MaskFilter, ProgressTitleAndUnits) {
    testkit::ProgressRecorder rec;
    Progress progress(&rec);
    auto src = make(30, 30, RGB_IMAGE, true);
    auto dst = make(28, 28, RGB_IMAGE, true);
    maskFilter(*dst, *src, lowpassKernel(0, 0), 1, progress);
    EXPECT_EQ(rec.title(), "Maskenfilter");
    EXPECT_EQ(progress.total(), 28 * 4);
    EXPECT_EQ(progress.done(), 28 * 4);
    EXPECT_EQ(Progress::format("Maskenfilter", 50), "   Maskenfilter  50% ");
}

// Every kernel on random images, each instruction-set path, one and several threads.
class MaskFilterMatchesPlainLoop : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(MaskFilterMatchesPlainLoop, EveryKernel) {
    const auto [path, threads] = GetParam();
    if (!simd::available(static_cast<simd::Level>(path))) {
        // This processor cannot run the path: it must refuse it and keep the others.
        EXPECT_GE(path, 2);
        EXPECT_FALSE(simd::force(path));
        return;
    }
    ASSERT_TRUE(simd::force(path));
    ScopedThreadCount tc(threads);
    int n = 0;
    for (const Kernel& k : everyKernel()) {
        // Widths around the vector block sizes, full-range and small-range samples.
        for (auto [w, h] : {std::pair{157, 41}, std::pair{20, 19}}) {
            auto src = make(w, h, RGB_IMAGE, true);
            ++n;
            fillNoise(*src, static_cast<unsigned>(n), n % 2 ? -32768 : -300, n % 2 ? 32767 : 300);
            const int ow = w - k.width + 1, oh = h - k.height + 1;
            if (ow < 10 || oh < 10) continue;
            auto fast = make(ow, oh, RGB_IMAGE, true);
            auto ref = make(ow, oh, RGB_IMAGE, true);
            const LayerMask mask = n % 3 == 0 ? 0b101 : 0;
            EXPECT_EQ(maskFilter(*fast, *src, k, mask), referenceMaskFilter(*ref, *src, k, mask));
            ASSERT_EQ(firstDifference(*fast, *ref), "")
                << k.width << "×" << k.height << " kernel " << n;
        }
    }
    simd::force(0);
}

INSTANTIATE_TEST_SUITE_P(PathsAndThreads, MaskFilterMatchesPlainLoop,
                         ::testing::Combine(::testing::Values(1, 2, 3),
                                            ::testing::Values(1, 2, 5)));
