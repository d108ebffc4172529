#include "platform/FileRoutines.h"

#include "platform/Dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace platform {

namespace {

bool hasWildcard(const QString& s) { return s.contains(QLatin1Char('*')) || s.contains(QLatin1Char('?')); }

// A name pattern with * (any run of characters) and ? (any one character);
// every other character stands for itself, in either letter case, as the
// file browser matches its patterns.
QRegularExpression namePattern(const QString& pattern)
{
    QString rx;
    for (QChar c : pattern) {
        if (c == QLatin1Char('*')) rx += QStringLiteral(".*");
        else if (c == QLatin1Char('?')) rx += QLatin1Char('.');
        else rx += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(rx), QRegularExpression::CaseInsensitiveOption);
}

}  // namespace

bool FileExists(const QString& path)
{
    if (path.isEmpty()) return false;
    QFileInfo info(path);
    if (info.exists()) return true;
    QString name = info.fileName();
    if (!hasWildcard(name)) return false;
    QString folder = info.path();
    if (hasWildcard(folder)) return false;
    QRegularExpression rx = namePattern(name);
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        if (rx.match(entry).hasMatch()) return true;
    return false;
}

QString qtFileFilter(const QString& filter)
{
    QStringList parts = filter.split(QLatin1Char('|'));
    if (!parts.isEmpty() && parts.back().isEmpty()) parts.removeLast();
    QStringList out;
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        if (i + 1 >= parts.size()) {
            if (!description.isEmpty()) out << description;
            continue;
        }
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) p = p.trimmed();
        // Qt reads the patterns from the description's parentheses: those the
        // description shows are replaced by the pair's own.
        description.remove(trailingPatterns);
        if (description.isEmpty()) description = patterns.join(QLatin1Char(' '));
        out << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
    }
    return out.join(QStringLiteral(";;"));
}

QString ShowSaveFileDialog(QWidget* owner, QString& filter, const QString& title, const QString& initialFolder,
                           const QString& defaultFileName)
{
    filter = qtFileFilter(filter);
    QString start = initialFolder;
    if (!defaultFileName.isEmpty()) start = start.isEmpty() ? defaultFileName : QDir(start).filePath(defaultFileName);
    return fileDialogs().getSaveFileName(owner, SaveFileRequest{title, start, filter});
}

}  // namespace platform
