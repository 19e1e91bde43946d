// The commands of the view menu that act on the active view and its document: other views,
// the overlay, zoom steps and the arrangement of the document windows.
#include "ui/command_context.h"
#include "ui/commands/command_table.h"
#include "ui/document.h"
#include "ui/view.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace quillon::ui {

namespace {

void closeOtherViews(CommandContext& ctx) {
    CWinQuillonView* v = ctx.activeView();
    if (!v) return;
    const auto views = v->document()->views();
    for (CWinQuillonView* other : views)
        if (other != v) other->parentWidget()->close();
    ctx.commandsChanged();
}

void toggleOverlay(CommandContext& ctx) {
    if (CWinQuillonView* v = ctx.activeView()) {
        v->renderer().setShowOverlay(!v->renderer().params().showOverlay);
        v->refresh(false);
        ctx.commandsChanged();
    }
}

// "Alle Fenster anordnen": every document window comes back from minimised or maximised and
// the windows share the document area side by side, the active one staying active.
void arrangeAllWindows(CommandContext& ctx) {
    CWinQuillonView* v = ctx.activeView();
    auto* active = v ? qobject_cast<QMdiSubWindow*>(v->parentWidget()) : nullptr;
    QMdiArea* area = active ? active->mdiArea() : nullptr;
    if (!area) return;
    for (QMdiSubWindow* w : area->subWindowList())
        if (w->isMinimized() || w->isMaximized()) w->showNormal();
    area->tileSubWindows();
    area->setActiveSubWindow(active);
}

bool whenOtherViews(Cmd, const CWinQuillonView* v) {
    return v && v->document()->views().size() > 1;
}

bool whenOverlay(Cmd, const CWinQuillonView* v) {
    return v && v->document()->image().hasOverlay();
}

constexpr CommandRow kRows[] = {
    {Cmd::CloseViews, closeOtherViews, whenOtherViews},
    {Cmd::ShowOverlay, toggleOverlay, whenOverlay},
    {Cmd::ZoomIn, [](CommandContext& ctx) { ctx.activeView()->zoomIn(); }, whenView},
    {Cmd::ZoomOut, [](CommandContext& ctx) { ctx.activeView()->zoomOut(); }, whenView},
    {Cmd::Zoom100, [](CommandContext& ctx) { ctx.activeView()->zoomTo100(); }, whenView},
    {Cmd::ArrangeAllWindows, arrangeAllWindows, whenView},
};

} // namespace

CommandTable viewCommands() {
    return kRows;
}

} // namespace quillon::ui
