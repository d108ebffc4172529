#pragma once
// The drawing file browser: its rules (which pattern edits relist, what the
// period key does, the count text, the list's scroll width) and its two
// folder controls, the drive list and the folder list.

#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QStringList>

class QFontMetrics;

namespace app {

// True for a drawing file's extension, without the period, in any letter
// case: "dwg", "dxf", or "dxfb" (binary DXF).
bool isDrawingSuffix(const QString& suffix);
// True when editing the pattern to `pattern` relists the files: it ends in a
// drawing file's extension.
bool patternRelists(const QString& pattern);
// The pattern after the period key: unchanged when it already has a period,
// else the text followed by ".dwg".
QString patternAfterPeriod(const QString& pattern);
// "" for none, "1 file." for one, "12 files." for twelve.
QString fileCountText(int count);
// The names of the files in `folder` (all but folders: a named pipe or a
// device too, which opening refuses with the reason) matching the wildcard
// `pattern` without regard to letter case, sorted alphabetically without
// regard to case. A name that is not UTF-8 keeps its bytes (see
// ddvue/FileNames.h); ddvue::displayFileName() gives it for the screen.
QStringList listDrawingFiles(const QString& folder, const QString& pattern);
// The width the list must scroll to: its widest entry plus 25 pixels.
int horizontalExtent(const QStringList& names, const QFontMetrics& metrics);
// `folder` with a trailing "/".
QString withSlash(const QString& folder);

// The drive list: the mounted volumes. Its drive is the root of the chosen
// volume.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);
    QString drive() const;
    // Chooses the volume holding `path`; false when there is none ready.
    bool setDrive(const QString& path);
    void refresh();

signals:
    void driveChanged(const QString& drive);
};

// The folder list: the folders from the root down to the current one, then
// the current folder's subfolders. A double-click (or Enter) opens a folder.
class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);
    QString path() const { return path_; }
    // Changes the folder; false, changing nothing, when it does not exist.
    bool setPath(const QString& path);
    // Typing letters goes to the first folder whose name starts with them
    // (the names stand indented, which the list's own search would not see).
    void keyboardSearch(const QString& search) override;

signals:
    void pathChanged(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fill();
    void openItem(QListWidgetItem* item);
    QString path_;
    QString typed_;
    QElapsedTimer lastTyped_;
};

}  // namespace app
