// The dialogs of the filter menu: high-pass and low-pass (strength and mask size), special
// kernels, noise filters and the unsharp mask.
#pragma once

#include "filters/filter_ops.h"
#include "filters/noise.h"
#include "filters/unsharp.h"
#include "ui/dialogs/filter_dialog.h"

#include <QList>

class QButtonGroup;
class QLabel;
class QRadioButton;
class QSlider;

namespace quillon::ui {

class NumberField;

// Connects a slider so that `changed` runs when its value settles: on release after a drag,
// at once for keys, clicks on the groove and wheel steps.
void onSliderSettled(QSlider* slider, QObject* context, const std::function<void()>& changed);

class ConvolutionDialog : public FilterDialog {
    Q_OBJECT
public:
    enum class Kind { Highpass, Lowpass };
    ConvolutionDialog(Kind kind, CWinQuillonView* view, SettingsRecord& settings,
                      LayerSelection& layers, QWidget* parent = nullptr);
    std::unique_ptr<Filter> filter() const override;
    void storeSettings(SettingsRecord& s) const override;
    QSlider* strengthSlider() const { return strength_; }
    QSlider* sizeSlider() const { return size_; }

private:
    FilterCommand command() const;
    ConvolutionParams params() const;

    Kind kind_;
    QSlider* strength_ = nullptr;
    QSlider* size_ = nullptr;
};

class SpecialFilterDialog : public FilterDialog {
    Q_OBJECT
public:
    SpecialFilterDialog(CWinQuillonView* view, SettingsRecord& settings, LayerSelection& layers,
                        QWidget* parent = nullptr);
    std::unique_ptr<Filter> filter() const override;
    void storeSettings(SettingsRecord& s) const override;
    QButtonGroup* options() const { return options_; }

private:
    QButtonGroup* options_ = nullptr;
};

class NoiseFilterDialog : public FilterDialog {
    Q_OBJECT
public:
    NoiseFilterDialog(CWinQuillonView* view, SettingsRecord& settings, LayerSelection& layers,
                      QWidget* parent = nullptr);
    std::unique_ptr<Filter> filter() const override;
    void storeSettings(SettingsRecord& s) const override;
    QButtonGroup* masks() const { return masks_; }
    QButtonGroup* kinds() const { return kinds_; }
    NumberField* thresholdField() const { return threshold_; }

private:
    NoiseParams params() const;
    void updateThresholdField();

    QButtonGroup* masks_ = nullptr;
    QButtonGroup* kinds_ = nullptr;
    NumberField* threshold_ = nullptr;
};

class UnsharpMaskDialog : public FilterDialog {
    Q_OBJECT
public:
    UnsharpMaskDialog(CWinQuillonView* view, SettingsRecord& settings, LayerSelection& layers,
                      QWidget* parent = nullptr);
    std::unique_ptr<Filter> filter() const override;
    void storeSettings(SettingsRecord& s) const override;
    QSlider* maskSlider() const { return mask_; }
    NumberField* originalField() const { return original_; }
    NumberField* maskFactorField() const { return factor_; }
    QPushButton* strongerButton() const { return stronger_; }
    QPushButton* weakerButton() const { return weaker_; }
    UnsharpFactors factors() const;

private:
    UnsharpParams params() const;
    void showFactors(UnsharpFactors f);

    QSlider* mask_ = nullptr;
    NumberField* original_ = nullptr;
    NumberField* factor_ = nullptr;
    QPushButton* stronger_ = nullptr;
    QPushButton* weaker_ = nullptr;
};

} // namespace quillon::ui
