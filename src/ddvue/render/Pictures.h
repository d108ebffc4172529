#pragma once
// A scene as a picture file: BMP and PNG pixels, SVG and PDF vectors. Each
// is painted by the scene painter, so that every picture shows what the view
// shows; the bytes are made in memory, for the caller to write through the
// safe write routine.

#include "ddvue/render/ScenePainter.h"

#include <QByteArray>
#include <QString>

namespace ddvue::render {

// The picture formats, by a file name's suffix (any letter case): "bmp",
// "png", "svg" or "pdf"; empty for any other.
QString pictureFormat(const QString& fileName);

// Paints what `view` shows of the scene (its viewport's size in pixels) as
// a picture of `format`. SVG and PDF keep the lines, fills and letters as
// vectors: SVG at one unit a pixel, PDF on a page of the view's proportions
// at 96 pixels an inch. False, with `why` set, when it could not be made.
bool paintPicture(const Scene& scene, const ViewTransform& view, const PaintOptions& options, const QString& format,
                  QByteArray& bytes, QString& why);

}  // namespace ddvue::render
