// quillon-cli on every readable format: info describes the files, export writes pictures.
#include "formats/dng_file.h"
#include "formats/raster_files.h"

#include "cli/cli_runner.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

using namespace qtest;

namespace {
using Result = CliResult;
inline CliResult run(const std::string& args) {
    return runCli(args);
}

Bytes sbigFile() {
    Bytes b;
    text(b, "ST-7 Image\n\rWidth = 12\n\rHeight = 10\n\rExposure = 150\n\rEnd\n\r");
    b.resize(2048, 0);
    for (int i = 0; i < 120; ++i) le16(b, 100u + 10u * i);
    return b;
}

Bytes oesFile() {
    Bytes b(512, 0);
    setLe32(b, 0, 12), setLe32(b, 4, 10), setLe32(b, 8, 1), setLe32(b, 16, 4);
    for (int i = 0; i < 120; ++i) put8(b, static_cast<unsigned>(i));
    return b;
}

Bytes pgmFile() {
    Bytes b;
    text(b, "P5 12 10 255\n");
    for (int i = 0; i < 120; ++i) put8(b, static_cast<unsigned>(2 * i));
    return b;
}
} // namespace

TEST(CliFormats, InfoReadsEveryKindOfFile) {
    TempDir dir;
    struct Case {
        std::string name;
        Bytes data;
        std::string expect;
    };
    std::vector<Case> cases{
        {"cam.st7", sbigFile(), "12"},
        {"cam.ast", oesFile(), "OES-ast-Format"},
        {"grey.pgm", pgmFile(), "nicht-Astro"},
        {"shot.dng", makeDng(40, 30, 1, [](int x, int) { return 1000u + 100u * x; }), "38"},
    };
    for (const auto& c : cases) {
        Result r = run("info " + dir.write(c.name, c.data));
        EXPECT_EQ(r.status, 0) << c.name << ": " << r.out;
        EXPECT_NE(r.out.find(c.expect), std::string::npos) << c.name << ": " << r.out;
    }
    Result bad = run("info " + dir.write("bad.png", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("Library not compiled for this file type."), std::string::npos)
        << bad.out;
}

TEST(CliFormats, ExportWritesEveryEncoderAndRefusesOthers) {
    TempDir dir;
    std::string in = dir.write("cam.st7", sbigFile());
    for (const char* ext : {".bmp", ".jpg", ".png", ".tif"}) {
        std::string out = dir.file(std::string("out") + ext);
        Result r = run("export " + in + " " + out);
        EXPECT_EQ(r.status, 0) << ext << ": " << r.out;
        Result back = run("info " + out);
        EXPECT_EQ(back.status, 0) << back.out;
        EXPECT_NE(back.out.find("12"), std::string::npos) << back.out;
    }
    Result tga = run("export " + in + " " + dir.file("out.tga"));
    EXPECT_EQ(tga.status, 1);
    EXPECT_NE(tga.out.find("Error saving the file: In diesem Dateiformat"), std::string::npos)
        << tga.out;
    Result xyz = run("export " + in + " " + dir.file("out.xyz"));
    EXPECT_EQ(xyz.status, 1);
    EXPECT_NE(xyz.out.find("Unbekannte Dateinamenerweiterung! Speichern abgebrochen."),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.tga")));
    EXPECT_EQ(run("export " + in).status, 2);
}

TEST(CliFormats, ConvertWritesFitsFromEveryKindOfFile) {
    TempDir dir;
    const std::vector<std::pair<std::string, Bytes>> inputs{
        {"cam.st7", sbigFile()},
        {"cam.ast", oesFile()},
        {"grey.pgm", pgmFile()},
        {"shot.dng", makeDng(40, 30, 1, [](int x, int) { return 1000u + 100u * x; })}};
    for (const auto& [name, data] : inputs) {
        std::string out = dir.file(name + ".fts");
        Result r = run("convert " + dir.write(name, data) + " " + out);
        EXPECT_EQ(r.status, 0) << name << ": " << r.out;
        Result back = run("info " + out);
        EXPECT_EQ(back.status, 0) << name << ": " << back.out;
    }
    Result preset = run("export " + dir.file("cam.st7") + " " + dir.file("p.png") + " --preset 0");
    EXPECT_EQ(preset.status, 0) << preset.out;
    EXPECT_EQ(run("export " + dir.file("cam.st7") + " " + dir.file("p.png") + " --preset 9").status,
              2);
}
