// The color picker: where its cells are and what they show, coloring the
// listed rows, and the screen driven with the mouse.

#include "colors/ColorAll.h"
#include "colors/ColorPalette.h"
#include "colors/frmColors.h"
#include "Doubles.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace colors;

namespace {

// The pixel a twip position falls in, as the screen measures clicks.
QPoint pixelOf(int xTwips, int yTwips) { return QPoint(xTwips / TwipsPerPixel, yTwips / TwipsPerPixel); }

// A pixel inside a cell (its middle).
QPoint inside(const Cell& c) { return pixelOf((c.left + c.right) / 2, (c.top + c.bottom) / 2); }

const Cell& cellOf(Palette p, int number)
{
    for (const Cell& c : cells(p))
        if (c.number == number) return c;
    throw std::logic_error("no such cell");
}

data::RecordTable table(int rows)
{
    data::RecordTable t;
    t.addField(QStringLiteral("Handle"));
    t.addField(QStringLiteral("Layer"));
    for (int r = 0; r < rows; ++r) {
        t.appendRow();
        t.setValue(r, 0, QString::number(0x100 + r, 16).toUpper());
        t.setValue(r, 1, r % 2 ? QStringLiteral("ODD") : QStringLiteral("EVEN"));
    }
    return t;
}

}  // namespace

TEST(ColorPalette, CellsAndTheirNumbers)
{
    // The full palette: column 1, row 5 is 10; column 24, row 10 is 249.
    EXPECT_EQ(colorAt(Palette::Full, 300, 1100), 10);
    EXPECT_EQ(colorAt(Palette::Full, 5000, 2100), 249);
    EXPECT_EQ(colorAt(Palette::Full, 300, 400), 18);    // row 1: 10c + 8
    EXPECT_EQ(colorAt(Palette::Full, 504, 1300), 21);   // column 2, row 6: 10c + 1
    // Bounds are strict: on an edge, or in a gap, nothing.
    EXPECT_EQ(colorAt(Palette::Full, 239, 1100), 0);
    EXPECT_EQ(colorAt(Palette::Full, 406, 1100), 0);
    EXPECT_EQ(colorAt(Palette::Full, 405, 1185), 10);
    EXPECT_EQ(colorAt(Palette::Full, 300, 1186), 0);
    EXPECT_EQ(colorAt(Palette::Full, 300, 1200), 0);    // between rows 5 and 6
    EXPECT_EQ(colorAt(Palette::Full, 420, 1100), 0);    // between columns 1 and 2
    EXPECT_EQ(colorAt(Palette::Full, 5098, 2100), 0);   // past column 24

    EXPECT_EQ(colorAt(Palette::Gray, 1800, 400), 255);  // the last gray
    EXPECT_EQ(colorAt(Palette::Gray, 300, 400), 250);
    EXPECT_EQ(colorAt(Palette::Standard, 300, 400), 1); // the first standard color
    EXPECT_EQ(colorAt(Palette::Standard, 2600, 400), 9);
    EXPECT_EQ(colorAt(Palette::Standard, 300, 299), 0);
    EXPECT_EQ(colorAt(Palette::Standard, 300, 586), 0);
    EXPECT_EQ(colorAt(Palette::Standard, 466, 400), 0);
    EXPECT_EQ(colorAt(Palette::Gray, 2200, 400), 0);    // a gray palette has six cells

    // Every number from 1 to 255 is in exactly one cell.
    std::vector<int> seen(256, 0);
    for (Palette p : {Palette::Full, Palette::Gray, Palette::Standard})
        for (const Cell& c : cells(p)) ++seen[static_cast<std::size_t>(c.number)];
    for (int n = 1; n <= 255; ++n) EXPECT_EQ(seen[static_cast<std::size_t>(n)], 1) << n;
}

TEST(ColorPalette, ColorsShown)
{
    auto rgb = [](int n) { return colorOf(n).rgb() & 0xFFFFFF; };
    const QRgb standard[] = {0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF, 0xFF00FF, 0xFFFFFF, 0x808080, 0xC0C0C0};
    for (int n = 1; n <= 9; ++n) EXPECT_EQ(rgb(n), standard[n - 1]) << n;
    const QRgb gray[] = {0x333333, 0x5B5B5B, 0x848484, 0xADADAD, 0xD6D6D6, 0xFFFFFF};
    for (int n = 250; n <= 255; ++n) EXPECT_EQ(rgb(n), gray[n - 250]) << n;
    EXPECT_EQ(rgb(10), 0xFF0000u);
    EXPECT_EQ(rgb(11), 0xFF7F7Fu);
    EXPECT_EQ(rgb(12), 0xCC0000u);
    EXPECT_EQ(rgb(19), 0x4C2626u);
    EXPECT_EQ(rgb(130), 0x00FFFFu);
    EXPECT_EQ(rgb(249), 0x4C262Fu);
    // Hue 15 degrees a column: 60 at column 5, 120 at 9, 240 at 17.
    EXPECT_EQ(rgb(50), 0xFFFF00u);
    EXPECT_EQ(rgb(90), 0x00FF00u);
    EXPECT_EQ(rgb(170), 0x0000FFu);
    EXPECT_EQ(rgb(23), 0xCC7F66u);   // column 2 (15 degrees), value 204, half saturated
}

TEST(ColorPalette, PicturesShowEachCellWhereItIsClicked)
{
    for (Palette p : {Palette::Full, Palette::Gray, Palette::Standard}) {
        QImage image = paintPalette(p);
        std::vector<int> pixels(256, 0);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                int n = colorAt(p, x * TwipsPerPixel, y * TwipsPerPixel);
                if (n == 0) continue;
                ++pixels[static_cast<std::size_t>(n)];
                ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, colorOf(n).rgb() & 0xFFFFFF) << n << " at " << x << "," << y;
            }
        // Each cell is at least 9 by 9 pixels that a click chooses it by.
        for (const Cell& c : cells(p)) EXPECT_GE(pixels[static_cast<std::size_t>(c.number)], 81) << c.number;
    }
}

TEST(ColorAll, CurrentRowOrEveryRowInView)
{
    data::Recordset rs;
    rs.open(table(10));
    rs.setFilter(QStringLiteral("Layer = 'ODD'"));
    rs.MoveNext();
    rs.MoveNext();
    const qint64 bookmark = rs.Bookmark();
    std::vector<QString> handles;
    auto record = [&](const QString& h, long color, QString*) {
        EXPECT_EQ(color, 5);
        handles.push_back(h);
        return true;
    };
    ColoringResult r = colorRows(rs, QStringLiteral("Handle"), 5, false, record);
    EXPECT_EQ(r.colored, 1);
    EXPECT_EQ(handles, (std::vector<QString>{QStringLiteral("105")}));

    // All rows: the filter limits them; the current row stays.
    handles.clear();
    r = colorRows(rs, QStringLiteral("Handle"), 5, true, record);
    EXPECT_EQ(r.colored, 5);
    EXPECT_EQ(handles, (std::vector<QString>{QStringLiteral("101"), QStringLiteral("103"), QStringLiteral("105"),
                                             QStringLiteral("107"), QStringLiteral("109")}));
    EXPECT_EQ(rs.Bookmark(), bookmark);

    // Rows the drawing refuses are counted and passed over.
    int calls = 0;
    r = colorRows(rs, QStringLiteral("Handle"), 5, true, [&](const QString& h, long, QString* why) {
        ++calls;
        if (h == QLatin1String("103") || h == QLatin1String("107")) {
            *why = QStringLiteral("No object with handle %1.").arg(h);
            return false;
        }
        return true;
    });
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(r.colored, 3);
    EXPECT_EQ(r.failed, 2);
    EXPECT_EQ(r.firstError, QStringLiteral("No object with handle 103."));

    // No current row, no such field.
    rs.MoveLast();
    rs.MoveNext();
    EXPECT_EQ(colorRows(rs, QStringLiteral("Handle"), 5, false, record).failed, 1);
    EXPECT_EQ(colorRows(rs, QStringLiteral("AttributeHandle"), 5, true, record).failed, 1);
}

// ------------------------------------------------------------- the screen

namespace {

struct Picker {
    platform::ScriptedMessageBoxes boxes;
    platform::Installed<platform::MessageBoxes> b{boxes};
    data::Recordset rs;
    std::vector<std::pair<QString, long>> colored;
    QString value, label;
    std::unique_ptr<frmColors> form;

    explicit Picker(std::optional<extract::Category> category)
    {
        rs.open(table(6));
        rs.MoveNext();  // the second row is current
        ColorTarget t;
        t.category = category;
        t.recordset = &rs;
        t.setEntityColor = [this](const QString& h, long c, QString*) {
            colored.emplace_back(h, c);
            return true;
        };
        t.setValue = [this](const QString& v) { value = v; };
        t.setColorLabel = [this](const QString& l) { label = l; };
        form = std::make_unique<frmColors>(std::move(t));
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void click(PalettePicture* picture, QPoint at) { QTest::mouseClick(picture, Qt::LeftButton, {}, at); }
};

}  // namespace

TEST(frmColors, ClicksChooseAndOkColorsOneOrAll)
{
    Picker p(extract::Category::SingleText);
    EXPECT_EQ(p.form->windowTitle(), QStringLiteral("Select from 255 colors"));
    EXPECT_TRUE(p.form->lblColor->text().isEmpty());
    p.click(p.form->PicFull, inside(cellOf(Palette::Full, 10)));
    EXPECT_EQ(p.form->lblColor->text(), QStringLiteral("10"));
    p.click(p.form->PicFull, pixelOf(420, 1100));  // a gap keeps the choice
    EXPECT_EQ(p.form->lblColor->text(), QStringLiteral("10"));
    p.click(p.form->picGray, inside(cellOf(Palette::Gray, 255)));
    EXPECT_EQ(p.form->lblColor->text(), QStringLiteral("255"));
    p.click(p.form->picStandard, inside(cellOf(Palette::Standard, 3)));
    EXPECT_EQ(p.form->lblColor->text(), QStringLiteral("3"));

    // OK, and No to "all": the current row's object alone.
    p.boxes.answers = {platform::MsgResult::No};
    QTest::mouseClick(p.form->cmdOK, Qt::LeftButton);
    ASSERT_EQ(p.boxes.shown.size(), 1u);
    const platform::Message& asked = p.boxes.shown[0];
    EXPECT_EQ(asked.text, QStringLiteral("Set all text objects to the selected color?"));
    EXPECT_EQ(asked.buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(asked.icon, platform::MsgIcon::Question);
    EXPECT_EQ(asked.defaultButton, 1);  // No
    EXPECT_EQ(p.colored, (std::vector<std::pair<QString, long>>{{QStringLiteral("101"), 3}}));
    EXPECT_EQ(p.label, QStringLiteral("Color: 3"));
    EXPECT_TRUE(p.value.isEmpty());
    EXPECT_EQ(p.form->result(), QDialog::Accepted);
    EXPECT_FALSE(p.form->isVisible());
}

TEST(frmColors, AttributesAllLayersAndNothingChosen)
{
    {
        // A double click chooses and applies; Yes colors every row.
        Picker p(extract::Category::Attributes);
        p.rs.Close();
        data::RecordTable t;
        t.addField(QStringLiteral("AttributeHandle"));
        for (int r = 0; r < 3; ++r) {
            t.appendRow();
            t.setValue(r, 0, QStringLiteral("A%1").arg(r));
        }
        p.rs.open(std::move(t));
        p.boxes.answers = {platform::MsgResult::Yes};
        QTest::mouseDClick(p.form->PicFull, Qt::LeftButton, {}, inside(cellOf(Palette::Full, 249)));
        ASSERT_EQ(p.boxes.shown.size(), 1u);
        EXPECT_EQ(p.boxes.shown[0].text, QStringLiteral("Set all block attribute objects to the selected color?"));
        EXPECT_EQ(p.colored.size(), 3u);
        EXPECT_EQ(p.colored.back(), (std::pair<QString, long>{QStringLiteral("A2"), 249}));
        EXPECT_EQ(p.label, QStringLiteral("Color: 249"));
        EXPECT_FALSE(p.form->isVisible());
    }
    {
        // Layers: the number becomes the zoom editor's value; nothing asked.
        Picker p(extract::Category::Layers);
        p.click(p.form->picStandard, inside(cellOf(Palette::Standard, 1)));
        QTest::mouseClick(p.form->cmdOK, Qt::LeftButton);
        EXPECT_EQ(p.value, QStringLiteral("1"));
        EXPECT_EQ(p.label, QStringLiteral("Color: 1"));
        EXPECT_TRUE(p.boxes.shown.empty());
        EXPECT_TRUE(p.colored.empty());
    }
    {
        // OK with nothing chosen: nothing happens anywhere. Another view
        // (external references) only labels.
        Picker p(extract::Category::ExternalReferences);
        QTest::mouseClick(p.form->cmdOK, Qt::LeftButton);
        EXPECT_TRUE(p.label.isEmpty());
        EXPECT_FALSE(p.form->isVisible());
        Picker x(extract::Category::ExternalReferences);
        x.click(x.form->PicFull, inside(cellOf(Palette::Full, 130)));
        QTest::keyClick(x.form.get(), Qt::Key_Return);  // OK is the default button
        EXPECT_EQ(x.label, QStringLiteral("Color: 130"));
        EXPECT_TRUE(x.colored.empty());
        EXPECT_TRUE(x.boxes.shown.empty());
    }
    {
        // Cancel changes nothing; Esc is Cancel.
        Picker p(extract::Category::SingleText);
        p.click(p.form->PicFull, inside(cellOf(Palette::Full, 10)));
        QTest::keyClick(p.form.get(), Qt::Key_Escape);
        EXPECT_FALSE(p.form->isVisible());
        EXPECT_TRUE(p.label.isEmpty());
        EXPECT_TRUE(p.colored.empty());
    }
}

TEST(frmColors, ARefusedColorIsToldAndNotCountedAsAChange)
{
    Picker p(extract::Category::SingleText);
    p.form.reset();
    ColorTarget t;
    t.category = extract::Category::SingleText;
    t.recordset = &p.rs;
    t.setEntityColor = [](const QString& h, long, QString* why) {
        *why = QStringLiteral("No object with handle %1.").arg(h);
        return false;
    };
    t.setColorLabel = [&](const QString& l) { p.label = l; };
    frmColors form(std::move(t));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.picStandard, Qt::LeftButton, {}, inside(cellOf(Palette::Standard, 5)));
    p.boxes.answers = {platform::MsgResult::No, platform::MsgResult::Ok};
    QTest::mouseClick(form.cmdOK, Qt::LeftButton);
    ASSERT_EQ(p.boxes.shown.size(), 2u);
    EXPECT_EQ(p.boxes.shown[1].icon, platform::MsgIcon::Exclamation);
    EXPECT_TRUE(p.boxes.shown[1].text.contains(QStringLiteral("could not be given the color 5")));
    EXPECT_TRUE(p.boxes.shown[1].text.contains(QStringLiteral("No object with handle 101.")));
    EXPECT_TRUE(p.label.isEmpty());
}
