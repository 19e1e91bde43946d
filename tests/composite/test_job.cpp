// The composite job's editing rules, its settings and its JSON file.
#include "composite/job.h"
#include "composite/job_file.h"
#include "core/error.h"
#include "core/image_type.h"
#include "core/settings_record.h"
#include "ops/calibration.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon;
using namespace quillon::testkit;

namespace {

CompositeJob jobOf(std::uint16_t type, int userLayers = 0) {
    CompositeJob job;
    job.configure(type, userLayers, CalibrationParams{});
    return job;
}

TEST(CompositeJob, ListsAreRebuiltOnlyForAnotherTypeOrLayerCount) {
    CalibrationParams seed;
    seed.darkEnabled = seed.flatEnabled = true;
    seed.offset = 7;
    CompositeJob job;
    EXPECT_TRUE(job.configure(RGB_IMAGE, 0, seed));
    EXPECT_EQ(job.listCount(), 5);
    ASSERT_EQ(job.calibrations.size(), 4u);
    EXPECT_FALSE(job.calibrations[0].active()); // the seed's switches are turned off
    EXPECT_EQ(job.calibrations[0].offset, 7);
    job.addFile(3, "a.fts");
    job.currentList = 4;
    EXPECT_FALSE(job.configure(RGB_IMAGE, 9, seed)); // the same command again keeps the lists
    EXPECT_EQ(job.lists[3].entries.size(), 1u);
    EXPECT_TRUE(job.configure(LRGB_IMAGE, 0, seed));
    EXPECT_EQ(job.listCount(), 6);
    EXPECT_TRUE(job.lists[4].entries.empty());
    EXPECT_EQ(job.currentList, 4);
    EXPECT_TRUE(job.configure(USERDEFINED_IMAGE, 4, seed)); // 4 layers again, but another type
    EXPECT_TRUE(job.configure(USERDEFINED_IMAGE, 2, seed));
    EXPECT_EQ(job.listCount(), 4);
    EXPECT_EQ(job.currentList, 0); // beyond the new lists
    EXPECT_THROW(job.configure(CMYK_IMAGE, 0, seed), Error);
    EXPECT_THROW(job.configure(USERDEFINED_IMAGE, 33, seed), Error);
}

TEST(CompositeJob, OpeningTheWindowSeedsOnlyFromACommand) {
    SettingsRecord record;
    record.compositeRefPoints = 3;
    record.compositeInsertionType = 3;
    record.darkFlatSwitches = 0x111;
    record.darkFlatAddVal = -4;
    CompositeJob job = jobOf(BW_IMAGE); // two lists: list 3 is no list of its
    EXPECT_TRUE(job.prepareWindow(RGB_IMAGE, 0, record, {}, true));
    EXPECT_EQ(job.options.referencePointCount, 3);
    EXPECT_EQ(job.currentList, 3);
    EXPECT_EQ(job.calibrations[2].offset, -4);
    EXPECT_FALSE(job.calibrations[2].active());
    for (const char* name : {"a.fts", "b.fts", "c.fts"}) job.addFile(3, name);
    job.addDocument(0, 7, "Fenster 7");
    job.options.referencePointCount = 4;
    // Back from reference setting after the window with document 7 was closed.
    EXPECT_FALSE(job.prepareWindow(RGB_IMAGE, 0, record, {8}, false));
    EXPECT_EQ(job.options.referencePointCount, 4);
    EXPECT_EQ(job.lists[3].entries.size(), 3u);
    EXPECT_TRUE(job.lists[0].entries.empty());
    EXPECT_TRUE(job.usesColourWeights());
    EXPECT_TRUE(job.prepareWindow(CMY_IMAGE, 0, record, {}, true));
    EXPECT_FALSE(job.usesColourWeights());
    EXPECT_EQ(job.options.referencePointCount, 3);
}

TEST(CompositeJob, NewEntriesCarryTheDefaults) {
    CompositeJob job = jobOf(LRGB_IMAGE);
    const CompositeEntry& whole = job.addFile(4, "/x/a.fts");
    EXPECT_TRUE(whole.used && whole.isFile() && !whole.pointsSet);
    EXPECT_EQ(whole.factors, (std::vector<float>{1, 1, 1, 1}));
    const std::array<ReferencePoint, 4> points{{{3, 3}, {8, 3}, {3, 8}, {8, 8}}};
    EXPECT_EQ(whole.points, points);
    EXPECT_EQ(job.addFile(1, "r.fts").factors.size(), 1u);
    EXPECT_TRUE(job.addDocument(5, 42, "Bild 3").factors.empty());
    EXPECT_EQ(job.lists[5].entries[0].documentId, 42u);

    job.addDocument(1, 43, "Bild 4");
    job.removeClosedDocuments({42});
    EXPECT_EQ(job.lists[1].entries.size(), 1u);
    EXPECT_EQ(job.lists[5].entries.size(), 1u);
}

TEST(CompositeJob, ReferencePointCountResetsTheUnusedPoints) {
    CompositeJob job = jobOf(RGB_IMAGE);
    for (int l : {0, 3}) {
        CompositeEntry& e = job.addFile(l, "a.fts");
        for (auto& p : e.points) p = {100, 200};
    }
    job.currentList = 3;
    job.options.referencePointCount = 4;
    for (int typed : {5, 0}) {
        job.setReferencePointCount(typed);
        EXPECT_EQ(job.options.referencePointCount, 1) << typed;
    }
    const auto& points = job.lists[3].entries[0].points;
    EXPECT_EQ(points[0], (ReferencePoint{100, 200}));
    EXPECT_EQ(points[1], defaultReferencePoint(1));
    EXPECT_EQ(points[3], (ReferencePoint{8, 8}));
    EXPECT_EQ(job.lists[0].entries[0].points[3], (ReferencePoint{100, 200})); // not shown

    CompositeEntry row;
    row.factors = {2};
    job.takeOverList(3, {row});
    EXPECT_EQ(job.lists[3].entries[0].factors, (std::vector<float>{2, 1, 1}));
}

TEST(CompositeJob, FactorsAndCalibrationCopies) {
    CompositeJob job = jobOf(RGB_IMAGE);
    job.addFile(3, "a.fts");
    job.addFile(3, "b.fts");
    job.addFile(0, "c.fts");
    job.options.setAllValue = -2.5f;
    job.setAllFactors(3);
    for (const auto& e : job.lists[3].entries)
        EXPECT_EQ(e.factors, (std::vector<float>{-2.5f, -2.5f, -2.5f}));
    EXPECT_EQ(job.lists[0].entries[0].factors[0], 1.0f);
    EXPECT_THROW(job.setFactor(3, 0, 2, 100.5f), Error);
    job.setFactor(3, 0, 2, -100.0f);
    EXPECT_EQ(job.lists[3].entries[0].factors[2], -100.0f);

    job.calibrations[3].darkFile = "dark.fts";
    job.calibrations[3].darkEnabled = true;
    job.copyCalibrationToLayers(3);
    for (int l = 0; l < 3; ++l) EXPECT_EQ(job.calibrations[l].darkFile, "dark.fts");
    EXPECT_THROW(job.copyCalibrationToLayers(4), Error);
    job.calibrations[0].automaticFactor = false;
    job.calibrations[0].flatFactor = 5000;
    EXPECT_EQ(job.calibrations[0].appliedFlatFactor(), 5000.0f);
    EXPECT_EQ(job.calibrations[1].appliedFlatFactor(), 0.0f);

    CompositeJob grey = jobOf(BW_IMAGE);
    grey.calibrations[0].offset = 5;
    grey.copyCalibrationToLayers(0);
    EXPECT_EQ(grey.calibrations[0].offset, 5);
    EXPECT_FALSE(grey.firstEntry());
    grey.addFile(1, "overlay.fts");
    EXPECT_EQ(grey.firstEntry(), (std::pair{1, 0}));
}

// The combine group's choices survive storing and loading the settings.
TEST(CompositeJob, CombineSettingsRoundTrip) {
    CompositeJob job = jobOf(BW_IMAGE);
    RejectionParams& r = job.options.rejection;
    r = {Rejection::Percentile, 2.5f, 4.0f, 0.25f, 0.5f, 0, 3, true};
    job.options.normalization = static_cast<int>(Normalization::MulScale);
    job.options.weighting = Weighting::Fwhm;
    SettingsRecord record;
    job.storeSettings(record);
    MemorySettingsStore store;
    record.save(store);
    SettingsRecord again;
    again.load(store);
    CompositeJob loaded = jobOf(BW_IMAGE);
    loaded.loadSettings(again);
    EXPECT_EQ(loaded.options.rejection, r);
    EXPECT_EQ(loaded.options.normalization, job.options.normalization);
    EXPECT_EQ(loaded.options.weighting, Weighting::Fwhm);
}

TEST(CompositeJob, SettingsSeedAndStore) {
    MemorySettingsStore store;
    store.ints["m_Reg_nComposite_bBorders_bErrors_bAverage"] = 0; // reads as 4
    store.ints["m_Reg_nComposite_nSizeFactor"] = 20000;
    store.ints["m_Reg_nComposite_nRefPoints"] = 7;
    store.ints["m_Reg_nComposite_nInsertionType"] = 9;
    store.ints["m_Reg_DarkFlat_bDark_bFlat_bFactorAuto"] = 0x110;
    store.ints["m_Reg_DarkFlat_nDarkDiv"] = 25000;
    SettingsRecord record;
    record.load(store);
    CompositeJob job = jobOf(RGB_IMAGE);
    job.loadSettings(record);
    EXPECT_TRUE(job.options.removeBorders);
    EXPECT_FALSE(job.options.averaging || job.options.removeArtefacts);
    EXPECT_EQ(job.options.sizeFactor, 2.0f);
    EXPECT_EQ(job.options.referencePointCount, 1);
    job.configure(RGB_IMAGE, 0, CalibrationParams{}); // list 9 of 5
    EXPECT_EQ(job.currentList, 0);
    const CalibrationParams c = CalibrationParams::fromSettings(record);
    EXPECT_TRUE(c.darkEnabled && c.flatEnabled && !c.automaticFactor);
    EXPECT_EQ(c.darkDivisor, 2.5f);

    job.options = {3, 1.23456f, true, -0.5f, false, true, {1.0f, 0.5f, 2.0f}};
    job.currentList = 2;
    job.storeSettings(record);
    EXPECT_EQ(record.compositeSwitches, 3);
    EXPECT_EQ(record.compositeSizeFactor, 12345);
    EXPECT_EQ(record.compositeSetAllFactors, -5000);
    EXPECT_EQ(record.compositeGreen, 5000);
    EXPECT_EQ(record.compositeInsertionType, 2);
    c.storeInto(record);
    EXPECT_EQ(record.darkFlatSwitches, 0x110);
    EXPECT_EQ(CalibrationParams::fromSettings(record), c);
}

// A job with every kind of content, as the reference for the file tests.
CompositeJob richJob() {
    CompositeJob job = jobOf(USERDEFINED_IMAGE, 3);
    job.options = {3, 0.7f, false, 0.1f, true, true, {0.3f, 1.0f, 2.5f}};
    job.calibrations[1] = {"/d/dark ä.fts", "/d/flat.fts", true, true, false, -12, 0.3f, 1234.5f};
    CompositeEntry& a = job.addFile(3, "/data/m42 001.fts");
    a.factors = {0.1f, -3.25f, 100.0f};
    a.points = {{{10.5f, 20.25f}, {1000.1f, 3.0f}, {0.0f, 14000.0f}, {8, 8}}};
    a.pointsSet = true;
    job.addFile(3, "/data/m42 002.fts").used = false;
    job.addFile(1, "g.fts");
    job.addFile(4, "labels.fts");
    return job;
}

TEST(CompositeJobFile, RoundTripKeepsEveryField) {
    TempDir dir;
    const CompositeJob job = richJob();
    writeCompositeJob(job, dir.file("job.json"));
    const CompositeJob back = readCompositeJob(dir.file("job.json"));
    EXPECT_EQ(back.targetType, job.targetType);
    EXPECT_EQ(back.layerCount, 3);
    EXPECT_EQ(back.options, job.options);
    EXPECT_EQ(back.calibrations, job.calibrations);
    EXPECT_EQ(back.lists, job.lists);

    CompositeJob open = job;
    open.addDocument(0, 5, "Fenster");
    EXPECT_THROW(writeCompositeJob(open, dir.file("open.json")), Error);
}

TEST(CompositeJobFile, TheDocumentedExampleReads) {
    const std::string doc = readFile(std::string(QUILLON_SOURCE_DIR) + "/docs/composite-job.md");
    const auto begin = doc.find("```json\n");
    ASSERT_NE(begin, std::string::npos);
    const auto end = doc.find("```", begin + 8);
    const CompositeJob job = parseCompositeJob(doc.substr(begin + 8, end - begin - 8));
    EXPECT_EQ(job.targetType, RGB_IMAGE);
    EXPECT_EQ(job.options.sizeFactor, 1.5f);
    EXPECT_EQ(job.calibrations[0].darkDivisor, 2.0);
    EXPECT_EQ(job.calibrations[3], CalibrationParams{});
    ASSERT_EQ(job.lists[3].entries.size(), 2u);
    EXPECT_EQ(job.lists[3].entries[0].points[1], (ReferencePoint{1630, 1210.75f}));
    EXPECT_FALSE(job.lists[3].entries[1].pointsSet || job.lists[3].entries[1].used);
    EXPECT_EQ(job.lists[3].entries[1].factors, (std::vector<float>{1, 1, 1}));
    EXPECT_EQ(job.lists[4].entries[0].name, "/data/labels.fts");
}

TEST(CompositeJobFile, BadFilesAreRefusedWithTheirField) {
    const std::string head = R"({"version": 1, "type": "rgb", )";
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"", "kein gültiges JSON (Zeile 1, Spalte 1)"},
        {"{\"version\": 1,\n  \"type\": rgb}", "kein gültiges JSON (Zeile 2, Spalte 11)"},
        {"[1, 2]", "Auftrag: Objekt erwartet, nicht [1,2]"},
        {R"({"type": "rgb"})", "version: fehlt"},
        {R"({"version": 2, "type": "rgb"})", "version: Version 1 erwartet, nicht 2"},
        {R"({"version": 1, "type": "cmyk"})",
         R"(type: grey, rgb, lrgb, cmy oder user erwartet, nicht "cmyk")"},
        {R"({"version": 1, "type": "user"})", "layers: fehlt (für type user)"},
        {R"({"version": 1, "type": "user", "layers": 33})",
         "layers: ganze Zahl von 2 bis 32 erwartet, nicht 33"},
        {head + R"("layers": 4})", "layers: ganze Zahl von 3 bis 3 erwartet, nicht 4"},
        {head + R"("colour": 1})", "colour: unbekannter Eintrag"},
        {head + R"("options": {"sizeFactor": 250}})",
         "options.sizeFactor: Zahl von 0.01 bis 100 erwartet, nicht 250"},
        {head + R"("options": {"referencePoints": 2.0}})",
         "options.referencePoints: ganze Zahl von 1 bis 4 erwartet, nicht 2.0"},
        {head + R"("options": {"average": "ja"}})",
         R"(options.average: true oder false erwartet, nicht "ja")"},
        {head + R"("options": {"weights": [1, 1]}})",
         "options.weights: drei Zahlen [R, G, B] erwartet, nicht [1,1]"},
        {head + R"("options": {"setAllValue": 1e300}})",
         "options.setAllValue: Zahl erwartet, nicht 1e+300"},
        {head + R"("lists": [{"index": 5}]})", "lists[0].index: ganze Zahl von 0 bis 4 erwartet"},
        {head + R"("lists": [{"index": 1}, {"index": 1}]})", "lists[1].index: Liste 1 ist doppelt"},
        {head + R"("lists": [{"index": 4, "calibration": {}}]})",
         "lists[4].calibration: die Overlay-Liste hat keine Kalibrierung"},
        {head + R"("lists": [{"index": 2, "calibration": {"darkDivisor": 0}}]})",
         "lists[2].calibration.darkDivisor: Zahl von 0.1 bis 100 erwartet, nicht 0"},
        {head + R"("lists": [{"index": 3, "entries": [{"used": true}]}]})",
         "lists[3].entries[0].path: fehlt"},
        {head + R"("lists": [{"index": 3, "entries": [{"path": "a", "factors": [1, 1]}]}]})",
         "lists[3].entries[0].factors: 3 Faktoren erwartet, nicht [1,1]"},
        {head + R"("lists": [{"index": 0, "entries": [{"path": "a", "factors": [1,2,3,4]}]}]})",
         "lists[0].entries[0].factors: höchstens 1 Einträge erwartet, nicht 4"},
        {head + R"("lists": [{"index": 0, "entries": [{"path": "a", "points": [[1, 2]]}]}]})",
         "lists[0].entries[0].points: 2 bis 4 Punkte [x, y] erwartet"},
        {head +
             R"("lists": [{"index": 0, "entries": [{"path": "a", "points": [[1, 2], [3, -1]]}]}]})",
         "lists[0].entries[0].points[1].y: Zahl von 0 bis 14000 erwartet, nicht -1"},
        {std::string(40, '[') + std::string(40, ']'), "tiefer als 32 Ebenen verschachtelt"},
    };
    for (const Case& c : cases) {
        try {
            parseCompositeJob(c.text, "job.json");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Auftragsdatei \"job.json\": " + c.message, 0),
                      0u)
                << e.what() << " for " << c.text;
        }
    }
    EXPECT_THROW(readCompositeJob("/nonexistent/job.json"), Error);
}

} // namespace
