// Icons of the menu and toolbar commands: the table of bundled SVG names and the glyph
// fallback.
#include "ui/shell/command_icons.h"

#include <QPainter>
#include <QPixmap>

namespace quillon::ui {
namespace {

struct IconName {
    Cmd cmd;
    const char* name; // file name in :/icons without ".svg"
};

// Common actions use the freedesktop icon names (their pictures come from the Adwaita set);
// the astronomy and image tools have pictures of their own in the same style.
constexpr IconName kIcons[] = {
    {Cmd::FileNew, "document-new"},
    {Cmd::FileOpen, "document-open"},
    {Cmd::FileClose, "window-close"},
    {Cmd::FileSave, "document-save"},
    {Cmd::FileSaveAs, "document-save-as"},
    {Cmd::PageSetup, "document-page-setup"},
    {Cmd::PrintPreview, "document-print-preview"},
    {Cmd::Print, "document-print"},
    {Cmd::Exit, "application-exit"},
    {Cmd::EditCopy, "edit-copy"},
    {Cmd::EditCopyAll, "edit-copy-all"},
    {Cmd::EditUndo, "edit-undo"},
    {Cmd::EditRedo, "edit-redo"},
    {Cmd::EditCut, "edit-cut"},
    {Cmd::EditPaste, "edit-paste"},
    {Cmd::MirrorHorizontal, "object-flip-horizontal"},
    {Cmd::MirrorVertical, "object-flip-vertical"},
    {Cmd::RotateRight, "object-rotate-right"},
    {Cmd::RotateLeft, "object-rotate-left"},
    {Cmd::Resize, "image-resize"},
    {Cmd::Crop, "image-crop"},
    {Cmd::Debayer, "image-debayer"},
    {Cmd::ImageInfo, "image-information"},
    {Cmd::CompositeGrey, "composite-grey"},
    {Cmd::CompositeRgb, "composite-rgb"},
    {Cmd::CompositeLrgb, "composite-lrgb"},
    {Cmd::CompositeCmy, "composite-cmy"},
    {Cmd::RepairRow, "repair-row"},
    {Cmd::RepairColumn, "repair-column"},
    {Cmd::Highpass, "filter-highpass"},
    {Cmd::Lowpass, "filter-lowpass"},
    {Cmd::NoiseFilter, "filter-noise"},
    {Cmd::UnsharpMask, "filter-unsharp"},
    {Cmd::LucyRichardson, "filter-lucy-richardson"},
    {Cmd::ZoomIn, "zoom-in"},
    {Cmd::ZoomOut, "zoom-out"},
    {Cmd::ZoomOptimal, "zoom-fit-best"},
    {Cmd::Zoom100, "zoom-original"},
    {Cmd::FullScreenMain, "view-fullscreen"},
    {Cmd::ToolNavigator, "tool-navigator"},
    {Cmd::ToolScaling, "tool-scaling"},
    {Cmd::ToolHistogram, "tool-histogram"},
    {Cmd::ToolPhotometry, "tool-photometry"},
    {Cmd::HideTools, "view-conceal"},
    {Cmd::HelpTopics, "help-contents"},
    {Cmd::HelpWizard, "help-wizard"},
    {Cmd::About, "help-about"},
    {Cmd::ContextHelp, "help-context"},
};

// A picture drawn from a short text, for commands without a bundled icon.
QIcon glyphIcon(const QString& glyph) {
    const QColor colour(90, 130, 200);
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour.darker(160), 1.5));
    p.setBrush(colour.lighter(170));
    p.drawRoundedRect(QRectF(2, 2, 28, 28), 5, 5);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(glyph.size() <= 1 ? 20 : glyph.size() == 2 ? 14 : 11);
    p.setFont(f);
    p.setPen(colour.darker(220));
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, glyph);
    return QIcon(pm);
}

} // namespace

QString commandIconPath(Cmd c) {
    for (const IconName& i : kIcons)
        if (i.cmd == c) return QStringLiteral(":/icons/%1.svg").arg(QLatin1String(i.name));
    return {};
}

QIcon commandIcon(Cmd c) {
    const QString path = commandIconPath(c);
    if (!path.isEmpty()) return QIcon(path);
    const char* glyph = commandInfo(c).glyph;
    if (*glyph) return glyphIcon(QString::fromUtf8(glyph));
    return {};
}

QIcon applicationIcon() {
    return QIcon(QStringLiteral(":/icons/quillon.svg"));
}

} // namespace quillon::ui
