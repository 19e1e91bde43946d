// Runs the real quillon-cli for end-to-end tests and captures its exit status and output.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

struct CliResult {
    int status;      // exit status, -1 when the program did not exit normally
    std::string out; // stdout and stderr together
};

// Runs `quillon-cli ARGS` through the shell (ARGS is pasted as it stands).
inline CliResult runCli(const std::string& args) {
    std::string cmd = std::string(QUILLON_CLI) + " " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    CliResult r{-1, {}};
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}
