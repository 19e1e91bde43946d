// "Debayer..." of the image menu, a raw colour mosaic into a new RGB document.
#include "ops/debayer.h"
#include "ui/command_context.h"
#include "ui/commands/command_table.h"
#include "ui/dialogs/debayer_dialog.h"
#include "ui/document.h"
#include "ui/view.h"

namespace quillon::ui {

bool debayerAvailable(const CWinQuillonView* view) {
    if (!view || !view->document()->image().hasSamples()) return false;
    const Image& image = view->document()->image();
    return image.layerCount() == 1;
}

namespace {

void runDebayer(CommandContext& ctx) {
    CWinQuillonView* view = ctx.activeView();
    if (!debayerAvailable(view)) return;
    BayerPattern pattern;
    DebayerMethod method;
    {
        DebayerDialog dlg(view, ctx.settings(), ctx.parent());
        if (dlg.exec() != QDialog::Accepted) return;
        pattern = dlg.pattern();
        method = dlg.method();
    } // the preview goes with the dialog
    const Image& mosaic = view->document()->image();
    const ConvertedDisplay display = debayerDisplay(view->renderer());
    ctx.makeDerivedDocument(
        view, QStringLiteral("Debayer"), debayerDescription(mosaic, method),
        [&mosaic, pattern, method](Image& out, Progress& p) {
            debayer(out, mosaic, pattern, method, p);
        },
        &display);
}

constexpr CommandRow kRows[] = {
    {Cmd::Debayer, runDebayer, [](Cmd, const CWinQuillonView* v) { return debayerAvailable(v); }},
};

} // namespace

CommandTable debayerCommands() {
    return kRows;
}

} // namespace quillon::ui
