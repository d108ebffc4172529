#pragma once
// File routines the windows and the content pipeline share: whether a file
// is there, and the Save As dialog with its filter in the pairs form.

#include <QString>

class QWidget;

namespace platform {

// True when something exists at `path`: a file or a folder. A last path
// part with the wildcards * or ? is true when any name in its folder
// matches it. An empty path is false.
bool FileExists(const QString& path);

// Converts a filter of "description|pattern|description|pattern" pairs
// (patterns separated by ";") to Qt's filter list,
// "description (pattern pattern);;...".
QString qtFileFilter(const QString& filter);

// Shows the Save As dialog. `filter` (pairs as above) comes back converted to
// Qt's form. Returns the chosen path, or "" when the person cancels.
// Replacing an existing file is confirmed in the dialog; no extension is
// added to the name.
QString ShowSaveFileDialog(QWidget* owner, QString& filter, const QString& title, const QString& initialFolder,
                           const QString& defaultFileName);

}  // namespace platform
