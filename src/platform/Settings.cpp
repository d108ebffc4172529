#include "platform/Settings.h"

#include <QSettings>

namespace platform {

namespace {

const QString Group = QStringLiteral("Options");

QSettings openStore()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, programTitle(), programTitle());
}

SettingsStore* installed = nullptr;

}  // namespace

QString programTitle() { return QStringLiteral("Tessilux"); }

QString IniSettingsStore::value(const QString& key, const QString& fallback) const
{
    QSettings s = openStore();
    s.beginGroup(Group);
    QVariant v = s.value(key);
    if (!v.isValid()) return fallback;
    // A value written by hand with commas in it reads back as a list.
    if (v.metaType().id() == QMetaType::QStringList) return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

void IniSettingsStore::setValue(const QString& key, const QString& value)
{
    QSettings s = openStore();
    s.beginGroup(Group);
    s.setValue(key, value);
    s.endGroup();
    s.sync();
}

QString IniSettingsStore::fileName() { return openStore().fileName(); }

SettingsStore& settings()
{
    static IniSettingsStore own;
    return installed ? *installed : own;
}

SettingsStore* install(SettingsStore* store)
{
    SettingsStore* before = installed;
    installed = store;
    return before;
}

}  // namespace platform
