// NumberField: parsing, range check and the range prompts of numeric fields.
#include "ui/dialogs/number_field.h"

#include "ui/messages.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace quillon::ui {

namespace {
constexpr double kMaxReal = static_cast<double>(std::numeric_limits<float>::max());
const char* const kNotANumber =
    QT_TRANSLATE_NOOP("quillon::ui::NumberField", "Geben Sie bitte eine Zahl ein.");
} // namespace

void refuseInput(QLineEdit* field, const QString& prompt, bool& prompting) {
    if (prompting) return;
    prompting = true;
    showMessage(field->window(), prompt, Ask::Warning);
    prompting = false;
    // The field keeps the focus until it holds an acceptable value.
    QTimer::singleShot(0, field, [field] {
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
    });
}

NumberField::NumberField(double minimum, double maximum, int decimals, QWidget* parent)
    : QLineEdit(parent), min_(minimum), max_(maximum), decimals_(decimals) {}

QString NumberField::format(double v) const {
    if (isInteger()) return QString::number(static_cast<long long>(std::llround(v)));
    if (significant_ > 0) return QString::number(v, 'g', significant_);
    return QString::number(v, 'f', decimals_);
}

void NumberField::setValue(double v) {
    value_ = v;
    setText(format(v));
    setModified(false);
}

QString NumberField::rangePrompt() const {
    return numberPrompt(NumberText::OutOfRange, min_, max_, isInteger());
}

bool NumberField::validate() {
    setModified(true);
    return commit();
}

NumberText readTypedNumber(const QString& text, double lo, double hi, bool integer, double& value) {
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    const std::string s = t.toStdString();
    // Every real ends up in a float at the latest, so a typed real stays within float.
    double v = 0;
    const NumberText r = readRealNumber(s, -kMaxReal, kMaxReal, v);
    if (integer && r == NumberText::Ok) {
        long long i = 0;
        // "12.5" or "1e30" is a number, only not a whole one within the range.
        if (readWholeNumber(s, std::numeric_limits<long long>::min(),
                            std::numeric_limits<long long>::max(), i) != NumberText::Ok)
            return NumberText::OutOfRange;
        v = static_cast<double>(i);
    }
    if (r != NumberText::Ok) return r;
    if (!(v >= lo && v <= hi)) return NumberText::OutOfRange;
    value = v;
    return NumberText::Ok;
}

QString numberPrompt(NumberText problem, double lo, double hi, bool integer) {
    if (problem != NumberText::OutOfRange || !std::isfinite(lo) || !std::isfinite(hi))
        return NumberField::tr(kNotANumber);
    auto bound = [integer](double b) {
        return integer ? QString::number(static_cast<long long>(b)) : QString::number(b);
    };
    const QString text =
        integer ? NumberField::tr("Geben Sie bitte eine ganze Zahl zwischen %1 und %2 ein.")
                : NumberField::tr("Geben Sie bitte eine Zahl zwischen %1 und %2 ein.");
    return text.arg(bound(lo), bound(hi));
}

bool NumberField::commit() {
    if (!isModified()) return true;
    double v = 0;
    const double lo = raiseToMinimum_ ? -std::numeric_limits<double>::infinity() : min_;
    const NumberText r = readTypedNumber(text(), lo, max_, isInteger(), v);
    if (r != NumberText::Ok) {
        refuseInput(this, numberPrompt(r, min_, max_, isInteger()), prompting_);
        return false;
    }
    v = std::max(v, min_); // raised to the minimum
    value_ = v;
    setModified(false);
    emit committed(v);
    return true;
}

void NumberField::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (!prompting_) commit();
}

TextField::TextField(int maxChars, QWidget* parent) : QLineEdit(parent), maxChars_(maxChars) {}

bool TextField::validate() {
    if (text().toUcs4().size() <= maxChars_) return true;
    refuseInput(this, tr("Geben Sie bitte nicht mehr als %1 Zeichen ein.").arg(maxChars_),
                prompting_);
    return false;
}

void TextField::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (!prompting_) validate();
}

void NumberField::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        commit();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

} // namespace quillon::ui
