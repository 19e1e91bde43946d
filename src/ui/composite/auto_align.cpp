// Registration of the composite series by all stars, and the measuring of its exposures.
#include "ui/composite/auto_align.h"

#include "composite/run.h"
#include "core/error.h"
#include "core/settings_record.h"
#include "formats/open.h"
#include "ui/command_context.h"
#include "ui/composite/composite_window.h"
#include "ui/document.h"
#include "ui/job_runner.h"
#include "ui/messages.h"
#include "ui/shell/quillon_app.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>

#include <map>
#include <memory>
#include <mutex>

namespace quillon::ui {
namespace {

constexpr RegistrationModel kModels[] = {RegistrationModel::Shift, RegistrationModel::Similarity,
                                         RegistrationModel::Affine, RegistrationModel::Homography};

// The exposures as the measurement sees them: an open window's image as it is (the worker
// only reads it while the job holds input back), a file read for the time of its use.
class MeasureSource : public ImageSource {
public:
    MeasureSource() {
        for (CWinQuillonDoc* d : CWinQuillonApp::instance()->documents())
            docs_[documentIdOf(d)] = d;
    }

    Image* open(int list, int index, const CompositeEntry& entry) override {
        std::lock_guard lock(mutex_);
        if (!entry.isFile()) {
            const auto d = docs_.find(entry.documentId);
            return d == docs_.end() || !d->second ? nullptr : &d->second->image();
        }
        auto image = std::make_unique<Image>();
        try {
            openImage(trimTrailingBlanks(entry.name), *image, Progress::none());
        } catch (const Error&) {
            return nullptr; // the frame is then reported as unreadable
        }
        return (files_[{list, index}] = std::move(image)).get();
    }

    void release(int list, int index, const CompositeEntry&) override {
        std::lock_guard lock(mutex_);
        files_.erase({list, index});
    }

private:
    std::map<std::uint64_t, QPointer<CWinQuillonDoc>> docs_;
    std::map<std::pair<int, int>, std::unique_ptr<Image>> files_;
    std::mutex mutex_;
};

} // namespace

AutoAlignChoice autoAlignChoice(const SettingsRecord& settings) {
    AutoAlignChoice c;
    const int v = settings.compositeAutoAlign;
    c.on = (v & 1) != 0;
    const int model = (v >> 1) - 1;
    if (model >= 0 && model < static_cast<int>(std::size(kModels)))
        c.model = kModels[static_cast<std::size_t>(model)];
    return c;
}

void storeAutoAlignChoice(SettingsRecord& settings, AutoAlignChoice choice) {
    settings.compositeAutoAlign = (static_cast<int>(choice.model) + 1) << 1 | (choice.on ? 1 : 0);
}

AutoAlignRow::AutoAlignRow(const SettingsRecord& settings, QWidget* parent) : QWidget(parent) {
    auto* l = new QHBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    on_ = new QCheckBox(tr("Automatisch ausrichten (alle Sterne)"), this);
    on_->setToolTip(tr("Jedes Bild wird über alle seine Sterne auf das beste Bild der Serie "
                       "ausgerichtet; Referenzpunkte sind dafür nicht nötig."));
    transform_ = new QComboBox(this);
    transform_->addItems({tr("Verschiebung"), tr("Ähnlichkeit"), tr("Affin"), tr("Projektiv")});
    analysis_ = new QPushButton(tr("Bildanalyse..."), this);
    l->addWidget(on_);
    l->addWidget(transform_);
    l->addStretch();
    l->addWidget(analysis_);
    const AutoAlignChoice c = autoAlignChoice(settings);
    on_->setChecked(c.on);
    transform_->setCurrentIndex(static_cast<int>(c.model));
    transform_->setEnabled(c.on);
    connect(on_, &QCheckBox::toggled, transform_, &QWidget::setEnabled);
    connect(analysis_, &QPushButton::clicked, this, &AutoAlignRow::analysisRequested);
}

AutoAlignChoice AutoAlignRow::choice() const {
    return {on_->isChecked(), kModels[static_cast<std::size_t>(transform_->currentIndex())]};
}

bool measureJobFrames(const CommandContext& ctx, const CompositeJob& job,
                      std::vector<FrameAnalysis>& frames) {
    MeasureSource source;
    std::vector<FrameAnalysis> out;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const JobResult r = ctx.jobs().run(
        [&](Progress& p) { out = analyzeJob(job, source, StarMeasureSettings{}, 0, p); });
    QApplication::restoreOverrideCursor();
    if (!r.ok()) {
        reportFailure(r, msg::kOutOfMemory, ctx.parent());
        return false;
    }
    frames = std::move(out);
    return true;
}

bool autoAlignJob(const CommandContext& ctx, CompositeJob& job, RegistrationModel model,
                  QString& leftOut) {
    std::vector<FrameAnalysis> frames;
    if (!measureJobFrames(ctx, job, frames)) return false;
    // Frames that cannot be had are left out before the reference frame is chosen.
    applyFrameSelection(job, frames, {}, 0);
    std::string error;
    if (autoRegisterJob(job, frames, model, -1, error) == 0) {
        showMessage(ctx.parent(), QString::fromUtf8(error.c_str()));
        return false;
    }
    leftOut.clear();
    for (const FrameAnalysis& f : frames)
        if (!f.dropped.empty())
            leftOut +=
                QCoreApplication::translate("quillon::ui::AutoAlignRow", "%1: %2\n")
                    .arg(QString::fromStdString(f.name), QString::fromUtf8(f.dropped.c_str()));
    return true;
}

void showAutoAlignLeftOut(QWidget* parent, const QString& leftOut) {
    showMessage(parent,
                QCoreApplication::translate("quillon::ui::AutoAlignRow",
                                            "Beim automatischen Ausrichten ausgelassen:\n%1")
                    .arg(leftOut.trimmed()));
}

} // namespace quillon::ui
