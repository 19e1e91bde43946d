// Filter framework: layer selection, derived images, command sizes, preview arithmetic.
#include "core/error.h"
#include "core/parallel.h"
#include "core/settings_record.h"
#include "filters/filter.h"
#include "filters/filter_ops.h"
#include "filters/mask_filter.h"
#include "filters/noise.h"
#include "filters/unsharp.h"
#include "ops/geometry.h"
#include "ops/sampler.h"
#include "support/progress_recorder.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

using namespace quillon;
using namespace quillon::testkit;

TEST(LayerSelection, ButtonTextAndDialogRule) {
    EXPECT_STREQ(LayerSelection{}.buttonText(), "Ebenen: Alle");
    EXPECT_STREQ(LayerSelection{0b10}.buttonText(), "Ebenen: Benutzerdefiniert");
    EXPECT_EQ(LayerSelection::fromList({true, true, true}).mask, 0u) << "all selected";
    EXPECT_EQ(LayerSelection::fromList({false, false, false}).mask, 0u) << "none selected";
    EXPECT_EQ(LayerSelection::fromList({true, false, true}).mask, 0b101u);
    EXPECT_EQ(LayerSelection{0}.listSelection(3), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(LayerSelection{0b10}.listSelection(3), (std::vector<bool>{false, true, false}));
    std::vector<bool> all32(32, true);
    EXPECT_EQ(LayerSelection::fromList(all32).mask, 0u);
    all32[31] = false;
    EXPECT_EQ(LayerSelection::fromList(all32).mask, 0x7FFFFFFFu);
    for (int i = 0; i < 32; ++i) EXPECT_TRUE(layerSelected(0, i)) << "mask 0 selects every layer";
    EXPECT_TRUE(layerSelected(0x80000000u, 31));
    EXPECT_FALSE(layerSelected(0x80000000u, 30));
}

TEST(FilterCommands, MinimumSizes) {
    EXPECT_TRUE(filterCommandEnabled(FilterCommand::Highpass, 20, 20));
    EXPECT_FALSE(filterCommandEnabled(FilterCommand::Highpass, 19, 20));
    EXPECT_FALSE(filterCommandEnabled(FilterCommand::Lowpass, 20, 19));
    EXPECT_TRUE(filterCommandEnabled(FilterCommand::Special, 12, 12));
    EXPECT_FALSE(filterCommandEnabled(FilterCommand::Noise, 11, 12));
    EXPECT_FALSE(filterCommandEnabled(FilterCommand::Unsharp, 19, 19));
    EXPECT_TRUE(filterCommandEnabled(FilterCommand::LucyRichardson, 10, 10));
    EXPECT_STREQ(filterCommandInfo(FilterCommand::Unsharp).title, "Unscharf Maskiert");
    EXPECT_STREQ(filterCommandInfo(FilterCommand::LucyRichardson).title, "Lucy Richardson Deconv.");
}

// The dialogs' keys are keys of the settings record, and every command-line name finds its
// own entry and no other.
TEST(FilterCommands, SettingsKeysAndCommandLineNamesResolve) {
    std::set<std::string> known;
    for (const SettingsKeyInfo& k : settingsKeys()) known.insert(k.key);
    std::set<std::pair<std::string, std::string>> cliNames;
    for (const FilterCommandInfo& e : filterCommands()) {
        if (const FilterOperation* op = filterOperation(e.command)) {
            for (const char* key : op->settingsKeys()) EXPECT_TRUE(key && known.count(key));
        }
        if (!e.cliCommand) continue;
        const std::string name = e.cliName ? e.cliName : "";
        EXPECT_TRUE(cliNames.insert({e.cliCommand, name}).second) << e.cliCommand << " " << name;
        EXPECT_EQ(findCliCommand(e.cliCommand, name), e.command) << e.menuText;
    }
    EXPECT_EQ(findCliCommand("filter", "lucy"), std::nullopt);
    EXPECT_EQ(findCliCommand("rotate"), std::nullopt) << "rotate needs its direction";
    EXPECT_EQ(findCliCommand("crop"), FilterCommand::Crop);
}

TEST(DerivedImage, InheritsNamesPixelSizeMetadataAndOverlay) {
    auto src = make(40, 30, USERDEFINED_IMAGE, true, 3);
    src->setLayerName(1, "H-alpha");
    src->SetPixelSize(6.8f, 7.2f);
    ImageInfo* info = nullptr;
    ASSERT_EQ(src->BeginInfoWrite(info), 0);
    info->addComment("Bias abgezogen");
    info->exposureTime = 120.0f;
    src->EndInfoWrite();
    src->setSourcePath("/tmp/a.fts");
    Image dst;
    createImage(describeDerived(*src, 6, 4), dst);
    EXPECT_EQ(dst.width(), 34);
    EXPECT_EQ(dst.height(), 26);
    EXPECT_EQ(dst.layerCount(), 3);
    EXPECT_TRUE(dst.hasOverlay());
    EXPECT_EQ(dst.layerName(1), "H-alpha");
    EXPECT_EQ(dst.layerName(2), "Layer #03");
    EXPECT_FLOAT_EQ(dst.pixelHeight(), 7.2f);
    ASSERT_EQ(dst.info().comments.size(), 1u);
    EXPECT_FLOAT_EQ(dst.info().exposureTime, 120.0f);
    EXPECT_EQ(std::string(dst.info().sourcePath.data()), "") << "the source path is not inherited";
    // A renamed layer of a fixed type keeps its name too.
    auto rgb = make(20, 20, RGB_IMAGE);
    rgb->setLayerName(0, "Rot (Ha)");
    Image d2;
    createImage(describeDerived(*rgb), d2);
    EXPECT_EQ(d2.layerName(0), "Rot (Ha)");
    Image tooSmall;
    try {
        createImage(describeDerived(*rgb, 11, 0), tooSmall);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), msg::kInvalidSize);
    }
    Image noMemory;
    memory::ScopedLimit limit(memory::inUse() + 10);
    try {
        createImage(describeDerived(*rgb), noMemory);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Es steht nicht genügend Speicherplatz zur verfügung!");
    }
    EXPECT_FALSE(noMemory.hasSamples());
}

TEST(Preview, PieceFromPanelZoomAndScroll) {
    auto p = previewPiece(210, 135, 200.0f, 400, 100, 1000, 800);
    EXPECT_EQ(p.width, 105);
    EXPECT_EQ(p.height, 68) << "67.5 rounds up";
    EXPECT_EQ(p.left, 199) << "400 / 2 − 0.5, truncated";
    EXPECT_EQ(p.top, 49);
    p = previewPiece(210, 135, 100.0f, 5000, 5000, 300, 200);
    EXPECT_EQ(p.left, 90) << "pulled inside the image";
    EXPECT_EQ(p.top, 65);
}

TEST(Preview, ComputesTheFilteredPieceLikeTheWholeImage) {
    auto src = make(200, 150, RGB_IMAGE, true);
    fillNoise(*src, 11, 0, 20000);
    const ConvolutionFilter f = ConvolutionFilter::highpass(1, 2);
    const PreviewPiece piece{30, 20, 70, 50};
    FilterOutcome o;
    auto preview = computePreview(f, *src, piece, 0b011, &o);
    ASSERT_TRUE(preview);
    EXPECT_FALSE(preview->hasOverlay());
    EXPECT_EQ(preview->width(), 66);
    auto whole = applyFilter(f, *src, 0b011, Progress::none());
    ASSERT_EQ(preview->height(), 46);
    EXPECT_EQ(
        mismatch(*preview, [&](int p, int x, int y) { return whole->row(p, y + 20)[x + 30]; }), "");
    // A piece smaller than the kernel allows gives no picture.
    EXPECT_FALSE(computePreview(ConvolutionFilter::highpass(2, 0), *src, {0, 0, 15, 15}, 0));
}

TEST(Preview, ZoomClampingAndSteps) {
    EXPECT_FLOAT_EQ(clampPreviewZoom(10.0f, 1000, 1000, 210, 135), 50.0f);
    // 3000 → 1638.3 by the display limit, then 675 by the 20-pixel panel rule (135 / 20).
    EXPECT_FLOAT_EQ(clampPreviewZoom(3000.0f, 1000, 1000, 2000, 2000), 1638.3f);
    EXPECT_FLOAT_EQ(clampPreviewZoom(3000.0f, 1000, 1000, 210, 135), 675.0f);
    EXPECT_FLOAT_EQ(clampPreviewZoom(50.0f, 100, 100, 210, 135), 210.0f)
        << "image never smaller than the panel";
    std::vector<float> up;
    float f = 0.25f;
    for (int i = 0; i < 9; ++i) up.push_back(f = previewZoomIn(f));
    EXPECT_EQ(up, (std::vector<float>{1 / 3.0f, 0.5f, 1, 2, 3, 4, 5, 6, 8}));
    EXPECT_FLOAT_EQ(previewZoomIn(8.0f), 10.0f);
    std::vector<float> down;
    f = 10.0f;
    for (int i = 0; i < 8; ++i) down.push_back(f = previewZoomOut(f));
    EXPECT_EQ(down, (std::vector<float>{8, 6, 5, 4, 3, 2, 1, 0.5f}));
    EXPECT_FLOAT_EQ(previewZoomOut(0.5f), 1 / 3.0f);
    // Centre kept: scroll 100 with a panel of 200 at 100 % → 200 %: (100 + 100) × 2 − 100.
    EXPECT_EQ(scrollAfterZoom(100, 200, 100.0f, 200.0f, 5000), 300);
    EXPECT_EQ(scrollAfterZoom(100, 200, 100.0f, 50.0f, 5000), 0);
    EXPECT_EQ(scrollAfterZoom(100, 200, 100.0f, 400.0f, 500), 500);
    // An odd panel: zooming in and out again comes back to the same place.
    int pos = 433;
    for (auto [from, to] :
         {std::pair{100.0f, 200.0f}, {200.0f, 300.0f}, {300.0f, 200.0f}, {200.0f, 100.0f}})
        pos = scrollAfterZoom(pos, 135, from, to, 5000);
    EXPECT_EQ(pos, 433);
    int x = 0, y = 0;
    unpackWindowPoint(packWindowPoint(300, -20), x, y);
    EXPECT_EQ(x, 300);
    EXPECT_EQ(y, -20);
    EXPECT_EQ(packWindowPoint(1, 2), 0x00010002u);
}

namespace {
struct ProgressCase {
    const char* title;
    long long total;
    int updates; // with one thread: total / max(total / 100, minimum interval)
    std::function<void(Image&, Progress&)> run;
};
} // namespace

class ProgressTitles : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressTitles, TitleUnitsAndInterval) {
    const ProgressCase& c = GetParam();
    ScopedThreadCount one(1);
    auto img = make(200, 300);
    fillNoise(*img, 4, 0, 1000);
    testkit::ProgressRecorder sink;
    Progress progress(&sink);
    c.run(*img, progress);
    EXPECT_EQ(sink.title(), c.title);
    EXPECT_EQ(progress.total(), c.total);
    EXPECT_EQ(progress.done(), c.total);
    if (c.updates >= 0) {
        EXPECT_EQ(sink.updates(), c.updates);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Operations, ProgressTitles,
    ::testing::Values(
        ProgressCase{"Horiz. Spiegeln", 150, 7, [](Image& i, Progress& p) { mirror(i, true, p); }},
        ProgressCase{"Vert. Spiegeln", 300, 15, [](Image& i, Progress& p) { mirror(i, false, p); }},
        ProgressCase{"Kippen", 300, -1,
                     [](Image& i, Progress& p) { rotate(i, Rotation::Clockwise, p); }},
        ProgressCase{"Ausschnitt", 120, 6,
                     [](Image& i, Progress& p) {
                         auto d = make(100, 120);
                         crop(*d, 5, 5, i, p);
                     }},
        ProgressCase{"Neue Größe", 150, 15,
                     [](Image& i, Progress& p) {
                         auto d = make(100, 150);
                         resample(*d, i, {}, p);
                     }},
        ProgressCase{"Maskenfilter", 298, 14,
                     [](Image& i, Progress& p) {
                         auto d = make(198, 298);
                         maskFilter(*d, i, lowpassKernel(0, 0), 0, p);
                     }},
        ProgressCase{"Rauschfilter", 298, 14,
                     [](Image& i, Progress& p) {
                         auto d = make(198, 298);
                         noiseFilter(*d, i, noiseMask(2), NoiseKind::Median, 0, 0, p);
                     }},
        ProgressCase{"Kombinieren", 300, 10, [](Image& i, Progress& p) {
                         auto s = make(200, 300);
                         combine(i, *s, 0, 0, 1.0f, 1.0f, 0.0f, 0, p);
                     }}));
