#include "edit/SaveDrawing.h"

#include "platform/FileRoutines.h"

#include "ddvue/DDVue.h"
#include "platform/Messages.h"

#include <QDir>
#include <QFileInfo>

namespace edit {

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

SaveResult saveDrawing(ddvue::DDVue& drawing, const QString& path, QWidget* parent)
{
    SaveResult result{false, path};
    // A save marks the history, so it waits for a scene being built, as edits do.
    ddvue::DDVueEngine& engine = drawing.edit();
    ddvue::SaveOptions options;
    const QString kept = QStringLiteral("Your changes are kept here; they have not been saved.");
    while (!engine.SaveDrawing(result.path, options)) {
        const QString why = engine.lastError();
        MsgResult answer;
        switch (engine.saveProblem()) {
        case ddvue::SaveProblem::FileExists:
        case ddvue::SaveProblem::NeedsOtherName: {
            // The DWG itself is never offered for replacing: only another name.
            const bool otherNameOnly = engine.saveProblem() == ddvue::SaveProblem::NeedsOtherName;
            answer = otherNameOnly
                         ? platform::msgBox(why + QStringLiteral("\n\nDo you want to save the drawing under another name?"),
                                            MsgButtons::YesNo, MsgIcon::Question, platform::programTitle(), 0, parent)
                         : platform::msgBox(why + QStringLiteral("\n\nDo you want to replace it? Choose No to save the "
                                                                 "drawing under another name."),
                                            MsgButtons::YesNoCancel, MsgIcon::Question, platform::programTitle(), 1,
                                            parent);
            if (otherNameOnly && answer == MsgResult::Yes) answer = MsgResult::No;
            else if (otherNameOnly) answer = MsgResult::Cancel;
            if (answer == MsgResult::Yes) {
                options.replaceExisting = true;
            } else if (answer == MsgResult::No) {
                QString filter = QStringLiteral("DXF Drawing (*.dxf)|*.dxf");
                QFileInfo proposed(QFileInfo(result.path).dir().filePath(QFileInfo(result.path).completeBaseName() +
                                                                         QStringLiteral(".dxf")));
                QString other = platform::ShowSaveFileDialog(parent, filter, QStringLiteral("Save Drawing As"),
                                                        proposed.absolutePath(), proposed.fileName());
                if (other.isEmpty()) return {false, path};
                // The dialog asked before replacing the name chosen, not one
                // with an ending added to it.
                options.replaceExisting = other.endsWith(QLatin1String(".dxf"), Qt::CaseInsensitive);
                if (!options.replaceExisting) other += QStringLiteral(".dxf");
                result.path = other;
            } else {
                return {false, path};
            }
            break;
        }
        case ddvue::SaveProblem::Damaged:
            // Saving writes what was read, which may be wrong: only when the
            // person, told what may be wrong, says so.
            answer = platform::msgBox(why + QStringLiteral("\n\nDo you want to save it all the same? Choose No to keep "
                                                           "your changes here without saving them."),
                                      MsgButtons::YesNo, MsgIcon::Exclamation, platform::programTitle(), 1, parent);
            if (answer != MsgResult::Yes) return {false, path};
            options.acceptDamage = true;
            break;
        case ddvue::SaveProblem::ChangedOnDisk:
            answer = platform::msgBox(why + QStringLiteral("\n\nDo you want to save your changes over it? Choose No "
                                                           "to keep your changes here without saving them."),
                                      MsgButtons::YesNo, MsgIcon::Exclamation, platform::programTitle(), 1, parent);
            if (answer != MsgResult::Yes) return {false, path};
            options.overwriteChanges = true;
            break;
        case ddvue::SaveProblem::WriteProtected:
            platform::msgBox(why + QStringLiteral("\n\n") + kept, MsgButtons::Ok, MsgIcon::Exclamation,
                             platform::programTitle(), 0, parent);
            return {false, path};
        default:
            platform::msgBox(QStringLiteral("The drawing could not be saved.\n\n%1\n\n%2").arg(why, kept), MsgButtons::Ok,
                             MsgIcon::Exclamation, platform::programTitle(), 0, parent);
            return {false, path};
        }
    }
    result.saved = true;
    return result;
}

}  // namespace edit
