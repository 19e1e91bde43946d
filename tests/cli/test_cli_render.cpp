// quillon-cli render and histogram: options, wrong use and missing files.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {
struct Outcome {
    int status;
    std::string out;
};

Outcome runCli(const std::string& args) {
    std::string cmd = std::string(QUILLON_CLI) + " " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    Outcome r{-1, {}};
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}
} // namespace

TEST(CliRender, HelpListsTheOptions) {
    Outcome h = runCli("help render");
    EXPECT_EQ(h.status, 0);
    for (const char* opt : {"--preset", "--black", "--white", "--exponent", "--lut", "--palette",
                            "--invert", "--periodic", "--zoom"})
        EXPECT_NE(h.out.find(opt), std::string::npos) << opt;
    EXPECT_EQ(runCli("help histogram").status, 0);
}

TEST(CliRender, WrongUseIsAUsageError) {
    EXPECT_EQ(runCli("render").status, 2);
    EXPECT_EQ(runCli("render a.fts").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --preset 7").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --black 1,2").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --exponent 0").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --lut wellen").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --zoom -1").status, 2);
    EXPECT_EQ(runCli("render a.fts b.png --frobnicate").status, 2);
    Outcome r = runCli("render a.fts b.png --white");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--white"), std::string::npos) << r.out;
    EXPECT_EQ(runCli("histogram").status, 2);
}

TEST(CliRender, MissingInputFailsWithoutWritingOutput) {
    std::string out = ::testing::TempDir() + "quillon_render_missing.png";
    std::remove(out.c_str());
    Outcome r = runCli("render /nonexistent/file.fts " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("quillon-cli render: "), std::string::npos) << r.out;
    EXPECT_EQ(std::fopen(out.c_str(), "rb"), nullptr);
    EXPECT_EQ(runCli("histogram /nonexistent/file.fts").status, 1);
}
