#include "app/RenderCommand.h"

#include "app/CommandLine.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/FileNames.h"
#include "ddvue/render/DrawingScene.h"
#include "ddvue/render/Pictures.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>

#include <ostream>
#include <sys/stat.h>

namespace app {

namespace {

using cli::failed;
using cli::usage;

constexpr int kDefaultWidth = 1600;
constexpr int kDefaultHeight = 1200;
constexpr int kMaxSide = 16384;



int render(const QStringList& args, std::ostream& out, std::ostream& err)
{
    QString drawing, outPath, sizeText, layout;
    bool overwrite = false;
    cli::Arguments reader(args);
    while (reader.next()) {
        const QString& a = reader.current();
        if (!reader.isOption(a == QLatin1String("-o") || a == QLatin1String("--size") ||
                             a == QLatin1String("--layout") || a == QLatin1String("--overwrite"))) {
            if (!drawing.isEmpty()) return usage(err, QStringLiteral("render takes one drawing"));
            drawing = a;
        } else if (a == QLatin1String("-o")) {
            if (!reader.value(outPath)) return usage(err, QStringLiteral("-o needs a file"));
        } else if (a == QLatin1String("--size")) {
            if (!reader.value(sizeText)) return usage(err, QStringLiteral("--size needs WIDTHxHEIGHT"));
        } else if (a == QLatin1String("--layout")) {
            if (!reader.value(layout)) return usage(err, QStringLiteral("--layout needs a layout's name"));
        } else if (a == QLatin1String("--overwrite")) {
            overwrite = true;
        } else {
            return usage(err, QStringLiteral("unknown option %1").arg(a));
        }
    }
    if (int status = reader.finish(QStringLiteral("render"), out, err); status >= 0) return status;
    if (drawing.isEmpty()) return usage(err, QStringLiteral("render needs a drawing"));
    if (outPath.isEmpty()) return usage(err, QStringLiteral("render needs -o OUT.png or -o OUT.bmp"));
    QString suffix = ddvue::render::pictureFormat(outPath);
    if (suffix.isEmpty()) {
        // Standard output, a pipe or a device has no name to tell the kind
        // of picture by: it gets a PNG.
        struct stat st {};
        const bool stream = outPath == QLatin1String("-") ||
                            (::stat(ddvue::encodeFileName(outPath).c_str(), &st) == 0 &&
                             (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)));
        if (!stream)
            return usage(err, QStringLiteral("the picture must be a .png, .bmp, .svg or .pdf file, not %1").arg(outPath));
        suffix = QStringLiteral("png");
    }

    QSize size(kDefaultWidth, kDefaultHeight);
    if (!sizeText.isEmpty()) {
        static const QRegularExpression pattern(QStringLiteral("^(\\d{1,6})[xX](\\d{1,6})$"));
        QRegularExpressionMatch m = pattern.match(sizeText.trimmed());
        if (!m.hasMatch()) return usage(err, QStringLiteral("--size needs WIDTHxHEIGHT, not %1").arg(sizeText));
        size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
        if (size.width() < 1 || size.height() < 1 || size.width() > kMaxSide || size.height() > kMaxSide)
            return usage(err, QStringLiteral("--size must be between 1x1 and %1x%1").arg(kMaxSide));
    }
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return failed(err, QStringLiteral("rendering needs the GUI library, which this run did not start"));

    ddvue::DDVueEngine engine;
    engine.setReadOnly(true);
    if (!cli::openDrawing(engine, drawing, err)) return ExitFailed;

    // Drawn once, as the drawing stands: the scene need not follow its edits.
    ddvue::render::DrawingScene scene;
    if (!layout.isEmpty()) {
        QStringList names;
        bool found = false;
        for (const ddvue::render::LayoutEntry& l : ddvue::render::layoutsOf(*engine.document())) {
            names << QString::fromStdString(l.name);
            if (!found && names.back().compare(layout, Qt::CaseInsensitive) == 0) {
                scene.showSpace(l.space);
                found = true;
            }
        }
        if (!found)
            return failed(err, QStringLiteral("%1 has no layout named %2; its layouts are %3")
                                   .arg(drawing, layout, names.join(QStringLiteral(", "))));
    }
    scene.build(*engine.document(), engine.path(), engine.searchPaths());
    ddvue::render::ViewTransform view;
    view.setViewport(size.width(), size.height());
    view.zoomToExtents(scene.scene().extents());
    // The picture is made in memory and written like every other file, so
    // that a full disk leaves no half picture behind.
    QByteArray bytes;
    QString why;
    if (!ddvue::render::paintPicture(scene.scene(), view, ddvue::render::PaintOptions(), suffix, bytes, why))
        return failed(err, QStringLiteral("cannot make the picture for %1: %2").arg(outPath, why));
    return cli::writeOut(bytes.toStdString(), outPath, out, err, overwrite);
}

}  // namespace

void registerRenderCommand() { registerCommand(QStringLiteral("render"), render); }

}  // namespace app
