// FilterDialog: the common buttons and the layer selection of the filter dialogs.
#include "ui/dialogs/filter_dialog.h"

#include "ui/dialogs/layer_select_dialog.h"
#include "ui/dialogs/number_field.h"
#include "ui/document.h"
#include "ui/view.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace quillon::ui {

PreviewResult plainPreview(CWinQuillonView* source, const PreviewPiece& piece) {
    PreviewResult r;
    if (!source) return r;
    r.image = cropPreviewPiece(source->renderer().image(), piece);
    if (!r.image) return r;
    try {
        r.renderer = rendererLike(*r.image, source->renderer());
    } catch (const std::bad_alloc&) {
        return {};
    }
    return r;
}

void centreDisplayOnZero(ImageRenderer& result, const ImageRenderer& source) {
    const DisplayPoints p =
        centredDisplayPoints(source.params().blackPoint, source.params().whitePoint);
    result.setPoints(&p.black, &p.white);
    result.rebuildLut();
}

// --- FilterDialog --------------------------------------------------------------------------

FilterDialog::FilterDialog(CWinQuillonView* view, SettingsRecord& settings, LayerSelection& layers,
                           const QString& title, QWidget* parent)
    : PreviewDialog(view, settings, parent), view_(view), settings_(settings), layers_(layers) {
    setWindowTitle(title);
    auto* l = new QVBoxLayout(this);
    body_ = new QVBoxLayout;
    l->addLayout(body_);
    auto* row = new QHBoxLayout;
    layersButton_ = new QPushButton(this);
    previewButton_ = makePreviewButton();
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    for (QPushButton* b : {layersButton_, cancel}) b->setAutoDefault(false);
    ok_->setDefault(true);
    row->addWidget(layersButton_);
    row->addWidget(previewButton_);
    row->addStretch(1);
    row->addWidget(ok_);
    row->addWidget(cancel);
    l->addSpacing(6);
    l->addLayout(row);
    updateLayersText();
    connect(layersButton_, &QPushButton::clicked, this, &FilterDialog::chooseLayers);
    connect(ok_, &QPushButton::clicked, this, &FilterDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &FilterDialog::reject);
}

FilterDialog::~FilterDialog() = default;

void FilterDialog::updateLayersText() {
    layersButton_->setText(QString::fromUtf8(layers_.buttonText()));
}

PreviewResult FilterDialog::preview(const PreviewPiece& piece) const {
    PreviewResult r;
    if (!view_) return r;
    const std::unique_ptr<Filter> f = filter();
    FilterOutcome outcome;
    r.image = computePreview(*f, view_->renderer().image(), piece, layers_.mask, &outcome);
    if (!r.image) return {};
    try {
        r.renderer = rendererLike(*r.image, view_->renderer());
    } catch (const std::bad_alloc&) {
        return {};
    }
    if (outcome.zeroSum) centreDisplayOnZero(*r.renderer, view_->renderer());
    return r;
}

void FilterDialog::chooseLayers() {
    if (!view_) return;
    LayerSelectDialog dlg(view_->renderer().image(), layers_, this);
    if (dlg.exec() != QDialog::Accepted) return;
    layers_ = dlg.selection();
    updateLayersText();
    parametersChanged();
}

void FilterDialog::parametersChanged() {
    previewChanged();
}

void FilterDialog::accept() {
    // A value typed but not yet confirmed is checked before the filter runs.
    for (NumberField* f : findChildren<NumberField*>())
        if (f->isEnabled() && !f->validate()) return;
    storeSettings(settings_);
    QDialog::accept();
}

} // namespace quillon::ui
