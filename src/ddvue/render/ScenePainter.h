#pragma once
// Paints a scene through a view: asks the spatial index for what lies in
// the view, keeps the drawing's order, batches lines of one color into one
// call, and draws what is smaller than a pixel as a single dot.

#include "ddvue/render/Scene.h"
#include "ddvue/render/ViewTransform.h"

#include <QColor>
#include <QGlyphRun>
#include <QHash>
#include <QList>
#include <QLineF>
#include <QPoint>

#include <vector>

class QPainter;

namespace ddvue::render {

struct PaintOptions {
    QRgb background = 0xFF000000;  // black, as CAD programs show drawings
    QRgb foreground = 0xFFFFFFFF;  // what color index 7 becomes
    double lineWidth = 0;          // in device pixels; 0 for the thinnest line the device draws
    double pixelsPerMm = 96 / 25.4;  // what a lineweight's millimetre becomes
    // Paper: white background, index 7 black, lines of about a quarter
    // millimetre at `dpi`.
    static PaintOptions paper(double dpi)
    {
        return PaintOptions{0xFFFFFFFF, 0xFF000000, dpi > 150 ? dpi * 0.25 / 25.4 : 0, dpi > 0 ? dpi / 25.4 : 96 / 25.4};
    }
};

// A painter paints on one thread: the glyphs it keeps for a scene's texts
// are shaped with that thread's fonts when a text is first painted large
// enough to read.
class ScenePainter {
public:
    // Fills the view's rectangle (0, 0, width, height) with the background
    // and paints what the view shows of the scene.
    void paint(QPainter& painter, const Scene& scene, const ViewTransform& view, const PaintOptions& options);

    // Paints over what the painter holds (no background) only some of what
    // the view shows: the primitives `first` to `first + count - 1`, or
    // (count 0) those whose layer is marked in `layers`. Every primitive
    // takes `color` unless `color` is 0, when it keeps its own; lines are
    // `lineWidth` pixels wide. The view points objects out so.
    struct Selection {
        std::uint32_t first = 0, count = 0;
        const std::vector<char>* layers = nullptr;
        QRgb color = 0;
        double lineWidth = 0;
    };
    void paintOver(QPainter& painter, const Scene& scene, const ViewTransform& view, const Selection& selection);

    struct Stats {
        std::size_t considered = 0;  // primitives the index offered
        std::size_t drawn = 0;       // primitives painted in full
        std::size_t dots = 0;        // primitives painted as a dot
    };
    const Stats& lastStats() const { return stats_; }

private:
    class Pass;
    struct Batch {
        QRgb color = 0;
        double width = 0;
        bool dashed = false;  // flat ends, so that wide dashes keep their gaps
        std::vector<QLineF> lines;
        std::vector<QPoint> dots;
    };
    std::vector<std::uint64_t> marks_;
    std::vector<std::uint64_t> pixels_;
    std::vector<Batch> batches_;
    std::vector<QPointF> scratch_;
    Stats stats_;

    // The glyph runs of a scene's text by the text's index, and by the
    // shaped text they are made of, which equal texts share.
    const QList<QGlyphRun>& glyphs(const Scene& scene, std::uint32_t text);
    std::uint64_t glyphScene_ = 0;  // the scene generation they belong to
    std::vector<QList<QGlyphRun>> glyphs_;
    std::vector<char> made_;
    QHash<const ShapedText*, QList<QGlyphRun>> byShape_;
    GlyphFonts fonts_;
};

}  // namespace ddvue::render
