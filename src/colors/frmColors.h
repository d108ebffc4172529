#pragma once
// The color picker: the 255 indexed colors in three palettes. A click on a
// cell chooses its number; OK hands it to the zoom editor and, in the text
// and attribute views, gives it to the current row's object or (when the
// person says so) to every row's object in the drawing.

#include "colors/ColorPalette.h"
#include "data/Recordset.h"
#include "extract/Categories.h"

#include <QDialog>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace colors {

// A palette picture. Mouse positions are given in twips.
class PalettePicture : public QWidget {
    Q_OBJECT
public:
    PalettePicture(Palette palette, QWidget* parent = nullptr);
    Palette palette() const { return palette_; }
    // The cell drawn as chosen (0: none).
    void setChosen(int number);
    QSize sizeHint() const override;

signals:
    // button: 1 left, 2 right, 4 middle; shift: 1 Shift, 2 Ctrl, 4 Alt.
    void MouseDown(int button, int shift, int x, int y);
    void DblClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    Palette palette_;
    int chosen_ = 0;
    QImage image_;
};

// What the picker works on.
struct ColorTarget {
    // The grid's category (from the main window's options).
    std::optional<extract::Category> category;
    // The grid's rows.
    data::Recordset* recordset = nullptr;
    // Gives an object a color in the drawing; false, with the reason, when
    // the drawing refuses.
    std::function<bool(const QString& handle, long color, QString* error)> setEntityColor;
    // The zoom editor's value (the layers view takes the number as its value)
    // and its color label.
    std::function<void(const QString&)> setValue;
    std::function<void(const QString&)> setColorLabel;
};

class frmColors : public QDialog {
    Q_OBJECT
public:
    explicit frmColors(ColorTarget target, QWidget* parent = nullptr);

    PalettePicture* PicFull;
    PalettePicture* picGray;
    PalettePicture* picStandard;
    QLabel* Label1;
    QLabel* lblColor;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    void PicFull_MouseDown(int button, int shift, int x, int y);
    void picGray_MouseDown(int button, int shift, int x, int y);
    void picStandard_MouseDown(int button, int shift, int x, int y);
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void choose(Palette palette, int x, int y);

    ColorTarget target_;
};

}  // namespace colors
