// The settings record's store on QSettings: organisation "Tervalis_RARU", application
// "Quillon 2005", group "AppData"; and the recent-file list beside it.
#pragma once

#include "core/settings_record.h"

#include <QSettings>
#include <QStringList>

#include <memory>

namespace quillon::app {

class QtSettingsStore : public SettingsStore {
public:
    // The user's store; QUILLON_SETTINGS_FILE names an INI file to use instead (tests).
    QtSettingsStore();
    // An explicit INI file.
    explicit QtSettingsStore(const QString& iniFile);
    ~QtSettingsStore() override;

    int readInt(const std::string& key, int fallback) override;
    std::string readString(const std::string& key) override;
    void writeInt(const std::string& key, int value) override;
    void writeString(const std::string& key, const std::string& value) override;

    QStringList readRecentFiles();
    void writeRecentFiles(const QStringList& files);
    void sync();
    QSettings& settings() { return *settings_; }

private:
    std::unique_ptr<QSettings> settings_;
};

} // namespace quillon::app
