// CMainFrame: "&Rückgängig" and "&Wiederherstellen" of the active document, the naming of
// undo steps after their commands, and the dialog "Speicherausnutzung".
#include "ui/document.h"
#include "ui/main_frame.h"
#include "ui/memory_dialog.h"
#include "ui/quillon_app.h"

#include <QAction>
#include <QKeySequence>

#include <algorithm>

namespace quillon::ui {

namespace {

std::size_t megabytes(int mb) {
    return static_cast<std::size_t>(std::max(mb, 0)) << 20;
}

} // namespace

QString CMainFrame::undoName(Cmd c) {
    // A mirror's entry only says the direction; its submenu says what happens.
    if (c == Cmd::MirrorHorizontal) return QStringLiteral("Horizontal spiegeln");
    if (c == Cmd::MirrorVertical) return QStringLiteral("Vertikal spiegeln");
    QString t = QString::fromUtf8(commandInfo(c).text);
    t = t.section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
    if (t.endsWith(QStringLiteral("..."))) t.chop(3);
    return t.trimmed();
}

bool CMainFrame::changeInPlace(const ImageWork& work) {
    return changeInPlace(work, lastCommand_ == Cmd::Count ? QString() : undoName(lastCommand_));
}

bool CMainFrame::changeInPlace(const ImageWork& work, const QString& name, Reversal reversal) {
    CWinQuillonDoc* doc = activeDocument();
    if (!doc) return false;
    return doc->changeInPlace(name, work, this, jobs_, reversal);
}

void CMainFrame::connectUndoCommands() {
    undoBudget().setLimit(megabytes(app_.settings().settingsUndoRam));
    action(Cmd::EditRedo)
        ->setShortcuts(
            {QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))});
    connect(action(Cmd::EditUndo), &QAction::triggered, this, [this] {
        if (CWinQuillonDoc* d = activeDocument()) d->undo(this);
    });
    connect(action(Cmd::EditRedo), &QAction::triggered, this, [this] {
        if (CWinQuillonDoc* d = activeDocument()) d->redo(this);
    });
    connect(action(Cmd::SettingsMemory), &QAction::triggered, this, [this] {
        SettingsRecord& s = app_.settings();
        MemoryDialog dlg(s.settingsRam, s.settingsUndoRam, this);
        if (dlg.exec() != QDialog::Accepted) return;
        s.settingsRam = dlg.artefactMb();
        s.settingsUndoRam = dlg.undoMb();
        undoBudget().setLimit(megabytes(s.settingsUndoRam));
        updateActions();
    });
}

void CMainFrame::updateUndoActions() {
    const CWinQuillonDoc* d = activeDocument();
    const UndoStep* back = d ? d->history().nextUndo() : nullptr;
    const UndoStep* forward = d ? d->history().nextRedo() : nullptr;
    auto show = [this](Cmd c, const char* word, const char* key, const UndoStep* step) {
        QString tip = QString::fromUtf8(word);
        QString text = QStringLiteral("&") + tip;
        if (step && !step->name.empty()) {
            tip += QStringLiteral(": ") + QString::fromStdString(step->name);
            text += QStringLiteral(": ") + QString::fromStdString(step->name);
        }
        QAction* a = action(c);
        a->setText(text + QStringLiteral("\t") + QString::fromUtf8(key));
        a->setToolTip(tip);
        a->setStatusTip(tip);
        a->setEnabled(step != nullptr);
    };
    show(Cmd::EditUndo, "Rückgängig", "Strg+Z", back);
    show(Cmd::EditRedo, "Wiederherstellen", "Strg+Y", forward);
}

} // namespace quillon::ui
