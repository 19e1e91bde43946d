// Subcommands of quillon-cli register themselves here, one file per subcommand group.
#pragma once

#include <string>
#include <vector>

namespace quillon::cli {

struct Command {
    const char* name;
    const char* synopsis; // "info FILE"
    const char* summary;  // one line for the overview
    const char* help;     // options and details, may be empty
    // Returns the process exit status. Errors are thrown as quillon::Error or UsageError.
    int (*run)(const std::vector<std::string>& args);
};

// Wrong command-line use: printed with the command's synopsis, exit status 2.
struct UsageError {
    std::string message;
};

// Registers a command at start-up: `static Registrar r{{"name", ...}};`
struct Registrar {
    explicit Registrar(const Command& c);
};

const std::vector<Command>& commands();

} // namespace quillon::cli
