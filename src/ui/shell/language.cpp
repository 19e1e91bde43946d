// Loading the interface language's translators.
#include "ui/shell/language.h"

#include <QCoreApplication>
#include <QTranslator>

namespace quillon::ui {
namespace {
QString& installed() {
    static QString code = QStringLiteral("de");
    return code;
}
} // namespace

QString languageCode(const std::string& stored) {
    return QString::fromStdString(stored).trimmed().toLower() == QLatin1String("en")
               ? QStringLiteral("en")
               : QStringLiteral("de");
}

bool installLanguage(const QString& code, const QStringList& qtFolders) {
    QCoreApplication* app = QCoreApplication::instance();
    bool ok = true;
    if (code == QLatin1String("en")) {
        auto* own = new QTranslator(app);
        ok = own->load(QStringLiteral(":/i18n/quillon_en.qm"));
        if (ok) {
            QCoreApplication::installTranslator(own);
            installed() = code;
        } else {
            delete own;
        }
    } else {
        installed() = QStringLiteral("de");
    }
    // Qt's own dialogs (file dialogs, message box buttons) speak the same language.
    auto* qt = new QTranslator(app);
    const QString qtName = QStringLiteral("qtbase_") + installed();
    for (const QString& folder : qtFolders) {
        if (qt->load(qtName, folder)) {
            QCoreApplication::installTranslator(qt);
            return ok;
        }
    }
    delete qt;
    return ok;
}

QString currentLanguage() {
    return installed();
}

} // namespace quillon::ui
