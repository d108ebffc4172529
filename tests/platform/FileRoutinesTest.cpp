// The shared file routines.

#include "platform/FileRoutines.h"

#include "Doubles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(FileExists, FilesFoldersAndWildcards)
{
    QTemporaryDir dir;
    QDir d(dir.path());
    for (const char* name : {"plan.dxf", "drawing.DWG", "[a].txt"}) QFile(d.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly);
    d.mkdir(QStringLiteral("sub"));

    EXPECT_TRUE(platform::FileExists(d.filePath(QStringLiteral("plan.dxf"))));
    EXPECT_TRUE(platform::FileExists(d.filePath(QStringLiteral("sub"))));
    EXPECT_FALSE(platform::FileExists(d.filePath(QStringLiteral("none.dxf"))));
    EXPECT_FALSE(platform::FileExists(QString()));
    EXPECT_TRUE(platform::FileExists(d.filePath(QStringLiteral("*.dxf"))));
    EXPECT_TRUE(platform::FileExists(d.filePath(QStringLiteral("dr?wing.*"))));
    EXPECT_TRUE(platform::FileExists(d.filePath(QStringLiteral("[a]*"))));  // brackets are plain characters
    EXPECT_FALSE(platform::FileExists(d.filePath(QStringLiteral("*.pdf"))));
    // Wildcards match in either letter case, as the file browser does.
    EXPECT_TRUE(platform::FileExists(d.filePath(QStringLiteral("*.DXF"))));
    EXPECT_TRUE(platform::FileExists(d.filePath(QStringLiteral("PLAN.*"))));
    EXPECT_FALSE(platform::FileExists(d.filePath(QStringLiteral("s*/plan.dxf"))));  // wildcards only in the last part
}

TEST(ShowSaveFileDialog, ConvertsTheFilterAndAnswersThePath)
{
    EXPECT_EQ(platform::qtFileFilter(QStringLiteral("BMP Files (*.bmp)|*.bmp")), QStringLiteral("BMP Files (*.bmp)"));
    EXPECT_EQ(platform::qtFileFilter(QStringLiteral("Pictures|*.bmp;*.dib|All Files (*.*)|*.*|")),
              QStringLiteral("Pictures (*.bmp *.dib);;All Files (*.*)"));

    platform::ScriptedFileDialogs dialogs;
    platform::Installed guard(dialogs);
    dialogs.answers = {QStringLiteral("/tmp/out.bmp"), QString()};
    QString filter = QStringLiteral("BMP Files (*.bmp)|*.bmp");
    EXPECT_EQ(platform::ShowSaveFileDialog(nullptr, filter, QStringLiteral("Save As BMP"), QStringLiteral("/home/x"),
                                      QStringLiteral("plan.bmp")),
              QStringLiteral("/tmp/out.bmp"));
    EXPECT_EQ(filter, QStringLiteral("BMP Files (*.bmp)"));  // comes back converted
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, QStringLiteral("Save As BMP"));
    EXPECT_EQ(dialogs.requests[0].directory, QStringLiteral("/home/x/plan.bmp"));
    EXPECT_EQ(dialogs.requests[0].filter, QStringLiteral("BMP Files (*.bmp)"));
    // Cancelled: "".
    QString again = QStringLiteral("BMP Files (*.bmp)|*.bmp");
    EXPECT_EQ(platform::ShowSaveFileDialog(nullptr, again, QString(), QStringLiteral("/home/x"), QString()), QString());
}
