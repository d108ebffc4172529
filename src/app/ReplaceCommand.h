#pragma once
// The replace command: the grid's Replace All over many drawings.
//   tessilux replace PATH... --find TEXT --replace TEXT [--category ...]
//                    [--match-case] [--whole-word] [--dry-run] [--jobs N]
//                    [--overwrite] [--accept-damaged] [--all-values]

#include "edit/ValueEdit.h"
#include "extract/Categories.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace app {

// Adds "replace" to the command line.
void registerReplaceCommand();

// A drawing a replace goes through, or a path it cannot go through and
// reports (`error` says why).
struct FoundDrawing {
    QString path;
    QString error;
};
// The drawings a replace goes through: each PATH that is a file, and the
// drawing files (.dxf, .dxfb, .dwg in any letter case) in each folder and
// its subfolders, by name within a folder; each file once, however often it
// is named. A PATH that does not exist, a folder that cannot be read, and a
// drawing's name in a folder that is not a regular file (a named pipe, a
// device), are kept with the reason.
std::vector<FoundDrawing> drawingsUnder(const QStringList& paths);

// What Replace All did to one drawing.
struct DrawingReplace {
    enum class Result {
        Unchanged,  // nothing to replace: the drawing was not written
        Saved,      // written, to `savedAs`
        WouldSave,  // a dry run: it would be written to `savedAs`
        NotRead,    // the drawing could not be read (`error` says why); nothing was written
        NotSaved,   // the drawing could not be written (`error` says why)
    };
    Result result = Result::Unchanged;
    long replaced = 0;  // values replaced, as Replace All counts them
    long refused = 0;   // values the drawing did not take
    QStringList reasons;
    QString savedAs;
    QString error;
};

struct ReplaceRequest {
    extract::Category category = extract::Category::Attributes;
    edit::SearchText search;
    bool dryRun = false;
    bool overwrite = false;  // a DWG's DXF replaces a DXF this program did not write
    bool acceptDamage = false;  // a drawing read from a damaged DWG is saved all the same
};

// Replace All in one drawing, read by an engine of its own: any thread may
// run it. The drawing is locked from reading to saving.
DrawingReplace replaceInDrawing(const QString& path, const ReplaceRequest& request);

}  // namespace app
