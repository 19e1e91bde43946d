// The list of command modules the main window walks, and the availability rules many rows share.
#include "ui/commands/command_table.h"

#include "ui/document.h"
#include "ui/view.h"

#include <array>

namespace quillon::ui {

std::span<const CommandTable> commandModules() {
    static const std::array modules{fileCommands(),      viewCommands(),   geometryCommands(),
                                    layerCommands(),     filterCommands(), debayerCommands(),
                                    undoCommands(),      printCommands(),  compositeCommands(),
                                    astrometryCommands()};
    return modules;
}

bool whenView(Cmd, const CWinQuillonView* view) {
    return view != nullptr;
}

bool whenSamples(Cmd, const CWinQuillonView* view) {
    return view && view->document()->image().hasSamples();
}

} // namespace quillon::ui
