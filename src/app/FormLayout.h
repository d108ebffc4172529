#pragma once
// Proportional layout of a form: each control's design position, size and
// font size are recorded once, and every resize places the controls at the
// same proportions of the form's current size. The form keeps between a
// smallest size (its design size) and a largest (the screen).
//
// Fonts scale by the smaller of the two ratios, and so do the icons of
// controls that show icons (buttons, lists, the grid), so that what a control
// shows grows with the form as its text does. Every control is also told the
// form's current ratios in its property "formScale" (a QSizeF of the width
// and height ratio): a control that lays out parts of its own in design units
// (the grid's column widths in twips) follows them from there.

#include "platform/Twips.h"

#include <QPointer>
#include <QWidget>

#include <vector>

namespace app {

using platform::kTwipsPerPixel;
// Twips to pixels, to the nearest pixel.
inline int px(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

struct ControlLayoutRecord {
    QPointer<QWidget> control;
    float left = 0, top = 0, width = 0, height = 0;  // design geometry in its container, pixels
    float fontSize = 0;                               // design font size, points
    QSize iconSize;                                   // design icon size; empty for controls without icons
    // The control's own parts that show icons (the buttons of a navigator),
    // with their design icon sizes.
    std::vector<std::pair<QPointer<QWidget>, QSize>> parts;
};

class FormLayout {
public:
    // The property through which every control learns the form's ratios.
    static constexpr const char* kScaleProperty = "formScale";

    // Marks a widget as one of the form's controls, whose geometry the layout
    // scales. Controls are recorded in the order they were marked.
    static void markControl(QWidget* control);

    void RecordControlLayout(QWidget* form);
    void ScaleControlLayout(QWidget* form);

    const std::vector<ControlLayoutRecord>& records() const { return records_; }
    float designWidth() const { return designWidth_; }
    float designHeight() const { return designHeight_; }

private:
    float designWidth_ = 0;
    float designHeight_ = 0;
    std::vector<ControlLayoutRecord> records_;
};

// Keeps the form's size between the given limits, in twips.
void InstallSizeLimits(QWidget* form, int minWidth, int minHeight, int maxWidth, int maxHeight);

}  // namespace app
