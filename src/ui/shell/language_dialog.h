// "Datei" > "Einstellungen" > "Sprache...": Deutsch or English, from the next start on.
#pragma once

#include <QDialog>

class QRadioButton;

namespace quillon::ui {

class LanguageDialog : public QDialog {
    Q_OBJECT
public:
    // `code`: the stored choice, "de" or "en".
    explicit LanguageDialog(const QString& code, QWidget* parent = nullptr);
    // The chosen language, "de" or "en".
    QString language() const;

private:
    QRadioButton* german_ = nullptr;
    QRadioButton* english_ = nullptr;
};

} // namespace quillon::ui
