// End-to-end checks of quillon-cli: exit status and messages as a user sees them.
#include "cli/cli_runner.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {
using Result = CliResult;
inline CliResult run(const std::string& args) {
    return runCli(args);
}
} // namespace

TEST(Cli, HelpAndVersion) {
    Result h = run("--help");
    EXPECT_EQ(h.status, 0);
    EXPECT_NE(h.out.find("info DATEI"), std::string::npos) << h.out;
    Result v = run("--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.rfind("quillon-cli ", 0), 0u) << v.out;
    Result ch = run("help info");
    EXPECT_EQ(ch.status, 0);
}

TEST(Cli, WrongUseAndMissingFilesFail) {
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("no-such-command").status, 2);
    EXPECT_EQ(run("info").status, 2);
    Result r = run("info /nonexistent/file.fts");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("quillon-cli info: "), std::string::npos) << r.out;
}
