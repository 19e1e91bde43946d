// RecordDialog: the dialog of every filter whose operation record describes its fields
// (high-pass, low-pass, special kernels, noise filters, unsharp mask). Its controls, their
// ranges, the settings they start from and store, and the filter come from the record.
#pragma once

#include "filters/filter_ops.h"
#include "ui/dialogs/filter_dialog.h"

#include <functional>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QSlider;

namespace quillon::ui {

class NumberField;

// Connects a slider so that `changed` runs when its value settles: on release after a drag,
// at once for keys, clicks on the groove and wheel steps.
void onSliderSettled(QSlider* slider, QObject* context, const std::function<void()>& changed);

class RecordDialog : public FilterDialog {
    Q_OBJECT
public:
    // `operation` must have a form (FilterOperation::hasForm).
    RecordDialog(const FilterOperation& operation, CWinQuillonView* view, SettingsRecord& settings,
                 LayerSelection& layers, QWidget* parent = nullptr);
    std::unique_ptr<Filter> filter() const override;
    void storeSettings(SettingsRecord& s) const override;

    // The parameters as the controls show them, one value per field of the record.
    std::vector<double> values() const;
    // The controls of the field with this command-line option name (null: none of the kind).
    QSlider* slider(const char* option) const;
    QButtonGroup* choice(const char* option) const;
    NumberField* number(const char* option) const;
    QCheckBox* check(const char* option) const;
    // The button of the form action with this label.
    QPushButton* action(const char* label) const;

private:
    // The controls of one field; only those of its kind are set.
    struct Control {
        FormField field;
        QSlider* slider = nullptr;
        QLabel* valueText = nullptr;
        QButtonGroup* choice = nullptr;
        NumberField* number = nullptr;
        QCheckBox* check = nullptr;
        QWidget* widget = nullptr; // what is enabled or disabled
    };

    void build(const std::vector<double>& initial);
    void showValues(const std::vector<double>& values);
    void updateSideTexts();
    void updateEnabled();
    void changed();
    // The widget of the field with this option name, null when it has none of the kind.
    template <class W>
    W* control(const char* option, W* Control::*widget) const;

    const FilterOperation& operation_;
    std::vector<Control> controls_;
    std::vector<QPushButton*> actions_;
};

} // namespace quillon::ui
