// A damaged DWG is never taken for a smaller drawing: copies of the corpus
// drawings cut short or with a piece of their data repeated are refused with
// a reason, or, where the library still reads all of them, open with all
// they hold. What the library skipped is said. One whose checksum does not
// match opens to be looked at, and is saved only when the damage is accepted. The values the reader takes
// from the library's memory agree with the library's own accessors, and the
// reader process does not outlive a killed program.

#include "ContentCompare.h"
#include "TestPaths.h"
#include "ddvue/DDVueEngine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Opened {
    bool ok = false;
    QString error;
    contentcompare::Content content;
    QString warnings;
};

Opened open(const QString& file)
{
    ddvue::DDVueEngine engine;
    QString path = file;
    Opened o;
    o.ok = engine.OpenDrawing(path);
    o.error = engine.lastError();
    if (o.ok) {
        o.content = contentcompare::parse(QByteArray::fromStdString(engine.contentDocument(true, true, true, true)));
        o.warnings = engine.readWarnings();
    }
    return o;
}

}  // namespace

TEST(DwgDamage, ACutOrRepeatedPieceIsRefusedOrCostsNothing)
{
    QTemporaryDir dir;
    int refused = 0, variants = 0;
    for (const char* name : {"sample_R14.dwg", "sample_2000.dwg", "sample_2007.dwg"}) {
        QByteArray bytes = readAll(testpaths::corpus(name));
        ASSERT_FALSE(bytes.isEmpty()) << name;
        Opened intact = open(testpaths::corpus(name));
        ASSERT_TRUE(intact.ok) << intact.error.toStdString();

        std::vector<std::pair<QString, QByteArray>> damaged;
        for (int cut : {10, 50, 90, 99})
            damaged.emplace_back(QStringLiteral("cut%1").arg(cut), bytes.left(bytes.size() * cut / 100));
        // 16 bytes written twice, early, in the middle and at the end, where
        // the older versions keep the map of their objects.
        for (int at : {5, 30, 60, 95, 99}) {
            qsizetype p = (bytes.size() * at / 100) & ~qsizetype(15);
            damaged.emplace_back(QStringLiteral("dup%1").arg(at), bytes.left(p + 16) + bytes.mid(p, 16) + bytes.mid(p + 16));
        }
        for (const auto& [what, data] : damaged) {
            SCOPED_TRACE((QString(name) + " " + what).toStdString());
            QString path = dir.filePath(QString(name).replace(".dwg", "_" + what + ".dwg"));
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(data);
            f.close();
            ++variants;
            Opened o = open(path);
            if (!o.ok) {
                ++refused;
                EXPECT_FALSE(o.error.isEmpty());
                continue;
            }
            // Opened: then with everything the intact drawing has.
            o.content.version = intact.content.version;
            QStringList diff = contentcompare::differences(intact.content, o.content);
            EXPECT_TRUE(diff.isEmpty()) << diff.mid(0, 10).join("\n").toStdString();
        }
    }
    // Most of these lose the drawing; the few the library reads whole open.
    EXPECT_GE(refused, variants - 4);
}

TEST(DwgDamage, ADrawingReadInPartSaysWhy)
{
    QTemporaryDir dir;
    QByteArray bytes = readAll(testpaths::corpus("sample_R14.dwg"));
    // The repeated piece near the end breaks the map of the objects: the
    // library reads some of them and misses the rest.
    qsizetype p = (bytes.size() * 99 / 100) & ~qsizetype(15);
    QString path = dir.filePath("partial.dwg");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.left(p + 16) + bytes.mid(p, 16) + bytes.mid(p + 16));
    f.close();
    Opened o = open(path);
    EXPECT_FALSE(o.ok);
    EXPECT_TRUE(o.error.contains("read only in part")) << o.error.toStdString();
    EXPECT_TRUE(o.error.contains("could not be read")) << o.error.toStdString();

    // Truncated from 2007 on: nothing of it is read.
    QByteArray r2007 = readAll(testpaths::corpus("sample_2007.dwg"));
    QFile g(path);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly | QIODevice::Truncate));
    g.write(r2007.left(r2007.size() / 2));
    g.close();
    o = open(path);
    EXPECT_FALSE(o.ok);
    EXPECT_TRUE(o.error.contains("damaged")) << o.error.toStdString();

    // The command line says so and fails.
    QProcess info;
    info.start(testpaths::program(), {"info", path});
    ASSERT_TRUE(info.waitForFinished(120000));
    EXPECT_EQ(info.exitCode(), 1);
    EXPECT_TRUE(info.readAllStandardError().contains("damaged"));
}

// Bytes changed inside a DWG's data: the library reads on, but what it
// reads may be wrong (a block record lost, an entity in another layout,
// bulges gone), and only the checksum tells.
struct ChecksumDamage {
    const char* drawing;
    int size;        // of the piece changed, in the middle
    bool zeroed;     // the piece set to zero, else each byte turned
};

class DwgChecksum : public ::testing::TestWithParam<ChecksumDamage> {};

TEST_P(DwgChecksum, ADamagedDrawingOpensToBeLookedAtAndIsSavedOnlyWhenAccepted)
{
    const ChecksumDamage damage = GetParam();
    QTemporaryDir dir;
    QByteArray bytes = readAll(testpaths::corpus(damage.drawing));
    ASSERT_FALSE(bytes.isEmpty());
    const qsizetype middle = bytes.size() / 2;
    for (int i = 0; i < damage.size; ++i)
        bytes[middle + i] = damage.zeroed ? '\0' : static_cast<char>(bytes[middle + i] ^ 0x5A);
    const QString dwg = dir.filePath("plan.dwg"), dxf = dir.filePath("plan.dxf");
    {
        QFile f(dwg);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    ddvue::DDVueEngine engine;
    QString path = dwg;
    ASSERT_TRUE(engine.OpenDrawing(path)) << engine.lastError().toStdString();
    EXPECT_EQ(engine.damage(), "a checksum does not match");
    ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("0"), 3));
    QString target = dwg;
    EXPECT_FALSE(engine.SaveDrawing(target));
    EXPECT_EQ(engine.saveProblem(), ddvue::SaveProblem::Damaged);
    EXPECT_TRUE(engine.lastError().contains("checksum")) << engine.lastError().toStdString();
    EXPECT_FALSE(QFile::exists(dxf));

    // Every command that saves refuses, and says how to save all the same.
    auto run = [](const QStringList& args) {
        QProcess p;
        p.start(testpaths::program(), args);
        EXPECT_TRUE(p.waitForFinished(120000));
        return std::make_pair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()));
    };
    const QString csv = dir.filePath("layers.csv");
    {
        QFile f(csv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Name,Color\r\n0,4\r\n");
    }
    for (const QStringList& args : {QStringList{"edit", dwg, "--layer-color", "0=4"}, QStringList{"import", dwg, csv},
                                    QStringList{"replace", dwg, "--category", "layers", "--find", "7", "--replace", "4"}}) {
        auto [exit, said] = run(args);
        EXPECT_EQ(exit, 1) << args.join(' ').toStdString() << ": " << said.toStdString();
        EXPECT_TRUE(said.contains("--accept-damaged")) << said.toStdString();
        EXPECT_FALSE(QFile::exists(dxf)) << args.join(' ').toStdString();
    }
    auto [exit, said] = run({"info", dwg});
    EXPECT_EQ(exit, 0);
    EXPECT_TRUE(said.contains("Damaged: a checksum does not match")) << said.toStdString();

    // Accepted, it is saved as read.
    ddvue::SaveOptions accept;
    accept.acceptDamage = true;
    target = dwg;
    ASSERT_TRUE(engine.SaveDrawing(target, accept)) << engine.lastError().toStdString();
    EXPECT_EQ(target, dxf);
    EXPECT_EQ(run({"edit", dwg, "--layer-color", "0=4", "--accept-damaged", "--overwrite"}).first, 0);
}

INSTANTIATE_TEST_SUITE_P(Damage, DwgChecksum,
                         ::testing::Values(ChecksumDamage{"sample_2018.dwg", 64, false},
                                           ChecksumDamage{"sample_R14.dwg", 4096, true}));

TEST(DwgDamage, WhatTheLibrarySkippedIsSaid)
{
    // The 2018 drawing holds objects of classes the library cannot decode.
    Opened o = open(testpaths::corpus("sample_2018.dwg"));
    ASSERT_TRUE(o.ok) << o.error.toStdString();
    EXPECT_TRUE(o.warnings.contains("not support")) << o.warnings.toStdString();
    QProcess info;
    info.start(testpaths::program(), {"info", testpaths::corpus("sample_2018.dwg")});
    ASSERT_TRUE(info.waitForFinished(120000));
    EXPECT_EQ(info.exitCode(), 0);
    EXPECT_TRUE(info.readAllStandardOutput().contains("Read with errors: ")) << "no word of what was skipped";
}

TEST(DwgReader, ItsReadsAgreeWithTheLibrary)
{
    // The reader takes fields from the library's memory, checking only its
    // first reads of each kind against the library's own accessors. Checked
    // throughout, every corpus drawing reads without a difference, and to
    // the same document as when read from memory.
    QDir corpus(testpaths::corpus());
    int checked = 0;
    auto read = [](const QString& file, bool verify, int& status, QByteArray& err) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (verify) env.insert("TESSILUX_DWG_VERIFY", "1");
        else env.remove("TESSILUX_DWG_VERIFY");
        p.setProcessEnvironment(env);
        p.start("node", {"--liftoff-only", testpaths::sourceDir() + "/src/ddvue/dwg/reader/read-dwg.mjs", file});
        bool finished = p.waitForFinished(120000);
        QByteArray out = p.readAllStandardOutput();
        status = finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        err = p.readAllStandardError().right(400);
        return out;
    };
    for (const QString& name : corpus.entryList({"*.dwg"}, QDir::Files)) {
        int status = 0;
        QByteArray err;
        QByteArray verified = read(corpus.filePath(name), true, status, err);
        EXPECT_EQ(status, 0) << name.toStdString() << ": " << err.toStdString();
        QByteArray fromMemory = read(corpus.filePath(name), false, status, err);
        EXPECT_EQ(status, 0) << name.toStdString() << ": " << err.toStdString();
        EXPECT_FALSE(fromMemory.isEmpty()) << name.toStdString();
        EXPECT_TRUE(fromMemory == verified) << name.toStdString() << ": memory and accessors read differently";
        ++checked;
    }
    EXPECT_GE(checked, 7);
}

TEST(DwgReader, TheReaderEndsWhenTheProgramIsKilled)
{
    // A reader that would run for minutes, and tells its process id.
    QTemporaryDir dir;
    QString pidFile = dir.filePath("reader.pid");
    QString node = dir.filePath("node");
    {
        QFile f(node);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\nif [ \"$1\" = --version ]; then echo v22.0.0; exit 0; fi\n"
                               "echo $$ > %1\nexec sleep 300\n")
                    .arg(pidFile)
                    .toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TESSILUX_NODE", node);
    program.setProcessEnvironment(env);
    program.start(testpaths::program(), {"info", testpaths::corpus("sample_2000.dwg")});
    ASSERT_TRUE(program.waitForStarted());
    QElapsedTimer clock;
    clock.start();
    qint64 reader = 0;
    while (clock.elapsed() < 30000 && !reader) {
        QThread::msleep(50);
        reader = readAll(pidFile).trimmed().toLongLong();
    }
    ASSERT_GT(reader, 0) << "the reader did not start";
    ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
    program.waitForFinished(10000);
    clock.restart();
    bool gone = false;
    while (clock.elapsed() < 10000 && !gone) {
        // Gone, or a zombie waiting for whoever adopted it.
        QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(reader));
        gone = stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
        if (!gone) QThread::msleep(20);
    }
    EXPECT_TRUE(gone) << "the reader outlived the program";
    if (!gone) ::kill(static_cast<pid_t>(reader), SIGKILL);
}
