// The document commands of the file menu: new, open, close, save and export.
#include "core/error.h"
#include "display/export_view.h"
#include "formats/raster_export.h"
#include "ui/command_context.h"
#include "ui/commands/command_table.h"
#include "ui/dialogs/open_dialog.h"
#include "ui/document.h"
#include "ui/job_runner.h"
#include "ui/messages.h"
#include "ui/shell/language.h"
#include "ui/shell/language_dialog.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QFileInfo>

namespace quillon::ui {

namespace {

CWinQuillonApp& app() {
    return *CWinQuillonApp::instance();
}

void openFiles(CommandContext& ctx) {
    for (const QString& f : openFilesDialog(ctx.parent())) app().openDocument(f);
}

void closeActive(CommandContext& ctx) {
    if (CWinQuillonDoc* d = ctx.activeDocument()) app().closeDocument(d);
}

template <bool As>
void saveActive(CommandContext& ctx) {
    CWinQuillonDoc* d = ctx.activeDocument();
    if (!d) return;
    const bool ok = As ? d->saveAs(ctx.parent(), &ctx.jobs()) : d->save(ctx.parent(), &ctx.jobs());
    if (ok) app().addRecentFile(d->pathName());
}

void exportActive(CommandContext& ctx) {
    CWinQuillonView* v = ctx.activeView();
    if (!v) return;
    QString proposed = QFileInfo(v->document()->title()).completeBaseName();
    if (proposed.isEmpty()) proposed = v->document()->title();
    const QString path = askExportFileName(ctx.parent(), proposed + QStringLiteral(".bmp"));
    if (path.isEmpty()) return;
    const ImageRenderer& renderer = v->renderer();
    const JobResult r =
        ctx.jobs().run([&](Progress&) { exportView(renderer, path.toStdString()); });
    reportFailure(r, exportFailureMessage(msg::kOutOfMemory).c_str(), ctx.parent());
}

// Stored now, written at exit, used from the next start (the texts are made once, at start).
void chooseLanguage(CommandContext& ctx) {
    std::string& stored = ctx.settings().language;
    LanguageDialog dlg(languageCode(stored), ctx.parent());
    if (dlg.exec() == QDialog::Accepted) stored = dlg.language().toStdString();
}

constexpr CommandRow kRows[] = {
    {Cmd::FileNew, [](CommandContext&) { app().newDocumentFromDialog(); }},
    {Cmd::FileOpen, openFiles},
    {Cmd::FileClose, closeActive, whenView},
    {Cmd::FileCloseAll, [](CommandContext&) { app().closeAllDocuments(); },
     [](Cmd, const CWinQuillonView*) { return app().documents().size() >= 2; }},
    {Cmd::FileSave, saveActive<false>, whenView},
    {Cmd::FileSaveAs, saveActive<true>, whenView},
    {Cmd::FileExport, exportActive, whenView},
    {Cmd::SettingsLanguage, chooseLanguage},
};

} // namespace

CommandTable fileCommands() {
    return kRows;
}

} // namespace quillon::ui
