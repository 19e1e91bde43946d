// CMainFrame: mirror, rotation, resize and crop of the image menu.
//
// Mirror and rotation change the active document's image in place; resize and crop fill a new
// derived document and leave the source alone.
#include "core/error.h"
#include "ops/geometry.h"
#include "ops/sampler.h"
#include "ui/document.h"
#include "ui/geometry_commands.h"
#include "ui/job_runner.h"
#include "ui/main_frame.h"
#include "ui/messages.h"
#include "ui/quillon_app.h"
#include "ui/resize_dialog.h"
#include "ui/tool_window.h"
#include "ui/view.h"

#include <QAction>

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

bool CMainFrame::changeInPlace(const ImageWork& work) {
    CWinQuillonView* view = activeView();
    if (!view) return false;
    CWinQuillonDoc* doc = view->document();
    const Image& image = doc->image();
    Image result;
    const JobResult r = jobs_->run([&](Progress& p) {
        result = image.clone();
        work(result, p);
    });
    if (!r.ok()) {
        reportFailure(r, msg::kOutOfMemoryAction, this);
        return false;
    }
    doc->replaceImage(std::move(result));
    return true;
}

CWinQuillonDoc* CMainFrame::makeDerivedDocument(CWinQuillonView* source, const QString& title,
                                                int width, int height, const ImageWork& fill) {
    NewDocumentParams description;
    description.takeFrom(source->document()->image());
    description.width = width;
    description.height = height;
    return makeDerivedDocument(source, title, description, fill);
}

void CMainFrame::connectGeometryCommands() {
    auto on = [this](Cmd c, auto fn) { connect(action(c), &QAction::triggered, this, fn); };
    auto inPlace = [this](ImageWork work) {
        return [this, work = std::move(work)] { changeInPlace(work); };
    };
    auto turn = [](Rotation mode) {
        return [mode](Image& image, Progress& p) { rotateImage(image, mode, p); };
    };
    on(Cmd::MirrorHorizontal, inPlace([](Image& image, Progress& p) { mirror(image, true, p); }));
    on(Cmd::MirrorVertical, inPlace([](Image& image, Progress& p) { mirror(image, false, p); }));
    on(Cmd::RotateRight, inPlace(turn(Rotation::Clockwise)));
    on(Cmd::RotateLeft, inPlace(turn(Rotation::CounterClockwise)));
    on(Cmd::Rotate180, inPlace(turn(Rotation::Half)));
    on(Cmd::Resize, [this] { resizeActive(*this); });
    on(Cmd::Crop, [this] { cropActive(*this); });
}

} // namespace quillon::ui
