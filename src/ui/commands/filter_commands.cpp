// The commands of the filter menu: dialog, then the filter over the whole image into a new
// document; background extraction changes the image in place.
#include "ui/commands/filter_commands.h"

#include "filters/noise.h"
#include "ui/command_context.h"
#include "ui/commands/command_table.h"
#include "ui/dialogs/background_dialog.h"
#include "ui/dialogs/deconvolution_dialog.h"
#include "ui/dialogs/filter_dialogs.h"
#include "ui/document.h"
#include "ui/library_texts.h"
#include "ui/messages.h"
#include "ui/view.h"

namespace quillon::ui {

namespace {

template <FilterCommand C>
void runFilter(CommandContext& ctx) {
    CWinQuillonView* v = ctx.activeView();
    if (!v) return;
    const Image& img = v->document()->image();
    if (!filterCommandEnabled(C, img.width(), img.height())) return;
    if constexpr (C == FilterCommand::LucyRichardson) {
        runDeconvolution(ctx, v); // its result shows every iteration
    } else {
        std::unique_ptr<FilterDialog> dlg = makeFilterDialog(ctx, C, v);
        if (!dlg || dlg->exec() != QDialog::Accepted) return;
        const std::unique_ptr<Filter> f = dlg->filter();
        dlg.reset(); // the preview goes with the dialog
        applyFilterToNewDocument(ctx, *f, v);
    }
}

// Filter commands need an image of their minimum size.
template <FilterCommand C>
bool filterAvailable(Cmd, const CWinQuillonView* view) {
    if (!view) return false;
    const Image& img = view->document()->image();
    return filterCommandEnabled(C, img.width(), img.height());
}

template <Cmd Id, FilterCommand C>
constexpr CommandRow row() {
    return {Id, runFilter<C>, filterAvailable<C>};
}

constexpr CommandRow kRows[] = {
    row<Cmd::Highpass, FilterCommand::Highpass>(),
    row<Cmd::Lowpass, FilterCommand::Lowpass>(),
    row<Cmd::SpecialFilter, FilterCommand::Special>(),
    row<Cmd::NoiseFilter, FilterCommand::Noise>(),
    row<Cmd::UnsharpMask, FilterCommand::Unsharp>(),
    row<Cmd::LucyRichardson, FilterCommand::LucyRichardson>(),
    {Cmd::BackgroundExtraction, runBackgroundCommand, whenSamples},
};

} // namespace

std::unique_ptr<FilterDialog> makeFilterDialog(const CommandContext& ctx, FilterCommand command,
                                               CWinQuillonView* view) {
    if (command == FilterCommand::LucyRichardson) // PSF, time estimate and preview rule
        return std::make_unique<DeconvolutionDialog>(view, ctx.settings(), ctx.layerSelection(),
                                                     ctx.parent());
    const FilterOperation* op = filterOperation(command);
    if (!op || !op->hasForm()) return nullptr; // the image menu has its own
    return std::make_unique<RecordDialog>(*op, view, ctx.settings(), ctx.layerSelection(),
                                          ctx.parent());
}

CWinQuillonDoc* applyFilterToNewDocument(const CommandContext& ctx, const Filter& filter,
                                         CWinQuillonView* v) {
    const Image& source = v->document()->image();
    const LayerMask layers = ctx.layerSelection().mask;
    FilterOutcome outcome;
    CWinQuillonDoc* d = ctx.makeDerivedDocument(
        v, trLibrary(filter.title()), source.width() - filter.widthReduction(),
        source.height() - filter.heightReduction(),
        [&](Image& out, Progress& p) { outcome = filter.run(out, source, layers, p); });
    if (!d) return nullptr;
    if (outcome.zeroSum && !d->views().isEmpty()) {
        centreDisplayOnZero(d->views().first()->renderer(), v->renderer());
        d->notifyDisplayChanged();
    }
    if (outcome.replaced >= 0)
        showMessage(ctx.parent(), QString::fromStdString(replacedPixelsMessage(outcome.replaced)),
                    Ask::Info);
    return d;
}

CommandTable filterCommands() {
    return kRows;
}

} // namespace quillon::ui
