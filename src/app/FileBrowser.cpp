#include "app/FileBrowser.h"

#include "ddvue/FileNames.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QStorageInfo>
#include <QRegularExpression>
#include <QStyle>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace app {

bool isDrawingSuffix(const QString& suffix) { return ddvue::isDrawingSuffix(suffix); }

bool patternRelists(const QString& pattern)
{
    int dot = pattern.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && isDrawingSuffix(pattern.mid(dot + 1));
}

QString patternAfterPeriod(const QString& pattern)
{
    return pattern.contains(QLatin1Char('.')) ? pattern : pattern + QStringLiteral(".dwg");
}

QString fileCountText(int count)
{
    if (count <= 0) return QString();
    if (count == 1) return QStringLiteral("1 file.");
    return QStringLiteral("%1 files.").arg(count);
}

QStringList listDrawingFiles(const QString& folder, const QString& pattern)
{
    if (pattern.isEmpty()) return {};
    // The system's own listing, so that a name that is not UTF-8 is listed
    // too (kept in the bytes it has, see FileNames.h), and so is a named
    // pipe or a device named as a drawing, which opening then refuses with
    // the reason. Folders are not files.
    const QRegularExpression matches(QRegularExpression::wildcardToRegularExpression(pattern),
                                     QRegularExpression::CaseInsensitiveOption);
    const std::string path = ddvue::encodeFileName(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
    QStringList names;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return {};
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;  // hidden, as file browsers keep them
        struct stat st {};
        // Links are followed; one that leads nowhere is left out.
        if (::stat((path + name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        const QString decoded = ddvue::decodeFileName(name);
        if (matches.match(ddvue::displayFileName(decoded)).hasMatch()) names << decoded;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

int horizontalExtent(const QStringList& names, const QFontMetrics& metrics)
{
    int widest = 0;
    for (const QString& n : names) widest = std::max(widest, metrics.horizontalAdvance(ddvue::displayFileName(n)));
    return widest + 25;
}

QString withSlash(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// ------------------------------------------------------------------ DriveList

DriveList::DriveList(QWidget* parent) : QComboBox(parent)
{
    refresh();
    connect(this, &QComboBox::activated, this, [this](int) { emit driveChanged(drive()); });
}

void DriveList::refresh()
{
    QString current = drive();
    blockSignals(true);
    clear();
    QStringList roots;
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes())
        if (v.isValid() && v.isReady()) roots << v.rootPath();
    if (!roots.contains(QStringLiteral("/"))) roots << QStringLiteral("/");
    std::sort(roots.begin(), roots.end());
    roots.removeDuplicates();
    for (const QString& r : roots) addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), r, r);
    int at = findData(current);
    setCurrentIndex(at >= 0 ? at : findData(QStringLiteral("/")));
    blockSignals(false);
}

QString DriveList::drive() const { return currentData().toString(); }

bool DriveList::setDrive(const QString& path)
{
    QStorageInfo volume(path);
    if (!volume.isValid() || !volume.isReady()) return false;
    int at = findData(volume.rootPath());
    if (at < 0) {
        refresh();
        at = findData(volume.rootPath());
        if (at < 0) return false;
    }
    bool changed = at != currentIndex();
    setCurrentIndex(at);
    if (changed) emit driveChanged(drive());
    return true;
}

// ----------------------------------------------------------------- FolderList

FolderList::FolderList(QWidget* parent) : QListWidget(parent)
{
    connect(this, &QListWidget::itemDoubleClicked, this, &FolderList::openItem);
}

bool FolderList::setPath(const QString& path)
{
    QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isDir()) return false;
    QString clean = QDir::cleanPath(info.absoluteFilePath());
    bool changed = clean != path_;
    path_ = clean;
    fill();
    if (changed) emit pathChanged(path_);
    return true;
}

void FolderList::fill()
{
    clear();
    QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    QIcon closed = style()->standardIcon(QStyle::SP_DirIcon);
    // The way down from the root, each folder one step further in.
    QStringList parts = path_.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString at = QStringLiteral("/");
    int depth = 0;
    auto add = [&](const QString& label, const QString& full, const QIcon& icon) {
        auto* item = new QListWidgetItem(icon, QString(depth * 2, QLatin1Char(' ')) + label, this);
        item->setData(Qt::UserRole, full);
        return item;
    };
    QListWidgetItem* current = add(QStringLiteral("/"), at, open);
    for (const QString& p : parts) {
        ++depth;
        at = withSlash(at) + p;
        current = add(p, at, open);
    }
    ++depth;
    QDir dir(path_);
    QStringList subfolders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& s : subfolders) add(s, withSlash(path_) + s, closed);
    setCurrentItem(current);
}

void FolderList::openItem(QListWidgetItem* item)
{
    if (item) setPath(item->data(Qt::UserRole).toString());
}

void FolderList::keyboardSearch(const QString& search)
{
    if (search.isEmpty()) return;
    // Letters typed in quick succession make one name, as in every list.
    if (!lastTyped_.isValid() || lastTyped_.elapsed() > QApplication::keyboardInputInterval()) typed_.clear();
    lastTyped_.start();
    typed_ += search;
    // The subfolders first (what is typed is most often one of them), then
    // the folders on the way down from the root.
    const int firstSubfolder = static_cast<int>(path_.split(QLatin1Char('/'), Qt::SkipEmptyParts).size()) + 1;
    QListWidgetItem* found = nullptr;
    for (int i = 0; i < count() && !found; ++i) {
        QListWidgetItem* candidate = item((firstSubfolder + i) % count());
        if (candidate->text().trimmed().startsWith(typed_, Qt::CaseInsensitive)) found = candidate;
    }
    if (found) setCurrentItem(found);
}

void FolderList::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

}  // namespace app
