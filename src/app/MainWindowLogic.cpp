#include "app/MainWindowLogic.h"

#include "ddvue/FileNames.h"

#include <sys/stat.h>

#include <cmath>

#include <QDateTime>

namespace app {

std::optional<int> byteNumber(const QString& text)
{
    QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    double v = 0;
    bool ok = false;
    if (t.startsWith(QLatin1String("&H"), Qt::CaseInsensitive) || t.startsWith(QLatin1String("&O"), Qt::CaseInsensitive)) {
        // Hexadecimal and octal numbers in the BASIC manner.
        v = static_cast<double>(t.mid(2).toLongLong(&ok, t[1].toUpper() == QLatin1Char('H') ? 16 : 8));
    } else {
        v = QLocale::c().toDouble(t, &ok);
        if (!ok) v = QLocale::system().toDouble(t, &ok);
    }
    if (!ok || !std::isfinite(v)) return std::nullopt;
    // Halves go to the even neighbour, as the conversion to a byte rounds.
    double r = std::nearbyint(v);
    if (r < 0 || r > 255) return std::nullopt;
    return static_cast<int>(r);
}

std::optional<CategoryOption> categoryFromDataSetting(const QString& text)
{
    std::optional<int> n = byteNumber(text);
    if (n && *n >= 1 && *n <= 4) return static_cast<CategoryOption>(*n);
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
    s.pattern = store.value(QStringLiteral("Pattern"), QString()).trimmed();
    if (s.pattern.isEmpty()) s.pattern = QStringLiteral("*.dwg");
    return s;
}

void writeShutdownSettings(platform::SettingsStore& store, const QString& drive, const QString& dir,
                           const QString& bitmapFolder, CategoryOption category, const QString& pattern)
{
    if (!pattern.trimmed().isEmpty()) store.setValue(QStringLiteral("Pattern"), pattern.trimmed());
    store.setValue(QStringLiteral("Drive"), drive);
    store.setValue(QStringLiteral("Dir"), dir);
    store.setValue(QStringLiteral("BMPDir"), bitmapFolder);
    store.setValue(QStringLiteral("Data"), QString::number(static_cast<int>(category)));
}

namespace {

QString informationLine(const QString& versionName, const QDateTime& modified, qint64 size, const QLocale& locale)
{
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return versionName + QStringLiteral("  ") + locale.toString(modified.date(), QLocale::ShortFormat) +
           QLatin1Char(' ') + locale.toString(modified.time(), QLocale::LongFormat) + QStringLiteral("  ") +
           grouped.toString(size);
}

}  // namespace

QString fileInformationLine(const QString& versionName, const QFileInfo& file, const QLocale& locale)
{
    if (!file.exists()) return QString();
    return informationLine(versionName, file.lastModified(), file.size(), locale);
}

QString fileInformationLine(const QString& versionName, const QString& path, const QLocale& locale)
{
    // The system's own bytes of the name: one that is not UTF-8 has its line too.
    struct stat st {};
    if (::stat(ddvue::encodeFileName(path).c_str(), &st) != 0) return QString();
    const QDateTime modified = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(st.st_mtim.tv_sec) * 1000 +
                                                              st.st_mtim.tv_nsec / 1000000);
    return informationLine(versionName, modified, static_cast<qint64>(st.st_size), locale);
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

namespace app {

RowObject rowObject(const data::Recordset* recordset, std::optional<extract::Category> category)
{
    RowObject row;
    if (!recordset || !recordset->isOpen() || !category || recordset->isBOF() || recordset->isEOF()) return row;
    switch (*category) {
    case extract::Category::Attributes:
    case extract::Category::SingleText:
    case extract::Category::MultiText: row.kind = RowObject::Kind::Object; break;
    case extract::Category::Layers: row.kind = RowObject::Kind::Layer; break;
    default: return row;
    }
    const extract::CategorySettings* settings = extract::categorySettings(*category);
    const int field = settings ? recordset->fieldIndex(settings->keyField) : -1;
    if (field < 0) return RowObject();
    row.key = recordset->value(field);
    if (row.key.isEmpty()) return RowObject();
    return row;
}

int rowOfObject(const data::Recordset& recordset, extract::Category category, const QString& key)
{
    const extract::CategorySettings* settings = extract::categorySettings(category);
    const int field = settings ? recordset.fieldIndex(settings->keyField) : -1;
    if (field < 0 || key.isEmpty()) return -1;
    for (int row = 0; row < recordset.rowCount(); ++row)
        if (recordset.cell(row, field).toString() == key) return row;
    return -1;
}

}  // namespace app
