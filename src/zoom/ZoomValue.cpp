#include "zoom/ZoomValue.h"

#include "edit/CellText.h"

namespace zoom {

ZoomView zoomView(std::optional<extract::Category> category, int column)
{
    if (!category) return ZoomView::Other;
    switch (*category) {
    case extract::Category::Attributes: return ZoomView::Attribute;
    case extract::Category::SingleText:
    case extract::Category::MultiText: return ZoomView::Text;
    case extract::Category::Layers:
        return column == 1 ? ZoomView::LayerDisplay : column == 2 ? ZoomView::LayerColor : ZoomView::Other;
    default: return ZoomView::Other;
    }
}

ZoomValue::ZoomValue(ZoomView view, ValueLines lines, QString stored)
    : view_(view), lines_(lines), stored_(std::move(stored)), initial_(toEditorText(stored_, lines_))
{
}

OkDecision ZoomValue::ok(const QString& editorText, bool changed) const
{
    using Action = OkDecision::Action;
    OkDecision d;
    QString value = editorText;
    if (view_ == ZoomView::LayerDisplay) value = edit::properCase(value);
    // Compared letter for letter: a change of case alone is a change.
    if (!changed || value == initial_) return d;

    auto reject = [&](const QString& warning) {
        d.action = Action::Rejected;
        d.warning = warning;
        d.value = stored_;
        return d;
    };
    switch (view_) {
    case ZoomView::Attribute:
    case ZoomView::Text:
        // An empty value would leave the object without text: it gets one space.
        if (value.isEmpty()) value = QStringLiteral(" ");
        d.action = view_ == ZoomView::Attribute ? Action::SetAttribute : Action::SetText;
        d.value = toStoredText(value, lines_, stored_);
        return d;
    case ZoomView::LayerDisplay:
        if (value != QLatin1String("On") && value != QLatin1String("Off"))
            return reject(QStringLiteral("Layer not changed. Value must be 'On' or 'Off'."));
        d.action = Action::SetLayerDisplay;
        d.value = value;
        return d;
    case ZoomView::LayerColor: {
        if (!edit::isNumeric(value)) return reject(QStringLiteral("Layer not changed. Value must be numeric."));
        std::optional<long> color = edit::layerColorOf(value);
        if (!color) return reject(QStringLiteral("Layer not changed. Value must be between 1 and 255."));
        d.action = Action::SetLayerColor;
        d.color = *color;
        d.value = QString::number(d.color);
        return d;
    }
    case ZoomView::Other:
        d.action = Action::CellOnly;
        d.value = value;
        return d;
    }
    return d;
}

}  // namespace zoom
