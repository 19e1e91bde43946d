// The one table of the filter and image commands that run a library operation: name on the
// command line, menu text, result title, minimum image size, dialog and stored settings.
//
// quillon-cli looks its subcommands and their first arguments up here, and the GUI links its
// menu identifiers to these entries in one place (ui/commands.cpp) and takes their menu texts
// from here, so a command is described once. Parameters, settings and options of the filters
// are in their operation records (filters/filter_ops.h).
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace quillon {

// Filter menu first, then the geometry commands of the image menu, in menu order.
enum class FilterCommand {
    Highpass,
    Lowpass,
    Special,
    Noise,
    Unsharp,
    LucyRichardson,
    MirrorHorizontal,
    MirrorVertical,
    RotateRight,
    RotateLeft,
    Rotate180,
    Resize,
    Crop,
};

enum class CommandMenu { Filter, Image };

struct FilterCommandInfo {
    FilterCommand command;
    CommandMenu menu;
    // quillon-cli subcommand and its first argument ("filter" "highpass", "rotate" "rechts");
    // a null subcommand: not on the command line, a null argument: the subcommand alone.
    const char* cliCommand;
    const char* cliName;
    const char* menuText;
    int minimumSize;    // in both directions, 0 = no limit
    const char* title;  // title of the result document, null when the image changes in place
    const char* dialog; // title of the dialog gathering the parameters, null: none
};

// Every entry, in the order of FilterCommand.
std::span<const FilterCommandInfo> filterCommands();
const FilterCommandInfo& filterCommandInfo(FilterCommand command);
// The entry run by `quillon-cli <cliCommand> <cliName>` (cliName empty for subcommands
// without one), if any.
std::optional<FilterCommand> findCliCommand(std::string_view cliCommand,
                                            std::string_view cliName = {});
// Enabled when the image is at least the command's minimum size in both directions.
bool filterCommandEnabled(FilterCommand command, int width, int height);

} // namespace quillon
