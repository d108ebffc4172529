#include "ddvue/render/Pictures.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <climits>
#include <cmath>

namespace ddvue::render {

namespace {

// Writes what a painter paints as SVG elements, in the device's pixels:
// paths for lines, fills and letters (a letter is its outline), cut to where
// the painter clips.
class SvgEngine : public QPaintEngine {
public:
    SvgEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    QByteArray out;

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& state) override
    {
        const QPaintEngine::DirtyFlags dirty = state.state();
        if (dirty & DirtyPen) pen_ = state.pen();
        if (dirty & DirtyBrush) brush_ = state.brush();
        if (dirty & DirtyTransform) transform_ = state.transform();
        if (dirty & (DirtyClipPath | DirtyClipRegion | DirtyClipEnabled)) {
            // The painter clips with no transform of its own: the clip is
            // in pixels.
            QRectF clip;
            bool clipped = false;
            if (dirty & DirtyClipEnabled) clipped = state.isClipEnabled();
            if (dirty & DirtyClipPath) {
                clipped = state.clipOperation() != Qt::NoClip;
                clip = state.clipPath().boundingRect();
            } else if (dirty & DirtyClipRegion) {
                clipped = state.clipOperation() != Qt::NoClip;
                clip = state.clipRegion().boundingRect();
            } else {
                clip = clip_;
            }
            clipped_ = clipped;
            clip_ = clip;
        }
    }

    // Where the painter clips (a viewport onto model space), the geometry is
    // cut to the clip here, so that the file needs no clip paths, which not
    // every reader of SVG honours.
    void drawPath(const QPainterPath& path) override { put(clipped(transform_.map(path)), true); }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override
    {
        if (count < 2) return;
        QPainterPath path;
        path.setFillRule(mode == WindingMode ? Qt::WindingFill : Qt::OddEvenFill);
        path.addPolygon(QPolygonF(QList<QPointF>(points, points + count)));
        if (mode != PolylineMode) path.closeSubpath();
        put(mode != PolylineMode ? clipped(transform_.map(path)) : transform_.map(path), mode != PolylineMode);
    }
    void drawLines(const QLineF* lines, int count) override
    {
        QPainterPath path;
        for (int i = 0; i < count; ++i) {
            QLineF l = transform_.map(lines[i]);
            if (clipped_ && !clipLine(l)) continue;
            path.moveTo(l.p1());
            path.lineTo(l.p2());
        }
        put(path, false);
    }
    void drawPoints(const QPointF* points, int count) override
    {
        // A point as a dot of the pen's width (a pixel for the thinnest).
        const double w = std::max(1.0, pen_.widthF());
        for (int i = 0; i < count; ++i) {
            const QPointF p = transform_.map(points[i]);
            if (clipped_ && !clip_.contains(p)) continue;
            out += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%3\" fill=\"%4\"/>\n")
                       .arg(num(p.x() - (w > 1 ? w / 2 : 0)), num(p.y() - (w > 1 ? w / 2 : 0)), num(w),
                            pen_.color().name())
                       .toUtf8();
        }
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}

private:
    static QString num(double v) { return QString::number(v, 'f', 2); }

    QPainterPath clipped(const QPainterPath& path) const
    {
        if (!clipped_) return path;
        QPainterPath area;
        area.addRect(clip_);
        return path.intersected(area);
    }

    // Cuts a line to the clip (Liang-Barsky); false when none of it is inside.
    bool clipLine(QLineF& l) const
    {
        const double x0 = l.x1(), y0 = l.y1(), dx = l.dx(), dy = l.dy();
        double u0 = 0, u1 = 1;
        auto edge = [&](double p, double q) {
            if (p == 0) return q >= 0;
            const double u = q / p;
            if (p < 0) {
                if (u > u1) return false;
                u0 = std::max(u0, u);
            } else {
                if (u < u0) return false;
                u1 = std::min(u1, u);
            }
            return true;
        };
        if (!edge(-dx, x0 - clip_.left()) || !edge(dx, clip_.right() - x0) || !edge(-dy, y0 - clip_.top()) ||
            !edge(dy, clip_.bottom() - y0))
            return false;
        l = QLineF(x0 + u0 * dx, y0 + u0 * dy, x0 + u1 * dx, y0 + u1 * dy);
        return true;
    }

    void put(const QPainterPath& path, bool fillable)
    {
        if (path.isEmpty()) return;
        QString d;
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            if (e.isMoveTo()) {
                d += QStringLiteral("M%1 %2").arg(num(e.x), num(e.y));
            } else if (e.isLineTo()) {
                d += QStringLiteral("L%1 %2").arg(num(e.x), num(e.y));
            } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
                const QPainterPath::Element c2 = path.elementAt(i + 1), to = path.elementAt(i + 2);
                d += QStringLiteral("C%1 %2 %3 %4 %5 %6")
                         .arg(num(e.x), num(e.y), num(c2.x), num(c2.y), num(to.x), num(to.y));
                i += 2;
            }
        }
        const bool fill = fillable && brush_.style() != Qt::NoBrush;
        const bool stroke = pen_.style() != Qt::NoPen;
        if (!fill && !stroke) return;
        QString element = QStringLiteral("<path d=\"%1\"").arg(d);
        if (fill) {
            element += QStringLiteral(" fill=\"%1\"").arg(brush_.color().name());
            if (brush_.color().alpha() < 255)
                element += QStringLiteral(" fill-opacity=\"%1\"").arg(num(brush_.color().alphaF()));
            if (path.fillRule() == Qt::OddEvenFill) element += QStringLiteral(" fill-rule=\"evenodd\"");
        } else {
            element += QStringLiteral(" fill=\"none\"");
        }
        if (stroke) {
            element += QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\"")
                           .arg(pen_.color().name(), num(pen_.widthF() > 0 ? pen_.widthF() : 1));
            // The thinnest line ends where it ends; a wide one as its pen says.
            if (pen_.widthF() > 0 && pen_.capStyle() == Qt::RoundCap)
                element += QStringLiteral(" stroke-linecap=\"round\"");
            else if (pen_.widthF() > 0 && pen_.capStyle() == Qt::SquareCap)
                element += QStringLiteral(" stroke-linecap=\"square\"");
        }
        element += QStringLiteral("/>\n");
        out += element.toUtf8();
    }

    QPen pen_;
    QBrush brush_;
    QTransform transform_;
    QRectF clip_;
    bool clipped_ = false;
};

class SvgDevice : public QPaintDevice {
public:
    SvgDevice(int width, int height) : width_(width), height_(height) {}
    QPaintEngine* paintEngine() const override { return &engine; }
    mutable SvgEngine engine;

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return width_;
        case PdmHeight: return height_;
        case PdmWidthMM: return static_cast<int>(width_ * 25.4 / 96);
        case PdmHeightMM: return static_cast<int>(height_ * 25.4 / 96);
        case PdmNumColors: return INT_MAX;
        case PdmDepth: return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return 96;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
        default: return 0;
        }
    }

private:
    int width_, height_;
};

}  // namespace

QString pictureFormat(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    for (const char* known : {"bmp", "png", "svg", "pdf"})
        if (suffix == QLatin1String(known)) return suffix;
    return QString();
}

bool paintPicture(const Scene& scene, const ViewTransform& view, const PaintOptions& options, const QString& format,
                  QByteArray& bytes, QString& why)
{
    bytes.clear();
    why.clear();
    const int w = view.width(), h = view.height();
    if (w <= 0 || h <= 0) {
        why = QStringLiteral("the view has no size to make a picture of");
        return false;
    }
    if (format == QLatin1String("svg")) {
        SvgDevice device(w, h);
        {
            QPainter painter(&device);
            ScenePainter().paint(painter, scene, view, options);
        }
        bytes = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                               "viewBox=\"0 0 %1 %2\">\n")
                    .arg(w)
                    .arg(h)
                    .toUtf8();
        bytes += device.engine.out;
        bytes += "</svg>\n";
        return true;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (format == QLatin1String("pdf")) {
        // A page of the view's proportions, the view's pixels at 96 an inch.
        QPdfWriter pdf(&buffer);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(w * 72.0 / 96, h * 72.0 / 96), QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter;
        if (!painter.begin(&pdf)) {
            why = QStringLiteral("the PDF could not be started");
            return false;
        }
        ViewTransform page = view;
        const QRect area = painter.viewport();
        page.setViewport(area.width(), area.height());
        ScenePainter().paint(painter, scene, page, options);
        painter.end();
        return true;
    }
    if (format != QLatin1String("png") && format != QLatin1String("bmp")) {
        why = QStringLiteral("a picture is written as BMP, PNG, SVG or PDF");
        return false;
    }
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) {
        why = QStringLiteral("the view is too large to make a picture of");
        return false;
    }
    {
        QPainter painter(&image);
        ScenePainter().paint(painter, scene, view, options);
    }
    QImageWriter writer(&buffer, format.toLatin1());
    if (!writer.write(image)) {
        why = QStringLiteral("the picture could not be encoded as %1: %2").arg(format.toUpper(), writer.errorString());
        return false;
    }
    return true;
}

}  // namespace ddvue::render
