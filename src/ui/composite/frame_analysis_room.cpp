// CompositeRoom: the window "Bildanalyse" and its menu entry.
#include "composite/job.h"
#include "core/image_type.h"
#include "ui/composite/auto_align.h"
#include "ui/composite/composite_room.h"
#include "ui/composite/composite_window.h"
#include "ui/composite/frame_analysis_window.h"
#include "ui/dialogs/open_dialog.h"
#include "ui/document.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>
#include <set>

namespace quillon::ui {

void CompositeRoom::showFrameAnalysis(CompositeJob& job, QWidget* parent) {
    if (!ctx_) return;
    const CommandContext& ctx = *ctx_;
    // Every exposure is measured, unticked ones too, so that a row can be ticked again; the
    // overlay list holds no exposures.
    auto measureAll = [&](std::vector<FrameAnalysis>& frames) {
        CompositeJob all = job;
        for (int l = 0; l < all.listCount(); ++l)
            for (CompositeEntry& e : all.lists[static_cast<std::size_t>(l)].entries)
                e.used = l != all.overlayList();
        return measureJobFrames(ctx, all, frames);
    };
    FrameAnalysisWindow window(
        job, measureAll, [this](const CompositeEntry& e) { showEntry(e); }, parent);
    if (!window.measure()) return;
    window.exec();
}

void CompositeRoom::showEntry(const CompositeEntry& entry) {
    CWinQuillonApp& app = *CWinQuillonApp::instance();
    if (entry.isFile()) {
        app.openDocument(QString::fromStdString(entry.name));
        return;
    }
    for (CWinQuillonDoc* d : app.documents()) {
        if (documentIdOf(d) != entry.documentId || d->views().isEmpty()) continue;
        auto* sub = qobject_cast<QMdiSubWindow*>(d->views().first()->parentWidget());
        if (sub && mdi_) mdi_->setActiveSubWindow(sub);
    }
}

void frameAnalysisCommand(CommandContext& ctx) {
    CompositeRoom& room = CWinQuillonApp::instance()->composite();
    CompositeJob& job = room.job();
    const bool anyUsed = std::any_of(job.lists.begin(), job.lists.end(), [](const auto& l) {
        return std::any_of(l.entries.begin(), l.entries.end(),
                           [](const CompositeEntry& e) { return e.used; });
    });
    if (anyUsed) {
        room.showFrameAnalysis(job, ctx.parent());
        return;
    }
    // Without composite lists: every open window, else files to choose.
    CompositeJob series;
    (void)series.configure(BW_IMAGE, 0, CalibrationParams{});
    std::set<std::uint64_t> taken; // a document with several views counts once
    for (const OpenViewChoice& v : room.openViewChoices())
        if (taken.insert(v.documentId).second)
            series.addDocument(0, v.documentId, v.title.toStdString());
    if (series.lists[0].entries.empty()) {
        const QStringList files = openFilesDialog(ctx.parent());
        for (const QString& f : files)
            series.addFile(0, QFileInfo(f).absoluteFilePath().toStdString());
    }
    if (series.lists[0].entries.empty()) return;
    room.showFrameAnalysis(series, ctx.parent());
}

} // namespace quillon::ui
