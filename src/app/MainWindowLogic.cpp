#include "app/MainWindowLogic.h"

#include <QDateTime>

namespace app {

std::optional<CategoryOption> categoryFromDataSetting(const QString& text)
{
    bool ok = false;
    uint n = text.trimmed().toUInt(&ok);
    if (!ok || n > 255) return std::nullopt;
    if (n >= 1 && n <= 4) return static_cast<CategoryOption>(n);
    return std::nullopt;
}

StartupSettings readStartupSettings(const platform::SettingsStore& store, const QString& appFolder,
                                    const QString& defaultDrive, const QString& samplesFolder)
{
    StartupSettings s;
    s.drive = store.value(QStringLiteral("Drive"), defaultDrive);
    QString dir = store.value(QStringLiteral("Dir"));
    s.firstRun = dir.isNull();
    s.dir = s.firstRun ? samplesFolder : dir;
    s.bitmapFolder = store.value(QStringLiteral("BMPDir"), appFolder);
    s.data = store.value(QStringLiteral("Data"), QStringLiteral("1"));
    s.paths = store.value(QStringLiteral("Paths"), QString());
    return s;
}

void writeShutdownSettings(platform::SettingsStore& store, const QString& drive, const QString& dir,
                           const QString& bitmapFolder, CategoryOption category)
{
    store.setValue(QStringLiteral("Drive"), drive);
    store.setValue(QStringLiteral("Dir"), dir);
    store.setValue(QStringLiteral("BMPDir"), bitmapFolder);
    store.setValue(QStringLiteral("Data"), QString::number(static_cast<int>(category)));
}

QString fileInformationLine(const QString& versionName, const QFileInfo& file, const QLocale& locale)
{
    if (!file.exists()) return QString();
    QDateTime modified = file.lastModified();
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return versionName + QStringLiteral("  ") + locale.toString(modified.date(), QLocale::ShortFormat) +
           QLatin1Char(' ') + locale.toString(modified.time(), QLocale::LongFormat) + QStringLiteral("  ") +
           grouped.toString(file.size());
}

ProgressReport::ProgressReport(std::function<void(const QString&)> show, std::function<void()> repaint, int delayMs)
    : show_(std::move(show)), repaint_(std::move(repaint)), delayMs_(delayMs)
{
    started_.start();
}

void ProgressReport::report(const QString& stage, int percent)
{
    qint64 now = started_.elapsed();
    if (now < delayMs_) return;
    // A new stage shows at once; within a stage, a few times a second is
    // enough to see the work move.
    if (stage == lastStage_ && lastShown_ >= 0 && now - lastShown_ < 100) return;
    lastShown_ = now;
    lastStage_ = stage;
    shown_ = true;
    QString text = QStringLiteral("%1... %2%").arg(stage).arg(qBound(0, percent, 100));
    if (!hint_.isEmpty()) text += QStringLiteral("  (") + hint_ + QLatin1Char(')');
    show_(text);
    if (repaint_) repaint_();
}

}  // namespace app
