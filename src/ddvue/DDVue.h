#pragma once
// The drawing component as a widget: shows the open drawing and offers every
// drawing operation. The operations themselves live in DDVueEngine, which
// this widget owns and forwards to; the visual ones live here.

#include "ddvue/DDVueEngine.h"

#include <QWidget>

namespace ddvue {

class DDVue : public QWidget {
    Q_OBJECT
public:
    explicit DDVue(QWidget* parent = nullptr);
    ~DDVue() override;

    // Drawing operations (see DDVueEngine).
    bool OpenDrawing(QString& path, const QString& password = QString());
    void CloseDrawing();
    bool ExportDrawingContent(QString& outputPath, long f1, long f2, long f3, long f4, long f5, long f6, long f7,
                              long f8);
    bool SetAttributeValue(QString& value, const QString& attributeHandle);
    bool SaveDrawing(QString& path);
    bool SetTextValue(const QString& handle, QString& value);
    bool SetEntityColor(const QString& handle, long color);
    bool SetLayerDisplay(const QString& layerName, QString& state);
    void SetSearchPaths(const QString& paths);
    long GetDrawingVersion(QString& path);
    bool SetLayerColor(const QString& layerName, long color);
    bool DeleteEntity(const QString& handle);
    void QueryPasswordProtection(QString& unused, long& flag);

    // Visual operations.
    void SaveAsBitmap(QString& path);
    void ScreenToDrawing(double x, double y, double& drawingX, double& drawingY) const;
    void PrintDrawing();                 // to the default printer, no dialog
    void PrintDrawing(bool showDialog);  // with the print dialog when true
    void CopyToClipboard();
    void SetFocus() { setFocus(); }
    void Move(int left, int top, int width, int height) { setGeometry(left, top, width, height); }
    int Height() const { return height(); }

    DDVueEngine& engine() { return engine_; }
    const DDVueEngine& engine() const { return engine_; }

signals:
    void PointerMoved(int x, int y);
    void DrawingWindowRequest();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DDVueEngine engine_;
};

}  // namespace ddvue
