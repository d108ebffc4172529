#pragma once
// Opening a file or an address with the program the desktop associates with
// it (a PDF with the PDF viewer, a web address with the browser).

#include <QString>
#include <QUrl>

class QWidget;

namespace platform {

class ShellOpener {
public:
    virtual ~ShellOpener() = default;
    virtual bool openUrl(const QUrl& url) = 0;
};

// The desktop's opener (QDesktopServices).
class DesktopShellOpener : public ShellOpener {
public:
    bool openUrl(const QUrl& url) override;
};

ShellOpener& shellOpener();
ShellOpener* install(ShellOpener* opener);

// Result codes of shellOpen: greater than 32 when the file or address was
// handed to its program, 32 or less when not.
enum ShellResult : long {
    ShellFileNotFound = 2,  // no such file
    ShellNoAssociation = 31,  // nothing opens it, or the desktop refused
    ShellOpened = 42,
};

// Opens a file (a path) or an address (with a scheme, such as https: or
// mailto:). A file that does not exist is not handed on.
long shellOpen(const QString& fileOrAddress);

// Opens as shellOpen does and, when that fails, says why in a message box
// over `parent`: that the file is not there, or that no program to open it
// is installed. True when it was handed to its program.
bool shellOpenOrSay(const QString& fileOrAddress, QWidget* parent);

}  // namespace platform
