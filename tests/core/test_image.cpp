// Image record rules: sizes, layer counts and names, result codes, write flags, overlay,
// nearest-pixel access and out-of-memory behaviour.
#include "core/image.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {
Image allocated(int w, int h, std::uint16_t type, bool overlay = false, int user = 0) {
    Image img;
    EXPECT_GT(img.Define(w, h, type, overlay, user), 0u);
    EXPECT_EQ(img.AllocateSamples(true), 0);
    return img;
}
} // namespace

TEST(ImageDefine, SizeLimits) {
    Image img;
    EXPECT_EQ(img.Define(9, 10, RGB_IMAGE, false), 0u);
    EXPECT_EQ(img.Define(10, 9, RGB_IMAGE, false), 0u);
    EXPECT_EQ(img.Define(14001, 10, RGB_IMAGE, false), 0u);
    EXPECT_EQ(img.Define(10, 14001, RGB_IMAGE, false), 0u);
    EXPECT_EQ(img.type(), NO_IMAGE) << "a rejected Define changes nothing";
    EXPECT_EQ(img.Define(10, 10, RGB_IMAGE, false), 600u);
    EXPECT_EQ(img.Define(10, 10, RGB_IMAGE, true), 800u);
    EXPECT_EQ(img.Define(14000, 14000, BW_IMAGE, false), 14000ull * 14000ull * 2ull);
}

TEST(ImageDefine, UserDefinedLayerCounts) {
    Image img;
    EXPECT_EQ(img.Define(10, 10, USERDEFINED_IMAGE, false, 0), 0u);
    EXPECT_EQ(img.Define(10, 10, USERDEFINED_IMAGE, false, 33), 0u);
    EXPECT_EQ(img.Define(10, 10, USERDEFINED_IMAGE, false, 1), 200u);
    EXPECT_EQ(img.layerCount(), 1);
    EXPECT_EQ(img.Define(10, 10, USERDEFINED_IMAGE, false, 32), 6400u);
    EXPECT_EQ(img.layerCount(), 32);
    EXPECT_EQ(img.layerName(0), "Layer #01");
    EXPECT_EQ(img.layerName(9), "Layer #10");
    EXPECT_EQ(img.layerName(31), "Layer #32");
}

TEST(ImageDefine, UserNamesOverrideDefaultsAndAreCut) {
    std::vector<std::string> names{"Ha", std::string(80, 'x')};
    Image img;
    ASSERT_GT(img.Define(10, 10, USERDEFINED_IMAGE, true, 3, &names), 0u);
    EXPECT_EQ(img.layerName(0), "Ha");
    EXPECT_EQ(img.layerName(1), std::string(64, 'x'));
    EXPECT_EQ(img.layerName(2), "Layer #03") << "missing entry keeps the default";
    EXPECT_EQ(img.layerName(3), "Overlay");
}

TEST(ImageDefine, DefaultNamesPerType) {
    struct Case {
        std::uint16_t type;
        int layers;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {BW_IMAGE, 1, {"Weiss"}},
        {RGB_IMAGE, 3, {"Rot", "Gruen", "Blau"}},
        {LRGB_IMAGE, 4, {"Helligkeit", "Rot", "Gruen", "Blau"}},
        {CMY_IMAGE, 3, {"Tuerkis", "Magenta", "Gelb"}},
        {CMYK_IMAGE, 4, {"Schwarz", "Tuerkis", "Magenta", "Gelb"}},
    };
    for (const auto& c : cases) {
        Image img;
        ASSERT_GT(img.Define(10, 10, c.type, false), 0u);
        ASSERT_EQ(img.layerCount(), c.layers);
        for (int i = 0; i < c.layers; ++i)
            EXPECT_EQ(img.layerName(i), c.names[static_cast<size_t>(i)]);
    }
}

TEST(ImageTypeTable, NamesAndIdentifiers) {
    EXPECT_EQ(ImageTypeName(BW_IMAGE).name, "Graubild");
    EXPECT_EQ(ImageTypeName(BW_IMAGE).layerCount, 1);
    EXPECT_EQ(ImageTypeName(BW_IMAGE, 1).name, "Graubild") << "unnamed layer gives the type name";
    EXPECT_EQ(ImageTypeName(LRGB_IMAGE, 0).name, "Helligkeit");
    EXPECT_EQ(ImageTypeName(USERDEFINED_IMAGE).layerCount, 0);
    EXPECT_EQ(ImageTypeName(USERDEFINED_IMAGE).name, "Benutzer");
    EXPECT_EQ(ImageTypeName(7).name, "");
    EXPECT_EQ(ImageTypeName(7).layerCount, 0);
    EXPECT_EQ(ImageTypeIdentifier(CMYK_IMAGE), "CMYK_IMAGE");
    EXPECT_EQ(ImageTypeIdentifier(99), "");
    std::uint16_t t = 0;
    EXPECT_TRUE(ImageTypeFromIdentifier("LRGB_IMAGE", t));
    EXPECT_EQ(t, LRGB_IMAGE);
    EXPECT_FALSE(ImageTypeFromIdentifier("lrgb_image", t)) << "comparison is case-sensitive";
}

TEST(ImageAllocate, ResultCodes) {
    Image never;
    EXPECT_EQ(never.AllocateSamples(true), 100);
    EXPECT_EQ(never.AllocateCounters(0, 1), 100);

    Image img;
    ASSERT_EQ(img.Define(10, 10, RGB_IMAGE, false), 600u);
    ImageHeader h;
    EXPECT_EQ(img.GetHeader(h), 1) << "no samples yet";
    EXPECT_EQ(h.width, 0) << "nothing copied";
    ImageInfo info;
    EXPECT_EQ(img.GetInfo(info), 1);
    EXPECT_EQ(img.AllocateSamples(true), 0);
    EXPECT_EQ(img.AllocateSamples(true), 200);
    EXPECT_EQ(img.Define(20, 20, RGB_IMAGE, false), 0u) << "Define after AllocateSamples";
    EXPECT_EQ(img.width(), 10);
    ASSERT_EQ(img.GetHeader(h), 0);
    EXPECT_EQ(h.width, 10);
    EXPECT_EQ(h.layerCount, 3);
    EXPECT_EQ(h.planeCount(), 3);
    EXPECT_EQ(h.planes[2][9][9], 0);
}

TEST(ImageAllocate, CountersFillOneOrAllLayers) {
    Image img = allocated(10, 10, RGB_IMAGE, true);
    ASSERT_EQ(img.AllocateCounters(1, 7), 0);
    EXPECT_EQ(img.AllocateCounters(1, 7), 200);
    EXPECT_EQ(img.counterRow(0, 5)[5], 0);
    EXPECT_EQ(img.counterRow(1, 5)[5], 7);
    EXPECT_EQ(img.counterRow(2, 9)[9], 0);
    img.FreeCounters();
    EXPECT_FALSE(img.hasCounters());
    EXPECT_EQ(img.Define(10, 10, RGB_IMAGE, false), 0u) << "samples still exist";
    ASSERT_EQ(img.AllocateCounters(3, 9), 0) << "index >= layer count fills every plane";
    for (int l = 0; l < 3; ++l) EXPECT_EQ(img.counterRow(l, 0)[0], 9);
}

TEST(ImageAllocate, DefineRefusedWhileCountersExist) {
    Image img;
    ASSERT_GT(img.Define(10, 10, BW_IMAGE, false), 0u);
    ASSERT_EQ(img.AllocateCounters(0, 1), 0);
    EXPECT_EQ(img.Define(12, 12, BW_IMAGE, false), 0u);
}

TEST(ImageAllocate, OutOfMemoryReleasesEverything) {
    const std::size_t before = memory::inUse();
    Image img;
    ASSERT_EQ(img.Define(1000, 1000, RGB_IMAGE, true), 8000000u);
    {
        // Room for one plane and a bit, not four: the attempt fails part-way; the three
        // 2 MB counter planes do not fit either.
        memory::ScopedLimit limit(before + 2500000);
        EXPECT_EQ(img.AllocateSamples(true), 1);
        EXPECT_EQ(memory::inUse(), before) << "partial planes released";
        EXPECT_FALSE(img.hasSamples());
        ImageHeader h;
        EXPECT_EQ(img.GetHeader(h), 1);
        EXPECT_EQ(img.AllocateCounters(0, 1), 1) << "6 MB of counters do not fit either";
        EXPECT_EQ(memory::inUse(), before);
    }
    EXPECT_EQ(img.AllocateSamples(true), 0) << "works again with memory";
    EXPECT_GT(memory::inUse(), before);
    img.Clear();
    EXPECT_EQ(memory::inUse(), before);
}

TEST(ImageWriteFlags, SecondRequestIsBusy) {
    Image img = allocated(10, 10, BW_IMAGE);
    ImageHeader h;
    EXPECT_EQ(img.BeginSampleWrite(h), 0);
    EXPECT_EQ(img.BeginSampleWrite(h), 2);
    img.EndSampleWrite();
    EXPECT_EQ(img.BeginSampleWrite(h), 0);
    img.EndSampleWrite();

    Image empty;
    EXPECT_EQ(empty.BeginSampleWrite(h), 1) << "header result passed through";
    EXPECT_FALSE(empty.sampleWriteHeld());

    ImageInfo* info = nullptr;
    EXPECT_EQ(img.BeginInfoWrite(info), 0);
    ASSERT_NE(info, nullptr);
    ImageInfo* second = nullptr;
    EXPECT_EQ(img.BeginInfoWrite(second), 2);
    EXPECT_EQ(second, nullptr) << "first holder undisturbed";
    EXPECT_EQ(img.SetInfoFrom(nullptr), 2);
    img.EndInfoWrite();
    EXPECT_EQ(img.SetInfoFrom(nullptr), 0);
    EXPECT_FALSE(img.infoWriteHeld()) << "SetInfoFrom releases the flag";
}

TEST(ImageInfoCopy, SetInfoFromCopiesCommentsNotPath) {
    Image src = allocated(10, 10, BW_IMAGE);
    src.setSourcePath("/data/m42.fts");
    ImageInfo* info = nullptr;
    ASSERT_EQ(src.BeginInfoWrite(info), 0);
    info->exposureTime = 30;
    info->temperature = -10.5f;
    info->longitude = -11.5f;
    info->latitude = 48.1f;
    info->julianDate = 2453500.25;
    setText(info->date, "17/05/05");
    setText(info->time, "22:10:05");
    setText(info->siderealTime, "13:01:02");
    info->addComment("erste Zeile");
    info->addComment(std::string(80, 'k'));
    src.EndInfoWrite();

    Image dst = allocated(10, 10, BW_IMAGE);
    dst.setSourcePath("/tmp/other.fts");
    ASSERT_EQ(dst.SetInfoFrom(&src.info()), 0);
    const ImageInfo& d = dst.info();
    EXPECT_EQ(textOf(d.sourcePath), "/tmp/other.fts");
    EXPECT_FLOAT_EQ(d.exposureTime, 30);
    EXPECT_FLOAT_EQ(d.temperature, -10.5f);
    EXPECT_FLOAT_EQ(d.longitude, -11.5f);
    EXPECT_FLOAT_EQ(d.latitude, 48.1f);
    EXPECT_DOUBLE_EQ(d.julianDate, 2453500.25);
    EXPECT_EQ(textOf(d.date), "17/05/05");
    EXPECT_EQ(textOf(d.time), "22:10:05");
    EXPECT_EQ(textOf(d.siderealTime), "13:01:02");
    ASSERT_EQ(d.commentCount(), 2);
    EXPECT_EQ(textOf(d.comments[0]), "erste Zeile");
    EXPECT_EQ(textOf(d.comments[1]).size(), 71u);

    ASSERT_EQ(dst.SetInfoFrom(nullptr), 0);
    EXPECT_EQ(dst.info().commentCount(), 0);
    EXPECT_EQ(dst.info().exposureTime, 0);
    EXPECT_EQ(textOf(dst.info().date), "");
}

TEST(ImageInfoCopy, CommentLimit) {
    ImageInfo info;
    for (int i = 0; i < 255; ++i) ASSERT_TRUE(info.addComment("x"));
    EXPECT_FALSE(info.addComment("one too many"));
    EXPECT_EQ(info.commentCount(), 255);
}

TEST(ImageOverlay, AddedOnceAndRemoved) {
    Image img = allocated(10, 10, RGB_IMAGE);
    img.row(0, 3)[4] = 17;
    EXPECT_TRUE(img.SetOverlay(true));
    EXPECT_TRUE(img.SetOverlay(true));
    EXPECT_EQ(img.planeCount(), 4);
    EXPECT_EQ(img.layerName(3), "Overlay");
    EXPECT_EQ(img.row(3, 9)[9], 0) << "overlay is zero-filled";
    EXPECT_EQ(img.row(0, 3)[4], 17) << "colour layers untouched";
    ImageHeader h;
    ASSERT_EQ(img.GetHeader(h), 0);
    EXPECT_EQ(h.overlay, 1);
    EXPECT_EQ(h.planeCount(), 4);
    EXPECT_TRUE(img.SetOverlay(false));
    EXPECT_EQ(img.planeCount(), img.layerCount());
    EXPECT_EQ(img.layerName(3), "");
    EXPECT_TRUE(img.SetOverlay(false));
}

TEST(ImageOverlay, FailedAllocationLeavesImageUnchanged) {
    Image img = allocated(1000, 1000, BW_IMAGE);
    memory::ScopedLimit limit(memory::inUse() + 1000);
    EXPECT_FALSE(img.SetOverlay(true));
    EXPECT_FALSE(img.hasOverlay());
    EXPECT_EQ(img.planeCount(), 1);
}

TEST(ImageAccess, SampleAtRoundsAndRejectsTheHalfPixelEdge) {
    Image img = allocated(10, 12, RGB_IMAGE, true);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 10; ++x) {
            img.row(0, y)[x] = static_cast<Sample>(100 * y + x);
            img.row(3, y)[x] = static_cast<Sample>(-1 - x);
        }
    EXPECT_EQ(img.SampleAt(10 - 0.5, 0, 0), 0);
    EXPECT_EQ(img.SampleAt(10 - 0.6, 0, 0), 9);
    EXPECT_EQ(img.SampleAt(0, 12 - 0.5, 0), 0);
    EXPECT_EQ(img.SampleAt(0, 12 - 0.6, 0), 1100);
    EXPECT_EQ(img.SampleAt(2.49, 3.5, 0), 402);
    EXPECT_EQ(img.SampleAt(-0.1, 0, 0), 0);
    EXPECT_EQ(img.SampleAt(4, 0, 3), -5) << "index = layer count selects the overlay";
    EXPECT_EQ(img.SampleAt(4, 0, 0x80000000u), -5) << "top bit selects the overlay";
    img.SetOverlay(false);
    EXPECT_EQ(img.SampleAt(4, 1, 3), 104) << "no overlay: layer 0";
}

TEST(ImageAccess, PixelVectorBounds) {
    Image img = allocated(10, 10, LRGB_IMAGE, true);
    for (int l = 0; l < 5; ++l) img.row(l, 9)[9] = static_cast<Sample>(l + 1);
    Sample v[5] = {0, 0, 0, 0, 99};
    EXPECT_EQ(img.PixelVector(9, 9, v), 0);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[3], 4);
    EXPECT_EQ(v[4], 99) << "overlay excluded";
    EXPECT_EQ(img.PixelVector(10, 0, v), 1);
    EXPECT_EQ(img.PixelVector(0, 10, v), 1);
    EXPECT_EQ(img.PixelVector(-1, 0, v), 1);
    Image none;
    EXPECT_EQ(none.PixelVector(0, 0, v), 2);
}

TEST(ImageClear, ReturnsToEmptyButKeepsPsf) {
    Image img = allocated(10, 10, USERDEFINED_IMAGE, true, 3);
    img.psf()[0].width = 3;
    img.psf()[0].height = 3;
    img.psf()[0].values.assign(9, 1.0f);
    img.setPsfCount(2);
    img.AllocateCounters(0, 1);
    img.storedDisplay().hasPoints = true;
    const std::uint64_t generation = img.sampleGeneration();
    ImageHeader h;
    img.BeginSampleWrite(h);
    img.Clear();
    EXPECT_EQ(img.type(), NO_IMAGE);
    EXPECT_EQ(img.width(), 0);
    EXPECT_EQ(img.layerCount(), 0);
    EXPECT_FALSE(img.hasSamples());
    EXPECT_FALSE(img.hasCounters());
    EXPECT_FALSE(img.sampleWriteHeld());
    EXPECT_FALSE(img.storedDisplay().hasPoints);
    EXPECT_NE(img.sampleGeneration(), generation) << "counts of the old samples are stale";
    EXPECT_EQ(img.psf()[0].values.size(), 9u);
    EXPECT_EQ(img.Define(10, 10, BW_IMAGE, false), 200u) << "can be defined again";
}

TEST(ImageLayout, RowsAreIndividuallyAddressable) {
    Image img = allocated(13, 11, RGB_IMAGE);
    ImageHeader h;
    ASSERT_EQ(img.GetHeader(h), 0);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 13; ++x)
                h.planes[p][y][x] = static_cast<Sample>(p * 1000 + y * 13 + x);
    EXPECT_EQ(img.SampleAt(12, 10, 2), 2000 + 10 * 13 + 12);
    EXPECT_EQ(img.row(1, 4), h.planes[1][4]);
}
