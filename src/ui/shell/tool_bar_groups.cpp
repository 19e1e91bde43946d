// The toolbar's button groups.
#include "ui/shell/tool_bar_groups.h"

namespace quillon::ui {

std::span<const ToolBarGroup> toolBarGroups() {
    static const ToolBarGroup groups[] = {
        {"Datei", {Cmd::FileNew, Cmd::FileOpen, Cmd::FileSave}},
        {"Drucken", {Cmd::Print, Cmd::PrintPreview}},
        {"Bearbeiten", {Cmd::EditCopy, Cmd::EditCopyAll, Cmd::EditUndo}},
        {"Zoom", {Cmd::ZoomIn, Cmd::ZoomOut, Cmd::ZoomOptimal, Cmd::Zoom100, Cmd::FullScreenMain}},
        {"Werkzeuge und Bild",
         {Cmd::ToolNavigator, Cmd::ToolScaling, Cmd::ToolHistogram, Cmd::ToolPhotometry,
          Cmd::ImageInfo, Cmd::HideTools, Cmd::RotateRight, Cmd::RotateLeft, Cmd::MirrorVertical,
          Cmd::MirrorHorizontal, Cmd::Resize, Cmd::Crop, Cmd::RepairRow, Cmd::RepairColumn}},
        {"Komposit",
         {Cmd::CompositeGrey, Cmd::CompositeRgb, Cmd::CompositeLrgb, Cmd::CompositeCmy}},
        {"Filter", {Cmd::UnsharpMask, Cmd::Highpass, Cmd::Lowpass, Cmd::NoiseFilter}},
        {"Hilfe", {Cmd::HelpWizard, Cmd::HelpTopics, Cmd::ContextHelp, Cmd::About}},
    };
    static_assert(kZoomToolBarGroup == 3);
    return groups;
}

} // namespace quillon::ui
