// quillon-cli demo, convert and info on FITS files, as a user runs them.
#include "cli/cli_runner.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace {
using Result = CliResult;
inline CliResult run(const std::string& args) {
    return runCli(args);
}

bool has(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}
} // namespace

TEST(CliFits, DemoThenInfoShowsEverything) {
    quillon::testkit::TempDir d;
    Result demo = run("demo " + d.file("m42.fts"));
    ASSERT_EQ(demo.status, 0) << demo.out;
    Result info = run("info " + d.file("m42.fts"));
    ASSERT_EQ(info.status, 0) << info.out;
    for (const char* part :
         {"RGB (RGB_IMAGE)", "1200 x 900", "\"Rot\"", "\"Gruen\"", "\"Blau\"",
          "Overlay:          nein", "6.8 x 6.8", "300 s", "-20", "\"08/12/26\"", "\"21:34:10\"",
          "\"04:12:55\"", "2461383.4", "Kommentare:       1", "Synthetisches Sternfeld",
          "Schwarzpunkt:   1450", "Weißpunkt:      4200", "Exponent:       0.8"})
        EXPECT_TRUE(has(info.out, part)) << part << "\n" << info.out;
}

TEST(CliFits, ConvertWritesFitsAndRefusesOtherNames) {
    quillon::testkit::TempDir d;
    ASSERT_EQ(run("demo " + d.file("a.fts")).status, 0);
    Result c = run("convert " + d.file("a.fts") + " " + d.file("b.FIT"));
    ASSERT_EQ(c.status, 0) << c.out;
    EXPECT_EQ(std::filesystem::file_size(d.file("a.fts")),
              std::filesystem::file_size(d.file("b.FIT")));

    Result bad = run("convert " + d.file("a.fts") + " " + d.file("b.jpg"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(
        has(bad.out, "Zum Speichen in nicht Fits-Formaten benutzen Sie bitte Datei-Exportieren"))
        << bad.out;
    EXPECT_FALSE(std::filesystem::exists(d.file("b.jpg")));
    EXPECT_EQ(run("demo " + d.file("x.png")).status, 1);
    EXPECT_EQ(run("convert " + d.file("a.fts")).status, 2);

    Result missing = run("convert " + d.file("none.fts") + " " + d.file("c.fts"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(has(missing.out, "Datei konnte nicht geöffnet werden!")) << missing.out;
    Result unwritable = run("convert " + d.file("a.fts") + " " + d.file("no/such/dir/c.fts"));
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(has(unwritable.out, "Fehler beim Speichern des Dokuments. Der Ordner existiert "
                                    "nicht."))
        << unwritable.out;
}
