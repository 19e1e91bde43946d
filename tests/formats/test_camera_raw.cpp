// Camera RAW import: the adapter's failures, the border, the halving rule and the progress.
#include "formats/bytes.h"
#include "formats/camera_raw.h"
#include "formats/dng_file.h"
#include "formats/open.h"
#include "support/progress_recorder.h"

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

namespace {
// Bright 10 × 10 block in the sensor's top-left corner, dark elsewhere.
unsigned cornerMark(int x, int y) {
    return x < 10 && y < 10 ? 40000u : 2000u;
}
} // namespace

TEST(CameraRaw, SyntheticDngDecodesWithVngBorderAndOrientation) {
    TempDir dir;
    testkit::ProgressRecorder rec;
    Progress progress(&rec);
    Image upright;
    openImage(dir.write("upright.dng", makeDng(64, 48, 1, cornerMark)), upright, progress);
    ASSERT_EQ(upright.type(), RGB_IMAGE);
    EXPECT_EQ(upright.width(), 62);
    EXPECT_EQ(upright.height(), 46);
    EXPECT_GT(upright.row(1, 3)[3], 4 * upright.row(1, 30)[40]) << "mark stays top-left";
    EXPECT_EQ(rec.titles,
              (std::vector<std::string>{"RAW-Datei analysieren", "Quillon Testkamera Datei",
                                        "Umwandlung in RGB", "Erzeuge Quillon-Dokument"}));
    EXPECT_EQ(comments(upright).size(), 0u);
    EXPECT_EQ(upright.pixelWidth(), 0.0f);

    // Orientation 6: the camera was turned clockwise; the picture is turned upright.
    Image turned;
    openImage(dir.write("turned.dng", makeDng(64, 48, 6, cornerMark)), turned, Progress::none());
    EXPECT_EQ(turned.width(), 46);
    EXPECT_EQ(turned.height(), 62);
    EXPECT_GT(turned.row(1, 3)[turned.width() - 4], 4 * turned.row(1, 3)[3])
        << "top-left of the sensor ends top-right";
}

TEST(CameraRaw, DamagedDngFails) {
    TempDir dir;
    Bytes dng = makeDng(64, 48, 1, cornerMark);
    dng.resize(dng.size() / 2);
    Image img;
    std::string e = errorOf([&] { openImage(dir.write("cut.dng", dng), img, Progress::none()); });
    // LibRaw fills a cut strip with zeros; it must either decode or fail with the message.
    if (!e.empty()) {
        EXPECT_EQ(e, cameraRaw::kReadFailed);
    }
    Bytes lying = makeDng(64, 48, 1, cornerMark);
    setLe32(lying, 8 + 2 + 12 * 1 + 8, 60000); // width
    setLe32(lying, 8 + 2 + 12 * 2 + 8, 60000); // height
    Image big;
    EXPECT_FALSE(
        errorOf([&] { openImage(dir.write("big.dng", lying), big, Progress::none()); }).empty());
    EXPECT_EQ(big.type(), NO_IMAGE);
}
