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

// The DXF files this program wrote from a DWG in this run, by canonical
// path: from which DWG, and as written. A DXF beside a DWG is replaced
// unasked only when it is the one written from that DWG and still as written.
struct WrittenFromDwg {
    std::string dwg;
    FileIdentity identity;
};

std::mutex& writtenMutex()
{
    static std::mutex m;
    return m;
}

std::map<std::string, WrittenFromDwg>& writtenFromDwg()
{
    static std::map<std::string, WrittenFromDwg> written;
    return written;
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
    // The name's own bytes, so that a name that is not UTF-8 opens too.
    const std::string name = encodeFileName(path);
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(QStringLiteral("Cannot read \"%1\": %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
    }
    std::optional<FileStamp> before = stampOf(fd);
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
        r.dwgVersion = imported.version;
    } else if (mapFile) {
        // The content's hash, for telling later whether the file changed,
        // is taken on another core while the drawing is parsed.
        std::uint64_t hash = 0;
        dxf::Document::Beside hashing;
        if (!readOnly) hashing = [&hash](std::string_view bytes) { hash = hashContent(bytes); };
        if (!doc->loadFile(fd, progress, hashing)) {
            r.stopped = doc->stopped();
            return fail(QString::fromStdString(doc->error()));
        }
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
    dwgVersion_ = std::move(drawing.dwgVersion);
    known_ = drawing.identity;
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
    dwgVersion_.clear();
    sourceFile_.clear();
    known_.reset();
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
    return QString::fromStdString(listedText(dxf::entityText(*doc_, *rec)));
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
    if (!perform(std::make_unique<dxf::SetAttributeValue>(*rec, value.toStdString())))
        return fail(QStringLiteral("%1 is not an attribute.").arg(attributeHandle));
    return true;
}

bool DDVueEngine::SetTextValue(const QString& handle, const QString& value)
{
    auto rec = entityByHandle(handle);
    if (!rec) return fail(QStringLiteral("No text with handle %1.").arg(handle));
    if (!perform(std::make_unique<dxf::SetTextValue>(*rec, value.toStdString())))
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
    QString target = path;
    if (fromDwg_ || dwg::looksLikeDwgPath(target.toStdString())) {
        // A DWG is never written: the drawing goes to a DXF of the same name.
        QFileInfo info(target);
        target = info.dir().filePath(info.completeBaseName() + QStringLiteral(".dxf"));
    }
    std::string why;
    const std::string file = resolveLinks(encodeFileName(target), why);
    if (file.empty())
        return refuseSave(SaveProblem::Failed, QStringLiteral("Cannot save \"%1\": %2").arg(target, QString::fromLocal8Bit(why)));
    const std::string canonical = canonicalPath(file);
    const std::optional<FileStamp> onDisk = stampOf(file);
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

    WriteOptions write;
    bool isSource = false;
    if (fromDwg_) {
        std::lock_guard<std::mutex> lock(writtenMutex());
        auto it = writtenFromDwg().find(canonical);
        bool mine = it != writtenFromDwg().end() && it->second.dwg == sourceFile_;
        if (onDisk && !mine && !options.replaceExisting) return exists();
        if (onDisk && mine && !options.overwriteChanges) {
            DiskState state = compareWithDisk(file, it->second.identity);
            if (state != DiskState::Same) return changed(state);
        }
        // A DXF that appears while this one is written is not replaced either.
        write.mustNotExist = !onDisk && !options.replaceExisting;
    } else if (known_) {
        isSource = canonical == sourceFile_ ||
                   (onDisk && onDisk->device == known_->stamp.device && onDisk->inode == known_->stamp.inode);
        if (isSource && !options.overwriteChanges) {
            DiskState state = compareWithDisk(file, *known_);
            if (state != DiskState::Same) return changed(state);
        }
    }

    std::string bytes = doc_->serialize();
    WriteOutcome out = writeFile(file, bytes, write);
    switch (out.problem) {
    case WriteProblem::None: break;
    case WriteProblem::WriteProtected:
        return refuseSave(SaveProblem::WriteProtected,
                          QStringLiteral("Cannot save \"%1\": the file is write-protected.").arg(target));
    case WriteProblem::Exists: return exists();
    case WriteProblem::Failed:
        return refuseSave(SaveProblem::Failed,
                          QStringLiteral("Cannot save \"%1\": %2").arg(target, QString::fromLocal8Bit(out.error)));
    }
    if (fromDwg_) {
        std::lock_guard<std::mutex> lock(writtenMutex());
        writtenFromDwg()[canonical] = WrittenFromDwg{sourceFile_, out.written};
    } else if (isSource) {
        known_ = out.written;
    }
    doc_->history().markSaved();
    path = target;
    return true;
}

void DDVueEngine::SetSearchPaths(const QString& paths) { searchPaths_ = paths; }

long DDVueEngine::GetDrawingVersion(const QString& path) const { return dxf::Document::versionOfFile(encodeFileName(path)); }

void DDVueEngine::QueryPasswordProtection(bool& needsPassword) const { needsPassword = needsPassword_; }

}  // namespace ddvue
