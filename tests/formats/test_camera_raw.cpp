// Camera RAW import: the adapter's failures, the border, the halving rule and the progress.
#include "formats/bytes.h"
#include "formats/camera_raw.h"
#include "formats/open.h"

using namespace quillon;
using namespace qtest;

namespace {
std::vector<std::uint16_t> constantRgb(int w, int h, std::uint16_t v) {
    return std::vector<std::uint16_t>(static_cast<std::size_t>(w) * h * 3, v);
}
} // namespace

TEST(CameraRaw, UnknownFilesFailWithTheAdapterMessage) {
    TempDir dir;
    Bytes t;
    text(t, "Dies ist keine Rohdatei, nur Text.\n");
    Image img;
    EXPECT_EQ(errorOf([&] { openImage(dir.write("notes.xyz", t), img, Progress::none()); }),
              cameraRaw::kReadFailed);
    EXPECT_EQ(img.type(), NO_IMAGE);
    EXPECT_EQ(errorOf([&] { openImage(dir.file("missing.CR2"), img, Progress::none()); }),
              cameraRaw::kReadFailed);
    Image mem;
    EXPECT_EQ(errorOf([&] { readCameraRawMemory(t.data(), t.size(), mem, Progress::none()); }),
              cameraRaw::kReadFailed);
}

TEST(CameraRaw, VngBorderIsRemoved) {
    auto rgb = constantRgb(3088, 2056, 1000);
    Image img;
    importRawRgb(rgb.data(), 3088, 2056, 1, 1.0f, img, Progress::none());
    EXPECT_EQ(img.width(), 3086);
    EXPECT_EQ(img.height(), 2054);
    EXPECT_EQ(img.type(), RGB_IMAGE);
}

TEST(CameraRaw, HalvingAboveHalfAPercentElseClipping) {
    const int w = 100, h = 20;
    // 1 % of the values at 65535: halved, so the maximum is 32767 and nothing is clipped.
    auto a = constantRgb(w, h, 20000);
    for (int i = 0; i < w * h * 3 / 100; ++i)
        a[static_cast<std::size_t>(i) * 97 % a.size()] = 65535;
    Image halved;
    importRawRgb(a.data(), w, h, 0, 1.0f, halved, Progress::none());
    EXPECT_EQ(halved.row(0, 0)[0], 32767);
    EXPECT_EQ(halved.row(1, 10)[50], 10000);
    // 0.1 %: clipped at 32767, the rest unchanged.
    auto b = constantRgb(w, h, 20000);
    for (int i = 0; i < 6; ++i) b[static_cast<std::size_t>(i) * 3] = 65535;
    Image clipped;
    importRawRgb(b.data(), w, h, 0, 1.0f, clipped, Progress::none());
    EXPECT_EQ(clipped.row(0, 0)[0], 32767);
    EXPECT_EQ(clipped.row(1, 10)[50], 20000);
    // The border pixels take no part and the brightness scales before the rule.
    auto c = constantRgb(w, h, 100);
    c[0] = 65535;
    Image bright;
    importRawRgb(c.data(), w, h, 1, 2.5f, bright, Progress::none());
    EXPECT_EQ(bright.row(2, 0)[0], 250);
}

TEST(CameraRaw, TooSmallResultIsRefusedWithTheSizeMessage) {
    auto rgb = constantRgb(11, 11, 5);
    Image img;
    EXPECT_EQ(errorOf([&] { importRawRgb(rgb.data(), 11, 11, 1, 1.0f, img, Progress::none()); }),
              msg::kInvalidSize);
}
