// CMainFrame: the Lucy-Richardson commands: reference stars from the view's context menu
// and the deconvolution into a new document that shows every iteration.
#include "core/error.h"
#include "filters/deconvolve.h"
#include "filters/psf.h"
#include "ui/deconvolution_dialog.h"
#include "ui/document.h"
#include "ui/job_runner.h"
#include "ui/main_frame.h"
#include "ui/messages.h"
#include "ui/psf_dialog.h"
#include "ui/quillon_app.h"
#include "ui/view.h"

#include <cstring>
#include <optional>

namespace quillon::ui {

void CMainFrame::addReferenceStar(CWinQuillonView* view, QPointF imagePoint) {
    if (!view || jobs_->busy()) return;
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
    PsfDialog dlg(view, std::move(cutout), app_.settings(), this);
    dlg.exec();
    updateActions();
}

CWinQuillonDoc* CMainFrame::runDeconvolution(CWinQuillonView* view) {
    if (!view) return nullptr;
    const Image& source = view->document()->image();
    if (source.psfCount() == 0) {
        showMessage(this, QString::fromUtf8(kNoPsfDefined));
        return nullptr;
    }
    int iterations = 1;
    {
        std::unique_ptr<FilterDialog> dlg = makeFilterDialog(FilterCommand::LucyRichardson, view);
        if (!dlg || dlg->exec() != QDialog::Accepted) return nullptr;
        iterations = static_cast<DeconvolutionDialog*>(dlg.get())->iterations();
    } // the preview goes with the dialog

    // The new document shows the source until the first iteration is done, so that it can
    // appear before the run and be redrawn after every iteration.
    Image result;
    try {
        const DerivedImageDescription d = describeDerived(source);
        app_.newParams() = d;
        app_.newParams().resetAfterCreation();
        createImage(d, result);
        for (int p = 0; p < result.planeCount() && p < source.planeCount(); ++p)
            std::memcpy(result.planeData(p), source.planeData(p),
                        static_cast<std::size_t>(source.width()) * source.height() *
                            sizeof(Sample));
    } catch (const std::bad_alloc&) {
        showMessage(this, QString::fromUtf8(msg::kOutOfMemoryAction));
        return nullptr;
    } catch (const Error& e) {
        showMessage(this, QString::fromUtf8(e.what()));
        return nullptr;
    }
    CWinQuillonDoc* doc =
        app_.createDerivedDocument(QString::fromUtf8(kDeconvolutionTitle), view, std::move(result));
    if (!doc) return nullptr;
    Image& out = doc->image();
    DeconvolveOptions o;
    o.iterations = iterations;
    o.mask = app_.layerSelection().mask;
    // The worker never touches the shown image itself: each write runs on the interface
    // thread between paints, followed by a redraw.
    o.publish = [this, doc](const std::function<void()>& write) {
        jobs_->onInterfaceThread([&] {
            write();
            CWinQuillonApp::refreshViews(doc, false);
        });
    };
    const JobResult r = jobs_->run([&](Progress& p) { deconvolve(out, source, o, p); });
    // A cancel keeps the document with the iterations done so far; a failure shows its
    // message and keeps what was done before it.
    reportFailure(r, msg::kOutOfMemoryAction, this);
    return doc;
}

} // namespace quillon::ui
