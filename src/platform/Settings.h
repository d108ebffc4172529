#pragma once
// The per-user settings: strings addressed by key in the section "Options"
// of the program's store. The program keeps them in an INI file in the user's
// configuration folder (organisation and application "Tessilux"); a test
// puts a store of its own in place.

#include <QString>

namespace platform {

// The program's title: its window caption, message box titles and the
// name its settings are kept under.
QString programTitle();

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The value of a key, or `fallback` when the store has none.
    virtual QString value(const QString& key, const QString& fallback = QString()) const = 0;
    virtual void setValue(const QString& key, const QString& value) = 0;
};

// The program's own store: QSettings, INI format, user scope.
class IniSettingsStore : public SettingsStore {
public:
    QString value(const QString& key, const QString& fallback = QString()) const override;
    void setValue(const QString& key, const QString& value) override;
    // Where the file lives (for messages and tests).
    static QString fileName();
};

// The store in use: the INI store unless one has been installed.
SettingsStore& settings();
// Puts a store in place (nullptr: the program's own); returns the one before.
SettingsStore* install(SettingsStore* store);

}  // namespace platform
