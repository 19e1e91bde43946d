// CompositeRoom: the composite commands, the composite window and the composite run.
//
// The run is the library's runComposite on the job runner. Exposures come from open windows
// (their documents) and from files read invisibly; the result document "Komposit" appears
// after the first inserted exposure and is redrawn after each one. A cancelled or failed run
// leaves no "Komposit" document and no exposure changed: an open window's image is calibrated
// on a copy that replaces it only when the run has finished.
#include "ui/composite/composite_room.h"

#include "composite/accumulate.h"
#include "composite/job.h"
#include "composite/run.h"
#include "core/error.h"
#include "core/settings_record.h"
#include "display/histogram.h"
#include "formats/open.h"
#include "ops/calibration.h"
#include "ops/geometry.h"
#include "ui/commands/command_table.h"
#include "ui/composite/auto_align.h"
#include "ui/composite/composite_report.h"
#include "ui/composite/composite_window.h"
#include "ui/composite/lrgb_bias_dialog.h"
#include "ui/composite/overlay_forming_dialog.h"
#include "ui/composite/reference_window.h"
#include "ui/composite/stack_options_group.h"
#include "ui/dialogs/layer_matrix_dialog.h"
#include "ui/document.h"
#include "ui/job_runner.h"
#include "ui/messages.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace quillon::ui {
namespace {

// Exposures of the GUI's run: open windows' documents and files read without a document.
// An open window's image is handed out as it is unless its list calibrates; then as a copy,
// kept until the run has ended so that the caller can put it in place.
class WindowImageSource : public ImageSource {
public:
    WindowImageSource(const CWinQuillonApp& app, const CompositeJob& job) : job_(job) {
        for (CWinQuillonDoc* d : app.documents()) docs_[documentIdOf(d)] = d;
    }

    Image* open(int list, int index, const CompositeEntry& entry) override {
        std::lock_guard lock(mutex_);
        const Key key{list, index};
        if (!entry.isFile()) {
            const auto d = docs_.find(entry.documentId);
            if (d == docs_.end() || !d->second) return nullptr;
            if (!calibrates(list)) return &d->second->image();
            auto& copy = copies_[key];
            if (!copy) copy = std::make_unique<Image>(d->second->image().clone());
            return copy.get();
        }
        auto image = std::make_unique<Image>();
        try {
            openImage(trimTrailingBlanks(entry.name), *image, Progress::none());
        } catch (const Error&) {
            return nullptr; // skipped without a message; the entry stays in its list
        }
        return (files_[key] = std::move(image)).get();
    }

    void release(int list, int index, const CompositeEntry&) override {
        std::lock_guard lock(mutex_);
        files_.erase(Key{list, index});
    }

    bool openFrame(const std::string& path, Image& frame) override {
        const bool ok = ImageSource::openFrame(path, frame);
        std::lock_guard lock(mutex_);
        if (ok) loaded_.insert(path);
        return ok;
    }

    // After a finished run: each copy whose calibration was applied replaces its window's
    // image, which is marked modified and titled with the calibration label; undo takes both
    // back. A copy whose frames did not fit (type or size) is dropped: nothing happened to it.
    void putCalibratedCopiesInPlace(const CompositeResult& result) {
        std::set<Key> calibrated;
        for (const ExposureReport& r : result.exposures)
            if (r.calibrated) calibrated.insert({r.list, r.index});
        for (auto& [key, copy] : copies_) {
            if (calibrated.count(key) == 0) continue;
            const CompositeEntry& e = job_.lists[static_cast<std::size_t>(key.first)]
                                          .entries[static_cast<std::size_t>(key.second)];
            const CalibrationParams& c = job_.calibrations[static_cast<std::size_t>(key.first)];
            const bool dark = c.darkEnabled && loaded_.count(c.darkFile) > 0;
            const bool flat = c.flatEnabled && loaded_.count(c.flatFile) > 0;
            CWinQuillonDoc* doc = docs_[e.documentId];
            if (!doc || (!dark && !flat)) continue;
            // An undo step of its own: the document's earlier steps stay valid behind it.
            doc->replaceImageAsStep(undoName(Cmd::DarkFlat), std::move(*copy),
                                    QString::fromStdString(calibrationTitleLabel(dark, flat)));
        }
    }

private:
    using Key = std::pair<int, int>;
    bool calibrates(int list) const {
        if (list < 0 || list >= static_cast<int>(job_.calibrations.size())) return false;
        const CalibrationParams& c = job_.calibrations[static_cast<std::size_t>(list)];
        return (c.darkEnabled && !c.darkFile.empty()) || (c.flatEnabled && !c.flatFile.empty());
    }

    const CompositeJob& job_;
    std::map<std::uint64_t, QPointer<CWinQuillonDoc>> docs_;
    std::map<Key, std::unique_ptr<Image>> files_;
    std::map<Key, std::unique_ptr<Image>> copies_;
    std::set<std::string> loaded_;
    std::mutex mutex_;
};

CWinQuillonView* firstView(CWinQuillonDoc* doc) {
    return doc && !doc->views().isEmpty() ? doc->views().first() : nullptr;
}

// Refresh of the result view: automatic scaling, tables, redraw.
void refreshResult(CWinQuillonView* view) {
    if (!view) return;
    applyAutoScale(view->renderer(), 0);
    view->renderer().rebuildLut();
    view->document()->notifyDisplayChanged();
    view->refresh(false);
}

CompositeRoom& room() {
    return CWinQuillonApp::instance()->composite();
}

template <std::uint16_t Type>
void composite(CommandContext&) {
    room().showCompositeWindow(Type, 0, true);
}

void compositeUser(CommandContext& ctx) {
    int& stored = ctx.settings().numberLayers;
    LayerCountDialog dlg(stored, ctx.parent());
    if (dlg.exec() != QDialog::Accepted) return;
    stored = dlg.value();
    room().showCompositeWindow(USERDEFINED_IMAGE, stored, true);
}

constexpr CommandRow kRows[] = {
    {Cmd::CompositeGrey, composite<BW_IMAGE>},   {Cmd::CompositeRgb, composite<RGB_IMAGE>},
    {Cmd::CompositeLrgb, composite<LRGB_IMAGE>}, {Cmd::CompositeCmy, composite<CMY_IMAGE>},
    {Cmd::CompositeUser, compositeUser},         {Cmd::FrameAnalysis, frameAnalysisCommand},
};

} // namespace

CommandTable compositeCommands() {
    return kRows;
}

CompositeRoom::CompositeRoom() : job_(std::make_unique<CompositeJob>()) {}

CompositeRoom::~CompositeRoom() = default;

void CompositeRoom::attach(const CommandContext& ctx, QMdiArea* area) {
    ctx_.emplace(ctx);
    mdi_ = area;
}

void CompositeRoom::followPixels(CWinQuillonDoc* doc, Movement m, int width, int height) {
    const std::uint64_t id = documentIdOf(doc);
    for (CompositeList& list : job_->lists)
        for (CompositeEntry& e : list.entries) {
            if (e.documentId != id) continue;
            for (ReferencePoint& p : e.points) {
                const PixelPoint moved = movePoint(m, p.x, p.y, width, height);
                p.x = static_cast<float>(moved.x);
                p.y = static_cast<float>(moved.y);
            }
        }
}

void CompositeRoom::showReferenceWindow() {
    const auto first = job_->firstEntry();
    if (!first || !ctx_) return;
    openReferenceWindowAt(*ctx_, first->first, first->second);
}

void CompositeRoom::showCompositeWindow(std::uint16_t type, int userLayers, bool fromCommand) {
    // While reference setting runs, the composite commands do nothing; closing that window
    // brings the composite window back itself.
    if (!ctx_) return;
    const CommandContext& ctx = *ctx_;
    if (ctx.jobs().busy() || (fromCommand && referenceWindowOf(ctx))) return;
    CompositeJob& job = *job_;
    const CWinQuillonApp& app = *CWinQuillonApp::instance();
    std::vector<std::uint64_t> open;
    for (CWinQuillonDoc* d : app.documents()) open.push_back(documentIdOf(d));
    try {
        job.prepareWindow(type, userLayers, ctx.settings(), open, fromCommand);
    } catch (const Error& e) {
        showMessage(ctx.parent(), QString::fromUtf8(e.what()));
        return;
    }
    CompositeWindow window(
        job, ctx.settings(), [this] { return openViewChoices(); }, ctx.parent());
    window.setAnalysisOpener([this](QWidget* parent) { showFrameAnalysis(*job_, parent); });
    window.exec();
    switch (window.outcome()) {
    case CompositeWindow::Outcome::Cancelled: return;
    case CompositeWindow::Outcome::References: {
        const auto [list, index] = window.referenceRequest();
        openReferenceWindowAt(ctx, list, index);
        return;
    }
    case CompositeWindow::Outcome::Start: runJob(); return;
    }
}

std::vector<OpenViewChoice> CompositeRoom::openViewChoices() const {
    std::vector<OpenViewChoice> out;
    if (!mdi_) return out;
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        auto* view = qobject_cast<CWinQuillonView*>(sub->widget());
        if (!view) continue;
        QString title = sub->windowTitle().remove(QStringLiteral("[*]"));
        if (title.isEmpty()) title = view->document()->title();
        out.push_back({documentIdOf(view->document()), title});
    }
    return out;
}

CWinQuillonDoc* CompositeRoom::runJob() {
    if (!ctx_ || !mdi_) return nullptr;
    const CommandContext& ctx = *ctx_;
    CWinQuillonApp& app = *CWinQuillonApp::instance();
    // Registration by all stars works on a copy: the window's list keeps its order and points.
    const AutoAlignChoice align = autoAlignChoice(ctx.settings());
    CompositeJob aligned;
    QString leftOut;
    if (align.on) {
        aligned = *job_;
        if (!autoAlignJob(ctx, aligned, align.model, leftOut)) return nullptr;
    }
    const CompositeJob& job = align.on ? aligned : *job_;
    WindowImageSource source(app, job);
    QPointer<CWinQuillonDoc> live;

    RunOptions options;
    options.memoryLimitMB = std::max(ctx.settings().settingsRam, 1); // "Speicherausnutzung"
    options.floatResult = true; // for "Ergebnis als 32-Bit-FITS speichern..."
    options.afterExposure = [&](const Image& result, const ExposureReport&) {
        ctx.jobs().onInterfaceThread([&] {
            Image copy = result.clone();
            copy.FreeCounters();
            if (!live) {
                live = app.createDerivedDocument(CompositeWindow::tr("Komposit"), nullptr,
                                                 std::move(copy));
                if (CWinQuillonView* v = firstView(live)) v->renderer().setKeepRatio(false);
            } else {
                live->replaceImage(std::move(copy));
            }
            refreshResult(firstView(live));
        });
    };

    CompositeResult result;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const JobResult r =
        ctx.jobs().run([&](Progress& p) { result = runComposite(job, source, options, p); });
    QApplication::restoreOverrideCursor();
    if (!r.ok()) {
        if (live) {
            live->setModified(false);
            app.closeDocument(live);
        }
        reportFailure(r, kResultNotCreatedMessage, ctx.parent());
        return nullptr;
    }
    source.putCalibratedCopiesInPlace(result);
    lastCompositeSums() = std::move(result.sums);
    if (live) {
        live->replaceImage(std::move(result.image));
    } else {
        live = app.createDerivedDocument(CompositeWindow::tr("Komposit"), nullptr,
                                         std::move(result.image));
    }
    CWinQuillonView* view = firstView(live);
    if (!view) return nullptr;
    view->renderer().setKeepRatio(false);
    for (const std::string& n : result.notices)
        showMessage(ctx.parent(), QString::fromUtf8(n.c_str()));
    insertOverlayList(live, job, result);
    if (!live || !(view = firstView(live))) return nullptr;

    if (result.hasDisplayWeights) view->renderer().setWeights(result.displayWeights);
    view->renderer().setKeepRatio(true);
    refreshResult(view);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(view->parentWidget()))
        mdi_->setActiveSubWindow(sub);
    if (job.targetType == USERDEFINED_IMAGE) {
        LayerMatrixDialog dlg(view, ctx.settings(), ctx.parent());
        if (dlg.exec() == QDialog::Accepted) view->refresh(false);
    }
    if (job.targetType == LRGB_IMAGE) openLrgbBiasAfterComposite(ctx, view);
    if (!leftOut.isEmpty()) showAutoAlignLeftOut(ctx.parent(), leftOut);
    showCompositeReport(ctx.parent(), job, result);
    return live;
}

void CompositeRoom::insertOverlayList(CWinQuillonDoc* resultDoc, const CompositeJob& job,
                                      const CompositeResult& result) {
    const CommandContext& ctx = *ctx_;
    CWinQuillonApp& app = *CWinQuillonApp::instance();
    const CompositeList& overlay = job.lists[static_cast<std::size_t>(job.overlayList())];
    if (overlay.entries.empty() || result.exposures.empty()) return;
    QPointer<CWinQuillonDoc> target = resultDoc;
    // The run has cropped the result already: the target points move with the crop.
    const float sf = job.options.sizeFactor;
    const float dx = result.cropped ? static_cast<float>(result.border.left) : 0.0f;
    const float dy = result.cropped ? static_cast<float>(result.border.top) : 0.0f;
    std::vector<ReferencePoint> targetPoints;
    for (int i = 0; i < result.pointCount; ++i) {
        const auto& p = result.exposures.front().located[static_cast<std::size_t>(i)];
        targetPoints.push_back({p.x * sf - dx, p.y * sf - dy});
    }
    for (const CompositeEntry& e : overlay.entries) {
        if (!e.used || !target) continue;
        QPointer<CWinQuillonDoc> doc;
        const bool fromFile = e.isFile();
        if (fromFile) {
            doc = app.openDocument(QString::fromStdString(e.name));
        } else {
            for (CWinQuillonDoc* d : app.documents())
                if (documentIdOf(d) == e.documentId) doc = d;
        }
        CWinQuillonView* view =
            doc ? (doc->activeView() ? doc->activeView() : firstView(doc)) : nullptr;
        if (!view || !doc->image().hasSamples()) {
            if (fromFile && doc) app.closeDocument(doc);
            continue;
        }
        if (auto* sub = qobject_cast<QMdiSubWindow*>(view->parentWidget()))
            mdi_->setActiveSubWindow(sub);
        OverlayFormingDialog dlg(view, ctx.settings(), ctx.parent());
        if (dlg.exec() == QDialog::Accepted) {
            const OverlayForming f = dlg.choice();
            storeParams(overlayFormingFields(), f, ctx.settings());
            std::vector<ReferencePoint> sourcePoints;
            for (int i = 0; i < result.pointCount; ++i)
                sourcePoints.push_back({e.points[static_cast<std::size_t>(i)].x,
                                        e.points[static_cast<std::size_t>(i)].y});
            Image work = target->image().clone();
            const Image& exposure = doc->image();
            const ImageRenderer& renderer = view->renderer();
            const JobResult r = ctx.jobs().run([&](Progress& p) {
                if (work.AllocateCounters(0, 0) != 0) throw std::bad_alloc();
                InsertOptions o;
                o.sizeFactor = sf;
                o.layerIndex = f.method;
                o.strip = f.transparent;
                o.overlayComposition = &renderer.composition();
                o.overlayTables = renderer.colourTables();
                insertExposure(work, exposure, sourcePoints, targetPoints, o, p);
                work.FreeCounters();
            });
            if (r.ok() && target) {
                target->replaceImage(std::move(work));
                refreshResult(firstView(target));
            } else {
                reportFailure(r, msg::kOutOfMemory, ctx.parent());
            }
        }
        if (fromFile && doc) {
            doc->setModified(false);
            app.closeDocument(doc);
        }
    }
}

} // namespace quillon::ui
