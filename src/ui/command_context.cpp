// CommandContext: the main window's side of what commands may use, and the two ways commands
// change images (in place as an undo step, or into a new derived document).
#include "ui/command_context.h"

#include "core/error.h"
#include "core/new_document.h"
#include "ops/convert.h"
#include "ui/dialogs/grey_dialog.h"
#include "ui/job_runner.h"
#include "ui/messages.h"
#include "ui/shell/main_frame.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QCoreApplication>

namespace quillon::ui {

QString undoName(Cmd c) {
    // A mirror's entry only says the direction; its submenu says what happens.
    if (c == Cmd::MirrorHorizontal)
        return QCoreApplication::translate("Commands", "Horizontal spiegeln");
    if (c == Cmd::MirrorVertical)
        return QCoreApplication::translate("Commands", "Vertikal spiegeln");
    QString t = commandText(c);
    t = t.section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
    if (t.endsWith(QStringLiteral("..."))) t.chop(3);
    return t.trimmed();
}

CWinQuillonView* CommandContext::activeView() const {
    return frame_.activeView();
}

CWinQuillonDoc* CommandContext::activeDocument() const {
    return frame_.activeDocument();
}

SettingsRecord& CommandContext::settings() const {
    return frame_.app().settings();
}

JobRunner& CommandContext::jobs() const {
    return frame_.jobs();
}

LayerSelection& CommandContext::layerSelection() const {
    return frame_.app().layerSelection();
}

QWidget* CommandContext::parent() const {
    return &frame_;
}

const UndoHistory* CommandContext::undoHistory() const {
    const CWinQuillonDoc* d = activeDocument();
    return d ? &d->history() : nullptr;
}

void CommandContext::commandsChanged() const {
    frame_.updateActions();
}

bool CommandContext::changeInPlace(const ImageWork& work) const {
    const Cmd last = frame_.lastCommand_;
    return changeInPlace(work, last == Cmd::Count ? QString() : undoName(last));
}

bool CommandContext::changeInPlace(const ImageWork& work, const QString& name,
                                   Reversal reversal) const {
    CWinQuillonDoc* doc = activeDocument();
    if (!doc) return false;
    return doc->changeInPlace(name, work, parent(), &jobs(), reversal);
}

CWinQuillonDoc* CommandContext::makeDerivedDocument(CWinQuillonView* source, const QString& title,
                                                    int width, int height,
                                                    const ImageWork& fill) const {
    NewDocumentParams description;
    description.takeFrom(source->document()->image());
    description.width = width;
    description.height = height;
    return makeDerivedDocument(source, title, description, fill);
}

CWinQuillonDoc* CommandContext::makeDerivedDocument(CWinQuillonView* source, const QString& title,
                                                    const NewDocumentParams& description,
                                                    const ImageWork& fill,
                                                    const ConvertedDisplay* display) const {
    CWinQuillonApp& app = frame_.app();
    // The application's creation parameters keep the header of the last creation.
    NewDocumentParams& params = app.newParams();
    params = description;
    params.resetAfterCreation();
    Image result;
    const JobResult r = jobs().run([&](Progress& p) {
        createImage(description, result);
        fill(result, p);
    });
    if (!r.ok()) {
        reportFailure(r, msg::kOutOfMemoryAction, parent());
        return nullptr;
    }
    CWinQuillonDoc* d = app.createDerivedDocument(title, source, std::move(result));
    if (d && display && !d->views().isEmpty()) {
        applyConvertedDisplay(d->views().first()->renderer(), *display);
        d->notifyDisplayChanged();
    }
    return d;
}

} // namespace quillon::ui
