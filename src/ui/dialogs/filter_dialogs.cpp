// The filter dialogs: their controls, the settings they start from and store, and the filter
// each builds from its controls.
#include "ui/dialogs/filter_dialogs.h"

#include "filters/filter_ops.h"
#include "filters/kernels.h"
#include "ui/dialogs/number_field.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace quillon::ui {

void onSliderSettled(QSlider* slider, QObject* context, const std::function<void()>& changed) {
    QObject::connect(slider, &QSlider::valueChanged, context, [slider, changed] {
        if (!slider->isSliderDown()) changed();
    });
    QObject::connect(slider, &QSlider::sliderReleased, context, changed);
}

namespace {

QSlider* positionSlider(int maximum, int value, QWidget* parent) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setRange(0, maximum);
    s->setPageStep(1);
    s->setTickPosition(QSlider::TicksBelow);
    s->setTickInterval(1);
    s->setValue(std::clamp(value, 0, maximum));
    s->setMinimumWidth(160);
    return s;
}

// Radio buttons in a group box, one per text, ids 0 … n-1; `checked` is pulled into range.
QButtonGroup* radioGroup(const QString& title, const QStringList& texts, int checked,
                         QWidget* parent, QLayout* into, int columns = 1) {
    auto* box = new QGroupBox(title, parent);
    auto* grid = new QGridLayout(box);
    auto* group = new QButtonGroup(box);
    const int rows = (static_cast<int>(texts.size()) + columns - 1) / columns;
    for (int i = 0; i < texts.size(); ++i) {
        auto* b = new QRadioButton(texts[i], box);
        group->addButton(b, i);
        grid->addWidget(b, i % rows, i / rows);
    }
    const int id = std::clamp(checked, 0, static_cast<int>(texts.size()) - 1);
    group->button(id)->setChecked(true);
    into->addWidget(box);
    return group;
}

} // namespace

// --- high-pass and low-pass ----------------------------------------------------------------

ConvolutionDialog::ConvolutionDialog(Kind kind, CWinQuillonView* view, SettingsRecord& settings,
                                     LayerSelection& layers, QWidget* parent)
    : FilterDialog(view, settings, layers,
                   kind == Kind::Highpass ? QStringLiteral("Hochpassfilter (schärfung)")
                                          : QStringLiteral("Tiefpassfilter (glättung)"),
                   parent),
      kind_(kind) {
    const ConvolutionParams p = paramsFromSettings(convolutionFields(command()), settings);
    strength_ = positionSlider(3, p.strength, this);
    size_ = positionSlider(2, p.size, this);
    auto* strengthText = new QLabel(this);
    auto* sizeText = new QLabel(this);
    strengthText->setMinimumWidth(40);
    auto showValues = [this, strengthText, sizeText] {
        strengthText->setText(QString::number(strength_->value() + 1));
        const int n = 3 + 2 * size_->value();
        sizeText->setText(QStringLiteral("%1 x %1").arg(n));
    };
    showValues();
    connect(strength_, &QSlider::valueChanged, this, showValues);
    connect(size_, &QSlider::valueChanged, this, showValues);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Stärke:"), this), 0, 0);
    grid->addWidget(strength_, 0, 1);
    grid->addWidget(strengthText, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Maskengröße:"), this), 1, 0);
    grid->addWidget(size_, 1, 1);
    grid->addWidget(sizeText, 1, 2);
    body()->addLayout(grid);
    for (QSlider* s : {strength_, size_}) onSliderSettled(s, this, [this] { parametersChanged(); });
}

FilterCommand ConvolutionDialog::command() const {
    return kind_ == Kind::Highpass ? FilterCommand::Highpass : FilterCommand::Lowpass;
}

ConvolutionParams ConvolutionDialog::params() const {
    return {strength_->value(), size_->value()};
}

std::unique_ptr<Filter> ConvolutionDialog::filter() const {
    return makeFilter(command(), params());
}

void ConvolutionDialog::storeSettings(SettingsRecord& s) const {
    storeParams(convolutionFields(command()), params(), s);
}

// --- special kernels -------------------------------------------------------------------------

SpecialFilterDialog::SpecialFilterDialog(CWinQuillonView* view, SettingsRecord& settings,
                                         LayerSelection& layers, QWidget* parent)
    : FilterDialog(view, settings, layers, QStringLiteral("Spezialfilter"), parent) {
    QStringList labels;
    for (int i = 0; i < kSpecialKernelCount; ++i)
        labels << QString::fromUtf8(specialKernelLabel(i));
    options_ = radioGroup(QStringLiteral("Filter"), labels,
                          fromSettings<SpecialParams>(settings).type, this, body(), 2);
    connect(options_, &QButtonGroup::idClicked, this, [this] { parametersChanged(); });
}

std::unique_ptr<Filter> SpecialFilterDialog::filter() const {
    return makeFilter(SpecialParams{options_->checkedId()});
}

void SpecialFilterDialog::storeSettings(SettingsRecord& s) const {
    storeInto(SpecialParams{options_->checkedId()}, s);
}

// --- noise filters ---------------------------------------------------------------------------

NoiseFilterDialog::NoiseFilterDialog(CWinQuillonView* view, SettingsRecord& settings,
                                     LayerSelection& layers, QWidget* parent)
    : FilterDialog(view, settings, layers, QStringLiteral("Rauschfilter"), parent) {
    const NoiseParams p = fromSettings<NoiseParams>(settings);
    auto* row = new QHBoxLayout;
    QStringList maskTexts;
    for (int i = 0; i < kNoiseMaskCount; ++i) maskTexts << QString::fromUtf8(noiseMaskLabel(i));
    masks_ = radioGroup(QStringLiteral("Maske"), maskTexts, p.mask, this, row);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (QAbstractButton* b : masks_->buttons()) b->setFont(fixed);
    auto* right = new QVBoxLayout;
    QStringList kindTexts;
    for (int k = 0; k < 4; ++k)
        kindTexts << QString::fromUtf8(noiseKindLabel(static_cast<NoiseKind>(k)));
    kinds_ = radioGroup(QStringLiteral("Filter"), kindTexts, p.kind, this, right);
    auto* limitRow = new QHBoxLayout;
    limitRow->addWidget(new QLabel(QStringLiteral("Schwellwert:"), this));
    threshold_ = new NumberField(0, 65535, -1, this);
    threshold_->setValue(p.threshold);
    threshold_->setMaximumWidth(80);
    limitRow->addWidget(threshold_);
    limitRow->addStretch(1);
    right->addLayout(limitRow);
    right->addStretch(1);
    row->addLayout(right);
    body()->addLayout(row);
    updateThresholdField();
    connect(masks_, &QButtonGroup::idClicked, this, [this] { parametersChanged(); });
    connect(kinds_, &QButtonGroup::idClicked, this, [this] {
        updateThresholdField();
        parametersChanged();
    });
    connect(threshold_, &NumberField::committed, this, [this] { parametersChanged(); });
}

void NoiseFilterDialog::updateThresholdField() {
    threshold_->setEnabled(kinds_->checkedId() == static_cast<int>(NoiseKind::Threshold));
}

NoiseParams NoiseFilterDialog::params() const {
    return {masks_->checkedId(), kinds_->checkedId(), static_cast<int>(threshold_->value())};
}

std::unique_ptr<Filter> NoiseFilterDialog::filter() const {
    return makeFilter(params());
}

void NoiseFilterDialog::storeSettings(SettingsRecord& s) const {
    storeInto(params(), s);
}

// --- unsharp mask ------------------------------------------------------------------------------

UnsharpMaskDialog::UnsharpMaskDialog(CWinQuillonView* view, SettingsRecord& settings,
                                     LayerSelection& layers, QWidget* parent)
    : FilterDialog(view, settings, layers, QStringLiteral("Unscharfe Maske"), parent) {
    const UnsharpParams p = fromSettings<UnsharpParams>(settings);
    mask_ = positionSlider(kUnsharpMaskCount - 1, p.mask, this);
    auto* sliderRow = new QHBoxLayout;
    sliderRow->addWidget(new QLabel(QStringLiteral("schwach"), this));
    sliderRow->addWidget(mask_, 1);
    sliderRow->addWidget(new QLabel(QStringLiteral("stark"), this));
    body()->addLayout(sliderRow);

    auto field = [this] {
        auto* f = new NumberField(0, 1000, 4, this);
        f->setSignificantDigits(7);
        f->setMaximumWidth(90);
        return f;
    };
    original_ = field();
    factor_ = field();
    stronger_ = new QPushButton(QStringLiteral("stärker"), this);
    weaker_ = new QPushButton(QStringLiteral("schwächer"), this);
    for (QPushButton* b : {stronger_, weaker_}) b->setAutoDefault(false);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Original  x"), this), 0, 0);
    grid->addWidget(original_, 0, 1);
    grid->addWidget(stronger_, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("-  Maske  x"), this), 1, 0);
    grid->addWidget(factor_, 1, 1);
    grid->addWidget(weaker_, 1, 2);
    grid->setColumnStretch(3, 1);
    body()->addLayout(grid);
    showFactors({p.m, p.o});

    onSliderSettled(mask_, this, [this] { parametersChanged(); });
    for (NumberField* f : {original_, factor_})
        connect(f, &NumberField::committed, this, [this] { parametersChanged(); });
    connect(stronger_, &QPushButton::clicked, this, [this] {
        showFactors(unsharpStronger(factors()));
        parametersChanged();
    });
    connect(weaker_, &QPushButton::clicked, this, [this] {
        showFactors(unsharpWeaker(factors()));
        parametersChanged();
    });
}

UnsharpFactors UnsharpMaskDialog::factors() const {
    return {static_cast<float>(factor_->value()), static_cast<float>(original_->value())};
}

void UnsharpMaskDialog::showFactors(UnsharpFactors f) {
    factor_->setValue(static_cast<double>(f.m));
    original_->setValue(static_cast<double>(f.o));
}

UnsharpParams UnsharpMaskDialog::params() const {
    const UnsharpFactors f = factors();
    return {mask_->value(), f.m, f.o};
}

std::unique_ptr<Filter> UnsharpMaskDialog::filter() const {
    return makeFilter(params());
}

void UnsharpMaskDialog::storeSettings(SettingsRecord& s) const {
    storeInto(params(), s);
}

} // namespace quillon::ui
