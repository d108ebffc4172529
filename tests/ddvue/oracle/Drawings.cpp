#include "Drawings.h"

#include "Oracle.h"
#include "TestPaths.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace oracle {

namespace {

QStringList listed(const QString& relativeFolder)
{
    QDir dir(testpaths::sourceDir() + QLatin1Char('/') + relativeFolder);
    QStringList out;
    const QStringList patterns = {QStringLiteral("*.dxf"), QStringLiteral("*.DXF"), QStringLiteral("*.dxfb")};
    for (const QString& name : dir.entryList(patterns, QDir::Files, QDir::Name))
        out << relativeFolder + QLatin1Char('/') + name;
    return out;
}

QTemporaryDir& scratchDir()
{
    static QTemporaryDir dir;
    return dir;
}

}  // namespace

QStringList samples() { return listed(QStringLiteral("samples")); }
QStringList oddDrawings() { return listed(QStringLiteral("tests/data/odd")); }
QStringList corpusDrawings() { return listed(QStringLiteral("tests/corpus")) + listed(QStringLiteral("tests/corpus/more")); }
QStringList badInputs() { return listed(QStringLiteral("tests/data/bad")); }

QString absolute(const QString& relative) { return testpaths::sourceDir() + QLatin1Char('/') + relative; }

std::string testName(const QString& relative)
{
    std::string out;
    for (QChar c : relative.section(QLatin1Char('/'), -1))
        out += (c.isLetterOrNumber() && c.unicode() < 0x80) ? static_cast<char>(c.unicode()) : '_';
    return out;
}

QString scratch(const QString& name) { return scratchDir().filePath(name); }

const QStringList& ezdxfDrawings(QString* error)
{
    static QString failure;
    static const QStringList files = [] {
        QString folder = scratch(QStringLiteral("ezdxf"));
        QProcess p;
        p.start(python(), {testpaths::sourceDir() + QStringLiteral("/tests/tools/make_ezdxf_drawings.py"), folder});
        if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            failure = QStringLiteral("make_ezdxf_drawings.py failed: ") + QString::fromUtf8(p.readAllStandardError());
            return QStringList();
        }
        QStringList out;
        QDir dir(folder);
        for (const QString& name : dir.entryList({QStringLiteral("*.dxf")}, QDir::Files, QDir::Name))
            out << dir.filePath(name);
        return out;
    }();
    if (error) *error = failure;
    return files;
}

}  // namespace oracle
