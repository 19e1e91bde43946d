// The undo record and history: each kind of change goes back and forth bit for bit, only what
// is needed is kept, the shared limit drops the oldest step, and undo without memory.
#include "core/memory.h"
#include "filters/psf.h"
#include "ops/calibration.h"
#include "ops/geometry.h"
#include "ops/undo_history.h"
#include "support/test_images.h"
#include "support/whole_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <optional>

namespace quillon {
namespace {

using testkit::wholeImageDifference;

// An RGB image with an overlay, noise in every plane and metadata in every group.
Image richImage(int w = 48, int h = 40) {
    Image img;
    testkit::define(img, w, h, RGB_IMAGE, true);
    testkit::fillNoise(img, 7);
    testkit::giveMetadata(img);
    return img;
}

struct Change {
    const char* name;
    Reversal reversal;
    std::function<void(Image&)> apply;
    bool overlay = true; // whether the image has an overlay before the change
};

const Change kChanges[] = {
    {"mirror_rows", Reversal::MirrorHorizontal, [](Image& i) { mirror(i, true); }},
    {"mirror_columns", Reversal::MirrorVertical, [](Image& i) { mirror(i, false); }},
    {"turn_right", Reversal::TurnRight, [](Image& i) { rotate(i, Rotation::Clockwise); }},
    {"turn_left", Reversal::TurnLeft, [](Image& i) { rotate(i, Rotation::CounterClockwise); }},
    {"turn_half", Reversal::TurnHalf, [](Image& i) { rotate(i, Rotation::Half); }},
    {"remove_overlay", Reversal::None, [](Image& i) { i.SetOverlay(false); }},
    {"add_overlay", Reversal::None, [](Image& i) { i.SetOverlay(true); }, false},
    {"repair_row", Reversal::None, [](Image& i) { repairRow(i, 12, 3, 30, kAllLayers); }},
    {"repair_column", Reversal::None, [](Image& i) { repairColumn(i, 0, 5, 20, 1); }},
    {"stored_display_and_names", Reversal::None,
     [](Image& i) {
         i.storedDisplay().channelWeight = {0.5f, 1.0f, 2.0f};
         i.storedDisplay().lrgbBias = {9, 9, 9, 9};
         i.setLayerName(2, "Hα");
     }},
};

class UndoRoundTrip : public ::testing::TestWithParam<Change> {};

// Done, undone and redone: the image before and the result again, in everything it holds;
// with contribution counters a quarter turn is recorded by difference instead.
TEST_P(UndoRoundTrip, UndoGivesTheImageBackAndRedoTheResult) {
    const Change& c = GetParam();
    for (bool counters : {false, true}) {
        SCOPED_TRACE(counters ? "with counters" : "without counters");
        Image before = richImage();
        if (!c.overlay) before.SetOverlay(false);
        if (counters) {
            ASSERT_EQ(before.AllocateCounters(kMaxUserLayers, 0), 0);
            for (int l = 0; l < before.layerCount(); ++l) before.counterRow(l, 3)[l] = 17;
        }
        Image after = before.clone();
        c.apply(after);
        ASSERT_NE(wholeImageDifference(before, after), "") << "the change changed nothing";
        const UndoRecord r = UndoRecord::forChange(before, after, c.reversal);
        Image work = after.clone();
        r.undo(work);
        EXPECT_EQ(wholeImageDifference(work, before), "");
        r.redo(work);
        EXPECT_EQ(wholeImageDifference(work, after), "");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryChange, UndoRoundTrip, ::testing::ValuesIn(kChanges),
                         [](const ::testing::TestParamInfo<Change>& i) {
                             return std::string(i.param.name);
                         });

// A lopsided star (a companion right of and below it) collected into a 7 × 5 PSF: after a
// mirror or turn the kept kernel is the one the star gives on the moved image, collected at the
// moved position, and undo brings the kernel back.
TEST(UndoRecord, PsfKernelsMoveWithThePixels) {
    for (const Change& c : kChanges) {
        const std::optional<Movement> m = movementOf(c.reversal);
        if (!m) continue;
        SCOPED_TRACE(c.name);
        Image img = richImage(60, 50);
        testkit::fillStars(img, {{25, 20, 30000}, {28, 21, 9000}}, 1.2, 300);
        img.setPsfCount(0); // a new kernel of this star alone
        addReferenceStar(img, psfCutout(img, 25, 20), 7, 5);
        const Image before = img.clone();
        c.apply(img);
        const PixelPoint at = movePoint(*m, 25, 20, 60, 50);
        const PsfKernel k = img.psf()[0];
        const std::vector<float> fresh =
            psfFromCutout(psfCutout(img, static_cast<float>(at.x), static_cast<float>(at.y)),
                          k.width, k.height, 0);
        const bool quarter = *m == Movement::TurnRight || *m == Movement::TurnLeft;
        ASSERT_EQ(k.width, quarter ? 5 : 7);
        ASSERT_EQ(fresh.size(), k.values.size());
        for (std::size_t i = 0; i < fresh.size(); ++i) EXPECT_NEAR(k.values[i], fresh[i], 1e-6f);
        UndoRecord::forChange(before, img, c.reversal).undo(img);
        EXPECT_EQ(img.psf()[0].values, before.psf()[0].values);
        EXPECT_EQ(img.psf()[0].width, 7);
    }
}

TEST(UndoRecord, StoresOnlyWhatItNeeds) {
    const Image before = richImage(800, 600);
    const std::size_t plane = 800u * 600u * sizeof(Sample);
    Image after = before.clone();
    mirror(after, true);
    EXPECT_LT(UndoRecord::forChange(before, after, Reversal::MirrorHorizontal).bytes(), 1024u);
    // A repaired row of noise: about one row per layer, not the planes.
    Image repaired = before.clone();
    repairRow(repaired, 100, 0, 800, kAllLayers);
    EXPECT_LT(UndoRecord::between(before, repaired).bytes(), plane / 20);
    // An added overlay is a plane of zeros, which compresses to almost nothing.
    Image without = before.clone();
    without.SetOverlay(false);
    Image with = without.clone();
    with.SetOverlay(true);
    EXPECT_LT(UndoRecord::between(without, with).bytes(), plane / 20);
}

// Runs `n` row repairs moving down the image, one step each.
void repairSteps(UndoHistory& history, Image& img, int n, int firstRow = 1) {
    for (int k = 0; k < n; ++k) {
        Image next = img.clone();
        repairRow(next, firstRow + k, 0, next.width(), kAllLayers);
        UndoStep s;
        s.name = "Zeile reparieren";
        s.record = UndoRecord::forChange(img, next);
        history.push(std::move(s));
        img = std::move(next);
    }
}

TEST(UndoHistory, ANewStepAfterUndoingDropsTheStepsToRedo) {
    UndoBudget budget;
    UndoHistory history(budget);
    Image img = richImage();
    repairSteps(history, img, 3);
    history.undo(img);
    history.undo(img);
    history.markClean(); // saved after one step
    history.undo(img);
    repairSteps(history, img, 1, 30);
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.count(), 1u);
    // The saved state went with the dropped steps.
    history.undo(img);
    EXPECT_FALSE(history.isClean());
}

TEST(UndoHistory, TheSharedLimitDropsTheOldestStepOfAllDocuments) {
    UndoBudget budget;
    UndoHistory first(budget);
    UndoHistory second(budget);
    Image a = richImage(200, 200);
    Image b = richImage(200, 200);
    first.markClean();
    repairSteps(first, a, 2);
    repairSteps(second, b, 2);
    // Room for three of the four steps: the first document's first step goes, and with it
    // the way back to its saved state.
    budget.setLimit(budget.used() - 1);
    EXPECT_EQ(first.count(), 1u);
    EXPECT_EQ(second.count(), 2u);
    first.undo(a);
    EXPECT_FALSE(first.canUndo());
    EXPECT_FALSE(first.isClean());
    // A step larger than the whole limit is not kept, and the history is left empty.
    budget.setLimit(1);
    EXPECT_EQ(budget.used(), 0u);
    UndoStep big;
    big.record = UndoRecord::between(a, b);
    EXPECT_FALSE(second.push(std::move(big)));
    EXPECT_FALSE(second.canUndo() || second.canRedo());
}

TEST(UndoHistory, UndoWithoutMemoryLeavesImageAndHistoryAsTheyWere) {
    const Image before = richImage(300, 200);
    Image after = before.clone();
    testkit::fillNoise(after, 99);
    UndoBudget budget;
    UndoHistory history(budget);
    UndoStep s;
    s.record = UndoRecord::between(before, after);
    ASSERT_TRUE(history.push(std::move(s)));
    Image work = after.clone();
    {
        memory::ScopedLimit limit(memory::inUse() + 1024);
        EXPECT_THROW(history.undo(work), std::bad_alloc);
    }
    EXPECT_EQ(wholeImageDifference(work, after), "");
    history.undo(work);
    EXPECT_EQ(wholeImageDifference(work, before), "");
}

} // namespace
} // namespace quillon
