// quillon-cli filter, resize, crop, rotate, mirror: wrong use and refused parameters.
#include "cli/cli_runner.h"
#include "filters/command_table.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <utility>

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

// Every command of the library's table that names a subcommand is one, and its help names the
// subcommand's first argument.
TEST(CliOps, EveryTableCommandIsASubcommand) {
    for (const quillon::FilterCommandInfo& e : quillon::filterCommands()) {
        if (!e.cliCommand) continue;
        Result h = runCli(std::string("help ") + e.cliCommand);
        EXPECT_EQ(h.status, 0) << e.cliCommand;
        if (e.cliName) {
            EXPECT_TRUE(contains(h, e.cliName)) << e.cliCommand << " " << e.cliName;
        }
    }
}

// Bad and out-of-range numbers read the same in every subcommand.
TEST(CliOps, NumberErrorsShareOneWording) {
    const std::pair<const char*, const char*> cases[] = {
        {"filter highpass --staerke 9 a.fts b.fts",
         "--staerke: ganze Zahl von 1 bis 4 erwartet, nicht \"9\""},
        {"filter unsharp --m x a.fts b.fts", "--m: Zahl von 0 bis 1000 erwartet, nicht \"x\""},
        {"crop x 0 10 10 a.fts b.fts", "LINKS: ganze Zahl von 0 bis 14000 erwartet, nicht \"x\""},
        {"export a.fts b.png --preset 9",
         "--preset: ganze Zahl von -1 bis 6 erwartet, nicht \"9\""},
        {"render a.fts b.png --preset 1.5",
         "--preset: ganze Zahl von -1 bis 6 erwartet, nicht \"1.5\""},
        {"render a.fts b.png --exponent 0",
         "--exponent: Zahl von 0.1 bis 10 erwartet, nicht \"0\""},
        // Lists: the count first, then each number like a single one.
        {"grey a.fts b.fts --factors 1,2",
         "--factors: drei Faktoren R,G,B erwartet, nicht \"1,2\""},
        {"render a.fts b.png --black 1,2,x", "--black: ganze Zahl von -32768 bis 32767 erwartet"},
        {"deconvolve a.fts b.fts --psf-star 1,2 --psf-star 3",
         "--psf-star: X,Y erwartet, nicht \"3\""},
        {"stack out.fts a.fts --type grey --ref 1,2 --ref", "--ref braucht einen Wert"},
    };
    for (const auto& [args, text] : cases) {
        Result r = runCli(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(contains(r, text)) << args << "\n" << r.out;
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
