// The commands of the filter menu: dialog, then the filter over the whole image into a new
// document; background extraction changes the image in place.
#include "ui/commands/filter_commands.h"

#include "filters/filter.h"
#include "filters/filter_ops.h"
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

#include <QAction>
#include <QMenu>

#include <algorithm>

namespace quillon::ui {

namespace {

bool libraryCommandAvailable(FilterCommand command, const CWinQuillonView* view) {
    if (!view) return false;
    const Image& img = view->document()->image();
    return filterCommandEnabled(command, img.width(), img.height());
}

// The one path of every library command in the menus: its dialog (with preview) when it has
// one, else the parameters stored in the settings; then the filter into a new document, or
// in place as one undo step when the command names no result title.
void runLibraryCommand(CommandContext& ctx, FilterCommand command) {
    CWinQuillonView* v = ctx.activeView();
    if (!libraryCommandAvailable(command, v)) return;
    if (command == FilterCommand::LucyRichardson) {
        runDeconvolution(ctx, v); // its result shows every iteration
        return;
    }
    std::unique_ptr<Filter> f;
    if (std::unique_ptr<FilterDialog> dlg = makeFilterDialog(ctx, command, v)) {
        if (dlg->exec() != QDialog::Accepted) return;
        f = dlg->filter();
    } else if (const FilterOperation* op = filterOperation(command)) {
        f = op->fromSettings(ctx.settings());
    }
    if (!f) return;
    const FilterCommandInfo& info = filterCommandInfo(command);
    if (info.title) {
        applyFilterToNewDocument(ctx, *f, v);
        return;
    }
    QString name = trLibrary(info.menuText).remove(QLatin1Char('&'));
    if (name.endsWith(QStringLiteral("..."))) name.chop(3);
    const LayerMask layers = ctx.layerSelection().mask;
    const Filter* filter = f.get(); // changeInPlace returns when the work is done
    ctx.changeInPlace(
        [filter, layers](Image& image, Progress& p) {
            image = std::move(*applyFilter(*filter, image, layers, p));
        },
        name.trimmed());
}

template <FilterCommand C>
void runFilter(CommandContext& ctx) {
    runLibraryCommand(ctx, C);
}

// Filter commands need an image of their minimum size.
template <FilterCommand C>
bool filterAvailable(Cmd, const CWinQuillonView* view) {
    return libraryCommandAvailable(C, view);
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

QList<QAction*> addLibraryCommandEntries(const CommandContext& ctx, QMenu* imageMenu,
                                         QMenu* filterMenu) {
    QList<QAction*> added;
    for (const FilterCommandInfo& e : quillon::filterCommands()) {
        // A command without a record has nothing to run from here: it needs its own Cmd row.
        if (!e.menuText || !filterOperation(e.command) ||
            std::ranges::any_of(operationLinks(),
                                [&e](const OperationLink& l) { return l.command == e.command; }))
            continue;
        QMenu* menu = e.menu == CommandMenu::Filter ? filterMenu : imageMenu;
        if (std::ranges::none_of(added, [menu](QAction* a) { return a->parent() == menu; }))
            menu->addSeparator();
        QAction* a = menu->addAction(trLibrary(e.menuText));
        a->setProperty(kLibraryCommandProperty, static_cast<int>(e.command));
        const FilterCommand command = e.command;
        QObject::connect(a, &QAction::triggered, menu, [ctx, command] {
            CommandContext c = ctx;
            runLibraryCommand(c, command);
        });
        // Enabled by the rule of the linked filter commands, checked whenever the menu opens.
        QObject::connect(menu, &QMenu::aboutToShow, a, [ctx, a, command] {
            a->setEnabled(libraryCommandAvailable(command, ctx.activeView()));
        });
        a->setEnabled(libraryCommandAvailable(command, ctx.activeView()));
        added << a;
    }
    return added;
}

} // namespace quillon::ui
