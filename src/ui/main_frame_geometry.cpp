// CMainFrame: mirror, rotation, resize and crop of the image menu.
//
// Mirror and rotation change the active document's image in place; resize and crop fill a new
// derived document and leave the source alone.
#include "ui/quillon_app.h"
#include "core/error.h"
#include "ops/geometry.h"
#include "ops/sampler.h"
#include "ui/document.h"
#include "ui/geometry_commands.h"
#include "ui/main_frame.h"
#include "ui/messages.h"
#include "ui/resize_dialog.h"
#include "ui/tool_window.h"
#include "ui/view.h"

#include <QAction>
#include <QApplication>

#include <functional>
#include <new>

namespace quillon::ui {

PixelRect cropRectangle(const CWinQuillonView& view) {
    if (!view.hasSelection()) return {};
    const Image& image = view.document()->image();
    // QRect keeps right/bottom inclusive; the crop wants them exclusive.
    const QRect s = view.selection().intersected(QRect(0, 0, image.width(), image.height()));
    if (s.isEmpty()) return {};
    return {s.left(), s.top(), s.left() + s.width(), s.top() + s.height()};
}

bool geometryCommandAvailable(Cmd c, const CWinQuillonView* view) {
    if (!view || !view->document()->image().hasSamples()) return false;
    switch (c) {
    case Cmd::MirrorHorizontal:
    case Cmd::MirrorVertical:
    case Cmd::RotateRight:
    case Cmd::RotateLeft:
    case Cmd::Rotate180:
    case Cmd::Resize: return true;
    case Cmd::Crop: return cropAllowed(cropRectangle(*view));
    default: return false;
    }
}

namespace {

using ImageWork = CMainFrame::ImageWork;

// Runs `work` under the wait cursor with the status-bar progress. Returns the message of a
// failure (empty on success).
QString runWithWaitCursor(CMainFrame& frame, Image& image, const ImageWork& work) {
    QString failure;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        Progress progress(frame.progressSink());
        try {
            work(image, progress);
        } catch (const Error& e) {
            failure = QString::fromUtf8(e.what());
        } catch (const std::bad_alloc&) {
            failure = QString::fromUtf8(msg::kOutOfMemoryAction);
        }
        progress.end(); // hides the bar also when the work stopped half-way
    }
    QApplication::restoreOverrideCursor();
    return failure;
}

// Mirror and rotation: change the image, redraw its views, mark it modified.
void changeInPlace(CMainFrame& frame, const ImageWork& work, bool turnsQuarter) {
    CWinQuillonView* view = frame.activeView();
    if (!view) return;
    CWinQuillonDoc* doc = view->document();
    Image& image = doc->image();
    // A quarter turn of a non-square image changes its shape: the views fit themselves again.
    const bool relayout = turnsQuarter && image.width() != image.height();
    const QString failure = runWithWaitCursor(frame, image, work);
    if (!failure.isEmpty()) {
        showMessage(&frame, failure);
        return;
    }
    doc->refreshViews(relayout);
    doc->setModified(true);
    frame.toolWindows()->refreshAll();
    frame.updateActions();
}

void resizeActive(CMainFrame& frame) {
    CWinQuillonView* view = frame.activeView();
    if (!view) return;
    const Image& source = view->document()->image();
    ResizeDialog dlg(source.width(), source.height(), &frame);
    if (dlg.exec() != QDialog::Accepted) return;
    const ResizeFields f = dlg.fields();
    frame.makeDerivedDocument(view, QStringLiteral("Neue Größe"), f.width, f.height,
                              [&source](Image& out, Progress& p) { resample(out, source, {}, p); });
}

void cropActive(CMainFrame& frame) {
    CWinQuillonView* view = frame.activeView();
    if (!view) return;
    const PixelRect r = cropRectangle(*view);
    if (!cropAllowed(r)) return;
    const Image& source = view->document()->image();
    frame.makeDerivedDocument(
        view, QStringLiteral("Ausschnitt"), r.width(), r.height(),
        [&source, r](Image& out, Progress& p) { crop(out, r.left, r.top, source, p); });
}

} // namespace

CWinQuillonDoc* CMainFrame::makeDerivedDocument(CWinQuillonView* source, const QString& title,
                                                int width, int height, const ImageWork& fill) {
    NewDocumentParams& params = app_.newParams();
    params.takeFrom(source->document()->image());
    params.width = width;
    params.height = height;
    CWinQuillonDoc* doc = app_.createDerivedDocument(title, source);
    if (!doc) return nullptr; // the memory message has been shown
    const QString failure = runWithWaitCursor(*this, doc->image(), fill);
    if (!failure.isEmpty()) {
        doc->setModified(false);
        app_.closeDocument(doc);
        showMessage(this, failure);
        return nullptr;
    }
    doc->image().invalidateHistogram();
    doc->refreshViews(false);
    tools_->refreshAll();
    updateActions();
    return doc;
}

void CMainFrame::connectGeometryCommands() {
    auto on = [this](Cmd c, auto fn) { connect(action(c), &QAction::triggered, this, fn); };
    auto inPlace = [this](ImageWork work, bool quarter) {
        return [this, work = std::move(work), quarter] { changeInPlace(*this, work, quarter); };
    };
    auto turn = [](Rotation mode) {
        return [mode](Image& image, Progress& p) { rotateImage(image, mode, p); };
    };
    on(Cmd::MirrorHorizontal,
       inPlace([](Image& image, Progress& p) { mirror(image, true, p); }, false));
    on(Cmd::MirrorVertical,
       inPlace([](Image& image, Progress& p) { mirror(image, false, p); }, false));
    on(Cmd::RotateRight, inPlace(turn(Rotation::Clockwise), true));
    on(Cmd::RotateLeft, inPlace(turn(Rotation::CounterClockwise), true));
    on(Cmd::Rotate180, inPlace(turn(Rotation::Half), false));
    on(Cmd::Resize, [this] { resizeActive(*this); });
    on(Cmd::Crop, [this] { cropActive(*this); });
}

} // namespace quillon::ui
