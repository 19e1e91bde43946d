// The command identifiers of menus, toolbar and accelerators, and their table of texts.
#pragma once

#include "filters/command_table.h"

#include <QString>

#include <optional>
#include <span>

namespace quillon::ui {

enum class Cmd {
    // Datei
    FileNew,
    FileOpen,
    FileClose,
    FileCloseAll,
    FileSave,
    FileSaveAs,
    FileExport,
    PageSetup,
    PrintPreview,
    Print,
    PrintSetup,
    SettingsToolbar,
    SettingsMemory,
    SettingsLanguage,
    ArrangeToolWindows,
    RecentPlaceholder,
    Exit,
    // Bearbeiten (+ the accelerators that find no command in an image window)
    EditCopy,
    EditCopyAll,
    EditUndo,
    EditRedo,
    EditCut,
    EditPaste,
    // Bild
    ConvertGrey,
    ConvertRgb,
    LrgbBias,
    EditMapping,
    MirrorHorizontal,
    MirrorVertical,
    RotateRight,
    RotateLeft,
    Rotate180,
    Resize,
    Crop,
    AddOverlay,
    RemoveOverlay,
    Debayer,
    ImageInfo,
    // Aktionen
    CompositeGrey,
    CompositeRgb,
    CompositeLrgb,
    CompositeCmy,
    CompositeUser,
    FrameAnalysis,
    SplitLayers,
    DarkFlat,
    RepairRow,
    RepairColumn,
    Astrometry,
    CatalogLabels,
    // Filter
    Highpass,
    Lowpass,
    SpecialFilter,
    NoiseFilter,
    UnsharpMask,
    LucyRichardson,
    BackgroundExtraction,
    // Ansicht
    NewView,
    CloseViews,
    ShowOverlay,
    NightMode,
    ZoomIn,
    ZoomOut,
    ZoomOptimal,
    Zoom100,
    ArrangeAllWindows,
    FullScreenMain,
    FullScreenAll,
    // Tools
    ToolNavigator,
    ToolScaling,
    ToolHistogram,
    ToolPhotometry,
    HideTools,
    // Fenster
    WindowCascade,
    WindowTile,
    WindowDefaultLayout,
    WindowArrangeIcons,
    // ?
    HelpTopics,
    HelpWizard,
    About,
    ContextHelp,
    Count
};

struct CommandInfo {
    const char* text;     // menu text with "&" and "\t" accelerator hint
    const char* shortcut; // key sequence, empty when none
    const char* tip;      // tool tip / status text
    const char* glyph;    // short toolbar picture text
    bool built;           // false: present but disabled until its feature exists
};

// Menu texts of the commands linked below come from the library's command table.
const CommandInfo& commandInfo(Cmd c);
// The menu text and the tip in the interface language.
QString commandText(Cmd c);
QString commandTip(Cmd c);

// The menu commands that run a library operation, linked to the library's command table
// (filters/command_table.h): the one place where the two meet.
struct OperationLink {
    Cmd cmd;
    FilterCommand command;
};
std::span<const OperationLink> operationLinks();
std::optional<FilterCommand> operationOf(Cmd c);

// Help topic shown for a command by context help (131201 when the command names none).
int helpTopicOf(Cmd c);
inline constexpr int kDefaultHelpTopic = 131201;

} // namespace quillon::ui
