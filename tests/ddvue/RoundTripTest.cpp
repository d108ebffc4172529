// Opening and saving a drawing without changes gives back the same bytes.

#include "TestPaths.h"
#include "ddvue/DDVueEngine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList drawingsIn(const QString& folder)
{
    QStringList out;
    QDir dir(folder);
    for (const QString& name : dir.entryList({"*.dxf", "*.DXF"}, QDir::Files)) out << dir.filePath(name);
    return out;
}

}  // namespace

TEST(RoundTrip, EveryCorpusDrawingSavesByteForByte)
{
    QTemporaryDir tmp;
    QStringList files = drawingsIn(testpaths::corpus()) + drawingsIn(testpaths::corpus("more"));
    ASSERT_GE(files.size(), 20);
    for (const QString& file : files) {
        ddvue::DDVueEngine engine;
        QString path = file;
        ASSERT_TRUE(engine.OpenDrawing(path)) << file.toStdString() << ": " << engine.lastError().toStdString();
        QString out = tmp.filePath("copy.dxf");
        QFile::remove(out);  // a file this drawing did not write is not replaced unasked
        ASSERT_TRUE(engine.SaveDrawing(out)) << engine.lastError().toStdString();
        EXPECT_EQ(readAll(file), readAll(out)) << file.toStdString();
    }
}
