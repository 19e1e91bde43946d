// Debayering against a reference we can run: OpenCV's VNG (8-bit only there) on a star field
// with gradients and edges, for every pattern. Stated tolerance: at least 99.9 % of the
// compared samples equal, none off by more than 1.
#include "ops/debayer.h"
#include "support/test_images.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillon {
namespace {

// OpenCV names a pattern by the colours of the second and third pixel of the second row.
struct Pair {
    BayerPattern ours;
    int code;
};
constexpr Pair kPairs[] = {{BayerPattern::Rggb, cv::COLOR_BayerBG2BGR_VNG},
                           {BayerPattern::Bggr, cv::COLOR_BayerRG2BGR_VNG},
                           {BayerPattern::Grbg, cv::COLOR_BayerGB2BGR_VNG},
                           {BayerPattern::Gbrg, cv::COLOR_BayerGR2BGR_VNG}};

// 0 … 255 in every channel: a colour gradient, a few coloured stars and a bright bar with sharp
// edges, so that both smooth and edge pixels are compared.
int pictureValue(int c, int x, int y) {
    double v = 30 + 40.0 * x / 320 + 30.0 * y / 200 * (c == 1 ? 0.5 : 1.0) + 15 * c;
    for (const auto& s : {std::array<double, 4>{60, 50, 2.0, 0},
                          {200, 120, 1.5, 2},
                          {250, 40, 3.0, 1},
                          {120, 160, 1.2, 0}}) {
        const double d2 = (x - s[0]) * (x - s[0]) + (y - s[1]) * (y - s[1]);
        v += (c == static_cast<int>(s[3]) ? 200 : 120) * std::exp(-d2 / (2 * s[2] * s[2]));
    }
    if (x >= 150 && x < 170 && y >= 20 && y < 180) v += c == 2 ? 60 : 110;
    return std::clamp(static_cast<int>(v), 0, 255);
}

TEST(DebayerReference, VngAgreesWithOpenCvsVng) {
    constexpr int kW = 320, kH = 200, kBorder = 4;
    for (const Pair& pair : kPairs) {
        Image mosaic;
        testkit::makeImage(mosaic, kW, kH, BW_IMAGE, [&](int, int x, int y) {
            return pictureValue(bayerColour(pair.ours, x, y), x, y);
        });
        cv::Mat raw(kH, kW, CV_8UC1);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                raw.at<unsigned char>(y, x) = static_cast<unsigned char>(mosaic.row(0, y)[x]);
        cv::Mat bgr;
        cv::cvtColor(raw, bgr, pair.code);
        const Image ours = debayerImage(mosaic, pair.ours, DebayerMethod::Vng);
        // OpenCV writes the result of input row y + 2 into output row y (its rows start two
        // rows into the mosaic), so our row y is compared with its row y - 2; rows and columns
        // near the edges, which OpenCV copies from their neighbours, are left out.
        long long count = 0, equal = 0;
        int worst = 0;
        double sum = 0;
        for (int y = kBorder; y < kH - kBorder; ++y)
            for (int x = kBorder; x < kW - kBorder; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int a = std::clamp(static_cast<int>(ours.row(c, y)[x]), 0, 255);
                    const int b = bgr.at<cv::Vec3b>(y - 2, x)[2 - c];
                    const int d = std::abs(a - b);
                    ++count;
                    equal += d == 0;
                    worst = std::max(worst, d);
                    sum += d;
                }
        std::printf("%s: equal %.5f, mean difference %.5f, worst %d\n", bayerPatternName(pair.ours),
                    double(equal) / count, sum / count, worst);
        // The same rule; the two round a colour difference that lies within float rounding of
        // a half differently now and then (OpenCV multiplies by a rounded 1/(2n), we divide).
        EXPECT_GE(double(equal) / count, 0.999) << bayerPatternName(pair.ours);
        EXPECT_LE(worst, 1) << bayerPatternName(pair.ours);
    }
}

} // namespace
} // namespace quillon
