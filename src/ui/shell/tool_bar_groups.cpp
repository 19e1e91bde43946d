// The toolbar's button groups (names translated where shown, toolBarGroupNames).
#include "ui/shell/tool_bar_groups.h"

#include <QCoreApplication>

namespace quillon::ui {

std::span<const ToolBarGroup> toolBarGroups() {
    static const ToolBarGroup groups[] = {
        {QT_TRANSLATE_NOOP("ToolBarGroups", "Datei"), {Cmd::FileNew, Cmd::FileOpen, Cmd::FileSave}},
        {QT_TRANSLATE_NOOP("ToolBarGroups", "Drucken"), {Cmd::Print, Cmd::PrintPreview}},
        {QT_TRANSLATE_NOOP("ToolBarGroups", "Bearbeiten"),
         {Cmd::EditCopy, Cmd::EditCopyAll, Cmd::EditUndo}},
        {QT_TRANSLATE_NOOP("ToolBarGroups", "Zoom"),
         {Cmd::ZoomIn, Cmd::ZoomOut, Cmd::ZoomOptimal, Cmd::Zoom100, Cmd::FullScreenMain}},
        {QT_TRANSLATE_NOOP("ToolBarGroups", "Werkzeuge und Bild"),
         {Cmd::ToolNavigator, Cmd::ToolScaling, Cmd::ToolHistogram, Cmd::ToolPhotometry,
          Cmd::ImageInfo, Cmd::HideTools, Cmd::RotateRight, Cmd::RotateLeft, Cmd::MirrorVertical,
          Cmd::MirrorHorizontal, Cmd::Resize, Cmd::Crop, Cmd::RepairRow, Cmd::RepairColumn}},
        {QT_TRANSLATE_NOOP("ToolBarGroups", "Komposit"),
         {Cmd::CompositeGrey, Cmd::CompositeRgb, Cmd::CompositeLrgb, Cmd::CompositeCmy}},
        {QT_TRANSLATE_NOOP("ToolBarGroups", "Filter"),
         {Cmd::UnsharpMask, Cmd::Highpass, Cmd::Lowpass, Cmd::NoiseFilter}},
        {QT_TRANSLATE_NOOP("ToolBarGroups", "Hilfe"),
         {Cmd::HelpWizard, Cmd::HelpTopics, Cmd::ContextHelp, Cmd::About}},
    };
    static_assert(kZoomToolBarGroup == 3);
    return groups;
}

} // namespace quillon::ui
