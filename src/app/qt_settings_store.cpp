// The settings record's store on QSettings.
#include "app/qt_settings_store.h"

#include "core/number_text.h"
#include "ui/shell/quillon_app.h"

#include <limits>

namespace quillon::app {

QtSettingsStore::QtSettingsStore() {
    const QByteArray file = qgetenv("QUILLON_SETTINGS_FILE");
    if (!file.isEmpty())
        settings_ = std::make_unique<QSettings>(QString::fromLocal8Bit(file), QSettings::IniFormat);
    else
        settings_ = std::make_unique<QSettings>(QStringLiteral("Tervalis_RARU"),
                                                QStringLiteral("Quillon 2005"));
}

QtSettingsStore::QtSettingsStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QtSettingsStore::~QtSettingsStore() {
    settings_->sync();
}

int QtSettingsStore::readInt(const std::string& key, int fallback) {
    const QVariant stored =
        settings_->value(QStringLiteral("AppData/") + QString::fromStdString(key));
    // The file is text: a damaged value ("12abc", "1e30", "2147483648") reads as missing.
    int v = fallback;
    if (!stored.isValid() ||
        readWholeNumber(stored.toString().toStdString(), std::numeric_limits<int>::min(),
                        std::numeric_limits<int>::max(), v) != NumberText::Ok)
        return fallback;
    return v;
}

std::string QtSettingsStore::readString(const std::string& key) {
    return settings_->value(QStringLiteral("AppData/") + QString::fromStdString(key))
        .toString()
        .toStdString();
}

void QtSettingsStore::writeInt(const std::string& key, int value) {
    settings_->setValue(QStringLiteral("AppData/") + QString::fromStdString(key), value);
}

void QtSettingsStore::writeString(const std::string& key, const std::string& value) {
    settings_->setValue(QStringLiteral("AppData/") + QString::fromStdString(key),
                        QString::fromStdString(value));
}

QStringList QtSettingsStore::readRecentFiles() {
    QStringList out;
    for (int i = 1; i <= ui::kRecentFileCount; ++i) {
        QString f = settings_->value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
        if (!f.isEmpty()) out << f;
    }
    return out;
}

void QtSettingsStore::writeRecentFiles(const QStringList& files) {
    settings_->remove(QStringLiteral("Recent File List"));
    for (int i = 0; i < files.size() && i < ui::kRecentFileCount; ++i)
        settings_->setValue(QStringLiteral("Recent File List/File%1").arg(i + 1), files[i]);
}

void QtSettingsStore::sync() {
    settings_->sync();
}

} // namespace quillon::app
