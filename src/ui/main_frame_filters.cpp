// CMainFrame: the commands of the filter menu: dialog, then the filter over the whole image
// into a new document.
#include "filters/noise.h"
#include "ui/astrometry_dialog.h"
#include "ui/background_dialog.h"
#include "ui/deconvolution_dialog.h"
#include "ui/document.h"
#include "ui/filter_dialogs.h"
#include "ui/main_frame.h"
#include "ui/messages.h"
#include "ui/quillon_app.h"
#include "ui/tool_window.h"
#include "ui/view.h"

#include <QAction>

namespace quillon::ui {

namespace {
// The filter menu's entries of the operation links (ui/commands.cpp).
bool isFilterLink(const OperationLink& l) {
    return filterCommandInfo(l.command).menu == CommandMenu::Filter;
}
} // namespace

std::unique_ptr<FilterDialog> CMainFrame::makeFilterDialog(FilterCommand command,
                                                           CWinQuillonView* view) {
    SettingsRecord& s = app_.settings();
    LayerSelection& layers = app_.layerSelection();
    switch (command) {
    case FilterCommand::Highpass:
        return std::make_unique<ConvolutionDialog>(ConvolutionDialog::Kind::Highpass, view, s,
                                                   layers, this);
    case FilterCommand::Lowpass:
        return std::make_unique<ConvolutionDialog>(ConvolutionDialog::Kind::Lowpass, view, s,
                                                   layers, this);
    case FilterCommand::Special:
        return std::make_unique<SpecialFilterDialog>(view, s, layers, this);
    case FilterCommand::Noise: return std::make_unique<NoiseFilterDialog>(view, s, layers, this);
    case FilterCommand::Unsharp: return std::make_unique<UnsharpMaskDialog>(view, s, layers, this);
    case FilterCommand::LucyRichardson:
        return std::make_unique<DeconvolutionDialog>(view, s, layers, this);
    default: break; // the image menu has its own
    }
    return nullptr;
}

void CMainFrame::runFilterCommand(FilterCommand command) {
    CWinQuillonView* v = activeView();
    if (!v) return;
    const Image& img = v->document()->image();
    if (!filterCommandEnabled(command, img.width(), img.height())) return;
    if (command == FilterCommand::LucyRichardson) {
        runDeconvolution(v); // its result shows every iteration
        return;
    }
    std::unique_ptr<FilterDialog> dlg = makeFilterDialog(command, v);
    if (!dlg || dlg->exec() != QDialog::Accepted) return;
    const std::unique_ptr<Filter> f = dlg->filter();
    dlg.reset(); // the preview goes with the dialog
    applyFilterToNewDocument(*f, v);
}

CWinQuillonDoc* CMainFrame::applyFilterToNewDocument(const Filter& filter, CWinQuillonView* v) {
    const Image& source = v->document()->image();
    const LayerMask layers = app_.layerSelection().mask;
    FilterOutcome outcome;
    CWinQuillonDoc* d = makeDerivedDocument(
        v, QString::fromUtf8(filter.title()), source.width() - filter.widthReduction(),
        source.height() - filter.heightReduction(),
        [&](Image& out, Progress& p) { outcome = filter.run(out, source, layers, p); });
    if (!d) return nullptr;
    if (outcome.zeroSum && !d->views().isEmpty()) {
        centreDisplayOnZero(d->views().first()->renderer(), v->renderer());
        d->notifyDisplayChanged();
    }
    if (outcome.replaced >= 0)
        showMessage(this, QString::fromStdString(replacedPixelsMessage(outcome.replaced)),
                    Ask::Info);
    return d;
}

void CMainFrame::connectFilterCommands() {
    for (const OperationLink& l : operationLinks()) {
        if (!isFilterLink(l)) continue;
        const FilterCommand command = l.command;
        connect(action(l.cmd), &QAction::triggered, this,
                [this, command] { runFilterCommand(command); });
    }
    connectBackgroundCommand(*this);
    connectAstrometryCommands(*this);
}

void CMainFrame::enableFilterCommands(const Image* image) {
    for (const OperationLink& l : operationLinks())
        if (isFilterLink(l))
            action(l.cmd)->setEnabled(
                commandInfo(l.cmd).built && image &&
                filterCommandEnabled(l.command, image->width(), image->height()));
    enableBackgroundCommand(*this, image);
    enableAstrometryCommands(*this, image);
}

} // namespace quillon::ui
