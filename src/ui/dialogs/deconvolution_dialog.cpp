// DeconvolutionDialog: iterations, PSF facts, time estimate and the preview rule.
#include "ui/dialogs/deconvolution_dialog.h"

#include "filters/deconvolve.h"
#include "filters/filter_ops.h"
#include "ui/dialogs/number_field.h"
#include "ui/document.h"
#include "ui/view.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon::ui {

DeconvolutionDialog::DeconvolutionDialog(CWinQuillonView* view, SettingsRecord& settings,
                                         LayerSelection& layers, QWidget* parent)
    : FilterDialog(view, settings, layers,
                   QString::fromUtf8(filterCommandInfo(FilterCommand::LucyRichardson).dialog),
                   parent) {
    iterations_ = clampIterations(fromSettings<DeconvolutionParams>(settings).iterations);
    const Image& image = view->document()->image();
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Anzahl Iterationen:"), this), 0, 0);
    // Any whole number is taken and pulled into 1 … 1000 (0 gives 1, 5000 gives 1000).
    iterationsField_ = new NumberField(-1e9, 1e9, -1, this);
    iterationsField_->setValue(iterations_);
    grid->addWidget(iterationsField_, 0, 1);
    minus_ = new QPushButton(QStringLiteral("-"), this);
    plus_ = new QPushButton(QStringLiteral("+"), this);
    for (QPushButton* b : {minus_, plus_}) {
        b->setAutoDefault(false);
        b->setFixedWidth(28);
    }
    grid->addWidget(plus_, 0, 2);
    grid->addWidget(minus_, 0, 3);
    grid->addWidget(new QLabel(tr("PSF Größe:"), this), 1, 0);
    size_ =
        new QLabel(tr("%1 x %2 Pixel").arg(image.psf()[0].width).arg(image.psf()[0].height), this);
    grid->addWidget(size_, 1, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Anzahl gemittelter PSF:"), this), 2, 0);
    count_ = new QLabel(QString::number(image.psfCount()), this);
    grid->addWidget(count_, 2, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Bearbeitungszeit (ca.):"), this), 3, 0);
    time_ = new QLabel(this);
    grid->addWidget(time_, 3, 1, 1, 3);
    body()->addLayout(grid);
    compute_ = new QPushButton(tr("Vorschau berechnen"), this);
    compute_->setAutoDefault(false);
    body()->addWidget(compute_);

    connect(iterationsField_, &NumberField::committed, this,
            [this](double v) { setIterations(static_cast<long long>(v)); });
    connect(plus_, &QPushButton::clicked, this,
            [this] { setIterations(iterationsPlus(iterations_)); });
    connect(minus_, &QPushButton::clicked, this,
            [this] { setIterations(iterationsMinus(iterations_)); });
    connect(compute_, &QPushButton::clicked, this, [this] {
        requested_ = true;
        FilterDialog::parametersChanged();
        requested_ = false;
    });
    updateEstimate();
}

void DeconvolutionDialog::setIterations(long long n) {
    const int before = iterations_;
    iterations_ = clampIterations(n);
    iterationsField_->setValue(iterations_);
    if (iterations_ != before) parametersChanged();
}

bool DeconvolutionDialog::previewFollowsChanges() const {
    if (!view()) return false;
    const Image& image = view()->document()->image();
    return previewFollows(selectedLayerCount(image, layerSelection().mask), iterations_,
                          image.psf()[0].width, image.psf()[0].height);
}

void DeconvolutionDialog::updateEstimate() {
    if (!view()) return;
    const Image& image = view()->document()->image();
    time_->setText(QString::fromStdString(deconvolutionTimeText(deconvolutionSeconds(
        selectedLayerCount(image, layerSelection().mask), iterations_, image.psf()[0].width,
        image.psf()[0].height, image.width(), image.height()))));
}

void DeconvolutionDialog::parametersChanged() {
    updateEstimate();
    changing_ = true;
    FilterDialog::parametersChanged();
    changing_ = false;
}

PreviewResult DeconvolutionDialog::preview(const PreviewPiece& piece) const {
    // An expensive preview is not recomputed for every change, scroll or zoom: after a change
    // the panel stays empty until "Vorschau berechnen", and what that computed stays in view
    // while the piece is scrolled or zoomed.
    if (!requested_ && !previewFollowsChanges()) {
        PreviewResult none;
        none.keepShown = !changing_;
        return none;
    }
    return FilterDialog::preview(piece);
}

std::unique_ptr<Filter> DeconvolutionDialog::filter() const {
    return std::make_unique<DeconvolutionFilter>(iterations_,
                                                 view() ? &view()->document()->image() : nullptr);
}

void DeconvolutionDialog::storeSettings(SettingsRecord& s) const {
    storeInto(DeconvolutionParams{iterations_}, s);
}

} // namespace quillon::ui
