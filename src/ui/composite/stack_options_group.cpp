// The composite window's combine group: see stack_options_group.h.
#include "ui/composite/stack_options_group.h"

#include "core/error.h"
#include "formats/fits_float.h"
#include "ui/dialogs/number_field.h"
#include "ui/messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace quillon::ui {

SampleSums& lastCompositeSums() {
    static SampleSums sums;
    return sums;
}

void saveLastCompositeFloat(const std::string& path) {
    const SampleSums& sums = lastCompositeSums();
    if (sums.empty())
        throw Error(StackOptionsGroup::tr("Es liegt noch kein Ergebnis eines Komposits vor.")
                        .toStdString());
    writeFloatFits(path, sums.width(), sums.height(), sums.layers(),
                   [&](int layer, int y, float* values) {
                       for (int x = 0; x < sums.width(); ++x) values[x] = sums.value(layer, x, y);
                   },
                   {sums.averaging() ? "Quillon Komposit: Mittelwert" : "Quillon Komposit: Summe"});
}

namespace {
// In the order of Rejection and Normalization (the normalisation with "Automatisch" first).
const char* const kRejectionNames[] = {
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Keine"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Artefakte entfernen"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Sigma-Clipping"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Winsorized Sigma-Clipping"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Lineare Anpassung"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "GESD-Test"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Perzentil"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Min/Max")};
const char* const kNormalizationNames[] = {
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Automatisch"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Keine"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Additiv"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Multiplikativ"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Additiv mit Skalierung"),
    QT_TRANSLATE_NOOP("quillon::ui::StackOptionsGroup", "Multiplikativ mit Skalierung")};
} // namespace

StackOptionsGroup::StackOptionsGroup(CompositeOptions& options, QCheckBox* averaging,
                                     QCheckBox* artefacts, QWidget* parent)
    : QGroupBox(tr("Zusammenfassen"), parent), options_(options), averaging_(averaging),
      artefacts_(artefacts) {
    auto* grid = new QGridLayout(this);
    combine_ = new QComboBox(this);
    combine_->addItems({tr("Mittelwert"), tr("Median"), tr("Summe")});
    combine_->setCurrentIndex(!options.averaging ? 2 : options.rejection.median ? 1 : 0);
    rejection_ = new QComboBox(this);
    for (const char* n : kRejectionNames) rejection_->addItem(tr(n));
    rejection_->setCurrentIndex(static_cast<int>(effectiveRejection(options)));
    normalization_ = new QComboBox(this);
    for (const char* n : kNormalizationNames) normalization_->addItem(tr(n));
    normalization_->setCurrentIndex(options.normalization + 1);
    weighting_ = new QComboBox(this);
    weighting_->addItems({tr("Keine"), tr("Rauschen (1/σ²)"), tr("Sternschärfe (1/FWHM²)"),
                          tr("Sternanzahl")});
    weighting_->setCurrentIndex(static_cast<int>(options.weighting));
    thresholdLabel_ = new QLabel(this);
    low_ = new NumberField(0, 65535, 2, this);
    high_ = new NumberField(0, 65535, 2, this);
    for (NumberField* f : {low_, high_}) f->setMaximumWidth(70);
    saveFloat_ = new QPushButton(tr("Ergebnis als 32-Bit-FITS speichern..."), this);

    grid->addWidget(new QLabel(tr("Verfahren:"), this), 0, 0);
    grid->addWidget(combine_, 0, 1);
    grid->addWidget(new QLabel(tr("Verwerfen:"), this), 0, 2);
    grid->addWidget(rejection_, 0, 3);
    grid->addWidget(thresholdLabel_, 0, 4);
    grid->addWidget(low_, 0, 5);
    grid->addWidget(high_, 0, 6);
    grid->addWidget(new QLabel(tr("Normierung:"), this), 1, 0);
    grid->addWidget(normalization_, 1, 1);
    grid->addWidget(new QLabel(tr("Gewichtung:"), this), 1, 2);
    grid->addWidget(weighting_, 1, 3);
    grid->addWidget(saveFloat_, 1, 4, 1, 3);
    grid->setColumnStretch(7, 1);
    showThresholds();

    // The window's own boxes follow the choices here, and the other way round.
    connect(combine_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (averaging_) averaging_->setChecked(i != 2);
    });
    if (averaging_)
        connect(averaging_, &QCheckBox::toggled, this, [this](bool on) {
            if (on == (combine_->currentIndex() != 2)) return;
            combine_->setCurrentIndex(on ? 0 : 2);
        });
    connect(rejection_, &QComboBox::currentIndexChanged, this, [this](int i) {
        apply();
        if (artefacts_) artefacts_->setChecked(i == static_cast<int>(Rejection::Artefact));
        showThresholds();
    });
    if (artefacts_)
        connect(artefacts_, &QCheckBox::toggled, this, [this](bool on) {
            const int artefact = static_cast<int>(Rejection::Artefact);
            if (on && rejection_->currentIndex() != artefact) rejection_->setCurrentIndex(artefact);
            if (!on && rejection_->currentIndex() == artefact) rejection_->setCurrentIndex(0);
        });
    connect(saveFloat_, &QPushButton::clicked, this, &StackOptionsGroup::saveFloat);
}

// The thresholds of the chosen method: sigmas, fractions of the median or value counts.
void StackOptionsGroup::showThresholds() {
    const auto method = static_cast<Rejection>(rejection_->currentIndex());
    const RejectionParams& r = options_.rejection;
    bool shown = true;
    switch (method) {
    case Rejection::Sigma:
    case Rejection::Winsorized:
    case Rejection::Linear:
        thresholdLabel_->setText(tr("Sigma unten/oben:"));
        low_->setValue(r.sigmaLow);
        high_->setValue(r.sigmaHigh);
        break;
    case Rejection::Percentile:
        thresholdLabel_->setText(tr("Anteil unten/oben:"));
        low_->setValue(r.percentileLow);
        high_->setValue(r.percentileHigh);
        break;
    case Rejection::MinMax:
        thresholdLabel_->setText(tr("Anzahl unten/oben:"));
        low_->setValue(r.minmaxLow);
        high_->setValue(r.minmaxHigh);
        break;
    default: shown = false; break;
    }
    for (QWidget* w : {static_cast<QWidget*>(thresholdLabel_), static_cast<QWidget*>(low_),
                       static_cast<QWidget*>(high_)})
        w->setVisible(shown);
}

bool StackOptionsGroup::apply() {
    for (NumberField* f : {low_, high_})
        if (!f->isHidden() && f->isModified() && !f->commit()) return false;
    RejectionParams& r = options_.rejection;
    switch (r.method) {
    case Rejection::Sigma:
    case Rejection::Winsorized:
    case Rejection::Linear:
        r.sigmaLow = static_cast<float>(std::clamp(low_->value(), 0.1, 100.0));
        r.sigmaHigh = static_cast<float>(std::clamp(high_->value(), 0.1, 100.0));
        break;
    case Rejection::Percentile:
        r.percentileLow = static_cast<float>(std::clamp(low_->value(), 0.0, 1.0));
        r.percentileHigh = static_cast<float>(std::clamp(high_->value(), 0.0, 1.0));
        break;
    case Rejection::MinMax:
        r.minmaxLow = static_cast<int>(low_->value());
        r.minmaxHigh = static_cast<int>(high_->value());
        break;
    default: break;
    }
    const auto method = static_cast<Rejection>(rejection_->currentIndex());
    options_.removeArtefacts = method == Rejection::Artefact;
    r.method = method == Rejection::Artefact ? Rejection::None : method;
    options_.averaging = combine_->currentIndex() != 2;
    r.median = combine_->currentIndex() == 1;
    options_.normalization = normalization_->currentIndex() - 1;
    options_.weighting = static_cast<Weighting>(weighting_->currentIndex());
    return true;
}

void StackOptionsGroup::saveFloat() {
    if (lastCompositeSums().empty()) {
        showMessage(this, tr("Es liegt noch kein Ergebnis eines Komposits vor."));
        return;
    }
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Ergebnis als 32-Bit-FITS speichern"), QString(),
                                     QStringLiteral("FITS (*.fts *.fit *.fits)"));
    if (path.isEmpty()) return;
    try {
        saveLastCompositeFloat(path.toStdString());
    } catch (const Error& e) {
        showMessage(this, QString::fromUtf8(e.what()));
    }
}

} // namespace quillon::ui
