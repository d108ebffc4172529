// Bad input: every command refuses it with exit status 1 and a reason on
// standard error that names the file, never crashes or hangs, and an edit
// saves nothing.

#include "Drawings.h"
#include "Oracle.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using namespace oracle;

void expectRefused(const QString& drawing)
{
    const QString fileName = QFileInfo(drawing).fileName();
    QString out = scratch(QStringLiteral("refused-output.dxf"));
    QFile::remove(out);
    const std::vector<QStringList> commands = {
        {QStringLiteral("info"), drawing},
        {QStringLiteral("export"), drawing, QStringLiteral("--format"), QStringLiteral("content")},
        {QStringLiteral("edit"), drawing, QStringLiteral("-o"), out, QStringLiteral("--layer-color"), QStringLiteral("0=3")},
    };
    for (const QStringList& args : commands) {
        SCOPED_TRACE(args[0].toStdString());
        Outcome run = tessilux(args);
        ASSERT_FALSE(run.timedOut) << "no answer within the time limit";
        ASSERT_FALSE(run.crashed) << run.describe().toStdString();
        EXPECT_EQ(run.exitCode, 1) << run.describe().toStdString();
        QString err = QString::fromUtf8(run.err).trimmed();
        // "tessilux: PATH: reason", on one line.
        EXPECT_TRUE(err.startsWith(QLatin1String("tessilux: "))) << err.toStdString();
        EXPECT_TRUE(err.contains(fileName)) << err.toStdString();
        EXPECT_GT(err.size(), QStringLiteral("tessilux: : ").size() + drawing.size() + 10) << err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << "output for a refused drawing";
        EXPECT_FALSE(QFile::exists(out)) << "an edit of a refused drawing saved a file";
    }
}

class BadInput : public ::testing::TestWithParam<QString> {};

TEST_P(BadInput, IsRefusedWithAReason) { expectRefused(absolute(GetParam())); }

INSTANTIATE_TEST_SUITE_P(Files, BadInput, ::testing::ValuesIn(badInputs()),
                         [](const ::testing::TestParamInfo<QString>& info) { return testName(info.param); });

bool writeFile(const QString& path, const QByteArray& head, char fill, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    if (f.write(head) != head.size()) return false;
    QByteArray chunk(1 << 20, fill);
    for (qint64 left = size - head.size(); left > 0; left -= chunk.size())
        if (f.write(chunk.constData(), std::min<qint64>(left, chunk.size())) < 0) return false;
    return true;
}

// A 100 MB file that is one single line, made here rather than kept.
TEST(BadInputHuge, HundredMegabyteSingleLine)
{
    QString path = scratch(QStringLiteral("single-line.dxf"));
    ASSERT_TRUE(writeFile(path, QByteArray(), '7', 100LL << 20));
    expectRefused(path);
    QFile::remove(path);
}

// A drawing that starts well and then has a 100 MB value line that never ends.
TEST(BadInputHuge, HundredMegabyteValueAfterAGoodStart)
{
    QString path = scratch(QStringLiteral("huge-value.dxf"));
    ASSERT_TRUE(writeFile(path, QByteArrayLiteral("  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$ACADVER\r\n  1\r\n"), 'A',
                          100LL << 20));
    expectRefused(path);
    QFile::remove(path);
}

TEST(BadInputMissing, NoSuchFile) { expectRefused(scratch(QStringLiteral("does-not-exist.dxf"))); }

}  // namespace
