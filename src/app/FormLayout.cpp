#include "app/FormLayout.h"

#include <QAbstractItemView>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace app {

namespace {
const char* const kControlProperty = "tessiluxControl";
const char* const kOrderProperty = "tessiluxControlOrder";
int nextOrder = 0;

// The size a control draws its icons at: its own, or for a list or grid that
// leaves it to the style, the style's small icons.
QSize designIconSize(const QWidget* w)
{
    QVariant size = w->property("iconSize");
    if (!size.isValid()) return {};
    QSize s = size.toSize();
    if (s.isValid() && !s.isEmpty()) return s;
    if (qobject_cast<const QAbstractItemView*>(w)) {
        int side = w->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, w);
        return QSize(side, side);
    }
    return {};
}
QSize scaled(QSize size, float ratio)
{
    return QSize(std::max(1, static_cast<int>(std::lround(ratio * size.width()))),
                 std::max(1, static_cast<int>(std::lround(ratio * size.height()))));
}

}  // namespace

void FormLayout::markControl(QWidget* control)
{
    control->setProperty(kControlProperty, true);
    control->setProperty(kOrderProperty, nextOrder++);
}

void FormLayout::RecordControlLayout(QWidget* form)
{
    designWidth_ = static_cast<float>(form->width());
    designHeight_ = static_cast<float>(form->height());
    QList<QWidget*> controls;
    for (QWidget* w : form->findChildren<QWidget*>())
        if (w->property(kControlProperty).toBool()) controls << w;
    std::stable_sort(controls.begin(), controls.end(), [](QWidget* a, QWidget* b) {
        return a->property(kOrderProperty).toInt() < b->property(kOrderProperty).toInt();
    });
    records_.clear();
    records_.reserve(static_cast<std::size_t>(controls.size()));
    for (QWidget* w : controls) {
        ControlLayoutRecord r;
        r.control = w;
        QRect g = w->geometry();
        r.left = static_cast<float>(g.x());
        r.top = static_cast<float>(g.y());
        r.width = static_cast<float>(g.width());
        r.height = static_cast<float>(g.height());
        r.fontSize = static_cast<float>(w->font().pointSizeF());
        r.iconSize = designIconSize(w);
        for (QWidget* part : w->findChildren<QWidget*>())
            if (!part->property(kControlProperty).toBool() && !qobject_cast<QAbstractItemView*>(part))
                if (QSize s = designIconSize(part); s.isValid()) r.parts.emplace_back(part, s);
        records_.push_back(r);
    }
}

void FormLayout::ScaleControlLayout(QWidget* form)
{
    if (designWidth_ <= 0 || designHeight_ <= 0) return;
    float xRatio = static_cast<float>(form->width()) / designWidth_;
    float yRatio = static_cast<float>(form->height()) / designHeight_;
    if (!std::isfinite(xRatio) || !std::isfinite(yRatio) || xRatio <= 0 || yRatio <= 0) return;
    float fontRatio = std::min(xRatio, yRatio);
    for (const ControlLayoutRecord& r : records_) {
        QWidget* w = r.control.data();
        if (!w) continue;
        if (r.fontSize > 0) {
            QFont f = w->font();
            f.setPointSizeF(std::max(1.0f, fontRatio * r.fontSize));
            w->setFont(f);
        }
        if (r.iconSize.isValid()) w->setProperty("iconSize", scaled(r.iconSize, fontRatio));
        for (const auto& [part, size] : r.parts)
            if (part) part->setProperty("iconSize", scaled(size, fontRatio));
        w->setProperty(kScaleProperty, QSizeF(xRatio, yRatio));
        // From the recorded design values only, so repeated resizing never
        // gathers rounding error.
        w->setGeometry(static_cast<int>(std::lround(xRatio * r.left)), static_cast<int>(std::lround(yRatio * r.top)),
                       static_cast<int>(std::lround(xRatio * r.width)),
                       static_cast<int>(std::lround(yRatio * r.height)));
    }
}

void InstallSizeLimits(QWidget* form, int minWidth, int minHeight, int maxWidth, int maxHeight)
{
    form->setMinimumSize(px(minWidth), px(minHeight));
    form->setMaximumSize(px(maxWidth), px(maxHeight));
}

}  // namespace app
