#pragma once
// The file dialogs the program shows, behind a seam that a test answers.

#include <QString>

class QWidget;

namespace platform {

struct SaveFileRequest {
    QString title;
    QString directory;  // the folder shown first, with the proposed file name when there is one
    QString filter;     // Qt's filter list: "Description (*.a *.b);;Other (*.c)"
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The chosen path, or "" when the person cancels. Replacing an existing
    // file is confirmed in the dialog.
    virtual QString getSaveFileName(QWidget* parent, const SaveFileRequest& request) = 0;
};

class QtFileDialogs : public FileDialogs {
public:
    QString getSaveFileName(QWidget* parent, const SaveFileRequest& request) override;
};

FileDialogs& fileDialogs();
FileDialogs* install(FileDialogs* dialogs);

}  // namespace platform
