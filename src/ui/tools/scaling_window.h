// ScalingWindow ("Skalierung"): the view's black and white points, weights, exponent,
// switches and presets, each control handing its value to the display library.
#pragma once

#include "ui/tools/tool_window.h"

#include <array>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace quillon::ui {

class NumberField;

class ScalingWindow : public ToolWindow {
    Q_OBJECT
public:
    ScalingWindow(QWidget* owner, SettingsRecord& settings);
    void refresh() override;

    // The controls, for tests: point fields [channel][0 black, 1 white].
    NumberField* pointField(int channel, bool white) const {
        return points_[static_cast<std::size_t>(channel)][white ? 1 : 0];
    }
    NumberField* weightField(int channel) const {
        return weights_[static_cast<std::size_t>(channel)];
    }
    NumberField* exponentField() const { return exponent_; }
    QCheckBox* keepRatioBox() const { return keepRatio_; }
    QCheckBox* overlayBox() const { return overlay_; }
    QCheckBox* invertBox() const { return invert_; }
    QCheckBox* periodicBox() const { return periodic_; }
    QComboBox* lutTypeList() const { return lutType_; }
    QComboBox* paletteList() const { return palette_; }
    QComboBox* presetList() const { return preset_; }
    QPushButton* resetButton() const { return reset_; }
    // Opens "LRGB Bias-Werte" for the view; enabled for LRGB images, its tip tells the values.
    QPushButton* lrgbBiasButton() const { return lrgbBias_; }
    // Step buttons in the order Helligkeit -, +, Kontrast -, +, "Gamma" -, +.
    QPushButton* stepButton(int i) const { return steps_[static_cast<std::size_t>(i)]; }

private:
    void onStep(int i);
    void onPoint(int channel, bool white, double v);
    void onWeight();
    void onExponent(double v);
    void onSwitches();
    void onPreset(int position);

    std::array<QPushButton*, 6> steps_{};
    std::array<std::array<NumberField*, 2>, 3> points_{};
    std::array<NumberField*, 3> weights_{};
    NumberField* exponent_ = nullptr;
    QCheckBox* keepRatio_ = nullptr;
    QCheckBox* overlay_ = nullptr;
    QComboBox* lutType_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QCheckBox* periodic_ = nullptr;
    QComboBox* palette_ = nullptr;
    QComboBox* preset_ = nullptr;
    QPushButton* reset_ = nullptr;
    QPushButton* lrgbBias_ = nullptr;
    bool filling_ = false;
};

} // namespace quillon::ui
