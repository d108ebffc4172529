#pragma once
// The drawing component's operations, without a window. The DDVue widget
// wraps one of these; the command line uses one directly. The operations keep
// the names and argument order that the rest of the program calls them by.

#include "ddvue/AtomicFile.h"
#include "ddvue/ContentDocument.h"
#include "ddvue/dxf/Document.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ddvue {

namespace dxf {
class Operation;
struct SyncCounts;
}

// A drawing read from its file, not yet open in an engine. Reading touches
// nothing but its own data, so it may run on any thread; `adopt` then opens
// it in an engine.
struct ReadDrawing {
    std::unique_ptr<dxf::Document> document;
    QString error;              // why it could not be read; empty when it was
    bool needsPassword = false; // the drawing is protected by a password
    bool stopped = false;       // the reader was asked to stop before it finished
    bool fromDwg = false;
    int skippedEntities = 0;
    QString readWarnings;       // what the DWG library skipped reading; empty when nothing
    QString damage;             // why the DWG is damaged, so that what was read may be wrong; empty when whole
    std::string dwgVersion;
    std::optional<FileStamp> stamp;  // the file read, as it was when reading began
    // The DXF file as it was read, so that a save can tell whether anything
    // else has written it since.
    std::optional<FileIdentity> identity;
    bool readOnly = false;  // read only to be read: no identity, and no save
    bool ok() const { return document != nullptr; }
};

class FileLock;

// Why the last save did not write the drawing.
enum class SaveProblem {
    None,
    Failed,          // the file could not be written (the reason says why)
    FileExists,      // a file other than the one read stands at the name (the DXF beside a DWG, another
                     // drawing), and this program did not write it from this drawing in this run
    ChangedOnDisk,   // the file has been changed (or moved or deleted) by another since it was read or saved
    WriteProtected,  // the file has no write permission
    Damaged,         // the drawing was read from a damaged DWG (damage() says how)
    NeedsOtherName,  // the DXF name of a DWG is the DWG itself, which is never written
};

// What a save may do that it does not do unasked.
struct SaveOptions {
    bool replaceExisting = false;  // replace a file other than the one read (SaveProblem::FileExists)
    bool overwriteChanges = false; // overwrite a file changed on disk since it was read (SaveProblem::ChangedOnDisk)
    bool acceptDamage = false;     // save a drawing read from a damaged DWG (SaveProblem::Damaged)
    // A lock the caller holds already on the file saved to (the command line
    // locks a drawing from reading to saving); other saves take the lock
    // themselves, waiting up to `lockWaitMs` for another program that holds it.
    const FileLock* heldLock = nullptr;
    int lockWaitMs = 10000;
};

class DDVueEngine {
public:
    DDVueEngine();
    ~DDVueEngine();
    DDVueEngine(const DDVueEngine&) = delete;
    DDVueEngine& operator=(const DDVueEngine&) = delete;

    // Opens a DXF or DWG drawing. False when it cannot be opened; lastError()
    // says why. `password` is for a drawing protected by one; no drawing
    // this engine can open needs it (DXF has no protection and the DWG
    // reader cannot decrypt: see opensProtectedDrawings()), so it is not
    // read yet. QueryPasswordProtection tells when one was wanted.
    bool OpenDrawing(const QString& path, const QString& password = QString());
    // Reads a drawing without opening it: what OpenDrawing does before the
    // drawing becomes the engine's. `progress` is told how far reading has
    // come, in percent, and stops it by answering false.
    // `mapFile` maps a DXF's pages instead of copying them (see
    // dxf::Document::loadFile): for short-lived readers such as the command line.
    // `readOnly` reads a drawing that will not be saved: what a save over it
    // checks (the content's hash, a pass over the whole file) is not taken.
    // `countsOnly` reads it only to count its content (see
    // dxf::Document::setCountsOnly).
    static ReadDrawing read(const QString& path, const std::function<bool(int percent)>& progress = {},
                            bool mapFile = false, bool readOnly = false, bool countsOnly = false);
    // Opens a drawing that read() brought in (closing the one open before).
    // False, with lastError() set, when it was not read.
    bool adopt(ReadDrawing drawing, const QString& path);
    void CloseDrawing();
    // Writes the content document of the open drawing to `outputPath`, with
    // the parts `what` names.
    bool ExportDrawingContent(const QString& outputPath, const ContentSelection& what);
    // The edits. Each is an operation of the drawing's history (undo, redo
    // below); false, changing nothing, when the object or layer is not there
    // or the value does not fit it (lastError() says why).
    bool SetAttributeValue(const QString& value, const QString& attributeHandle);
    // Writes the drawing to `path`: a DXF over the file it was read from, or,
    // for a drawing read from a DWG, a DXF of the same name beside it, whose
    // path then comes back through `path` (the one argument that carries a
    // value back). False when the file could not be
    // written; the old file is then left as it was.
    //
    // The kind of the drawing is that of the bytes read, not of its name: a
    // DXF named .dwg is saved over itself, as the DXF it is, and a DXF saved
    // to a name ending in .dwg is a DXF there.
    //
    // A save never replaces, unasked, what it was not meant to: a file other
    // than the one read (the DXF beside a DWG, another drawing) that this
    // program did not write from this drawing in this run, or a file that
    // something else has written since the drawing was read (or last saved);
    // nor a write-protected file, nor the DWG itself. A drawing read from a
    // damaged DWG is not saved unless the damage is accepted. saveProblem()
    // tells these refusals apart from other failures, and `options` allows
    // what may be allowed.
    //
    // The file saved to is locked (flock) from the checks to the rename, and
    // whether it is still as it was is checked once more after the new bytes
    // are on disk, immediately before they take its place.
    bool SaveDrawing(QString& path);
    bool SaveDrawing(QString& path, const SaveOptions& options);
    bool SetTextValue(const QString& handle, const QString& value);
    // A color number: 0 by block, 1..255, 256 by layer.
    bool SetEntityColor(const QString& handle, long color);
    // `state` is "On" or "Off", in any case.
    bool SetLayerDisplay(const QString& layerName, const QString& state);
    void SetSearchPaths(const QString& paths);
    // The version code of the drawing in the file at `path`; -1 when unknown.
    long GetDrawingVersion(const QString& path) const;
    // A color number 1..255.
    bool SetLayerColor(const QString& layerName, long color);
    bool DeleteEntity(const QString& handle);
    // Renames a layer; every reference to it follows (see dxf/LayerEdits.h).
    // False, with the reason in lastError(), when the drawing's version
    // does not allow the name, another layer has it, or the layer keeps its
    // name (0, Defpoints, a layer of an external reference).
    bool RenameLayer(const QString& layerName, const QString& newName);
    // Moves everything on layer `from` to layer `into` and removes `from`.
    bool MergeLayer(const QString& from, const QString& into);
    // Gives the references of a block (of every block when `blockName` is
    // empty) the attributes their block defines and they lack; with
    // `removeOrphaned`, takes away those the block no longer defines
    // (see dxf/AttributeSync.h). `counts`, when given, is told what changed.
    bool SyncAttributes(const QString& blockName, bool removeOrphaned, dxf::SyncCounts* counts = nullptr);
    // Why RenameLayer or MergeLayer would refuse, without trying: empty when
    // it would not.
    QString renameLayerRefusal(const QString& layerName, const QString& newName) const;
    QString mergeLayerRefusal(const QString& from, const QString& into) const;
    // Whether the last OpenDrawing failed for want of a password.
    void QueryPasswordProtection(bool& needsPassword) const;

    // Undo and redo of the edits above, each edit (or batch) at a time: back
    // to the drawing as opened, also past a save. False when there is
    // nothing to undo or redo.
    bool undo();
    bool redo();
    bool canUndo() const;
    bool canRedo() const;
    // Whether the drawing differs from the file it was read from or last
    // saved to: false again once every edit since is undone.
    bool differsFromDisk() const;
    // The edits made while a Batch lives are undone and redone as one
    // (Delete All, Replace All).
    class Batch {
    public:
        Batch(DDVueEngine& engine, const std::string& label);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        dxf::Document* doc_;
    };

    // Beyond the operations: what the windows and the command line need.
    // Whether a drawing protected by a password can be opened with it: DXF
    // has no protection, and the DWG reader cannot decrypt.
    static constexpr bool opensProtectedDrawings() { return false; }
    bool isOpen() const { return doc_ != nullptr; }
    const QString& lastError() const { return lastError_; }
    SaveProblem saveProblem() const { return saveProblem_; }
    const QString& path() const { return path_; }
    const QString& searchPaths() const { return searchPaths_; }
    bool isDwg() const { return fromDwg_; }
    // Entity types of a DWG that could not be brought across; 0 for a DXF.
    int skippedEntities() const { return skippedEntities_; }
    // What the DWG library skipped or could not decode while reading the
    // drawing, for the user; empty when nothing (and for a DXF).
    const QString& readWarnings() const { return readWarnings_; }
    // Why the DWG the drawing was read from is damaged ("a checksum does not
    // match"): what was read may be wrong or incomplete. Empty when whole.
    const QString& damage() const { return damage_; }
    // What may be wrong with a drawing read from a damaged DWG, in a
    // sentence for the person who decides whether to save it anyway.
    QString damageWarning() const;
    // What reading mended to open the drawing, one sentence each; empty for
    // a well-formed file. The mends are in memory only: an unchanged save
    // gives back the file's bytes.
    QStringList repairs() const;
    // The repairs as one line for a status bar ("Repaired on reading: ..."),
    // empty when there were none.
    QString repairSummary() const;
    const dxf::Document* document() const { return doc_.get(); }
    // Whether the object's value is multi-line text, whose paragraphs are
    // stored as \P: an MTEXT, or an attribute that carries its text as
    // multi-line text. False for other objects and unknown handles.
    bool isMultilineText(const QString& handle) const;
    dxf::Document* document() { return doc_.get(); }

    // Told how far opening a drawing has come, in percent, for long opens;
    // answering false stops the opening.
    void setProgressHandler(std::function<bool(int percent)> handler) { progress_ = std::move(handler); }
    // Whether OpenDrawing maps a DXF's file instead of copying it: faster,
    // for a process that ends soon after (the command line); a window keeps
    // its drawing long, while other programs may rewrite the file, and copies.
    void setMapFiles(bool map) { mapFiles_ = map; }
    // Whether OpenDrawing reads drawings only to count their content (the
    // command line's info): the drawing is then for countContent alone.
    void setCountsOnly(bool countsOnly) { countsOnly_ = countsOnly; }
    // Whether OpenDrawing reads drawings only to read them (the command
    // line's info, export and render): faster, and SaveDrawing then refuses.
    void setReadOnly(bool readOnly) { readOnlyOpens_ = readOnly; }

    // The content document as text, the way ExportDrawingContent writes it.
    std::string contentDocument(bool attributes, bool externalReferences, bool layers, bool text) const;
    // The same, handed to `sink` piece by piece (for large drawings: the
    // whole document is never in memory). False when there is no drawing or
    // the sink said stop.
    bool contentDocument(bool attributes, bool externalReferences, bool layers, bool text,
                         const std::function<bool(std::string_view piece)>& sink) const;

    // What the content document lists now for one object or layer, as the
    // grid shows it after reading that document: the value of an attribute
    // or of a single- or multi-line text, and a layer's display ("On" or
    // "Off") and color number. Empty when the drawing holds no such object
    // (none by that handle or name, or deleted).
    std::optional<QString> listedValue(const QString& handle) const;
    struct ListedLayer {
        QString display;
        long color = 0;
    };
    std::optional<ListedLayer> listedLayer(const QString& name) const;
    // The names of the drawing's layers, in the order the content lists them.
    QStringList layerNames() const;

private:
    bool fail(const QString& why);
    bool refuseSave(SaveProblem problem, const QString& why);
    // Applies an edit through the drawing's history.
    bool perform(std::unique_ptr<dxf::Operation> op);
    std::optional<std::uint32_t> entityByHandle(const QString& handle) const;

    std::unique_ptr<dxf::Document> doc_;
    QString path_;
    QString lastError_;
    QString searchPaths_;
    bool fromDwg_ = false;
    bool needsPassword_ = false;
    int skippedEntities_ = 0;
    QString readWarnings_;
    QString damage_;
    bool damageAccepted_ = false;  // a save of the damaged drawing has been allowed once
    std::optional<FileStamp> sourceStamp_;  // the file read, as it was when reading began
    std::function<bool(int)> progress_;
    bool mapFiles_ = false;
    bool countsOnly_ = false;
    bool readOnlyOpens_ = false;
    bool readOnly_ = false;  // the open drawing was read only to be read
    std::string dwgVersion_;  // the DWG's own version string, for a drawing read from one
    std::string sourceFile_;  // the file read, as canonicalPath() spells it
    std::optional<FileIdentity> known_;  // that file as it was read, or as this engine last saved it
    SaveProblem saveProblem_ = SaveProblem::None;
};

}  // namespace ddvue
