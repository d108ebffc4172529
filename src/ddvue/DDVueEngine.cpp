#include "ddvue/DDVueEngine.h"

#include "ddvue/AtomicFile.h"
#include "ddvue/ContentDocument.h"
#include "ddvue/dwg/DwgImport.h"
#include "ddvue/dxf/Entities.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>

namespace ddvue {

DDVueEngine::DDVueEngine() = default;
DDVueEngine::~DDVueEngine() = default;

bool DDVueEngine::fail(const QString& why)
{
    lastError_ = why;
    return false;
}

bool DDVueEngine::OpenDrawing(QString& path, const QString& password)
{
    Q_UNUSED(password);  // DXF drawings carry no password, and the DWG reader cannot decrypt
    CloseDrawing();
    return adopt(read(path, progress_, mapFiles_), path);
}

ReadDrawing DDVueEngine::read(const QString& path, const std::function<bool(int)>& progress, bool mapFile)
{
    ReadDrawing r;
    auto fail = [&r](const QString& why) {
        r.error = why;
        return std::move(r);
    };
    auto goOn = [&progress] { return !progress || progress(0); };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
    if (file.size() > static_cast<qint64>(0xFFFFFFF0ll)) return fail(QStringLiteral("The file is larger than 4 GB."));
    QByteArray head = file.peek(8);
    auto doc = std::make_unique<dxf::Document>();
    if (dwg::looksLikeDwg(head.toStdString())) {
        file.close();
        dwg::ImportResult imported = dwg::importDwg(path.toStdString(), goOn);
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
        r.dwgVersion = imported.version;
    } else if (mapFile) {
        file.close();
        if (!doc->loadFile(QFile::encodeName(path).toStdString(), progress)) {
            r.stopped = doc->stopped();
            return fail(QString::fromStdString(doc->error()));
        }
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
    dwgVersion_ = std::move(drawing.dwgVersion);
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
    dwgVersion_.clear();
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

bool DDVueEngine::ExportDrawingContent(QString& outputPath, long f1, long, long f3, long f4, long, long, long, long f8)
{
    if (!doc_) return fail(QStringLiteral("No drawing is open."));
    std::string content = contentDocument(f1 != 0, f3 != 0, f4 != 0, f8 != 0);
    std::string why;
    if (!writeFileAtomically(outputPath.toStdString(), content, why))
        return fail(QStringLiteral("Cannot write \"%1\": %2").arg(outputPath, QString::fromStdString(why)));
    return true;
}

std::optional<std::uint32_t> DDVueEngine::entityByHandle(const QString& handle) const
{
    if (!doc_) return std::nullopt;
    return doc_->findHandle(handle.toStdString());
}

bool DDVueEngine::SetAttributeValue(QString& value, const QString& attributeHandle)
{
    auto rec = entityByHandle(attributeHandle);
    if (!rec) return fail(QStringLiteral("No attribute with handle %1.").arg(attributeHandle));
    if (!dxf::setAttributeValue(*doc_, *rec, value.toStdString()))
        return fail(QStringLiteral("%1 is not an attribute.").arg(attributeHandle));
    return true;
}

bool DDVueEngine::SetTextValue(const QString& handle, QString& value)
{
    auto rec = entityByHandle(handle);
    if (!rec) return fail(QStringLiteral("No text with handle %1.").arg(handle));
    if (!dxf::setTextValue(*doc_, *rec, value.toStdString()))
        return fail(QStringLiteral("%1 is not a single-line or multi-line text.").arg(handle));
    return true;
}

bool DDVueEngine::SetEntityColor(const QString& handle, long color)
{
    auto rec = entityByHandle(handle);
    if (!rec) return fail(QStringLiteral("No object with handle %1.").arg(handle));
    if (!dxf::setEntityColor(*doc_, *rec, static_cast<int>(color)))
        return fail(QStringLiteral("Color %1 cannot be given to %2.").arg(color).arg(handle));
    return true;
}

bool DDVueEngine::SetLayerDisplay(const QString& layerName, QString& state)
{
    if (!doc_) return fail(QStringLiteral("No drawing is open."));
    auto layer = doc_->findLayer(layerName.toStdString());
    if (!layer) return fail(QStringLiteral("No layer named %1.").arg(layerName));
    bool on = state.compare(QLatin1String("On"), Qt::CaseInsensitive) == 0;
    bool off = state.compare(QLatin1String("Off"), Qt::CaseInsensitive) == 0;
    if (!on && !off) return fail(QStringLiteral("A layer is either On or Off, not %1.").arg(state));
    return dxf::setLayerDisplay(*doc_, *layer, on);
}

bool DDVueEngine::SetLayerColor(const QString& layerName, long color)
{
    if (!doc_) return fail(QStringLiteral("No drawing is open."));
    auto layer = doc_->findLayer(layerName.toStdString());
    if (!layer) return fail(QStringLiteral("No layer named %1.").arg(layerName));
    if (!dxf::setLayerColor(*doc_, *layer, static_cast<int>(color)))
        return fail(QStringLiteral("A layer color is a number from 1 to 255, not %1.").arg(color));
    return true;
}

bool DDVueEngine::DeleteEntity(const QString& handle)
{
    auto rec = entityByHandle(handle);
    if (!rec) return fail(QStringLiteral("No object with handle %1.").arg(handle));
    if (!dxf::deleteEntity(*doc_, *rec)) return fail(QStringLiteral("%1 cannot be deleted.").arg(handle));
    return true;
}

bool DDVueEngine::SaveDrawing(QString& path)
{
    if (!doc_) return fail(QStringLiteral("No drawing is open."));
    QString target = path;
    if (fromDwg_ || dwg::looksLikeDwgPath(target.toStdString())) {
        // A DWG is never written: the drawing goes to a DXF of the same name.
        QFileInfo info(target);
        target = info.dir().filePath(info.completeBaseName() + QStringLiteral(".dxf"));
    }
    std::string bytes = doc_->serialize();
    std::string why;
    if (!writeFileAtomically(target.toStdString(), bytes, why))
        return fail(QStringLiteral("Cannot save \"%1\": %2").arg(target, QString::fromStdString(why)));
    path = target;
    return true;
}

void DDVueEngine::SetSearchPaths(const QString& paths) { searchPaths_ = paths; }

long DDVueEngine::GetDrawingVersion(QString& path) { return dxf::Document::versionOfFile(path.toStdString()); }

void DDVueEngine::QueryPasswordProtection(QString&, long& flag) { flag = needsPassword_ ? 1 : 0; }

}  // namespace ddvue
