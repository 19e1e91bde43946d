// The geometry commands of the image menu: mirror, rotation, resize and crop.
//
// Mirror and rotation change the active document's image in place (undone by their
// counterparts); resize and crop fill a new derived document and leave the source alone.
#include "ui/commands/geometry_commands.h"
#include "core/error.h"
#include "ops/geometry.h"
#include "ops/sampler.h"
#include "ui/command_context.h"
#include "ui/commands/command_table.h"
#include "ui/dialogs/resize_dialog.h"
#include "ui/document.h"
#include "ui/library_texts.h"
#include "ui/messages.h"
#include "ui/view.h"

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

void resizeActive(CommandContext& ctx) {
    CWinQuillonView* view = ctx.activeView();
    if (!view) return;
    const Image& source = view->document()->image();
    ResizeDialog dlg(source.width(), source.height(), ctx.parent());
    if (dlg.exec() != QDialog::Accepted) return;
    const ResizeFields f = dlg.fields();
    ctx.makeDerivedDocument(view, trLibrary("Neue Größe"), f.width, f.height,
                            [&source](Image& out, Progress& p) { resample(out, source, {}, p); });
}

void cropActive(CommandContext& ctx) {
    CWinQuillonView* view = ctx.activeView();
    if (!view) return;
    const PixelRect r = cropRectangle(*view);
    if (!cropAllowed(r)) return;
    const Image& source = view->document()->image();
    ctx.makeDerivedDocument(
        view, trLibrary("Ausschnitt"), r.width(), r.height(),
        [&source, r](Image& out, Progress& p) { crop(out, r.left, r.top, source, p); });
}

// Each of these is undone by its counterpart, so its undo step keeps nothing of the image.
template <Cmd C, Reversal R>
void turnInPlace(CommandContext& ctx, const CommandContext::ImageWork& work) {
    ctx.changeInPlace(work, undoName(C), R);
}

template <Cmd C, Reversal R, Rotation Mode>
void turn(CommandContext& ctx) {
    turnInPlace<C, R>(ctx, [](Image& image, Progress& p) { rotateImage(image, Mode, p); });
}

template <Cmd C, Reversal R, bool Horizontal>
void flip(CommandContext& ctx) {
    turnInPlace<C, R>(ctx, [](Image& image, Progress& p) { mirror(image, Horizontal, p); });
}

constexpr CommandRow kRows[] = {
    {Cmd::MirrorHorizontal, flip<Cmd::MirrorHorizontal, Reversal::MirrorHorizontal, true>,
     geometryCommandAvailable},
    {Cmd::MirrorVertical, flip<Cmd::MirrorVertical, Reversal::MirrorVertical, false>,
     geometryCommandAvailable},
    {Cmd::RotateRight, turn<Cmd::RotateRight, Reversal::TurnRight, Rotation::Clockwise>,
     geometryCommandAvailable},
    {Cmd::RotateLeft, turn<Cmd::RotateLeft, Reversal::TurnLeft, Rotation::CounterClockwise>,
     geometryCommandAvailable},
    {Cmd::Rotate180, turn<Cmd::Rotate180, Reversal::TurnHalf, Rotation::Half>,
     geometryCommandAvailable},
    {Cmd::Resize, resizeActive, geometryCommandAvailable},
    {Cmd::Crop, cropActive, geometryCommandAvailable},
};

} // namespace

CommandTable geometryCommands() {
    return kRows;
}

} // namespace quillon::ui
