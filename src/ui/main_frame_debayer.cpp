// CMainFrame: "Debayer..." of the image menu, a raw colour mosaic into a new RGB document.
#include "ops/debayer.h"
#include "ui/debayer_dialog.h"
#include "ui/document.h"
#include "ui/main_frame.h"
#include "ui/quillon_app.h"
#include "ui/view.h"

#include <QAction>

namespace quillon::ui {

bool debayerAvailable(const CWinQuillonView* view) {
    if (!view || !view->document()->image().hasSamples()) return false;
    const Image& image = view->document()->image();
    return image.layerCount() == 1;
}

void CMainFrame::connectDebayerCommand() {
    connect(action(Cmd::Debayer), &QAction::triggered, this, [this] {
        CWinQuillonView* view = activeView();
        if (!debayerAvailable(view)) return;
        BayerPattern pattern;
        DebayerMethod method;
        {
            DebayerDialog dlg(view, app().settings(), this);
            if (dlg.exec() != QDialog::Accepted) return;
            pattern = dlg.pattern();
            method = dlg.method();
        } // the preview goes with the dialog
        const Image& mosaic = view->document()->image();
        const ConvertedDisplay display = debayerDisplay(view->renderer());
        makeDerivedDocument(
            view, QStringLiteral("Debayer"), debayerDescription(mosaic, method),
            [&mosaic, pattern, method](Image& out, Progress& p) {
                debayer(out, mosaic, pattern, method, p);
            },
            &display);
    });
}

} // namespace quillon::ui
