// FITS writer: the exact cards and their order, compatibility cards, data layout, round trips
// of every image type, and saving that never destroys the previous file.
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/memory.h"
#include "fits_test_util.h"
#include "formats/fits_format.h"
#include "formats/fits_reader.h"
#include "formats/fits_writer.h"
#include "support/progress_recorder.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <csignal>
#include <sys/resource.h>

using namespace quillon;
using fitstest::TempDir;

namespace {

void makeImage(Image& img, int w, int h, std::uint16_t type, bool overlay, int userLayers = 0) {
    testkit::define(img, w, h, type, overlay, userLayers);
    img.SetPixelSize(6.8f, 6.8f);
}

std::vector<std::string> cardsOf(const std::string& header) {
    std::vector<std::string> v;
    for (std::size_t i = 0; i < header.size(); i += 80) {
        std::string c = header.substr(i, 80);
        while (!c.empty() && c.back() == ' ') c.pop_back();
        v.push_back(c);
    }
    return v;
}

void setInfo(Image& img) {
    ImageInfo* info = nullptr;
    ASSERT_EQ(img.BeginInfoWrite(info), 0);
    setText(info->date, "12/03/24");
    setText(info->time, "22:10:05");
    setText(info->siderealTime, "05:01:02");
    info->julianDate = 2460382.42;
    info->exposureTime = 120.0f;
    info->temperature = -15.0f;
    info->longitude = 8.4f;
    info->latitude = 49.0f;
    info->addComment("Test");
    img.EndInfoWrite();
}

} // namespace

TEST(FitsWriter, GreyHeaderCardByCard) {
    Image img;
    makeImage(img, 1536, 20, BW_IMAGE, false);
    setInfo(img);
    DisplayParams dp;
    dp.blackPoint = {100, 0, 0};
    dp.whitePoint = {4000, 0, 0};
    const std::string header = fitsHeader(img, dp);
    ASSERT_EQ(header.size() % 2880, 0u);
    std::vector<std::string> expected = {
        "SIMPLE  =                    T",
        "BITPIX  =                   16",
        "NAXIS   =                    2",
        "NAXIS1  =                 1536",
        "NAXIS2  =                   20",
        "BZERO   =                    0",
        "BSCALE  =                    1",
        "DATE-OBS= '12/03/24'",
        "TIME-OBS= '22:10:05'",
        "STARTIME= '05:01:02'",
        "JULIAN  =           2460382.42",
        "EXPTIME =               120.00",
        "ABSTEMP =               -15.00",
        "PIXWIDTH=                 6.80",
        "PIXHEIGH=                 6.80",
        "LONGITUD=                 8.40",
        "LATITUDE=                49.00",
        "CIMGTYPE= BW_IMAGE",
        "COVERLAY= NO",
        "BLACKVAL=                  100",
        "WHITEVAL=                 4000",
        "EXPONENT=                 1.00",
        "COMMENT Test",
        "         / The folowing parameters provide the compatibility to prior versions:",
        "0000       00060000140000000400000001000000220000001f000000C0067D4980DE9B47",
        "0001       001C8D467A2B164A00000000102700000a000000000000000000000044000000",
        "0002       440000000000000000000000FF3FEC4600442C480200000000007A3E0000C83B",
        "0003       0000000000000000000000000000000079000000000000000000F04200000000",
        "0004       000070C100000000000000000000000000000000000000000000000000000000",
        "END",
    };
    std::vector<std::string> got = cardsOf(header);
    ASSERT_GE(got.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(got[i], expected[i]) << "card " << i + 1;
    for (std::size_t i = expected.size(); i < got.size(); ++i)
        EXPECT_EQ(got[i], "") << "blank padding";
    for (const char* c : {"0000", "0001", "0002", "0003", "0004"})
        for (std::size_t i = 0; i < got.size(); ++i)
            if (got[i].rfind(c, 0) == 0) {
                EXPECT_EQ(got[i].size(), 75u) << c;
            }
}

TEST(FitsWriter, PixelSizeCompatibilityIntegers) {
    // Divided by the smaller of the two largest powers of ten: 9 and 9.5 → 90 and 95.
    Image img;
    makeImage(img, 10, 10, BW_IMAGE, false);
    img.SetPixelSize(9.0f, 9.5f);
    auto cards = cardsOf(fitsHeader(img, DisplayParams{}));
    for (const auto& c : cards) {
        if (c.rfind("0001", 0) == 0) {
            EXPECT_EQ(c.substr(67), fits::hexLittleEndian(std::uint32_t{90}));
        }
        if (c.rfind("0002", 0) == 0) {
            EXPECT_EQ(c.substr(11, 8), fits::hexLittleEndian(std::uint32_t{95}));
        }
    }
}

TEST(FitsWriter, RgbOverlayAndCompatibilityCards) {
    Image img;
    makeImage(img, 10, 10, RGB_IMAGE, true);
    img.setLayerName(0, "Wasserstoff-alpha-mit-einem-sehr-langen-Namen");
    DisplayParams dp;
    dp.blackPoint = {-5, 6, 7};
    dp.whitePoint = {300, 400, 500};
    dp.channelWeight = {1.25f, 1.0f, 0.5f};
    auto cards = cardsOf(fitsHeader(img, dp));
    auto find = [&](const std::string& key) {
        for (const auto& c : cards)
            if (c.rfind(key, 0) == 0) return c;
        return std::string();
    };
    EXPECT_EQ(find("NAXIS   "), "NAXIS   =                    3");
    EXPECT_EQ(find("NAXIS3  "), "NAXIS3  =                    4");
    EXPECT_EQ(find("COVERLAY"), "COVERLAY= YES");
    EXPECT_EQ(find("WEIGHTR "), "WEIGHTR =                1.250");
    EXPECT_EQ(find("BLACKVR "), "BLACKVR =                   -5");
    EXPECT_EQ(find("PARAM01 "), "PARAM01 = Aufnahmeort: L:   0.00  B:    0.00");
    EXPECT_EQ(find("PARAM02 "), "PARAM02 = Pixelgr. (micrometer) x:   6.80  y:    6.80");
    EXPECT_EQ(find("PARAM04 "),
              "PARAM04 = F[2]:  1.00  Gruen   00 ff 00 Dunkel:      6   Hell:    400");
    // A long name is written whole and shifts the text; the card is cut at 80 columns.
    EXPECT_EQ(
        find("PARAM03 "),
        std::string(
            "PARAM03 = F[1]:  1.25  Wasserstoff-alpha-mit-einem-sehr-langen-Namen ff 00 00 Du"));
    EXPECT_EQ(find("0000"), "") << "grey compatibility cards only for grey images";
    EXPECT_EQ(find("LRGBBIAL"), "");
}

TEST(FitsWriter, ThirtyCardsFillOneBlockAndNonAsciiBecomesBlank) {
    Image cmy;
    makeImage(cmy, 10, 10, CMY_IMAGE, false);
    std::string header = fitsHeader(cmy, DisplayParams{});
    ASSERT_EQ(header.size(), 2880u);
    auto cards = cardsOf(header);
    EXPECT_EQ(cards[30], "END");
    for (int i = 31; i < 36; ++i) EXPECT_EQ(cards[static_cast<std::size_t>(i)], "");

    ImageInfo* info = nullptr;
    ASSERT_EQ(cmy.BeginInfoWrite(info), 0);
    info->addComment("Größe – M42\tok");
    cmy.EndInfoWrite();
    cards = cardsOf(fitsHeader(cmy, DisplayParams{}));
    EXPECT_EQ(cards[30], "COMMENT Gr  e   M42 ok") << "each character outside 32..127 is a blank";
    // The 71-character limit of a comment line counts characters, not bytes.
    ASSERT_EQ(cmy.BeginInfoWrite(info), 0);
    info->comments.clear();
    info->addComment(std::string(80, 'x').replace(0, 2, "\xc3\xa4"));
    cmy.EndInfoWrite();
    EXPECT_EQ(utf8Length(textOf(cmy.info().comments[0])), 71u);
    cards = cardsOf(fitsHeader(cmy, DisplayParams{}));
    EXPECT_EQ(cards[30], "COMMENT  " + std::string(70, 'x'));
}

TEST(FitsWriter, DataBigEndianAndPadded) {
    TempDir dir;
    Image img;
    makeImage(img, 10, 10, BW_IMAGE, true);
    img.row(0, 0)[0] = -1;
    img.row(0, 0)[1] = 256;
    img.row(1, 9)[9] = -32768;
    writeFits(img, dir.file("a.fts"), Progress::none());
    std::string bytes = testkit::readFile(dir.file("a.fts"));
    const std::size_t h = 2880;
    ASSERT_EQ(bytes.size(), 2 * 2880u) << "400 data bytes padded to a block";
    EXPECT_EQ(bytes.substr(h, 4), std::string("\xFF\xFF\x01\x00", 4));
    EXPECT_EQ(bytes.substr(h + 398, 2), std::string("\x80\x00", 2)) << "the overlay plane follows";
    EXPECT_EQ(bytes.substr(h + 400), std::string(2880 - 400, '\0'));
    EXPECT_NE(bytes.find("NAXIS3  =                    2"), std::string::npos);
}

// --- round trips ----------------------------------------------------------------------------

struct TripCase {
    std::uint16_t type;
    int userLayers;
    bool overlay;
};

class FitsRoundTrip : public ::testing::TestWithParam<TripCase> {};

TEST_P(FitsRoundTrip, EverythingComesBack) {
    const TripCase& c = GetParam();
    TempDir dir;
    Image img;
    makeImage(img, 37, 23, c.type, c.overlay, c.userLayers);
    fitstest::fillPattern(img);
    setInfo(img);
    ImageInfo* info = nullptr;
    ASSERT_EQ(img.BeginInfoWrite(info), 0);
    info->addComment("Blende f/5.6, Öffnung 200 mm");
    img.EndInfoWrite();
    if (c.type == USERDEFINED_IMAGE)
        for (int l = 0; l < img.layerCount(); ++l)
            img.setLayerName(l, "Filter " + std::to_string(l + 1) + " OIII");

    DisplayParams view;
    view.blackPoint = {-120, 30, 40};
    view.whitePoint = {9000, 8000, 7000};
    view.channelWeight = {1.125f, 0.5f, 2.0f};
    view.exponent = 0.75f;
    view.lrgbBias = {50, -3, 7, 12};
    if (c.type == USERDEFINED_IMAGE) {
        const int n = img.layerCount();
        view.layerMatrix.assign(static_cast<std::size_t>(3 * n), 0.0f);
        for (int i = 0; i < 3 * n; ++i)
            view.layerMatrix[static_cast<std::size_t>(i)] = 0.125f * (i % 7) - 0.25f;
    }
    writeFits(img, dir.file("t.fts"), Progress::none(), &view);

    Image back;
    readFits(dir.file("t.fts"), back, Progress::none());
    ASSERT_EQ(back.type(), c.type);
    ASSERT_EQ(back.layerCount(), img.layerCount());
    ASSERT_EQ(back.hasOverlay(), c.overlay);
    for (int p = 0; p < img.planeCount(); ++p)
        ASSERT_EQ(0, std::memcmp(img.planeData(p), back.planeData(p), 37 * 23 * 2))
            << "plane " << p;
    for (int l = 0; l < img.planeCount(); ++l) EXPECT_EQ(back.layerName(l), img.layerName(l));
    EXPECT_FLOAT_EQ(back.pixelWidth(), 6.8f);
    EXPECT_FLOAT_EQ(back.pixelHeight(), 6.8f);
    const ImageInfo& bi = back.info();
    EXPECT_EQ(textOf(bi.date), "12/03/24");
    EXPECT_EQ(textOf(bi.time), "22:10:05");
    EXPECT_EQ(textOf(bi.siderealTime), "05:01:02");
    EXPECT_NEAR(bi.julianDate, 2460382.42, 1e-6);
    EXPECT_FLOAT_EQ(bi.exposureTime, 120.0f);
    EXPECT_FLOAT_EQ(bi.temperature, -15.0f);
    EXPECT_NEAR(bi.longitude, 8.4f, 1e-5);
    EXPECT_NEAR(bi.latitude, 49.0f, 1e-5);
    ASSERT_EQ(bi.comments.size(), 2u);
    EXPECT_EQ(textOf(bi.comments[1]), "Blende f/5.6,  ffnung 200 mm");
    EXPECT_EQ(textOf(bi.sourcePath), textOf(img.info().sourcePath));

    const StoredDisplayParams& d = back.storedDisplay();
    ASSERT_TRUE(d.hasPoints);
    EXPECT_FLOAT_EQ(d.exponent, 0.75f);
    if (c.type == BW_IMAGE) {
        EXPECT_EQ(d.blackPoint, (std::array<std::int16_t, 3>{-120, -120, -120}));
        EXPECT_EQ(d.whitePoint, (std::array<std::int16_t, 3>{9000, 9000, 9000}));
        EXPECT_FALSE(d.hasWeights) << "grey images store no weights";
    } else {
        EXPECT_EQ(d.blackPoint, view.blackPoint);
        EXPECT_EQ(d.whitePoint, view.whitePoint);
        ASSERT_TRUE(d.hasWeights);
        EXPECT_EQ(d.channelWeight, view.channelWeight) << "the exact cards win over PARAM03..05";
    }
    if (c.type == LRGB_IMAGE)
        EXPECT_EQ(d.lrgbBias, view.lrgbBias);
    else
        EXPECT_EQ(d.lrgbBias, (std::array<std::int16_t, 4>{0, 0, 0, 0}));
    if (c.type == USERDEFINED_IMAGE)
        EXPECT_EQ(d.layerMatrix, view.layerMatrix);
    else
        EXPECT_TRUE(d.layerMatrix.empty());
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, FitsRoundTrip,
    ::testing::Values(TripCase{BW_IMAGE, 0, false}, TripCase{BW_IMAGE, 0, true},
                      TripCase{RGB_IMAGE, 0, false}, TripCase{RGB_IMAGE, 0, true},
                      TripCase{LRGB_IMAGE, 0, false}, TripCase{LRGB_IMAGE, 0, true},
                      TripCase{CMY_IMAGE, 0, false}, TripCase{CMY_IMAGE, 0, true},
                      TripCase{USERDEFINED_IMAGE, 1, false}, TripCase{USERDEFINED_IMAGE, 7, true},
                      TripCase{USERDEFINED_IMAGE, 32, false}, TripCase{CMYK_IMAGE, 0, false},
                      TripCase{CMYK_IMAGE, 0, true}));

TEST(FitsWriter, WithoutAViewTheStoredValuesAreWrittenAndAbsentGroupsStayAbsent) {
    TempDir dir;
    Image img;
    makeImage(img, 12, 12, RGB_IMAGE, false);
    img.storedDisplay().hasPoints = true;
    img.storedDisplay().blackPoint = {1, 2, 3};
    img.storedDisplay().whitePoint = {100, 200, 300};
    img.storedDisplay().exponent = 1.5f;
    writeFits(img, dir.file("s.fts"), Progress::none());
    Image back;
    readFits(dir.file("s.fts"), back, Progress::none());
    EXPECT_TRUE(back.storedDisplay().hasPoints);
    EXPECT_EQ(back.storedDisplay().whitePoint, (std::array<std::int16_t, 3>{100, 200, 300}));
    EXPECT_FALSE(back.storedDisplay().hasWeights);
    EXPECT_FLOAT_EQ(back.storedDisplay().exponent, 1.5f);
    EXPECT_EQ(textOf(back.info().sourcePath), dir.file("s.fts"));
}

// --- saving ---------------------------------------------------------------------------------

TEST(FitsWriter, SaveNamesMustEndInAFitsExtension) {
    for (const char* ok : {"a.fts", "B.FITS", "/x/c.Fit", "d.e.fts"})
        EXPECT_TRUE(isFitsSaveName(ok)) << ok;
    for (const char* bad : {"a.jpg", "a", "a.fts.bak", "/x.fts/file", "a.ftsx", "a."})
        EXPECT_FALSE(isFitsSaveName(bad)) << bad;
    TempDir dir;
    Image img;
    makeImage(img, 10, 10, BW_IMAGE, false);
    try {
        saveFits(img, dir.file("m51.jpg"), Progress::none());
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(
            e.what(),
            "Zum Speichen in nicht Fits-Formaten benutzen Sie bitte Datei-Exportieren, achten Sie "
            "dabei auch auf die Dateiendung.");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "nothing written";
}

TEST(FitsWriter, ProgressTitleAndNoSamples) {
    TempDir dir;
    Image img;
    makeImage(img, 10, 30, RGB_IMAGE, true);
    testkit::ProgressRecorder rec;
    Progress progress(&rec);
    writeFits(img, dir.file("p.fts"), progress);
    EXPECT_EQ(rec.title(), "FITS schreiben");
    EXPECT_EQ(progress.done(), 4 * 30);

    Image empty;
    try {
        writeFits(empty, dir.file("e.fts"), Progress::none());
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Unerwarteter Fehler: Code 00051");
    }
}

// A failed save (full disk, missing folder, out of memory, cancelled) keeps the old file.
TEST(FitsWriter, FailedSaveLeavesThePreviousFileIntact) {
    TempDir dir;
    const std::string target = dir.file("keep.fts");
    testkit::writeFile(target, "previous contents");
    Image img;
    makeImage(img, 400, 400, RGB_IMAGE, false);
    auto expectIntact = [&](const char* what) {
        EXPECT_EQ(testkit::readFile(target), "previous contents") << what;
        int files = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) (void)e, ++files;
        EXPECT_EQ(files, 1) << what << ": no temporary file left behind";
    };
    // The message names the system's reason, so the user knows what to do.
    auto expectFailure = [&](const std::string& path, const char* what, const char* reason) {
        try {
            writeFits(img, path, Progress::none());
            ADD_FAILURE() << what;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), std::string("Fehler beim Speichern des Dokuments.") +
                                                 (*reason ? " " : "") + reason)
                << what;
        }
    };

    { // full disk: the file size limit makes write() fail part way
        struct rlimit old {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 100000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        expectFailure(target, "file size limit", "Die Datei ist zu groß für diesen Datenträger.");
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        expectIntact("file size limit");
    }
    { // full disk, through the writer's seam; an errno without its own text is named
        AtomicFile::ScopedWriteFailure full(ENOSPC);
        expectFailure(target, "full disk", "Auf dem Datenträger ist kein Platz mehr frei.");
        expectIntact("full disk");
        AtomicFile::ScopedWriteFailure other(EXDEV);
        expectFailure(target, "other error",
                      "Das Betriebssystem meldet den Fehler 18 (Invalid cross-device link).");
    }
    {
        memory::ScopedLimit limit(1000);
        expectFailure(target, "out of memory", "");
        expectIntact("out of memory");
    }
    expectFailure(dir.file("missing-folder/x.fts"), "missing folder",
                  "Der Ordner existiert nicht.");
    expectFailure(std::string(300, 'n') + ".fts", "long name", "Der Dateiname ist zu lang.");
    expectFailure(target + "/x.fts", "folder is a file", "Ein Teil des Pfades ist kein Ordner.");
    expectIntact("bad folders");
    {
        testkit::ProgressRecorder rec;
        rec.cancelAfter = 0;
        Progress progress(&rec);
        EXPECT_THROW(writeFits(img, target, progress), Cancelled);
        expectIntact("cancelled");
    }
    writeFits(img, target, Progress::none());
    const std::size_t header = fitsHeader(img, displayFromStored(img)).size();
    EXPECT_EQ(testkit::readFile(target).size(), header + 960000u + 1920u);
}
