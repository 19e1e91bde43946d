// "&Rückgängig" and "&Wiederherstellen" of the active document and the dialog
// "Speicherausnutzung" with the undo memory budget.
#include "ui/commands/undo_commands.h"
#include "core/settings_record.h"
#include "ui/command_context.h"
#include "ui/commands/command_table.h"
#include "ui/dialogs/memory_dialog.h"
#include "ui/document.h"

#include <QAction>
#include <QCoreApplication>

#include <algorithm>

namespace quillon::ui {

std::size_t megabytes(int mb) {
    return static_cast<std::size_t>(std::max(mb, 0)) << 20;
}

void showUndoSteps(QAction* undo, QAction* redo, const UndoHistory* history) {
    auto show = [](QAction* a, const char* word, const char* key, const UndoStep* step) {
        QString tip = QCoreApplication::translate("Commands", word);
        QString text = QStringLiteral("&") + tip;
        if (step && !step->name.empty()) {
            tip += QStringLiteral(": ") + QString::fromStdString(step->name);
            text += QStringLiteral(": ") + QString::fromStdString(step->name);
        }
        a->setText(text + QStringLiteral("\t") + QCoreApplication::translate("Commands", key));
        a->setToolTip(tip);
        a->setStatusTip(tip);
        a->setEnabled(step != nullptr);
    };
    show(undo, QT_TRANSLATE_NOOP("Commands", "Rückgängig"), QT_TRANSLATE_NOOP("Commands", "Strg+Z"),
         history ? history->nextUndo() : nullptr);
    show(redo, QT_TRANSLATE_NOOP("Commands", "Wiederherstellen"),
         QT_TRANSLATE_NOOP("Commands", "Strg+Y"), history ? history->nextRedo() : nullptr);
}

namespace {

void undo(CommandContext& ctx) {
    if (CWinQuillonDoc* d = ctx.activeDocument()) d->undo(ctx.parent());
}

void redo(CommandContext& ctx) {
    if (CWinQuillonDoc* d = ctx.activeDocument()) d->redo(ctx.parent());
}

void memorySettings(CommandContext& ctx) {
    SettingsRecord& s = ctx.settings();
    MemoryDialog dlg(s.settingsRam, s.settingsUndoRam, ctx.parent());
    if (dlg.exec() != QDialog::Accepted) return;
    s.settingsRam = dlg.artefactMb();
    s.settingsUndoRam = dlg.undoMb();
    undoBudget().setLimit(megabytes(s.settingsUndoRam));
    ctx.commandsChanged();
}

// The undo entries' texts and states name the active document's next steps (main window).
constexpr CommandRow kRows[] = {
    {Cmd::EditUndo, undo},
    {Cmd::EditRedo, redo},
    {Cmd::SettingsMemory, memorySettings},
};

} // namespace

CommandTable undoCommands() {
    return kRows;
}

} // namespace quillon::ui
