#include "ddvue/DDVue.h"

#include <QPainter>

namespace ddvue {

DDVue::DDVue(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("DDVue1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

DDVue::~DDVue() = default;

bool DDVue::OpenDrawing(QString& path, const QString& password)
{
    bool ok = engine_.OpenDrawing(path, password);
    update();
    return ok;
}

void DDVue::CloseDrawing()
{
    engine_.CloseDrawing();
    update();
}

bool DDVue::ExportDrawingContent(QString& outputPath, long f1, long f2, long f3, long f4, long f5, long f6, long f7,
                                 long f8)
{
    return engine_.ExportDrawingContent(outputPath, f1, f2, f3, f4, f5, f6, f7, f8);
}

bool DDVue::SetAttributeValue(QString& value, const QString& attributeHandle)
{
    bool ok = engine_.SetAttributeValue(value, attributeHandle);
    update();
    return ok;
}

bool DDVue::SaveDrawing(QString& path) { return engine_.SaveDrawing(path); }

bool DDVue::SetTextValue(const QString& handle, QString& value)
{
    bool ok = engine_.SetTextValue(handle, value);
    update();
    return ok;
}

bool DDVue::SetEntityColor(const QString& handle, long color)
{
    bool ok = engine_.SetEntityColor(handle, color);
    update();
    return ok;
}

bool DDVue::SetLayerDisplay(const QString& layerName, QString& state)
{
    bool ok = engine_.SetLayerDisplay(layerName, state);
    update();
    return ok;
}

void DDVue::SetSearchPaths(const QString& paths) { engine_.SetSearchPaths(paths); }

long DDVue::GetDrawingVersion(QString& path) { return engine_.GetDrawingVersion(path); }

bool DDVue::SetLayerColor(const QString& layerName, long color)
{
    bool ok = engine_.SetLayerColor(layerName, color);
    update();
    return ok;
}

bool DDVue::DeleteEntity(const QString& handle)
{
    bool ok = engine_.DeleteEntity(handle);
    update();
    return ok;
}

void DDVue::QueryPasswordProtection(QString& unused, long& flag) { engine_.QueryPasswordProtection(unused, flag); }

void DDVue::SaveAsBitmap(QString&) {}

void DDVue::ScreenToDrawing(double x, double y, double& drawingX, double& drawingY) const
{
    drawingX = x;
    drawingY = y;
}

void DDVue::PrintDrawing() {}
void DDVue::PrintDrawing(bool) {}
void DDVue::CopyToClipboard() {}

void DDVue::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
}

}  // namespace ddvue
