#include "ddvue/render/Xrefs.h"

#include "ddvue/dwg/DwgImport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ddvue::render {

void Xrefs::reset(const QString& drawingPath, const QString& searchPaths)
{
    clear();
    folder_ = drawingPath.isEmpty() ? QString() : QFileInfo(drawingPath).absolutePath();
    for (const QString& p : searchPaths.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        QString t = p.trimmed();
        if (!t.isEmpty()) searchPaths_ << QDir::fromNativeSeparators(t);
    }
}

void Xrefs::clear()
{
    folder_.clear();
    searchPaths_.clear();
    loaded_.clear();
}

QString Xrefs::locate(const std::string& storedPath) const
{
    // Drawings name references with the separators of the system that made
    // them; a drive letter means nothing here.
    QString stored = QString::fromStdString(storedPath).trimmed();
    stored.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (stored.isEmpty()) return {};
    QString name = QFileInfo(stored).fileName();
    QStringList candidates;
    bool windowsAbsolute = stored.size() > 2 && stored[1] == QLatin1Char(':');
    if (!windowsAbsolute && QDir::isAbsolutePath(stored)) candidates << stored;
    if (!folder_.isEmpty()) {
        if (!windowsAbsolute && QDir::isRelativePath(stored)) candidates << QDir(folder_).filePath(stored);
        candidates << QDir(folder_).filePath(name);
    }
    for (const QString& dir : searchPaths_) {
        if (!windowsAbsolute && QDir::isRelativePath(stored)) candidates << QDir(dir).filePath(stored);
        candidates << QDir(dir).filePath(name);
    }
    // A reference to a DWG may have its DXF twin beside it.
    QStringList twins;
    for (const QString& c : candidates) {
        if (c.endsWith(QLatin1String(".dwg"), Qt::CaseInsensitive)) twins << c.left(c.size() - 4) + QStringLiteral(".dxf");
    }
    for (const QString& c : candidates + twins) {
        QFileInfo info(c);
        if (info.isFile()) return info.absoluteFilePath();
    }
    return {};
}

const dxf::Document* Xrefs::load(const std::string& storedPath)
{
    QString path = locate(storedPath);
    if (path.isEmpty()) return nullptr;
    auto it = loaded_.find(path);
    if (it != loaded_.end()) return it->second.get();
    std::unique_ptr<dxf::Document> doc;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.size() < static_cast<qint64>(0xFFFFFFF0ll)) {
        QByteArray data = file.readAll();
        std::string bytes(data.constData(), static_cast<std::size_t>(data.size()));
        data.clear();
        if (dwg::looksLikeDwg(bytes.substr(0, 8))) {
            dwg::ImportResult r = dwg::importDwg(path.toStdString());
            bytes = r.ok ? std::move(r.dxf) : std::string();
        }
        auto d = std::make_unique<dxf::Document>();
        if (!bytes.empty() && d->load(std::move(bytes))) doc = std::move(d);
    }
    const dxf::Document* result = doc.get();
    loaded_.emplace(path, std::move(doc));
    return result;
}

}  // namespace ddvue::render
