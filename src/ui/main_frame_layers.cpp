// CMainFrame: grey and RGB conversion, splitting into layers, adding and removing the overlay,
// the dark/flat calibration and the repair of a row or column.
//
// Conversions and the split fill new derived documents; the overlay, calibration and repair
// commands change the active document's image in place through changeInPlace, so a cancel or
// a refusal leaves it exactly as it was.
#include "core/error.h"
#include "formats/open.h"
#include "ops/calibration.h"
#include "ops/convert.h"
#include "ui/calibration_dialog.h"
#include "ui/document.h"
#include "ui/geometry_commands.h"
#include "ui/grey_dialog.h"
#include "ui/job_runner.h"
#include "ui/layer_commands.h"
#include "ui/layer_select_dialog.h"
#include "ui/main_frame.h"
#include "ui/messages.h"
#include "ui/quillon_app.h"
#include "ui/view.h"

#include <QAction>
#include <QApplication>
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
FrameLoad loadFrame(CMainFrame& main, bool enabled, const std::string& path, Image& frame,
                    const char* failure) {
    if (!enabled || path.empty()) return FrameLoad::None;
    const std::string clean = trimTrailingBlanks(path);
    const JobResult r = main.jobs().run([&](Progress& p) { openImage(clean, frame, p); });
    if (r.ok()) return FrameLoad::Loaded;
    frame.Clear();
    if (r.kind == JobResult::Cancelled) return FrameLoad::Cancelled;
    reportFailure(r, msg::kOutOfMemory, &main);
    showMessage(&main, QString::fromUtf8(failure));
    return FrameLoad::None;
}

void darkFlatActive(CMainFrame& frame) {
    CWinQuillonView* view = frame.activeView();
    if (!view) return;
    SettingsRecord& settings = frame.app().settings();
    DarkFlatDialog dlg(CalibrationParams::fromSettings(settings), &frame);
    if (dlg.exec() != QDialog::Accepted) return;
    const CalibrationParams values = dlg.values();
    values.storeInto(settings);

    QPointer<CWinQuillonDoc> doc = view->document();
    Image dark;
    Image flat;
    const FrameLoad d = loadFrame(frame, values.darkEnabled, values.darkFile, dark,
                                  "Dunkelstrombild konnte nicht geladen werden!");
    if (d == FrameLoad::Cancelled) return;
    const FrameLoad f = loadFrame(frame, values.flatEnabled, values.flatFile, flat,
                                  "Flatfield-Bild konnte nicht geladen werden!");
    if (f == FrameLoad::Cancelled || !doc) return;
    const bool withDark = d == FrameLoad::Loaded;
    const bool withFlat = f == FrameLoad::Loaded;
    if (!withDark && !withFlat) {
        // Nothing to apply: no pixel changes, but the command counts as done.
        doc->setModified(true);
        return;
    }
    CalibrationOutcome outcome;
    const bool done = frame.changeInPlace([&](Image& image, Progress& p) {
        outcome = darkFlatCorrect(image, withDark ? &dark : nullptr, withFlat ? &flat : nullptr,
                                  values, p);
        // A refused frame leaves the image as it was: the copy is thrown away.
        if (outcome.code != CALIBRATION_OK) throw Error(calibrationMessage(outcome.code));
    });
    if (!done || !doc) return;
    // Undoing the calibration takes the label off the title again.
    doc->appendToTitle(QString::fromStdString(calibrationTitleLabel(withDark, withFlat)));
    if (outcome.clamped > 0)
        showMessage(&frame, QString::fromStdString(clampedNotice(outcome.clamped)), Ask::Info);
}

void repairActive(CMainFrame& frame, bool row) {
    CWinQuillonView* view = frame.activeView();
    if (!view) return;
    const std::optional<RepairLine> line = repairLine(*view, row);
    if (!line) return;
    const Image& image = view->document()->image();
    const int layers = image.layerCount();
    SettingsRecord& settings = frame.app().settings();
    LayerChoiceDialog dlg(image, repairChoiceFromSettings(settings, layers), &frame);
    if (dlg.exec() != QDialog::Accepted) return;
    storeRepairChoice(dlg.choice(), settings);
    const RepairParams p{row, line->index, line->from, line->to,
                         repairLayerOfChoice(dlg.choice(), layers)};
    frame.changeInPlace([p](Image& img, Progress&) { repair(img, p); });
}

void greyActive(CMainFrame& frame) {
    CWinQuillonView* view = frame.activeView();
    if (!layerCommandAvailable(Cmd::ConvertGrey, view)) return;
    GreyFactors factors;
    {
        GreyConvertDialog dlg(view, frame.app().settings(), &frame);
        if (dlg.exec() != QDialog::Accepted) return;
        factors = dlg.effectiveFactors();
    } // the preview goes with the dialog
    const Composition& source = view->renderer().composition();
    const ConvertedDisplay display = greyDisplay(source, factors);
    frame.makeDerivedDocument(
        view, QStringLiteral("Graubild"), greyDescription(source.image()),
        [&source, factors](Image& out, Progress& p) { toGrey(out, source, factors, p); }, &display);
}

void rgbActive(CMainFrame& frame) {
    CWinQuillonView* view = frame.activeView();
    if (!layerCommandAvailable(Cmd::ConvertRgb, view)) return;
    const Composition& source = view->renderer().composition();
    frame.makeDerivedDocument(view, QStringLiteral("RGB_konvertiert"),
                              rgbDescription(source.image()),
                              [&source](Image& out, Progress& p) { toRGB(out, source, p); });
}

// One grey document per colour layer, then the overlay as a picture; a failure or a cancel
// stops the run and keeps the documents already made.
void splitActive(CMainFrame& frame) {
    QPointer<CWinQuillonView> view = frame.activeView();
    if (!layerCommandAvailable(Cmd::SplitLayers, view)) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Image& source = view->document()->image();
    for (const SplitPart& part : splitParts(source)) {
        if (!view) break;
        const int layer = part.layer;
        const bool overlay = layer < 0;
        const ConvertedDisplay display =
            overlay ? overlayDisplay() : layerDisplay(view->renderer().composition(), layer);
        const CMainFrame::ImageWork fill = [&source, layer](Image& out, Progress& p) {
            if (layer < 0)
                extractOverlay(out, source, p);
            else
                extractLayer(out, source, layer, p);
        };
        if (!frame.makeDerivedDocument(
                view, QString::fromStdString(part.title),
                overlay ? overlayDescription(source) : layerDescription(source), fill, &display))
            break;
    }
    QApplication::restoreOverrideCursor();
}

void removeOverlayActive(CMainFrame& frame) {
    CWinQuillonView* view = frame.activeView();
    if (!layerCommandAvailable(Cmd::RemoveOverlay, view)) return;
    if (showMessage(&frame, QString::fromUtf8(kRemoveOverlayQuestion), Ask::OkCancel) !=
        QMessageBox::Ok)
        return;
    frame.changeInPlace([](Image& image, Progress&) { image.SetOverlay(false); });
}

} // namespace

void CMainFrame::connectLayerCommands() {
    auto on = [this](Cmd c, auto fn) { connect(action(c), &QAction::triggered, this, fn); };
    on(Cmd::ConvertGrey, [this] { greyActive(*this); });
    on(Cmd::ConvertRgb, [this] { rgbActive(*this); });
    on(Cmd::SplitLayers, [this] { splitActive(*this); });
    on(Cmd::AddOverlay, [this] {
        if (!layerCommandAvailable(Cmd::AddOverlay, activeView())) return;
        changeInPlace([](Image& image, Progress&) {
            if (!image.SetOverlay(true)) throw std::bad_alloc();
        });
    });
    on(Cmd::RemoveOverlay, [this] { removeOverlayActive(*this); });
    on(Cmd::DarkFlat, [this] { darkFlatActive(*this); });
    on(Cmd::RepairRow, [this] { repairActive(*this, true); });
    on(Cmd::RepairColumn, [this] { repairActive(*this, false); });
}

CWinQuillonDoc* CMainFrame::makeDerivedDocument(CWinQuillonView* source, const QString& title,
                                                const NewDocumentParams& description,
                                                const ImageWork& fill,
                                                const ConvertedDisplay* display) {
    // The application's creation parameters keep the header of the last creation.
    NewDocumentParams& params = app_.newParams();
    params = description;
    params.resetAfterCreation();
    Image result;
    const JobResult r = jobs_->run([&](Progress& p) {
        createImage(description, result);
        fill(result, p);
    });
    if (!r.ok()) {
        reportFailure(r, msg::kOutOfMemoryAction, this);
        return nullptr;
    }
    CWinQuillonDoc* d = app_.createDerivedDocument(title, source, std::move(result));
    if (d && display && !d->views().isEmpty()) {
        applyConvertedDisplay(d->views().first()->renderer(), *display);
        d->notifyDisplayChanged();
    }
    return d;
}

} // namespace quillon::ui
