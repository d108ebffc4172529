#pragma once
// What the main window decides, apart from its controls: the settings it
// starts from and leaves behind, the category a setting names, the file
// information line, and how long work reports its progress.

#include "data/Recordset.h"
#include "extract/Categories.h"
#include "platform/Settings.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QString>

#include <functional>
#include <optional>

namespace app {

// The category option buttons, numbered as the "Data" setting numbers them.
enum class CategoryOption { Attributes = 1, SingleText = 2, MultiText = 3, Layers = 4 };

// A text read as a number from 0 to 255 the way a byte conversion reads it:
// signs, decimals and exponents are numbers ("+4", "4.0", "4e0"), as are
// "&H" and "&O" numbers; the value is rounded, halves to even. None for
// anything else or out of range.
std::optional<int> byteNumber(const QString& text);
// The option a "Data" setting selects: 1 to 4; none for any other number, or
// for a text that is not a number from 0 to 255.
std::optional<CategoryOption> categoryFromDataSetting(const QString& text);

// What the grid's current row points out in the drawing's view: the object
// of a block attribute or text row (by its handle), the layer of a layer
// row (by its name); nothing for other categories, or without a current row.
struct RowObject {
    enum class Kind { None, Object, Layer };
    Kind kind = Kind::None;
    QString key;
};
RowObject rowObject(const data::Recordset* recordset, std::optional<extract::Category> category);
// The row of a recordset (from 0) that lists the object or layer `key`
// names in `category`; -1 when none does.
int rowOfObject(const data::Recordset& recordset, extract::Category category, const QString& key);

// What start-up restores from the settings.
struct StartupSettings {
    QString drive;
    QString dir;
    QString bitmapFolder;
    QString data;
    QString paths;
    QString pattern;        // the file pattern of the last run, "*.dwg" at first
    bool firstRun = false;  // no folder was stored yet
};
// `appFolder` ends in "/"; `samplesFolder` is where the first run starts.
StartupSettings readStartupSettings(const platform::SettingsStore& store, const QString& appFolder,
                                    const QString& defaultDrive, const QString& samplesFolder);
// What shutdown stores ("Paths" is stored only by the options screen).
// The file pattern is kept too, so that a folder of DXF drawings shows them
// again on the next start; an empty pattern is not kept.
void writeShutdownSettings(platform::SettingsStore& store, const QString& drive, const QString& dir,
                           const QString& bitmapFolder, CategoryOption category, const QString& pattern = QString());

// The version name, two spaces, the last-modified date (short form) and time
// (long form), two spaces, and the size in bytes with digit grouping and no
// decimals: "R14  07/12/2026 10:15:02  1,234,567". "" when the file is gone.
QString fileInformationLine(const QString& versionName, const QFileInfo& file,
                            const QLocale& locale = QLocale::system());
// The same for the file at `path`, whatever bytes its name is made of.
QString fileInformationLine(const QString& versionName, const QString& path,
                            const QLocale& locale = QLocale::system());

// Reports how far long work has come, once it has taken half a second: the
// text goes to `show`, and `repaint` lets the window draw while it waits.
class ProgressReport {
public:
    ProgressReport(std::function<void(const QString&)> show, std::function<void()> repaint, int delayMs = 500);
    // The stage ("Opening plan.dxf") and how far it has come, in percent.
    void report(const QString& stage, int percent);
    // True once anything was shown.
    bool shown() const { return shown_; }
    // A few words after the figure, such as how to stop the work.
    void setHint(const QString& hint) { hint_ = hint; }

private:
    std::function<void(const QString&)> show_;
    std::function<void()> repaint_;
    int delayMs_;
    QElapsedTimer started_;
    qint64 lastShown_ = -1;
    QString lastStage_;
    QString hint_;
    bool shown_ = false;
};

}  // namespace app
