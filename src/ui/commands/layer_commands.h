// The conversion, overlay, calibration and repair commands: which of them the active view
// allows, and the row or column a repair takes from the view's selection.
#pragma once

#include "ui/commands.h"

#include <array>
#include <optional>

namespace quillon::ui {

class CWinQuillonView;

inline constexpr std::array<Cmd, 8> kLayerCommands{
    Cmd::ConvertGrey,   Cmd::ConvertRgb, Cmd::SplitLayers, Cmd::AddOverlay,
    Cmd::RemoveOverlay, Cmd::DarkFlat,   Cmd::RepairRow,   Cmd::RepairColumn};

// The line a repair works on: row or column `index` from `from` to `to` − 1.
struct RepairLine {
    int index = 0;
    int from = 0;
    int to = 0;
};
// A selection (cut to the image) exactly 1 pixel high and more than 1 wide gives the row, one
// exactly 1 wide and more than 1 high the column; anything else nothing.
std::optional<RepairLine> repairLine(const CWinQuillonView& view, bool row);

// Whether the command can run with this view active (null: no image view active).
bool layerCommandAvailable(Cmd c, const CWinQuillonView* view);

// The confirmation before the overlay is removed (showMessage translates it).
inline constexpr const char* kRemoveOverlayQuestion =
    QT_TRANSLATE_NOOP("quillon", "Soll die Overlay-Ebene\nunwiederruflich gelöscht werden?");

} // namespace quillon::ui
