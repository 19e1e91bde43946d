// The language dialog.
#include "ui/shell/language_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillon::ui {

LanguageDialog::LanguageDialog(const QString& code, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Sprache"));
    auto* lay = new QVBoxLayout(this);
    // Each language is named in its own words, so that a user who does not read the current
    // one still finds theirs.
    german_ = new QRadioButton(QStringLiteral("Deutsch"), this);
    english_ = new QRadioButton(QStringLiteral("English"), this);
    german_->setObjectName(QStringLiteral("languageDe"));
    english_->setObjectName(QStringLiteral("languageEn"));
    (code == QLatin1String("en") ? english_ : german_)->setChecked(true);
    lay->addWidget(german_);
    lay->addWidget(english_);
    auto* note = new QLabel(tr("Die Sprache wird beim nächsten Start umgestellt."), this);
    note->setWordWrap(true);
    lay->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    lay->addWidget(buttons);
}

QString LanguageDialog::language() const {
    return english_->isChecked() ? QStringLiteral("en") : QStringLiteral("de");
}

} // namespace quillon::ui
