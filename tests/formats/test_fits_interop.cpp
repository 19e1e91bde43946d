// Interoperability: files written by astropy read with the prescribed samples, Quillon's
// files read back by astropy, and fitsverify's view of the dialect. A missing tool fails.
#include "core/error.h"
#include "fits_test_util.h"
#include "formats/demo_image.h"
#include "formats/fits_compressed.h"
#include "formats/fits_reader.h"
#include "formats/fits_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <sys/wait.h>

using namespace quillon;
using fitstest::TempDir;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun run(const std::string& cmd) {
    ToolRun r;
    FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

const std::string kScript = std::string(QUILLON_SOURCE_DIR) + "/tests/formats/fits_astropy.py";

std::string raw(const Image& img) {
    std::string s;
    for (int p = 0; p < img.planeCount(); ++p)
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                auto v = static_cast<std::uint16_t>(img.row(p, y)[x]);
                s.push_back(static_cast<char>(v & 0xFF));
                s.push_back(static_cast<char>(v >> 8));
            }
    return s;
}

struct Written {
    std::string name;
    std::uint16_t type;
    int userLayers;
    bool overlay;
};

const std::vector<Written> kTypes = {
    {"grey", BW_IMAGE, 0, false},           {"grey_overlay", BW_IMAGE, 0, true},
    {"rgb", RGB_IMAGE, 0, false},           {"rgb_overlay", RGB_IMAGE, 0, true},
    {"lrgb", LRGB_IMAGE, 0, false},         {"lrgb_overlay", LRGB_IMAGE, 0, true},
    {"cmy", CMY_IMAGE, 0, false},           {"cmy_overlay", CMY_IMAGE, 0, true},
    {"user5", USERDEFINED_IMAGE, 5, false}, {"user2_overlay", USERDEFINED_IMAGE, 2, true},
    {"cmyk", CMYK_IMAGE, 0, false},         {"cmyk_overlay", CMYK_IMAGE, 0, true},
};

void writeTyped(const Written& w, const std::string& path) {
    Image img;
    testkit::define(img, 41, 29, w.type, w.overlay, w.userLayers);
    fitstest::fillPattern(img);
    img.SetPixelSize(6.8f, 9.0f);
    ImageInfo* info = nullptr;
    ASSERT_EQ(img.BeginInfoWrite(info), 0);
    setText(info->date, "08/12/26");
    setText(info->time, "21:34:10");
    info->addComment("Pruefung mit Umlauten: Größe");
    img.EndInfoWrite();
    DisplayParams dp;
    dp.blackPoint = {10, 20, 30};
    dp.whitePoint = {1000, 2000, 3000};
    if (w.type == USERDEFINED_IMAGE) {
        dp.layerMatrix.assign(static_cast<std::size_t>(3 * img.layerCount()), 0.5f);
        img.setLayerName(0, "H-alpha");
    }
    writeFits(img, path, Progress::none(), &dp);
    testkit::writeFile(path.substr(0, path.size() - 4) + ".raw", raw(img));
}

} // namespace

TEST(FitsInterop, AstropyFilesAreReadWithThePrescribedSamples) {
    TempDir dir;
    ToolRun w = run("/usr/bin/python3 " + kScript + " write " + dir.path().string());
    ASSERT_EQ(w.status, 0) << "astropy and numpy are required (python3-astropy):\n" << w.out;
    std::istringstream manifest(testkit::readFile(dir.file("manifest.txt")));
    std::string name;
    int type, layers, overlay, width, height, cases = 0;
    while (manifest >> name >> type >> layers >> overlay >> width >> height) {
        SCOPED_TRACE(name);
        ++cases;
        Image img;
        readFits(dir.file(name + ".fits"), img, Progress::none());
        EXPECT_EQ(img.type(), type);
        EXPECT_EQ(img.layerCount(), layers);
        EXPECT_EQ(img.hasOverlay(), overlay != 0);
        EXPECT_EQ(img.width(), width);
        EXPECT_EQ(img.height(), height);
        std::string expect = testkit::readFile(dir.file(name + ".expect"));
        std::string got = raw(img);
        ASSERT_EQ(got.size(), expect.size());
        std::size_t diff = 0;
        while (diff < got.size() && got[diff] == expect[diff]) ++diff;
        EXPECT_EQ(diff, got.size()) << "first differing sample " << diff / 2;
    }
    EXPECT_EQ(cases, 14);
}

TEST(FitsInterop, QuillonFilesAreReadByAstropyWithTheSameSamplesAndAxes) {
    TempDir dir;
    std::string list;
    for (const Written& w : kTypes) {
        writeTyped(w, dir.file(w.name + ".fts"));
        Image img;
        readFits(dir.file(w.name + ".fts"), img, Progress::none());
        list += w.name + " " + std::to_string(img.planeCount()) + " 29 41\n";
    }
    testkit::writeFile(dir.file("quillon.txt"), list);
    ToolRun c = run("/usr/bin/python3 " + kScript + " check " + dir.path().string());
    EXPECT_EQ(c.status, 0) << c.out;
    EXPECT_EQ(std::count(c.out.begin(), c.out.end(), '\n'), static_cast<long>(kTypes.size()))
        << c.out;
}

// fitsverify complains only about cards the dialect needs for compatibility: unquoted
// CIMGTYPE and COVERLAY values, the free text of PARAM01..05 and the three numbers of MLAYERnn.
TEST(FitsInterop, FitsverifyReportsOnlyTheDialectsOwnCards) {
    TempDir dir;
    std::vector<std::string> files;
    for (const Written& w : kTypes) {
        writeTyped(w, dir.file(w.name + ".fts"));
        files.push_back(dir.file(w.name + ".fts"));
    }
    Image demo;
    makeDemoImage(demo);
    writeFits(demo, dir.file("demo.fts"), Progress::none());
    files.push_back(dir.file("demo.fts"));

    const std::regex error(R"(\*\*\* Error:\s+Keyword #\d+, (\w+):)");
    std::set<std::string> seen;
    for (const auto& f : files) {
        ToolRun v = run("fitsverify " + f);
        ASSERT_NE(v.out.find("fitsverify"), std::string::npos) << "fitsverify is required:\n"
                                                               << v.out;
        EXPECT_NE(v.out.find("0 warning(s)"), std::string::npos) << v.out;
        std::istringstream lines(v.out);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.find("*** Error") == std::string::npos) continue;
            std::smatch m;
            ASSERT_TRUE(std::regex_search(line, m, error)) << f << ": " << line;
            std::string key = m[1];
            EXPECT_TRUE(key == "CIMGTYPE" || key == "COVERLAY" ||
                        std::regex_match(key, std::regex("PARAM0[1-5]")) ||
                        std::regex_match(key, std::regex("MLAYER\\d\\d")))
                << f << ": " << line;
            seen.insert(key.substr(0, 6));
        }
    }
    std::string all;
    for (const auto& k : seen) all += k + " ";
    EXPECT_EQ(all, "CIMGTY COVERL MLAYER PARAM0 ") << "the list in the documentation matches";
}

// The compressed file is new, so its dialect cards take the standard's form (quoted type and
// overlay, an ISO date, quoted matrix numbers, no free-text PARAM cards): fitsverify finds no
// error, and it reopens with what the uncompressed file of the same image opens with.
TEST(FitsInterop, CompressedFilesVerifyCleanAndReopenLikeTheUncompressedOnes) {
    TempDir dir;
    for (const Written& w : kTypes) {
        writeTyped(w, dir.file(w.name + ".fts"));
        Image plain;
        readFits(dir.file(w.name + ".fts"), plain, Progress::none());
        const std::string fz = dir.file(w.name + ".fits.fz");
        writeFitsCompressed(plain, fz, Progress::none());
        ToolRun v = run("fitsverify " + fz);
        EXPECT_NE(v.out.find(" 0 error(s)"), std::string::npos) << w.name << v.out;
        Image back;
        readFits(fz, back, Progress::none());
        EXPECT_EQ(back.type(), plain.type()) << w.name;
        EXPECT_EQ(back.hasOverlay(), plain.hasOverlay()) << w.name;
        EXPECT_EQ(textOf(back.info().date), "08/12/26") << w.name;
        EXPECT_EQ(back.layerName(0), plain.layerName(0)) << w.name;
        EXPECT_EQ(back.storedDisplay().whitePoint, plain.storedDisplay().whitePoint) << w.name;
        EXPECT_EQ(back.storedDisplay().layerMatrix, plain.storedDisplay().layerMatrix) << w.name;
        EXPECT_EQ(testkit::firstDifference(plain, back), "") << w.name;
    }
}
