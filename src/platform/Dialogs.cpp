#include "platform/Dialogs.h"

#include <QFileDialog>

namespace platform {

namespace {
FileDialogs* installed = nullptr;
}

QString QtFileDialogs::getSaveFileName(QWidget* parent, const SaveFileRequest& request)
{
    return QFileDialog::getSaveFileName(parent, request.title, request.directory, request.filter);
}

FileDialogs& fileDialogs()
{
    static QtFileDialogs own;
    return installed ? *installed : own;
}

FileDialogs* install(FileDialogs* dialogs)
{
    FileDialogs* before = installed;
    installed = dialogs;
    return before;
}

}  // namespace platform
