// The geometry commands of the image menu: which of them the active view allows, and the
// rectangle a crop takes from the view's selection.
#pragma once

#include "ops/geometry.h"
#include "ui/commands.h"

#include <array>

namespace quillon::ui {

class CWinQuillonView;

inline constexpr std::array<Cmd, 7> kGeometryCommands{
    Cmd::MirrorHorizontal, Cmd::MirrorVertical, Cmd::RotateRight, Cmd::RotateLeft,
    Cmd::Rotate180,        Cmd::Resize,         Cmd::Crop};

// The view's selection in image pixels (right and bottom exclusive), cut to the image: a
// selection dragged past the image's edge crops what lies inside. Empty without a selection.
PixelRect cropRectangle(const CWinQuillonView& view);

// Whether a geometry command can run with this view active (null: no image view active).
bool geometryCommandAvailable(Cmd c, const CWinQuillonView* view);

} // namespace quillon::ui
