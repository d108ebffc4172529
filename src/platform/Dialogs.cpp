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

QString ScriptedFileDialogs::getSaveFileName(QWidget*, const SaveFileRequest& request)
{
    requests.push_back(request);
    if (answers.empty()) return QString();
    QString answer = answers.front();
    answers.pop_front();
    return answer;
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
