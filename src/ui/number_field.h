// NumberField: a numeric text field of the tool windows and dialogs with the program's range
// prompts ("Geben Sie bitte eine ganze Zahl zwischen %1 und %2 ein.").
#pragma once

#include <QLineEdit>

namespace quillon::ui {

class NumberField : public QLineEdit {
    Q_OBJECT
public:
    // An integer field (decimals < 0) or a real field shown with `decimals` decimals. Real
    // fields with infinite bounds accept any number.
    NumberField(double minimum, double maximum, int decimals, QWidget* parent = nullptr);
    // Real fields: show values with `digits` significant digits instead of fixed decimals.
    void setSignificantDigits(int digits) { significant_ = digits; }
    // Numbers typed below the minimum are raised to it instead of refused.
    void setRaiseToMinimum(bool on) { raiseToMinimum_ = on; }

    bool isInteger() const { return decimals_ < 0; }
    double minimum() const { return min_; }
    double maximum() const { return max_; }
    // Shows the value (rounded to the field's decimals) without committing it.
    void setValue(double v);
    // The value last shown or committed.
    double value() const { return value_; }
    // The prompt for a value outside the range or not a number.
    QString rangePrompt() const;
    // Parses the text: a number inside the range is committed (committed() emitted when the
    // text was edited), anything else shows the range prompt and puts the focus back into the
    // field with its text selected. Returns false for refused input.
    bool commit();
    // Validates the text whether edited or not (the check before applying a whole form).
    bool validate();

signals:
    void committed(double value);

protected:
    void focusOutEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    QString format(double v) const;

    double min_;
    double max_;
    int decimals_;
    int significant_ = 0;
    double value_ = 0;
    bool prompting_ = false;
    bool raiseToMinimum_ = false;
};

} // namespace quillon::ui
