// GreyConvertDialog: the three factors, "Natürliches Verhältnis", "Summe = 1 erzwingen", the
// weight box and the preview of the grey picture.
#include "ui/dialogs/grey_dialog.h"

#include "core/error.h"
#include "display/histogram.h"
#include "ops/grey_op.h"
#include "ui/dialogs/filter_dialog.h"
#include "ui/dialogs/number_field.h"
#include "ui/view.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace quillon::ui {

void applyConvertedDisplay(ImageRenderer& renderer, const ConvertedDisplay& display) {
    renderer.setWeights(display.weights);
    if (display.automatic)
        applyAutoScale(renderer, 0);
    else
        renderer.setPoints(&display.black, &display.white);
    renderer.rebuildLut();
}

GreyConvertDialog::GreyConvertDialog(CWinQuillonView* view, SettingsRecord& settings,
                                     QWidget* parent)
    : PreviewDialog(view, settings, parent), view_(view), settings_(settings) {
    setWindowTitle(tr("Zu Graubild konvertieren"));
    auto* l = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    const QString labels[3] = {tr("Rotanteil:"), tr("Grünanteil:"), tr("Blauanteil:")};
    for (int i = 0; i < 3; ++i) {
        fields_[i] = new NumberField(-kMaxGreyFactor, kMaxGreyFactor, 4, this);
        fields_[i]->setSignificantDigits(6);
        grid->addWidget(new QLabel(labels[i], this), i, 0);
        grid->addWidget(fields_[i], i, 1);
        connect(fields_[i], &NumberField::committed, this, [this] { changed(); });
    }
    natural_ = new QPushButton(tr("Natürliches Verhältnis"), this);
    normalise_ = new QPushButton(tr("Summe = 1 erzwingen"), this);
    grid->addWidget(natural_, 0, 2);
    grid->addWidget(normalise_, 1, 2);
    l->addLayout(grid);
    weights_ = new QCheckBox(tr("Farbgewichtung berücksichtigen"), this);
    l->addWidget(weights_);

    auto* row = new QHBoxLayout;
    QPushButton* previewButton = makePreviewButton();
    ok_ = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    for (QPushButton* b : {natural_, normalise_, previewButton, cancel}) b->setAutoDefault(false);
    ok_->setDefault(true);
    row->addWidget(previewButton);
    row->addStretch(1);
    row->addWidget(ok_);
    row->addWidget(cancel);
    l->addSpacing(6);
    l->addLayout(row);

    const GreyParams stored = greyFromSettings(settings);
    showFactors(stored.factors);
    weights_->setChecked(stored.useWeights);

    connect(natural_, &QPushButton::clicked, this, [this] {
        showFactors(naturalGreyFactors());
        changed();
    });
    connect(normalise_, &QPushButton::clicked, this, [this] {
        // A factor typed but not yet confirmed counts.
        for (NumberField* f : fields_)
            if (!f->commit()) return;
        showFactors(normalisedGreyFactors(factors()));
        changed();
    });
    connect(weights_, &QCheckBox::toggled, this, [this] { changed(); });
    connect(ok_, &QPushButton::clicked, this, &GreyConvertDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &GreyConvertDialog::reject);
}

GreyConvertDialog::~GreyConvertDialog() = default;

void GreyConvertDialog::showFactors(const GreyFactors& f) {
    fields_[0]->setValue(f.red);
    fields_[1]->setValue(f.green);
    fields_[2]->setValue(f.blue);
}

GreyFactors GreyConvertDialog::factors() const {
    return {static_cast<float>(fields_[0]->value()), static_cast<float>(fields_[1]->value()),
            static_cast<float>(fields_[2]->value())};
}

bool GreyConvertDialog::useWeights() const {
    return weights_->isChecked();
}

GreyFactors GreyConvertDialog::effectiveFactors() const {
    const std::array<float, 3> w =
        view_ ? view_->renderer().params().channelWeight : std::array<float, 3>{1, 1, 1};
    return quillon::effectiveFactors({factors(), useWeights()}, w);
}

void GreyConvertDialog::changed() {
    previewChanged();
}

PreviewResult GreyConvertDialog::preview(const PreviewPiece& piece) const {
    if (!view_) return {};
    const ImageRenderer& source = view_->renderer();
    try {
        // The piece is composed with the view's display, as the whole image will be.
        std::unique_ptr<Image> colour = cropPreviewPiece(source.image(), piece);
        if (!colour) return {};
        const std::unique_ptr<ImageRenderer> composer = rendererLike(*colour, source);
        PreviewResult r;
        r.image = std::make_unique<Image>();
        createImage(greyDescription(*colour), *r.image);
        const GreyFactors f = effectiveFactors();
        toGrey(*r.image, composer->composition(), f);
        r.renderer = rendererLike(*r.image, source);
        applyConvertedDisplay(*r.renderer, greyDisplay(source.composition(), f));
        return r;
    } catch (const Error&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

void GreyConvertDialog::accept() {
    for (NumberField* f : fields_)
        if (!f->validate()) return;
    storeInto(GreyParams{factors(), useWeights()}, settings_);
    QDialog::accept();
}

} // namespace quillon::ui
