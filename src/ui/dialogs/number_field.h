// NumberField and TextField: the checked text fields of the tool windows and dialogs with the
// program's prompts ("Geben Sie bitte eine Zahl ein.", "Geben Sie bitte eine ganze Zahl
// zwischen %1 und %2 ein.", "Geben Sie bitte nicht mehr als %1 Zeichen ein.").
#pragma once

#include "core/number_text.h"

#include <QLineEdit>

namespace quillon::ui {

class NumberField : public QLineEdit {
    Q_OBJECT
public:
    // An integer field (decimals < 0) or a real field shown with `decimals` decimals. Real
    // fields with infinite bounds accept any number a float holds.
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
    // The prompt for a value outside the range.
    QString rangePrompt() const;
    // Parses the text: a number inside the range is committed (committed() emitted when the
    // text was edited); a non-number shows "Geben Sie bitte eine Zahl ein.", a number outside
    // the range the range prompt, and the focus goes back into the field with its text
    // selected. Returns false for refused input.
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

// A text field of at most maxChars characters: longer text is refused with the length prompt
// when the field is left or validated, rather than keys being swallowed while typing.
class TextField : public QLineEdit {
    Q_OBJECT
public:
    TextField(int maxChars, QWidget* parent = nullptr);
    int maxChars() const { return maxChars_; }
    // False (after the prompt, focus back in the field) when the text is too long.
    bool validate();

protected:
    void focusOutEvent(QFocusEvent* e) override;

private:
    int maxChars_;
    bool prompting_ = false;
};

// Reads a number typed into a field or a table cell ("," taken as the decimal point; whole
// numbers only when `integer`) and checks it against lo … hi before any conversion. Reals are
// limited to what a float holds. The value is set only for NumberText::Ok.
NumberText readTypedNumber(const QString& text, double lo, double hi, bool integer, double& value);
// The prompt for a refused number: "Geben Sie bitte eine Zahl ein." for text that is no number
// (or any refusal when a bound is infinite), else the range prompt ("Geben Sie bitte eine
// (ganze) Zahl zwischen %1 und %2 ein.").
QString numberPrompt(NumberText problem, double lo, double hi, bool integer);

// Shows a field's prompt and puts the focus back into the field with its text selected;
// `prompting` keeps the focus change of the message box from prompting twice.
void refuseInput(QLineEdit* field, const QString& prompt, bool& prompting);

} // namespace quillon::ui
