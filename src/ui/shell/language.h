// The interface language: German (the source texts, no translator) or English, chosen in
// "Datei" > "Einstellungen" > "Sprache..." and taking effect at the next start.
#pragma once

#include <QString>
#include <QStringList>

#include <string>

namespace quillon::ui {

// "en" for a stored "en" (any case), otherwise "de": a missing or damaged value is German.
QString languageCode(const std::string& stored);

// Installs the program's translation for `code` ("en": the built-in English texts; "de":
// none) and Qt's own texts for that language (qtbase_<code>.qm, looked for in `qtFolders` in
// order). Call once, before the first window is made. Returns false when the program's
// English texts could not be loaded (the interface then stays German).
bool installLanguage(const QString& code, const QStringList& qtFolders);

// The language installed by installLanguage ("de" before any call).
QString currentLanguage();

} // namespace quillon::ui
