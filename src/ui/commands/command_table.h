// The command modules: each group of menu commands (files, view, geometry, layers, filters,
// debayer, undo, printing, composite) exports a table of rows {command, what it does, when it
// is available}. The main window walks these tables to connect its actions and to enable them;
// a new menu command is one row in its module's table plus its function in the same file.
#pragma once

#include "ui/commands.h"

#include <span>

namespace quillon::ui {

class CommandContext;
class CWinQuillonView;

struct CommandRow {
    Cmd cmd;
    // Runs the command; it may use only what the context offers.
    void (*run)(CommandContext& ctx);
    // Whether the command can run with this view active (null: no image view active); a null
    // rule leaves the action's state to the main window (checked toggles, undo texts).
    bool (*enabled)(Cmd cmd, const CWinQuillonView* view) = nullptr;
};

using CommandTable = std::span<const CommandRow>;

// The modules' tables.
CommandTable fileCommands();
CommandTable viewCommands();
CommandTable geometryCommands();
CommandTable layerCommands();
CommandTable filterCommands();
CommandTable debayerCommands();
CommandTable undoCommands();
CommandTable printCommands();
CommandTable compositeCommands();
CommandTable astrometryCommands(); // dialogs/astrometry_dialog.cpp

// Every module's table, in menu order.
std::span<const CommandTable> commandModules();

// Rules shared by many rows: a view is active; the active image has samples.
bool whenView(Cmd, const CWinQuillonView* view);
bool whenSamples(Cmd, const CWinQuillonView* view);

} // namespace quillon::ui
