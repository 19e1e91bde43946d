// The toolbar's button groups in order, as the toolbar shows them and "&Toolbar..." lists them;
// the zoom box ends the zoom group.
#pragma once

#include "ui/commands.h"

#include <span>
#include <vector>

namespace quillon::ui {

struct ToolBarGroup {
    const char* name;
    std::vector<Cmd> commands;
};

std::span<const ToolBarGroup> toolBarGroups();
inline constexpr int kZoomToolBarGroup = 3;

} // namespace quillon::ui
