// The Lucy-Richardson commands: reference stars from the view's context menu
// and the deconvolution into a new document that shows every iteration.
#include "core/error.h"
#include "filters/deconvolve.h"
#include "filters/psf.h"
#include "ui/command_context.h"
#include "ui/commands/filter_commands.h"
#include "ui/dialogs/deconvolution_dialog.h"
#include "ui/dialogs/psf_dialog.h"
#include "ui/document.h"
#include "ui/job_runner.h"
#include "ui/messages.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <cstring>
#include <optional>

namespace quillon::ui {

void addReferenceStar(const CommandContext& ctx, CWinQuillonView* view, QPointF imagePoint) {
    if (!view || ctx.jobs().busy()) return;
    const Image& image = view->document()->image();
    if (!image.hasSamples()) return;
    const ReferencePoint c = locatePsfStar(image, static_cast<float>(imagePoint.x()),
                                           static_cast<float>(imagePoint.y()));
    std::optional<Image> cutout;
    try {
        cutout = psfCutout(image, c.x, c.y);
    } catch (const std::bad_alloc&) {
        // The dialog opens without a picture and adds nothing.
    } catch (const Error&) {
    }
    PsfDialog dlg(view, std::move(cutout), ctx.settings(), ctx.parent());
    dlg.exec();
    ctx.commandsChanged();
}

CWinQuillonDoc* runDeconvolution(const CommandContext& ctx, CWinQuillonView* view) {
    if (!view) return nullptr;
    const Image& source = view->document()->image();
    if (source.psfCount() == 0) {
        showMessage(ctx.parent(), QString::fromUtf8(kNoPsfDefined));
        return nullptr;
    }
    int iterations = 1;
    {
        std::unique_ptr<FilterDialog> dlg =
            makeFilterDialog(ctx, FilterCommand::LucyRichardson, view);
        if (!dlg || dlg->exec() != QDialog::Accepted) return nullptr;
        iterations = static_cast<DeconvolutionDialog*>(dlg.get())->iterations();
    } // the preview goes with the dialog

    // The new document shows the source until the first iteration is done, so that it can
    // appear before the run and be redrawn after every iteration.
    Image result;
    try {
        const DerivedImageDescription d = describeDerived(source);
        NewDocumentParams& params = CWinQuillonApp::instance()->newParams();
        params = d;
        params.resetAfterCreation();
        createImage(d, result);
        for (int p = 0; p < result.planeCount() && p < source.planeCount(); ++p)
            std::memcpy(result.planeData(p), source.planeData(p),
                        static_cast<std::size_t>(source.width()) * source.height() *
                            sizeof(Sample));
    } catch (const std::bad_alloc&) {
        showMessage(ctx.parent(), QString::fromUtf8(msg::kOutOfMemoryAction));
        return nullptr;
    } catch (const Error& e) {
        showMessage(ctx.parent(), QString::fromUtf8(e.what()));
        return nullptr;
    }
    CWinQuillonDoc* doc = CWinQuillonApp::instance()->createDerivedDocument(
        QString::fromUtf8(kDeconvolutionTitle), view, std::move(result));
    if (!doc) return nullptr;
    Image& out = doc->image();
    DeconvolveOptions o;
    o.iterations = iterations;
    o.mask = ctx.layerSelection().mask;
    // The worker never touches the shown image itself: each write runs on the interface
    // thread between paints, followed by a redraw.
    o.publish = [&ctx, doc](const std::function<void()>& write) {
        ctx.jobs().onInterfaceThread([&] {
            write();
            CWinQuillonApp::refreshViews(doc, false);
        });
    };
    const JobResult r = ctx.jobs().run([&](Progress& p) { deconvolve(out, source, o, p); });
    // A cancel keeps the document with the iterations done so far; a failure shows its
    // message and keeps what was done before it.
    reportFailure(r, msg::kOutOfMemoryAction, ctx.parent());
    return doc;
}

} // namespace quillon::ui
