// Settings record: key table, defaults, the stored-0 rule, packed points and position check.
#include "core/error.h"
#include "core/new_document.h"
#include "core/settings_record.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <set>

using namespace quillon;

TEST(SettingsRecord, EmptyStoreGivesTheDefaultsAndOpensTheSixToolWindows) {
    MemorySettingsStore store;
    SettingsRecord r;
    r.noiseLimit = 5; // must be overwritten by load
    r.load(store);
    EXPECT_EQ(r.noiseLimit, 100);
    EXPECT_EQ(r.settingsRam, 64);
    EXPECT_EQ(r.newPictureSizeX, 800);
    EXPECT_EQ(r.newPictureSizeY, 600);
    EXPECT_EQ(r.newPictureType, 2);
    EXPECT_EQ(r.darkFlatFlatFkt, 100000000);
    EXPECT_EQ(r.setReferenceSearch[3], 12);
    EXPECT_EQ(r.setReferenceGravity[0], 4);
    EXPECT_EQ(r.toolBits, 0);
    EXPECT_TRUE(r.mainFolder.empty());
    for (int i = 0; i < kWindowSlotCount; ++i)
        EXPECT_EQ(r.windowPoint(static_cast<WindowSlot>(i)), kAbsentWindowPoint);

    unsigned added = r.checkPositions(1920, 1080);
    EXPECT_EQ(added, kAllToolBits);
    EXPECT_EQ(r.toolBits, static_cast<int>(kAllToolBits));
    EXPECT_EQ(r.windowPoint(WindowSlot::ZoomNavigator), (WindowPoint{1688, 95}));
    EXPECT_EQ(r.windowPoint(WindowSlot::Histogram), (WindowPoint{1, 300}));
    EXPECT_EQ(r.windowPoint(WindowSlot::Preview), (WindowPoint{1464, 73}));
    EXPECT_EQ(r.windowPoint(WindowSlot::SetReference), (WindowPoint{1553, 73}));
    EXPECT_EQ(r.windowPoint(WindowSlot::MiniWebBrowser), (WindowPoint{1688, 117}));
}

TEST(SettingsRecord, StoredZeroMeansDefaultAndOtherValuesRoundTrip) {
    MemorySettingsStore store;
    SettingsRecord a;
    a.noiseLimit = 0; // stored 0 comes back as the default 100
    a.newPictureSizeX = 1234;
    a.darkFlatAddVal = -7; // negative values are real values
    a.toolBits = 0x21;
    a.darkFlatDarkFile = "/tmp/dunkel äöü.fts";
    a.setWindowPoint(WindowSlot::Photometry, {300, 200});
    a.save(store);
    EXPECT_EQ(store.ints["m_Reg_nNoise_nLimit"], 0);

    SettingsRecord b;
    b.load(store);
    EXPECT_EQ(b.noiseLimit, 100);
    EXPECT_EQ(b.newPictureSizeX, 1234);
    EXPECT_EQ(b.darkFlatAddVal, -7);
    EXPECT_EQ(b.toolBits, 0x21);
    EXPECT_EQ(b.darkFlatDarkFile, "/tmp/dunkel äöü.fts");
    EXPECT_EQ(b.windowPoint(WindowSlot::Photometry), (WindowPoint{300, 200}));
}

// Switches turned off and first list entries are choices: they survive a restart, while a key
// that was never written still gives its default.
TEST(SettingsRecord, ZeroIsKeptWhereItIsAChoice) {
    MemorySettingsStore store;
    SettingsRecord a;
    a.graypicWeight = 0;
    a.graypicBlue = 0;
    a.darkFlatSwitches = 0;
    a.noiseType = 0;
    a.save(store);
    SettingsRecord b;
    b.load(store);
    EXPECT_EQ(b.graypicWeight, 0);
    EXPECT_EQ(b.graypicBlue, 0);
    EXPECT_EQ(b.darkFlatSwitches, 0);
    EXPECT_EQ(b.noiseType, 0);
    MemorySettingsStore empty;
    b.load(empty);
    EXPECT_EQ(b.graypicWeight, 1);
    EXPECT_EQ(b.darkFlatSwitches, 1);
}

TEST(SettingsRecord, SaveWritesEveryKeyOnceInTableOrder) {
    MemorySettingsStore store;
    SettingsRecord().save(store);
    const auto& keys = settingsKeys();
    ASSERT_EQ(store.writeOrder.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(store.writeOrder[i], keys[i].key);
    std::set<std::string> unique(store.writeOrder.begin(), store.writeOrder.end());
    EXPECT_EQ(unique.size(), keys.size());
    EXPECT_EQ(keys.front().key, std::string("m_Reg_strEXEPath"));
    EXPECT_EQ(keys.back().key, std::string("m_Reg_strLanguage"));
    EXPECT_EQ(keys.size(), 81u);
}

TEST(SettingsRecord, PackedPointsUseHighWordForLeftAndLowWordForTop) {
    EXPECT_EQ(packPoint({1, 2}), 0x00010002);
    EXPECT_EQ(unpackPoint(0x00010002), (WindowPoint{1, 2}));
    EXPECT_EQ(unpackPoint(packPoint({65000, 65000})), (WindowPoint{65000, 65000}));
    // A negative coordinate comes back large and therefore fails the position check.
    EXPECT_EQ(unpackPoint(packPoint({-20, 5})).left, 65516);
}

struct PositionCase {
    WindowPoint stored;
    int w, h;
    bool moved;
};
class PositionCheck : public ::testing::TestWithParam<PositionCase> {};

TEST_P(PositionCheck, MovesOffScreenPointsToTheStandardPosition) {
    const auto& c = GetParam();
    SettingsRecord r;
    for (int i = 0; i < kWindowSlotCount; ++i) r.setWindowPoint(static_cast<WindowSlot>(i), {5, 5});
    r.setWindowPoint(WindowSlot::Scaling, c.stored);
    r.setWindowPoint(WindowSlot::Preview, c.stored);
    unsigned added = r.checkPositions(c.w, c.h);
    if (c.moved) {
        EXPECT_EQ(r.windowPoint(WindowSlot::Scaling), (WindowPoint{c.w - 232, 73}));
        EXPECT_EQ(r.windowPoint(WindowSlot::Preview), (WindowPoint{c.w - 456, 73}));
        EXPECT_EQ(added, kToolScaling) << "the preview opens nothing";
    } else {
        EXPECT_EQ(r.windowPoint(WindowSlot::Scaling), c.stored);
        EXPECT_EQ(added, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Desktop, PositionCheck,
                         ::testing::Values(PositionCase{{5000, 100}, 1920, 1080, true},
                                           PositionCase{{1910, 100}, 1920, 1080, false},
                                           PositionCase{{1911, 100}, 1920, 1080, true},
                                           PositionCase{{100, 1070}, 1920, 1080, false},
                                           PositionCase{{100, 1071}, 1920, 1080, true},
                                           PositionCase{{3000, 100}, 3840, 1080, false}));

TEST(SettingsRecord, ArrangeWindowsOnA1280PixelDesktop) {
    SettingsRecord r;
    r.resetPositions(1280);
    EXPECT_EQ(r.windowPoint(WindowSlot::ZoomNavigator), (WindowPoint{1048, 95}));
    EXPECT_EQ(r.windowPoint(WindowSlot::ImageInfo), (WindowPoint{1, 73}));
}

TEST(SettingsRecord, RealValuesAreStoredTimesTenThousandTruncated) {
    EXPECT_EQ(toStoredReal(0.29999), 2999);
    EXPECT_EQ(toStoredReal(-1.23456), -12345);
    EXPECT_EQ(toStoredReal(1e9), 2147483647);
    EXPECT_DOUBLE_EQ(fromStoredReal(30000), 3.0);
}

TEST(NewImageDialog, MemoryAndLayerRules) {
    EXPECT_EQ(newImageMemoryKb(800, 600, newImageLayerCount(RGB_IMAGE, 1), false), 2812);
    EXPECT_EQ(newImageMemoryKb(800, 600, newImageLayerCount(RGB_IMAGE, 1), true), 3750);
    EXPECT_EQ(newImageLayerCount(USERDEFINED_IMAGE, 1), 2);
    EXPECT_EQ(newImageLayerCount(USERDEFINED_IMAGE, 40), 32);
    EXPECT_EQ(newImageLayerCount(BW_IMAGE, 7), 1);
    EXPECT_EQ(newImageLayerCount(LRGB_IMAGE, 7), 4);
    EXPECT_EQ(newImagePixelCount(14000, 14000), 196000000LL);
    EXPECT_EQ(newImageMemoryKb(14000, 14000, 32, true), 12632812LL) << "no 32-bit overflow";
}

TEST(NewDocument, DerivedParamsKeepNamesPixelSizeAndComments) {
    Image src;
    testkit::define(src, 20, 10, USERDEFINED_IMAGE, true, 3);
    src.setLayerName(1, "H-alpha");
    src.SetPixelSize(6.8f, 7.4f);
    ImageInfo* info = nullptr;
    ASSERT_EQ(src.BeginInfoWrite(info), 0);
    info->addComment("Testkommentar");
    src.EndInfoWrite();

    NewDocumentParams p;
    p.takeFrom(src);
    p.width = 12; // the crop changes the size only
    Image dst;
    createImage(p, dst);
    EXPECT_EQ(dst.width(), 12);
    EXPECT_EQ(dst.layerCount(), 3);
    EXPECT_TRUE(dst.hasOverlay());
    EXPECT_EQ(dst.layerName(1), "H-alpha");
    EXPECT_FLOAT_EQ(dst.pixelWidth(), 6.8f);
    ASSERT_EQ(dst.info().comments.size(), 1u);
    EXPECT_EQ(textOf(dst.info().comments[0]), "Testkommentar");
}

TEST(NewDocument, OutOfMemoryGivesTheNewImageMessageAndAnEmptyImage) {
    NewDocumentParams p;
    p.width = 4000;
    p.height = 4000;
    Image img;
    memory::ScopedLimit limit(1024 * 1024);
    try {
        createImage(p, img);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Es steht nicht genügend Speicherplatz zur verfügung!");
    }
    EXPECT_EQ(img.type(), NO_IMAGE);
}

TEST(NewDocument, PathForSavingKeepsFitsNamesOnly) {
    EXPECT_EQ(documentPathForSaving("/a/m42.FITS", "m42.FITS"), "/a/m42.FITS");
    EXPECT_EQ(documentPathForSaving("/a/m42.fit", "m42.fit"), "/a/m42.fit");
    EXPECT_EQ(documentPathForSaving("/a/m51.jpg", "m51.jpg"), "m51_jpg");
    EXPECT_EQ(documentPathForSaving("", "Bild1"), "Bild1");
}
