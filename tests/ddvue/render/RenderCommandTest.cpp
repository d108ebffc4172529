// tessilux render, every drawing of the corpus, and external references.

#include "TestPaths.h"
#include "TinyDxf.h"
#include "ddvue/DDVue.h"
#include "ddvue/render/DrawingScene.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ddvue;
using namespace tinydxf;

namespace {

int run(const QStringList& args, QString* err = nullptr)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));  // the command finds its own platform
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    p.setProcessEnvironment(env);
    p.start(testpaths::program(), QStringList{QStringLiteral("render")} + args);
    if (!p.waitForFinished(120000)) return -1;
    if (err) *err = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitCode();
}

int litPixels(const QImage& img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) != qRgb(0, 0, 0);
    return n;
}

}  // namespace

TEST(RenderCommand, WritesThePictureOrSaysWhyNot)
{
    QTemporaryDir dir;
    QString drawing = testpaths::corpus(QStringLiteral("sample_2018_ascii.dxf"));
    QString png = dir.filePath(QStringLiteral("out.png")), bmp = dir.filePath(QStringLiteral("out.bmp"));
    QString err;
    ASSERT_EQ(run({drawing, QStringLiteral("-o"), png, QStringLiteral("--size"), QStringLiteral("320x200")}, &err), 0)
        << err.toStdString();
    QImage image(png, "PNG");
    EXPECT_EQ(image.size(), QSize(320, 200));
    EXPECT_GT(litPixels(image), 100);
    ASSERT_EQ(run({drawing, QStringLiteral("-o"), bmp}), 0);
    EXPECT_EQ(QImage(bmp, "BMP").size(), QSize(1600, 1200));

    EXPECT_EQ(run({drawing}), 2);
    EXPECT_EQ(run({drawing, QStringLiteral("-o"), dir.filePath(QStringLiteral("out.jpg"))}), 2);
    EXPECT_EQ(run({drawing, QStringLiteral("-o"), png, QStringLiteral("--size"), QStringLiteral("0x10")}), 2);
    EXPECT_EQ(run({drawing, QStringLiteral("-o"), png, QStringLiteral("--size"), QStringLiteral("wide")}), 2);
    EXPECT_EQ(run({drawing, QStringLiteral("-o"), png, QStringLiteral("--colour")}), 2);
    EXPECT_EQ(run({dir.filePath(QStringLiteral("none.dxf")), QStringLiteral("-o"), png}), 1);
    QString garbage = dir.filePath(QStringLiteral("garbage.dxf"));
    QFile g(garbage);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    g.write("\x01\x02 not a drawing");
    g.close();
    EXPECT_EQ(run({garbage, QStringLiteral("-o"), png}), 1);
    EXPECT_EQ(run({drawing, QStringLiteral("-o"), dir.filePath(QStringLiteral("no/folder/x.png"))}), 1);
    // A layout by its name, in any letter case; one the drawing lacks is named with those it has.
    ASSERT_EQ(run({drawing, QStringLiteral("-o"), png, QStringLiteral("--layout"), QStringLiteral("model"),
                   QStringLiteral("--size"), QStringLiteral("320x200"), QStringLiteral("--overwrite")}),
              0);
    EXPECT_GT(litPixels(QImage(png, "PNG")), 100);
    EXPECT_EQ(run({drawing, QStringLiteral("-o"), png, QStringLiteral("--layout=Nowhere"), QStringLiteral("--overwrite")},
                  &err),
              1);
    EXPECT_TRUE(err.contains(QStringLiteral("Nowhere")) && err.contains(QStringLiteral("Model"))) << err.toStdString();
    EXPECT_EQ(run({drawing, QStringLiteral("-o"), png, QStringLiteral("--layout")}), 2);
    // Vectors: SVG paths, a PDF page.
    const QString svg = dir.filePath(QStringLiteral("out.svg")), pdf = dir.filePath(QStringLiteral("out.pdf"));
    ASSERT_EQ(run({drawing, QStringLiteral("-o"), svg, QStringLiteral("--size"), QStringLiteral("320x200")}), 0);
    ASSERT_EQ(run({drawing, QStringLiteral("-o"), pdf}), 0);
    QFile svgFile(svg), pdfFile(pdf);
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly) && pdfFile.open(QIODevice::ReadOnly));
    const QByteArray svgText = svgFile.readAll();
    EXPECT_TRUE(svgText.contains("width=\"320\" height=\"200\""));
    EXPECT_GT(svgText.count("<path"), 10);  // lines of a color go together, a letter is its outline
    EXPECT_GT(svgText.count('L'), 200);
    EXPECT_TRUE(pdfFile.readAll().startsWith("%PDF"));
}

TEST(RenderCommand, EveryCorpusDrawingShowsSomething)
{
    QStringList files;
    for (const QString& folder : {testpaths::corpus(), testpaths::corpus(QStringLiteral("more"))}) {
        QDir dir(folder);
        for (const QString& name : dir.entryList({QStringLiteral("*.dxf"), QStringLiteral("*.DXF")}, QDir::Files))
            files << dir.filePath(name);
    }
    ASSERT_GE(files.size(), 20);
    for (const QString& file : files) {
        DDVueEngine engine;
        ASSERT_TRUE(open(engine, file)) << file.toStdString();
        render::DrawingScene scene;
        scene.attach(*engine.document(), file, QString());
        QImage img = render::renderScene(scene.scene(), QSize(400, 300));
        EXPECT_GT(litPixels(img), 200) << file.toStdString();
        // Every paper layout too: what lies on it shows.
        for (const render::LayoutEntry& layout : render::layoutsOf(*engine.document())) {
            if (layout.space == 0) continue;
            scene.showSpace(layout.space);
            const render::Scene& paper = scene.scene();
            if (paper.liveCount() == 0) continue;
            EXPECT_GT(litPixels(render::renderScene(paper, QSize(400, 300))), 20) << file.toStdString() << " "
                                                                                   << layout.name;
        }
    }
}

TEST(ExternalReferences, DrawnWhenTheirFileIsFound)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("parts"));
    Drawing part;
    part.layer("EDGE", 2);
    part.add(circle(0, 0, 5, "EDGE"));
    part.save(dir.filePath(QStringLiteral("parts")), QStringLiteral("wheel.dxf"));

    Drawing host;
    host.block("wheel", {}, 0, 0, 4, "C:\\Projects\\parts\\wheel.dxf");  // as a Windows program stores it
    host.add(insert("wheel", 100, 0));
    host.add(line(0, 0, 10, 0));
    QString hostPath = host.save(dir.path(), QStringLiteral("car.dxf"));

    DDVue view;
    view.resize(200, 100);
    ASSERT_TRUE(view.OpenDrawing(hostPath));
    EXPECT_LT(view.view().toScreen({100, 0}).x(), 0 + 1e9);  // the view holds
    double x = 0, y = 0;
    view.ScreenToDrawing(199, 50, x, y);
    EXPECT_LT(x, 50);  // the wheel is not found: only the line shows

    // The search paths name the folder: the wheel appears (the drawing window
    // sets them after opening).
    view.SetSearchPaths(QStringLiteral("  /nowhere ; ") + dir.filePath(QStringLiteral("parts")));
    view.zoomToExtents();
    view.ScreenToDrawing(199, 50, x, y);
    EXPECT_GT(x, 100);
    QImage img = view.viewImage();
    int yellow = 0;
    for (int py = 0; py < img.height(); ++py)
        for (int px = 0; px < img.width(); ++px) yellow += img.pixel(px, py) == qRgb(255, 255, 0);
    EXPECT_GT(yellow, 20);  // its layer's color comes with it

    // Beside the drawing it is found at once.
    QFile::copy(dir.filePath(QStringLiteral("parts/wheel.dxf")), dir.filePath(QStringLiteral("wheel.dxf")));
    DDVue beside;
    beside.resize(200, 100);
    ASSERT_TRUE(beside.OpenDrawing(hostPath));
    beside.ScreenToDrawing(199, 50, x, y);
    EXPECT_GT(x, 100);
}
