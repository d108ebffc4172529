#include "platform/Shell.h"

#include "platform/Messages.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace platform {

namespace {
ShellOpener* installed = nullptr;
}

bool DesktopShellOpener::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

ShellOpener& shellOpener()
{
    static DesktopShellOpener own;
    return installed ? *installed : own;
}

ShellOpener* install(ShellOpener* opener)
{
    ShellOpener* before = installed;
    installed = opener;
    return before;
}

long shellOpen(const QString& fileOrAddress)
{
    QString target = fileOrAddress.trimmed();
    if (target.isEmpty()) return ShellFileNotFound;
    // An address has a scheme of two or more letters; "C:" or a path does not.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    QUrl url;
    if (scheme.match(target).hasMatch() && !QFileInfo::exists(target)) {
        url = QUrl(target, QUrl::StrictMode);
        if (!url.isValid()) return ShellNoAssociation;
    } else {
        if (!QFileInfo::exists(target)) return ShellFileNotFound;
        url = QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
    }
    return shellOpener().openUrl(url) ? ShellOpened : ShellNoAssociation;
}

bool shellOpenOrSay(const QString& fileOrAddress, QWidget* parent)
{
    long result = shellOpen(fileOrAddress);
    if (result > 32) return true;
    QString shown = QDir::toNativeSeparators(fileOrAddress.trimmed());
    QString why = result == ShellFileNotFound ? QStringLiteral("%1 could not be found.").arg(shown)
                                              : QStringLiteral("No program to open %1 is installed.").arg(shown);
    msgBox(why, MsgButtons::Ok, MsgIcon::Exclamation, programTitle(), 0, parent);
    return false;
}

}  // namespace platform
