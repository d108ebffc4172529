// What happens when a DWG cannot be read: no Node, an old Node, a reader that
// hangs or crashes, a drawing the library refuses, an encrypted drawing.
// Every case gives a clear reason and leaves no process behind.

#include "TestPaths.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/dwg/DwgImport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : name_(name), had_(qEnvironmentVariableIsSet(name))
    {
        old_ = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (had_) qputenv(name_, old_);
        else qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// A stand-in for node: answers --version with `version`, then runs `body`.
QString fakeNode(const QTemporaryDir& dir, const QString& name, const QString& version, const QString& body)
{
    QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(QStringLiteral("#!/bin/sh\nif [ \"$1\" = --version ]; then echo %1; exit 0; fi\n%2\n").arg(version, body).toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

struct Outcome {
    bool opened;
    QString error;
    long passwordFlag;
};

Outcome open(const QString& file)
{
    ddvue::DDVueEngine engine;
    QString path = file;
    Outcome o{engine.OpenDrawing(path), engine.lastError(), 0};
    bool needsPassword = false;
    engine.QueryPasswordProtection(needsPassword);
    o.passwordFlag = needsPassword ? 1 : 0;
    return o;
}

// Children of this process that have ended but were never waited for.
int zombieChildren()
{
    int zombies = 0;
    QString self = QString::number(getpid());
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        QString line = QString::fromLatin1(stat.readAll());
        QStringList rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest[1] == self && rest[0] == "Z") ++zombies;
    }
    return zombies;
}

const QString kDwg = testpaths::corpus("sample_2018.dwg");

}  // namespace

TEST(DwgImport, WithoutNodeTheReasonSaysSo)
{
    ScopedEnv node("TESSILUX_NODE", "/nonexistent/node");
    Outcome o = open(kDwg);
    EXPECT_FALSE(o.opened);
    EXPECT_TRUE(o.error.contains("Node.js")) << o.error.toStdString();
    EXPECT_EQ(o.passwordFlag, 0);
}

TEST(DwgImport, AnOldNodeIsNamedAsTheReason)
{
    QTemporaryDir dir;
    // The reader refuses an old Node itself (exit status 4); one that fails
    // in another way, or writes nothing, is named as the reason all the same.
    const char* bodies[] = {"echo 'Node 18.19.0 is too old' >&2; exit 4",
                            "echo 'SyntaxError: Unexpected token' >&2; exit 1", "exit 0"};
    int n = 0;
    for (const char* body : bodies) {
        ScopedEnv node("TESSILUX_NODE", fakeNode(dir, QStringLiteral("node18-%1").arg(++n), "v18.19.0", body).toLocal8Bit());
        Outcome o = open(kDwg);
        EXPECT_FALSE(o.opened) << body;
        EXPECT_TRUE(o.error.contains("20 or later")) << o.error.toStdString();
        EXPECT_TRUE(o.error.contains("18.19.0")) << o.error.toStdString();
    }
}

TEST(DwgImport, NodeIsStartedOnceForADrawingThatReads)
{
    // Asking Node its version would start it a second time for every
    // drawing; that is done only to explain a failure.
    QTemporaryDir dir;
    QString asked = dir.filePath("asked");
    QString real = QStandardPaths::findExecutable("node");
    ASSERT_FALSE(real.isEmpty());
    ScopedEnv node("TESSILUX_NODE",
                   fakeNode(dir, "node", "v22.1.0; touch " + asked, "exec " + real + " \"$@\"").toLocal8Bit());
    Outcome o = open(kDwg);
    EXPECT_TRUE(o.opened) << o.error.toStdString();
    EXPECT_FALSE(QFile::exists(asked));
}

TEST(DwgImport, AReaderThatHangsIsStoppedAtTheTimeLimit)
{
    QTemporaryDir dir;
    ScopedEnv node("TESSILUX_NODE", fakeNode(dir, "hangs", "v20.11.0", "exec sleep 300").toLocal8Bit());
    ScopedEnv limit("TESSILUX_DWG_TIMEOUT", "1");
    QElapsedTimer clock;
    clock.start();
    Outcome o = open(kDwg);
    EXPECT_FALSE(o.opened);
    EXPECT_TRUE(o.error.contains("longer than 1 seconds")) << o.error.toStdString();
    EXPECT_LT(clock.elapsed(), 60000) << "the time limit was not kept";
    EXPECT_EQ(zombieChildren(), 0);
}

TEST(DwgImport, AReaderThatCrashesOrFailsGivesItsReason)
{
    QTemporaryDir dir;
    {
        ScopedEnv node("TESSILUX_NODE", fakeNode(dir, "crashes", "v22.1.0", "echo 'wasm trap' >&2; kill -SEGV $$").toLocal8Bit());
        Outcome o = open(kDwg);
        EXPECT_FALSE(o.opened);
        EXPECT_TRUE(o.error.contains("stopped unexpectedly")) << o.error.toStdString();
        EXPECT_TRUE(o.error.contains("wasm trap")) << o.error.toStdString();
    }
    {
        ScopedEnv node("TESSILUX_NODE",
                       fakeNode(dir, "fails", "v22.1.0", "echo 'RangeError: out of bounds' >&2; exit 7").toLocal8Bit());
        Outcome o = open(kDwg);
        EXPECT_FALSE(o.opened);
        EXPECT_TRUE(o.error.contains("exit status 7")) << o.error.toStdString();
        EXPECT_TRUE(o.error.contains("RangeError: out of bounds")) << o.error.toStdString();
    }
    {
        // A program that the system cannot start: the system's reason.
        QString path = dir.filePath("unstartable");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/nonexistent/interpreter\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ScopedEnv node("TESSILUX_NODE", path.toLocal8Bit());
        Outcome o = open(kDwg);
        EXPECT_FALSE(o.opened);
        EXPECT_TRUE(o.error.contains("could not be started: No such file or directory")) << o.error.toStdString();
    }
    {
        // A reader that claims success but writes no drawing.
        ScopedEnv node("TESSILUX_NODE", fakeNode(dir, "garbles", "v22.1.0", "echo '{\"blocks\": [' ; exit 0").toLocal8Bit());
        Outcome o = open(kDwg);
        EXPECT_FALSE(o.opened);
        EXPECT_TRUE(o.error.contains("not readable")) << o.error.toStdString();
    }
    EXPECT_EQ(zombieChildren(), 0);
}

TEST(DwgImport, MissingReaderScriptIsNamed)
{
    ScopedEnv script("TESSILUX_DWG_READER", "/nonexistent/read-dwg.mjs");
    Outcome o = open(kDwg);
    EXPECT_FALSE(o.opened);
    EXPECT_TRUE(o.error.contains("/nonexistent/read-dwg.mjs")) << o.error.toStdString();
}

TEST(DwgImport, ADrawingTheLibraryCannotReadIsRefusedWithItsReason)
{
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    QByteArray real;
    {
        QFile f(kDwg);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        real = f.readAll();
    }
    QByteArray garbage(4096, '\xA5');
    for (const Case& c : {Case{"garbage.dwg", QByteArray("AC1032") + garbage}, Case{"truncated.dwg", real.left(300)},
                          Case{"r2000-garbage.dwg", QByteArray("AC1015") + garbage}}) {
        QString path = dir.filePath(c.name);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.bytes);
        f.close();
        Outcome o = open(path);
        EXPECT_FALSE(o.opened) << c.name;
        EXPECT_FALSE(o.error.isEmpty()) << c.name;
        EXPECT_EQ(o.passwordFlag, 0) << c.name;
    }
    EXPECT_EQ(zombieChildren(), 0);
}

TEST(DwgImport, AnEncryptedDrawingIsReportedAsPasswordProtected)
{
    QTemporaryDir dir;
    QFile in(kDwg);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes[0x18] = 1;  // the header's security flags: data encrypted
    QString path = dir.filePath("locked.dwg");
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();

    Outcome o = open(path);
    EXPECT_FALSE(o.opened);
    EXPECT_EQ(o.passwordFlag, 1);
    EXPECT_TRUE(o.error.contains("password")) << o.error.toStdString();

    // The same byte means nothing in the header of a 2000 drawing.
    std::string head = bytes.left(64).toStdString();
    EXPECT_TRUE(ddvue::dwg::isPasswordProtected(head));
    head.replace(0, 6, "AC1015");
    EXPECT_FALSE(ddvue::dwg::isPasswordProtected(head));
    EXPECT_EQ(open(kDwg).passwordFlag, 0);
}
