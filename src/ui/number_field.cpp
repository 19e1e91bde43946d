// NumberField: parsing, range check and the range prompts of numeric fields.
#include "ui/number_field.h"

#include "ui/messages.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>

#include <cmath>

namespace quillon::ui {

namespace {
const QString kNotANumber = QStringLiteral("Geben Sie bitte eine Zahl ein.");
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
    auto bound = [this](double b) {
        return isInteger() ? QString::number(static_cast<long long>(b)) : QString::number(b);
    };
    if (!std::isfinite(min_) || !std::isfinite(max_)) return kNotANumber;
    const QString text =
        isInteger() ? QStringLiteral("Geben Sie bitte eine ganze Zahl zwischen %1 und %2 ein.")
                    : QStringLiteral("Geben Sie bitte eine Zahl zwischen %1 und %2 ein.");
    return text.arg(bound(min_), bound(max_));
}

bool NumberField::validate() {
    setModified(true);
    return commit();
}

bool NumberField::commit() {
    if (!isModified()) return true;
    QString t = text().trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    double v = 0;
    if (isInteger()) {
        const long long i = t.toLongLong(&ok);
        v = static_cast<double>(i);
    } else {
        v = t.toDouble(&ok);
        ok = ok && std::isfinite(v);
    }
    if (ok && raiseToMinimum_ && v < min_) v = min_;
    if (!ok || v < min_ || v > max_) {
        refuseInput(this, ok ? rangePrompt() : kNotANumber, prompting_);
        return false;
    }
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
    refuseInput(this,
                QStringLiteral("Geben Sie bitte nicht mehr als %1 Zeichen ein.").arg(maxChars_),
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
