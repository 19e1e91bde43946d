// LrgbBiasDialog: "Alt"/"Neu" fields, automatic determination, preview and applying the bias.
#include "ui/composite/lrgb_bias_dialog.h"

#include "core/error.h"
#include "core/image_type.h"
#include "ui/dialogs/filter_dialog.h"
#include "ui/dialogs/number_field.h"
#include "ui/document.h"
#include "ui/job_runner.h"
#include "ui/messages.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <cmath>

namespace quillon::ui {

LrgbBiasDialog::LrgbBiasDialog(const CommandContext& ctx, CWinQuillonView* view,
                               const LrgbBiasValues& start)
    : PreviewDialog(view, ctx.settings(), ctx.parent()), ctx_(ctx), view_(view) {
    setWindowTitle(tr("LRGB Bias-Werte"));
    auto* l = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Alt"), this), 0, 1);
    grid->addWidget(new QLabel(tr("Neu"), this), 0, 3);
    const auto& current = view->renderer().params().lrgbBias;
    const auto fields = lrgbBiasFields();
    for (int i = 0; i < 4; ++i) {
        const auto u = static_cast<std::size_t>(i);
        const OptionInfo& range = fields[u].option;
        const QString label = QCoreApplication::translate("quillon", fields[u].dialog.label);
        grid->addWidget(new QLabel(label, this), i + 1, 0);
        old_[u] = new QLineEdit(QString::number(current[u]), this);
        old_[u]->setReadOnly(true);
        old_[u]->setFocusPolicy(Qt::NoFocus);
        grid->addWidget(old_[u], i + 1, 1);
        grid->addWidget(new QLabel(label, this), i + 1, 2);
        new_[u] = new NumberField(range.lo, range.hi, -1, this);
        new_[u]->setValue(start[u]);
        grid->addWidget(new_[u], i + 1, 3);
    }
    l->addLayout(grid);
    auto* tools = new QHBoxLayout;
    automatic_ = new QPushButton(tr("Automatisch ermitteln"), this);
    preview_ = makePreviewButton();
    apply_ = new QPushButton(tr("Übernehmen"), this);
    for (QPushButton* b : {automatic_, preview_, apply_}) {
        b->setAutoDefault(false);
        tools->addWidget(b);
    }
    l->addLayout(tools);
    auto* row = new QHBoxLayout;
    ok_ = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    ok_->setDefault(true);
    cancel->setAutoDefault(false);
    row->addStretch(1);
    row->addWidget(ok_);
    row->addWidget(cancel);
    l->addLayout(row);

    for (NumberField* f : new_)
        connect(f, &NumberField::committed, this, [this] { previewChanged(); });
    connect(automatic_, &QPushButton::clicked, this, &LrgbBiasDialog::determineAutomatically);
    connect(apply_, &QPushButton::clicked, this, [this] { apply(); });
    connect(ok_, &QPushButton::clicked, this, &LrgbBiasDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &LrgbBiasDialog::reject);
}

LrgbBiasDialog::~LrgbBiasDialog() = default;

LrgbBiasValues LrgbBiasDialog::newValues() const {
    LrgbBiasValues v{};
    for (std::size_t i = 0; i < 4; ++i) v[i] = static_cast<std::int16_t>(new_[i]->value());
    return v;
}

void LrgbBiasDialog::setNewValues(const LrgbBiasValues& v) {
    for (std::size_t i = 0; i < 4; ++i) new_[i]->setValue(v[i]);
}

void LrgbBiasDialog::determineAutomatically() {
    LrgbBiasValues found{};
    const Image& image = view_->document()->image();
    const JobResult r = ctx_.jobs().run([&](Progress& progress) {
        found = determineBias(image, kWholeImageBias, kWholeImageBias, progress);
    });
    if (r.kind == JobResult::Failed) showMessage(this, r.message);
    if (r.kind == JobResult::OutOfMemory) showMessage(this, QString::fromUtf8(msg::kOutOfMemory));
    if (!r.ok()) return;
    setNewValues(found);
    previewChanged();
}

bool LrgbBiasDialog::apply() {
    for (NumberField* f : new_)
        if (!f->validate()) return false;
    const LrgbBiasValues v = newValues();
    view_->renderer().setLrgbBias(v[0], v[1], v[2], v[3]);
    for (std::size_t i = 0; i < 4; ++i) old_[i]->setText(QString::number(v[i]));
    view_->document()->refreshViews(false);
    view_->document()->notifyDisplayChanged();
    return true;
}

PreviewResult LrgbBiasDialog::preview(const PreviewPiece& piece) const {
    PreviewResult r = plainPreview(view_, piece);
    if (!r.renderer) return {};
    const LrgbBiasValues v = newValues();
    r.renderer->setLrgbBias(v[0], v[1], v[2], v[3]);
    return r;
}

void LrgbBiasDialog::accept() {
    if (!apply()) return;
    view_->document()->setModified(true);
    QDialog::accept();
}

void runLrgbBiasDialog(const CommandContext& ctx, CWinQuillonView* view,
                       std::optional<QPointF> at) {
    if (!view || view->document()->image().type() != LRGB_IMAGE) return;
    LrgbBiasValues start = view->renderer().params().lrgbBias;
    if (at) {
        try {
            start = determineBias(view->document()->image(), static_cast<int>(std::floor(at->x())),
                                  static_cast<int>(std::floor(at->y())));
        } catch (const Error& e) {
            showMessage(view, QString::fromUtf8(e.what()));
            return;
        }
    }
    LrgbBiasDialog dlg(ctx, view, start);
    dlg.exec();
}

void openLrgbBiasAfterComposite(const CommandContext& ctx, CWinQuillonView* result) {
    if (!result || result->document()->image().type() != LRGB_IMAGE) return;
    LrgbBiasValues v{};
    const JobResult r = ctx.jobs().run([&](Progress& progress) {
        v = determineBias(result->document()->image(), kWholeImageBias, kWholeImageBias, progress);
    });
    if (!r.ok()) return;
    result->renderer().setLrgbBias(v[0], v[1], v[2], v[3]);
    result->document()->refreshViews(false);
}

} // namespace quillon::ui
