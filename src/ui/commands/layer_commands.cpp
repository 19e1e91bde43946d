// The layer commands: grey and RGB conversion, splitting into layers, adding and removing the
// overlay, the dark/flat calibration, the repair of a row or column, the layer mapping and the LRGB
// bias.
//
// Conversions and the split fill new derived documents; the overlay, calibration and repair
// commands change the active document's image in place through changeInPlace, so a cancel or
// a refusal leaves it exactly as it was.
#include "ui/commands/layer_commands.h"
#include "core/error.h"
#include "formats/open.h"
#include "ops/calibration.h"
#include "ops/convert.h"
#include "ui/command_context.h"
#include "ui/commands/command_table.h"
#include "ui/commands/geometry_commands.h"
#include "ui/composite/lrgb_bias_dialog.h"
#include "ui/dialogs/calibration_dialog.h"
#include "ui/dialogs/grey_dialog.h"
#include "ui/dialogs/layer_matrix_dialog.h"
#include "ui/dialogs/layer_select_dialog.h"
#include "ui/document.h"
#include "ui/job_runner.h"
#include "ui/library_texts.h"
#include "ui/messages.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <new>

namespace quillon::ui {

std::optional<RepairLine> repairLine(const CWinQuillonView& view, bool row) {
    const PixelRect r = cropRectangle(view);
    const int w = r.width();
    const int h = r.height();
    if (row && h == 1 && w > 1) return RepairLine{r.top, r.left, r.right};
    if (!row && w == 1 && h > 1) return RepairLine{r.left, r.top, r.bottom};
    return std::nullopt;
}

bool layerCommandAvailable(Cmd c, const CWinQuillonView* view) {
    if (!view || !view->document()->image().hasSamples()) return false;
    const Image& image = view->document()->image();
    switch (c) {
    case Cmd::ConvertGrey:
    case Cmd::SplitLayers: return image.type() != BW_IMAGE;
    case Cmd::ConvertRgb: return image.type() != RGB_IMAGE;
    case Cmd::AddOverlay: return !image.hasOverlay();
    case Cmd::RemoveOverlay: return image.hasOverlay();
    case Cmd::DarkFlat: return true;
    case Cmd::RepairRow: return repairLine(*view, true).has_value();
    case Cmd::RepairColumn: return repairLine(*view, false).has_value();
    default: return false;
    }
}

namespace {

// Reads a calibration frame through the open path as a job, without a document or view.
// Nothing (not enabled or no path) and a failure (reader message, then `failure`) leave
// `frame` empty; a cancel ends the command.
enum class FrameLoad { None, Loaded, Cancelled };
FrameLoad loadFrame(const CommandContext& main, bool enabled, const std::string& path, Image& frame,
                    const char* failure) {
    if (!enabled || path.empty()) return FrameLoad::None;
    const std::string clean = trimTrailingBlanks(path);
    const JobResult r = main.jobs().run([&](Progress& p) { openImage(clean, frame, p); });
    if (r.ok()) return FrameLoad::Loaded;
    frame.Clear();
    if (r.kind == JobResult::Cancelled) return FrameLoad::Cancelled;
    reportFailure(r, msg::kOutOfMemory, main.parent());
    showMessage(main.parent(), QString::fromUtf8(failure));
    return FrameLoad::None;
}

void darkFlatActive(CommandContext& ctx) {
    CWinQuillonView* view = ctx.activeView();
    if (!view) return;
    SettingsRecord& settings = ctx.settings();
    DarkFlatDialog dlg(CalibrationParams::fromSettings(settings), ctx.parent());
    if (dlg.exec() != QDialog::Accepted) return;
    const CalibrationParams values = dlg.values();
    values.storeInto(settings);

    QPointer<CWinQuillonDoc> doc = view->document();
    Image dark;
    Image flat;
    const FrameLoad d =
        loadFrame(ctx, values.darkEnabled, values.darkFile, dark,
                  QT_TRANSLATE_NOOP("quillon", "Dunkelstrombild konnte nicht geladen werden!"));
    if (d == FrameLoad::Cancelled) return;
    const FrameLoad f =
        loadFrame(ctx, values.flatEnabled, values.flatFile, flat,
                  QT_TRANSLATE_NOOP("quillon", "Flatfield-Bild konnte nicht geladen werden!"));
    if (f == FrameLoad::Cancelled || !doc) return;
    const bool withDark = d == FrameLoad::Loaded;
    const bool withFlat = f == FrameLoad::Loaded;
    if (!withDark && !withFlat) {
        // Nothing to apply: no pixel changes, but the command counts as done.
        doc->setModified(true);
        return;
    }
    CalibrationOutcome outcome;
    const bool done = ctx.changeInPlace([&](Image& image, Progress& p) {
        outcome = darkFlatCorrect(image, withDark ? &dark : nullptr, withFlat ? &flat : nullptr,
                                  values, p);
        // A refused frame leaves the image as it was: the copy is thrown away.
        if (outcome.code != CALIBRATION_OK) throw Error(calibrationMessage(outcome.code));
    });
    if (!done || !doc) return;
    // Undoing the calibration takes the label off the title again.
    doc->appendToTitle(QString::fromStdString(calibrationTitleLabel(withDark, withFlat)));
    if (outcome.clamped > 0)
        showMessage(ctx.parent(), QString::fromStdString(clampedNotice(outcome.clamped)),
                    Ask::Info);
}

void repairActive(CommandContext& ctx, bool row) {
    CWinQuillonView* view = ctx.activeView();
    if (!view) return;
    const std::optional<RepairLine> line = repairLine(*view, row);
    if (!line) return;
    const Image& image = view->document()->image();
    const int layers = image.layerCount();
    SettingsRecord& settings = ctx.settings();
    LayerChoiceDialog dlg(image, repairChoiceFromSettings(settings, layers), ctx.parent());
    if (dlg.exec() != QDialog::Accepted) return;
    storeRepairChoice(dlg.choice(), settings);
    const RepairParams p{row, line->index, line->from, line->to,
                         repairLayerOfChoice(dlg.choice(), layers)};
    ctx.changeInPlace([p](Image& img, Progress&) { repair(img, p); });
}

void greyActive(CommandContext& ctx) {
    CWinQuillonView* view = ctx.activeView();
    if (!layerCommandAvailable(Cmd::ConvertGrey, view)) return;
    GreyFactors factors;
    {
        GreyConvertDialog dlg(view, ctx.settings(), ctx.parent());
        if (dlg.exec() != QDialog::Accepted) return;
        factors = dlg.effectiveFactors();
    } // the preview goes with the dialog
    const Composition& source = view->renderer().composition();
    const ConvertedDisplay display = greyDisplay(source, factors);
    ctx.makeDerivedDocument(
        view, trLibrary("Graubild"), greyDescription(source.image()),
        [&source, factors](Image& out, Progress& p) { toGrey(out, source, factors, p); }, &display);
}

void rgbActive(CommandContext& ctx) {
    CWinQuillonView* view = ctx.activeView();
    if (!layerCommandAvailable(Cmd::ConvertRgb, view)) return;
    const Composition& source = view->renderer().composition();
    ctx.makeDerivedDocument(view, QCoreApplication::translate("quillon", "RGB_konvertiert"),
                            rgbDescription(source.image()),
                            [&source](Image& out, Progress& p) { toRGB(out, source, p); });
}

// One grey document per colour layer, then the overlay as a picture; a failure or a cancel
// stops the run and keeps the documents already made.
void splitActive(CommandContext& ctx) {
    QPointer<CWinQuillonView> view = ctx.activeView();
    if (!layerCommandAvailable(Cmd::SplitLayers, view)) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Image& source = view->document()->image();
    for (const SplitPart& part : splitParts(source)) {
        if (!view) break;
        const int layer = part.layer;
        const bool overlay = layer < 0;
        const ConvertedDisplay display =
            overlay ? overlayDisplay() : layerDisplay(view->renderer().composition(), layer);
        const CommandContext::ImageWork fill = [&source, layer](Image& out, Progress& p) {
            if (layer < 0)
                extractOverlay(out, source, p);
            else
                extractLayer(out, source, layer, p);
        };
        if (!ctx.makeDerivedDocument(
                view, QString::fromStdString(part.title),
                overlay ? overlayDescription(source) : layerDescription(source), fill, &display))
            break;
    }
    QApplication::restoreOverrideCursor();
}

void removeOverlayActive(CommandContext& ctx) {
    CWinQuillonView* view = ctx.activeView();
    if (!layerCommandAvailable(Cmd::RemoveOverlay, view)) return;
    if (showMessage(ctx.parent(), QString::fromUtf8(kRemoveOverlayQuestion), Ask::OkCancel) !=
        QMessageBox::Ok)
        return;
    ctx.changeInPlace([](Image& image, Progress&) { image.SetOverlay(false); });
}

void addOverlayActive(CommandContext& ctx) {
    if (!layerCommandAvailable(Cmd::AddOverlay, ctx.activeView())) return;
    ctx.changeInPlace([](Image& image, Progress&) {
        if (!image.SetOverlay(true)) throw std::bad_alloc();
    });
}

void editMapping(CommandContext& ctx) {
    CWinQuillonView* v = ctx.activeView();
    if (!v || v->document()->image().type() != USERDEFINED_IMAGE) return;
    LayerMatrixDialog dlg(v, ctx.settings(), ctx.parent());
    dlg.exec(); // an accepted mapping refreshes the document's views and the tools
}

bool whenType(Cmd c, const CWinQuillonView* view) {
    const std::uint16_t type = c == Cmd::EditMapping ? USERDEFINED_IMAGE : LRGB_IMAGE;
    return view && view->document()->image().type() == type;
}

constexpr CommandRow kRows[] = {
    {Cmd::ConvertGrey, greyActive, layerCommandAvailable},
    {Cmd::ConvertRgb, rgbActive, layerCommandAvailable},
    {Cmd::SplitLayers, splitActive, layerCommandAvailable},
    {Cmd::AddOverlay, addOverlayActive, layerCommandAvailable},
    {Cmd::RemoveOverlay, removeOverlayActive, layerCommandAvailable},
    {Cmd::DarkFlat, darkFlatActive, layerCommandAvailable},
    {Cmd::RepairRow, [](CommandContext& ctx) { repairActive(ctx, true); }, layerCommandAvailable},
    {Cmd::RepairColumn, [](CommandContext& ctx) { repairActive(ctx, false); },
     layerCommandAvailable},
    {Cmd::EditMapping, editMapping, whenType},
    {Cmd::LrgbBias, [](CommandContext& ctx) { runLrgbBiasDialog(ctx, ctx.activeView()); },
     whenType},
};

} // namespace

CommandTable layerCommands() {
    return kRows;
}

} // namespace quillon::ui
