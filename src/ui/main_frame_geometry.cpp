// CMainFrame: mirror, rotation, resize and crop of the image menu.
//
// Mirror and rotation change the active document's image in place (undone by their
// counterparts); resize and crop fill a new derived document and leave the source alone.
#include "composite/job.h"
#include "core/error.h"
#include "ops/geometry.h"
#include "ops/sampler.h"
#include "ui/composite_window.h"
#include "ui/document.h"
#include "ui/geometry_commands.h"
#include "ui/job_runner.h"
#include "ui/main_frame.h"
#include "ui/messages.h"
#include "ui/photometry_window.h"
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

CWinQuillonDoc* CMainFrame::makeDerivedDocument(CWinQuillonView* source, const QString& title,
                                                int width, int height, const ImageWork& fill) {
    NewDocumentParams description;
    description.takeFrom(source->document()->image());
    description.width = width;
    description.height = height;
    return makeDerivedDocument(source, title, description, fill);
}

void CMainFrame::followPixels(Movement m, int width, int height) {
    auto* doc = qobject_cast<CWinQuillonDoc*>(sender());
    if (!doc) return;
    const std::uint64_t id = documentIdOf(doc);
    for (CompositeList& list : compositeJob().lists)
        for (CompositeEntry& e : list.entries) {
            if (e.documentId != id) continue;
            for (ReferencePoint& p : e.points) {
                const PixelPoint moved = movePoint(m, p.x, p.y, width, height);
                p.x = static_cast<float>(moved.x);
                p.y = static_cast<float>(moved.y);
            }
        }
    if (auto* w = qobject_cast<PhotometryWindow*>(tools_->window(Tool::Photometry)))
        w->followMovement(doc, m, width, height);
}

void CMainFrame::connectGeometryCommands() {
    auto on = [this](Cmd c, auto fn) { connect(action(c), &QAction::triggered, this, fn); };
    // Each of these is undone by its counterpart, so its undo step keeps nothing of the image.
    auto inPlace = [this](Cmd c, Reversal reversal, ImageWork work) {
        return [this, c, reversal, work = std::move(work)] {
            changeInPlace(work, undoName(c), reversal);
        };
    };
    auto turn = [&](Cmd c, Rotation mode, Reversal reversal) {
        on(c, inPlace(c, reversal,
                      [mode](Image& image, Progress& p) { rotateImage(image, mode, p); }));
    };
    on(Cmd::MirrorHorizontal, inPlace(Cmd::MirrorHorizontal, Reversal::MirrorHorizontal,
                                      [](Image& image, Progress& p) { mirror(image, true, p); }));
    on(Cmd::MirrorVertical, inPlace(Cmd::MirrorVertical, Reversal::MirrorVertical,
                                    [](Image& image, Progress& p) { mirror(image, false, p); }));
    turn(Cmd::RotateRight, Rotation::Clockwise, Reversal::TurnRight);
    turn(Cmd::RotateLeft, Rotation::CounterClockwise, Reversal::TurnLeft);
    turn(Cmd::Rotate180, Rotation::Half, Reversal::TurnHalf);
    on(Cmd::Resize, [this] { resizeActive(*this); });
    on(Cmd::Crop, [this] { cropActive(*this); });
}

} // namespace quillon::ui
