#include "ddvue/DDVueEngine.h"

#include "ddvue/AtomicFile.h"
#include "ddvue/ContentDocument.h"
#include "ddvue/FileNames.h"
#include "ddvue/dwg/DwgImport.h"
#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/LayerEdits.h"
#include "ddvue/dxf/Operations.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <map>
#include <mutex>

namespace ddvue {

namespace {

// The files this program wrote in this run from a drawing other than
// themselves (the DXF beside a DWG, a DXF saved under another name), by
// canonical path: from which drawing, and as written. Such a file is
// replaced unasked only when it is the one written from that drawing and
// still as written.
struct WrittenElsewhere {
    std::string source;  // the drawing read, as canonicalPath() spells it
    FileIdentity identity;
};

std::mutex& writtenMutex()
{
    static std::mutex m;
    return m;
}

std::map<std::string, WrittenElsewhere>& writtenElsewhere()
{
    static std::map<std::string, WrittenElsewhere> written;
    return written;
}

// A control character that no text of a drawing holds: any but the tab and
// the line breaks (which multi-line text holds as paragraph breaks, and
// single-line text in DXF's caret form, ^J).
bool unstorable(char16_t c) { return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || (c >= 0x7F && c <= 0x9F); }

// The value `typed` as the drawing is to hold it in place of `old`, or
// nothing, with `why` set, when it holds a control character that no
// drawing's text can hold (and `old` does not hold already). The
// listing shows a control character the drawing holds as its picture
// (U+2400 to U+241F); where `old` holds that control character, its picture
// stands for it again. Anywhere else a picture is the character typed and is
// kept as itself.
// `oldText` gives `old`, which is read only when a character of `typed`
// asks for it (most values hold neither pictures nor control characters).
std::optional<QString> storableValue(const QString& typed, const std::function<QString()>& oldText, QString& why)
{
    std::optional<QString> old;
    auto oldHolds = [&](QChar c) {
        if (!old) old = oldText();
        return old->contains(c);
    };
    QString value = typed;
    for (QChar& c : value) {
        char16_t u = c.unicode();
        if (u >= 0x2400 && u <= 0x241F && oldHolds(QChar(static_cast<char16_t>(u - 0x2400))))
            c = QChar(static_cast<char16_t>(u - 0x2400));
    }
    for (qsizetype i = 0; i < typed.size(); ++i) {
        if (unstorable(typed[i].unicode()) && !oldHolds(typed[i])) {
            why = QStringLiteral("The value holds the control character U+%1, which a drawing's text cannot hold.")
                      .arg(QString::number(typed[i].unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')));
            return std::nullopt;
        }
    }
    return value;
}

}  // namespace

DDVueEngine::DDVueEngine() = default;
DDVueEngine::~DDVueEngine() = default;

bool DDVueEngine::fail(const QString& why)
{
    lastError_ = why;
    return false;
}

bool DDVueEngine::OpenDrawing(const QString& path, const QString& password)
{
    Q_UNUSED(password);  // DXF drawings carry no password, and the DWG reader cannot decrypt
    CloseDrawing();
    return adopt(read(path, progress_, mapFiles_, readOnlyOpens_), path);
}

ReadDrawing DDVueEngine::read(const QString& path, const std::function<bool(int)>& progress, bool mapFile,
                              bool readOnly)
{
    ReadDrawing r;
    r.readOnly = readOnly;
    auto fail = [&r](const QString& why) {
        r.error = why;
        return std::move(r);
    };
    auto goOn = [&progress] { return !progress || progress(0); };
    // The name's own bytes, so that a name that is not UTF-8 opens too. A
    // named pipe or a device is refused at once: reading it may never end.
    const std::string name = encodeFileName(path);
    std::string why;
    int fd = openForReading(name, why);
    if (fd < 0) return fail(QStringLiteral("Cannot read \"%1\": %2").arg(path, QString::fromLocal8Bit(why)));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
    }
    std::optional<FileStamp> before = stampOf(fd);
    r.stamp = before;
    if (file.size() > static_cast<qint64>(0xFFFFFFF0ll)) return fail(QStringLiteral("The file is larger than 4 GB."));
    QByteArray head = file.peek(8);
    auto doc = std::make_unique<dxf::Document>();
    if (dwg::looksLikeDwg(head.toStdString())) {
        file.close();
        dwg::ImportResult imported = dwg::importDwg(name, goOn);
        if (!imported.ok) {
            r.needsPassword = imported.encrypted;
            r.stopped = imported.stopped;
            return fail(QString::fromStdString(imported.error));
        }
        if (!doc->load(std::move(imported.dxf), progress)) {
            r.stopped = doc->stopped();
            return fail(QStringLiteral("The DWG drawing could not be brought into memory: ") +
                        QString::fromStdString(doc->error()));
        }
        r.fromDwg = true;
        r.skippedEntities = imported.skippedEntities;
        r.readWarnings = QString::fromStdString(imported.readWarnings);
        r.damage = QString::fromStdString(imported.damage);
        r.dwgVersion = imported.version;
    } else if (mapFile) {
        // The content's hash, for telling later whether the file changed,
        // is taken on another core while a large drawing is parsed; for a
        // small one (a folder of drawings read one after another) a thread
        // costs more than the hash, which is then taken once it is read.
        constexpr qint64 kHashBeside = 4 << 20;
        std::uint64_t hash = 0;
        dxf::Document::Beside hashing;
        if (!readOnly && file.size() >= kHashBeside)
            hashing = [&hash](std::string_view bytes) { hash = hashContent(bytes); };
        if (!doc->loadFile(fd, progress, hashing)) {
            r.stopped = doc->stopped();
            return fail(QString::fromStdString(doc->error()));
        }
        if (!readOnly && !hashing) hash = hashContent(doc->original());
        if (before && !readOnly) r.identity = identityAfterReading(fd, *before, hash);
    } else {
        // Straight into the buffer the document keeps: one copy of the
        // file in memory, not two.
        std::string bytes = dxf::fileBuffer(static_cast<std::size_t>(file.size()));
        qint64 got = 0;
        while (got < file.size()) {
            qint64 n = file.read(bytes.data() + got, file.size() - got);
            if (n <= 0) return fail(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
            got += n;
        }
        if (before && !readOnly) r.identity = identityAfterReading(fd, *before, bytes);
        if (!doc->load(std::move(bytes), progress)) {
            r.stopped = doc->stopped();
            return fail(QString::fromStdString(doc->error()));
        }
    }
    r.document = std::move(doc);
    return r;
}

bool DDVueEngine::adopt(ReadDrawing drawing, const QString& path)
{
    CloseDrawing();
    needsPassword_ = drawing.needsPassword;
    lastError_.clear();
    if (!drawing.ok()) return fail(drawing.error);
    doc_ = std::move(drawing.document);
    fromDwg_ = drawing.fromDwg;
    skippedEntities_ = drawing.skippedEntities;
    readWarnings_ = std::move(drawing.readWarnings);
    damage_ = std::move(drawing.damage);
    damageAccepted_ = false;
    dwgVersion_ = std::move(drawing.dwgVersion);
    known_ = drawing.identity;
    sourceStamp_ = drawing.stamp;
    readOnly_ = drawing.readOnly;
    sourceFile_ = canonicalPath(encodeFileName(path));
    path_ = path;
    return true;
}

QStringList DDVueEngine::repairs() const
{
    QStringList out;
    if (doc_)
        for (const std::string& r : doc_->repairs()) out << QString::fromStdString(r);
    return out;
}

QString DDVueEngine::damageWarning() const
{
    if (damage_.isEmpty()) return {};
    return QStringLiteral("The DWG drawing is damaged (%1): some of it may have been read wrongly or not at all, so that "
                          "objects may be missing, stand in another layout or block, or have wrong values (such as "
                          "lost polyline bulges). Saving it writes the drawing as it was read.")
        .arg(damage_);
}

QString DDVueEngine::repairSummary() const
{
    QStringList all = repairs();
    return all.isEmpty() ? QString() : QStringLiteral("Repaired on reading: ") + all.join(QLatin1Char(' '));
}

void DDVueEngine::CloseDrawing()
{
    doc_.reset();
    path_.clear();
    fromDwg_ = false;
    skippedEntities_ = 0;
    readWarnings_.clear();
    damage_.clear();
    damageAccepted_ = false;
    dwgVersion_.clear();
    sourceFile_.clear();
    known_.reset();
    sourceStamp_.reset();
    readOnly_ = false;
}

std::string DDVueEngine::contentDocument(bool attributes, bool externalReferences, bool layers, bool text) const
{
    if (!doc_) return {};
    ContentSelection what{attributes, externalReferences, layers, text};
    return writeContentDocument(*doc_, QFileInfo(path_).fileName().toStdString(), what,
                                fromDwg_ ? dwgVersion_ : std::string());
}

bool DDVueEngine::contentDocument(bool attributes, bool externalReferences, bool layers, bool text,
                                  const std::function<bool(std::string_view)>& sink) const
{
    if (!doc_) return false;
    ContentSelection what{attributes, externalReferences, layers, text};
    return writeContentDocument(*doc_, QFileInfo(path_).fileName().toStdString(), what,
                                fromDwg_ ? dwgVersion_ : std::string(), sink);
}

bool DDVueEngine::ExportDrawingContent(const QString& outputPath, const ContentSelection& what)
{
    if (!doc_) return fail(QStringLiteral("No drawing is open."));
    std::string content = contentDocument(what.attributes, what.externalReferences, what.layers, what.text);
    std::string why;
    if (!writeFileAtomically(encodeFileName(outputPath), content, why))
        return fail(QStringLiteral("Cannot write \"%1\": %2").arg(outputPath, QString::fromStdString(why)));
    return true;
}

std::optional<std::uint32_t> DDVueEngine::entityByHandle(const QString& handle) const
{
    if (!doc_) return std::nullopt;
    // An object deleted in this session is no longer in the drawing.
    auto rec = doc_->findHandle(handle.toStdString());
    if (rec && doc_->isDeleted(*rec)) return std::nullopt;
    return rec;
}

std::optional<QString> DDVueEngine::listedValue(const QString& handle) const
{
    auto rec = entityByHandle(handle);
    if (!rec) return std::nullopt;
    dxf::Kind kind = doc_->record(*rec).kind;
    if (kind != dxf::Kind::Attrib && kind != dxf::Kind::Text && kind != dxf::Kind::MText) return std::nullopt;
    return QString::fromStdString(ddvue::listedValue(*doc_, *rec));
}

std::optional<DDVueEngine::ListedLayer> DDVueEngine::listedLayer(const QString& name) const
{
    if (!doc_) return std::nullopt;
    auto layer = doc_->findLayer(name.toStdString());
    if (!layer || doc_->isDeleted(doc_->layers()[*layer].record)) return std::nullopt;
    dxf::LayerState s = dxf::layerState(*doc_, *layer);
    return ListedLayer{s.on ? QStringLiteral("On") : QStringLiteral("Off"), s.color};
}

QStringList DDVueEngine::layerNames() const
{
    QStringList names;
    if (!doc_) return names;
    for (const dxf::LayerEntry& layer : doc_->layers())
        if (!doc_->isDeleted(layer.record)) names << QString::fromStdString(layer.name);
    return names;
}

bool DDVueEngine::isMultilineText(const QString& handle) const
{
    auto rec = entityByHandle(handle);
    if (!rec || doc_->isDeleted(*rec)) return false;
    switch (doc_->record(*rec).kind) {
    case dxf::Kind::MText: return true;
    case dxf::Kind::Attrib: return dxf::isMultilineAttribute(*doc_, *rec);
    default: return false;
    }
}

bool DDVueEngine::SetAttributeValue(const QString& value, const QString& attributeHandle)
{
    auto rec = entityByHandle(attributeHandle);
    if (!rec) return fail(QStringLiteral("No attribute with handle %1.").arg(attributeHandle));
    QString why;
    std::optional<QString> stored =
        storableValue(value, [&] { return QString::fromStdString(dxf::entityText(*doc_, *rec)); }, why);
    if (!stored) return fail(why);
    if (!perform(std::make_unique<dxf::SetAttributeValue>(*rec, stored->toStdString())))
        return fail(QStringLiteral("%1 is not an attribute.").arg(attributeHandle));
    return true;
}

bool DDVueEngine::SetTextValue(const QString& handle, const QString& value)
{
    auto rec = entityByHandle(handle);
    if (!rec) return fail(QStringLiteral("No text with handle %1.").arg(handle));
    QString why;
    std::optional<QString> stored =
        storableValue(value, [&] { return QString::fromStdString(dxf::entityText(*doc_, *rec)); }, why);
    if (!stored) return fail(why);
    if (!perform(std::make_unique<dxf::SetTextValue>(*rec, stored->toStdString())))
        return fail(QStringLiteral("%1 is not a single-line or multi-line text.").arg(handle));
    return true;
}

bool DDVueEngine::SetEntityColor(const QString& handle, long color)
{
    auto rec = entityByHandle(handle);
    if (!rec) return fail(QStringLiteral("No object with handle %1.").arg(handle));
    // Checked before it narrows to the document's int, so that no value wraps into range.
    if (color < 0 || color > 256 || !perform(std::make_unique<dxf::SetEntityColor>(*rec, static_cast<int>(color))))
        return fail(QStringLiteral("Color %1 cannot be given to %2.").arg(color).arg(handle));
    return true;
}

bool DDVueEngine::SetLayerDisplay(const QString& layerName, const QString& state)
{
    if (!doc_) return fail(QStringLiteral("No drawing is open."));
    auto layer = doc_->findLayer(layerName.toStdString());
    if (!layer) return fail(QStringLiteral("No layer named %1.").arg(layerName));
    bool on = state.compare(QLatin1String("On"), Qt::CaseInsensitive) == 0;
    bool off = state.compare(QLatin1String("Off"), Qt::CaseInsensitive) == 0;
    if (!on && !off) return fail(QStringLiteral("A layer is either On or Off, not %1.").arg(state));
    if (!perform(std::make_unique<dxf::SetLayerDisplay>(*layer, on))) return fail(QStringLiteral("The layer %1 cannot be changed.").arg(layerName));
    return true;
}

bool DDVueEngine::SetLayerColor(const QString& layerName, long color)
{
    if (!doc_) return fail(QStringLiteral("No drawing is open."));
    auto layer = doc_->findLayer(layerName.toStdString());
    if (!layer) return fail(QStringLiteral("No layer named %1.").arg(layerName));
    if (color < 1 || color > 255 || !perform(std::make_unique<dxf::SetLayerColor>(*layer, static_cast<int>(color))))
        return fail(QStringLiteral("A layer color is a number from 1 to 255, not %1.").arg(color));
    return true;
}

bool DDVueEngine::DeleteEntity(const QString& handle)
{
    auto rec = entityByHandle(handle);
    if (!rec) return fail(QStringLiteral("No object with handle %1.").arg(handle));
    if (!perform(std::make_unique<dxf::DeleteEntity>(*rec))) return fail(QStringLiteral("%1 cannot be deleted.").arg(handle));
    return true;
}

QString DDVueEngine::renameLayerRefusal(const QString& layerName, const QString& newName) const
{
    if (!doc_) return QStringLiteral("No drawing is open.");
    auto layer = doc_->findLayer(layerName.toStdString());
    if (!layer) return QStringLiteral("No layer named %1.").arg(layerName);
    return QString::fromStdString(dxf::renameRefusal(*doc_, *layer, newName.toStdString()));
}

bool DDVueEngine::RenameLayer(const QString& layerName, const QString& newName)
{
    QString why = renameLayerRefusal(layerName, newName);
    if (!why.isEmpty()) return fail(why);
    auto layer = doc_->findLayer(layerName.toStdString());
    if (!perform(std::make_unique<dxf::RenameLayer>(*layer, newName.toStdString())))
        return fail(QStringLiteral("The layer %1 cannot be renamed.").arg(layerName));
    return true;
}

QString DDVueEngine::mergeLayerRefusal(const QString& from, const QString& into) const
{
    if (!doc_) return QStringLiteral("No drawing is open.");
    auto a = doc_->findLayer(from.toStdString()), b = doc_->findLayer(into.toStdString());
    if (!a) return QStringLiteral("No layer named %1.").arg(from);
    if (!b) return QStringLiteral("No layer named %1.").arg(into);
    return QString::fromStdString(dxf::mergeRefusal(*doc_, *a, *b));
}

bool DDVueEngine::MergeLayer(const QString& from, const QString& into)
{
    QString why = mergeLayerRefusal(from, into);
    if (!why.isEmpty()) return fail(why);
    auto a = doc_->findLayer(from.toStdString()), b = doc_->findLayer(into.toStdString());
    if (!perform(std::make_unique<dxf::MergeLayer>(*a, *b)))
        return fail(QStringLiteral("The layer %1 cannot be merged into %2.").arg(from, into));
    return true;
}

bool DDVueEngine::SyncAttributes(const QString& blockName, bool removeOrphaned, dxf::SyncCounts* counts)
{
    if (!doc_) return fail(QStringLiteral("No drawing is open."));
    const std::string block = blockName.toStdString();
    if (std::string why = dxf::syncRefusal(*doc_, block); !why.empty()) return fail(QString::fromStdString(why));
    if (!perform(std::make_unique<dxf::SyncAttributes>(block, removeOrphaned, counts)))
        return fail(QStringLiteral("The attributes cannot be synchronized."));
    return true;
}

bool DDVueEngine::perform(std::unique_ptr<dxf::Operation> op) { return doc_->history().perform(std::move(op)); }

bool DDVueEngine::undo()
{
    if (!doc_) return false;
    return doc_->history().undo();
}

bool DDVueEngine::redo()
{
    if (!doc_) return false;
    return doc_->history().redo();
}

bool DDVueEngine::canUndo() const { return doc_ && doc_->history().canUndo(); }

bool DDVueEngine::canRedo() const { return doc_ && doc_->history().canRedo(); }

bool DDVueEngine::differsFromDisk() const { return doc_ && doc_->history().differsFromSaved(); }

DDVueEngine::Batch::Batch(DDVueEngine& engine, const std::string& label)
    : doc_(engine.doc_.get())
{
    if (doc_) doc_->history().beginBatch(label);
}

DDVueEngine::Batch::~Batch()
{
    if (doc_) doc_->history().endBatch();
}

bool DDVueEngine::refuseSave(SaveProblem problem, const QString& why)
{
    saveProblem_ = problem;
    return fail(why);
}

bool DDVueEngine::SaveDrawing(QString& path) { return SaveDrawing(path, SaveOptions()); }

bool DDVueEngine::SaveDrawing(QString& path, const SaveOptions& options)
{
    saveProblem_ = SaveProblem::None;
    if (!doc_) return refuseSave(SaveProblem::Failed, QStringLiteral("No drawing is open."));
    if (readOnly_)
        return refuseSave(SaveProblem::Failed, QStringLiteral("The drawing was opened only to be read; it is not saved."));
    if (!damage_.isEmpty() && !options.acceptDamage && !damageAccepted_)
        return refuseSave(SaveProblem::Damaged, QStringLiteral("\"%1\" is not saved. %2").arg(path_, damageWarning()));

    // Whether `file` (links followed) is the file the drawing was read from.
    auto isSourceFile = [this](const std::string& file, const std::optional<FileStamp>& onDisk) {
        const FileStamp* read = known_ ? &known_->stamp : sourceStamp_ ? &*sourceStamp_ : nullptr;
        return canonicalPath(file) == sourceFile_ ||
               (onDisk && read && onDisk->device == read->device && onDisk->inode == read->inode);
    };
    std::string why;
    QString target = path;
    if (fromDwg_) {
        // A DWG is never written: the drawing goes to a DXF of the same name.
        QFileInfo info(target);
        target = info.dir().filePath(info.completeBaseName() + QStringLiteral(".dxf"));
    }
    // A DXF goes where it is saved to, under whatever name: it is a DXF
    // there too, and is read as one.
    const std::string file = resolveLinks(encodeFileName(target), why);
    if (file.empty())
        return refuseSave(SaveProblem::Failed, QStringLiteral("Cannot save \"%1\": %2").arg(target, QString::fromLocal8Bit(why)));
    const std::string canonical = canonicalPath(file);

    // The file saved to is locked from the checks to the rename, so that a
    // run of this program that saves it too waits for this one.
    FileLock lock;
    if (stampOf(file) && !(options.heldLock && options.heldLock->holds(file)) &&
        !lock.lock(file, options.lockWaitMs, why) && lock.wasBusy())
        return refuseSave(SaveProblem::Failed, QStringLiteral("Cannot save \"%1\": %2").arg(target, QString::fromLocal8Bit(why)));
    const std::optional<FileStamp> onDisk = stampOf(file);

    if (fromDwg_ && isSourceFile(file, onDisk))
        return refuseSave(SaveProblem::NeedsOtherName,
                          QStringLiteral("\"%1\" is the DWG drawing itself, which is never written over; the drawing "
                                         "needs another name to be saved as a DXF.")
                              .arg(target));
    auto exists = [&] {
        return refuseSave(SaveProblem::FileExists,
                          QStringLiteral("\"%1\" already exists and was not written from \"%2\" by this program.")
                              .arg(target, path_));
    };
    auto changed = [&](DiskState state) {
        return refuseSave(SaveProblem::ChangedOnDisk,
                          state == DiskState::Gone
                              ? QStringLiteral("\"%1\" has been moved or deleted since it was read.").arg(target)
                              : QStringLiteral("\"%1\" has been changed by another program since it was read.").arg(target));
    };

    // What the file at `file` must still be for this save to replace it: the
    // drawing's file as read or last saved, or a file this program wrote from
    // this drawing in this run. None when the file is not to be compared
    // (another file the person said to replace, or no file yet).
    const bool isSource = !fromDwg_ && isSourceFile(file, onDisk);
    std::optional<FileIdentity> expected;
    if (isSource) {
        expected = known_;
    } else {
        std::lock_guard<std::mutex> guard(writtenMutex());
        auto it = writtenElsewhere().find(canonical);
        const bool mine = it != writtenElsewhere().end() && it->second.source == sourceFile_;
        if (onDisk && !mine && !options.replaceExisting) return exists();
        if (onDisk && mine) expected = it->second.identity;
    }
    if (options.overwriteChanges) expected.reset();
    if (expected) {
        DiskState state = compareWithDisk(file, *expected);
        if (state != DiskState::Same) return changed(state);
    }

    WriteOptions write;
    // A file that appears while this one is written is not replaced either.
    write.mustNotExist = !onDisk && !isSource && !options.replaceExisting;
    DiskState lastState = DiskState::Same;
    if (expected) {
        // Once more with the new bytes on disk, immediately before they take
        // the file's place: a change made while they were written is kept.
        write.lastCheck = [&]() -> std::string {
            lastState = compareWithDisk(file, *expected);
            return lastState == DiskState::Same ? std::string() : std::string("changed");
        };
    }

    std::string bytes = doc_->serialize();
    WriteOutcome out = writeFile(file, bytes, write);
    switch (out.problem) {
    case WriteProblem::None: break;
    case WriteProblem::WriteProtected:
        return refuseSave(SaveProblem::WriteProtected,
                          QStringLiteral("Cannot save \"%1\": the file is write-protected.").arg(target));
    case WriteProblem::Exists: return exists();
    case WriteProblem::Refused: return changed(lastState);
    case WriteProblem::Failed:
        return refuseSave(SaveProblem::Failed,
                          QStringLiteral("Cannot save \"%1\": %2").arg(target, QString::fromLocal8Bit(out.error)));
    }
    if (isSource) {
        known_ = out.written;
    } else {
        std::lock_guard<std::mutex> guard(writtenMutex());
        writtenElsewhere()[canonical] = WrittenElsewhere{sourceFile_, out.written};
    }
    if (!damage_.isEmpty()) damageAccepted_ = true;
    doc_->history().markSaved();
    path = target;
    return true;
}

void DDVueEngine::SetSearchPaths(const QString& paths) { searchPaths_ = paths; }

long DDVueEngine::GetDrawingVersion(const QString& path) const { return dxf::Document::versionOfFile(encodeFileName(path)); }

void DDVueEngine::QueryPasswordProtection(bool& needsPassword) const { needsPassword = needsPassword_; }

}  // namespace ddvue
