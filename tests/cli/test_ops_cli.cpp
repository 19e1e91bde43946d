// quillon-cli filter, resize, crop, rotate, mirror: wrong use and refused parameters.
#include "cli/cli_runner.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {
using Result = CliResult;

bool contains(const Result& r, const std::string& text) {
    return r.out.find(text) != std::string::npos;
}
} // namespace

TEST(CliOps, WrongUseExitsWithTwo) {
    for (const char* args :
         {"filter", "filter bogus a.fts b.fts", "filter highpass --staerke 9 a.fts b.fts",
          "filter highpass --groesse 4 a.fts b.fts", "filter noise --art fein a.fts b.fts",
          "filter unsharp --m 1001 a.fts b.fts", "filter lowpass a.fts",
          "filter special --unbekannt 1 a.fts b.fts", "resize a.fts b.fts",
          "resize --breite 100 --hoehe 50 a.fts b.fts", "crop 0 0 10 a.fts b.fts",
          "crop x 0 10 10 a.fts b.fts", "rotate seitwaerts a.fts b.fts",
          "mirror diagonal a.fts b.fts", "rotate rechts a.fts"}) {
        Result r = runCli(args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
        EXPECT_TRUE(contains(r, "Aufruf: quillon-cli")) << args << "\n" << r.out;
    }
}

TEST(CliOps, SmallCropAndMissingInputFailWithMessage) {
    Result crop = runCli("crop 5 5 14 15 in.fts out.fts");
    EXPECT_EQ(crop.status, 1);
    EXPECT_TRUE(contains(crop, "mindestens 10 x 10")) << crop.out;
    Result missing = runCli("filter highpass /nonexistent/in.fts /tmp/out.fts");
    EXPECT_EQ(missing.status, 1) << missing.out;
    EXPECT_TRUE(contains(missing, "quillon-cli filter: ")) << missing.out;
}

TEST(CliOps, HelpListsTheCommands) {
    Result h = runCli("--help");
    for (const char* c :
         {"filter FILTER", "resize", "crop LINKS", "rotate rechts", "mirror horizontal"})
        EXPECT_TRUE(contains(h, c)) << c;
    Result f = runCli("help filter");
    EXPECT_TRUE(contains(f, "--ebenen")) << f.out;
}
