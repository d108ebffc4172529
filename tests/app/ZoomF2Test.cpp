// F2 in the main window's grid opens the zoom editor on the cell; its OK
// writes through the grid's write-back, its color picker colors the listed
// objects, and what is saved is what an independent reader (ezdxf) finds,
// on drawings of several versions.

#include "Drawings.h"
#include "Oracle.h"
#include "WindowKit.h"
#include "colors/ColorPalette.h"
#include "colors/frmColors.h"
#include "zoom/frmZoom.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QJsonArray>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>

using namespace app;
using platform::MsgResult;

namespace {

QWidget* focusIn(QWidget& window)
{
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }, 5000))
        << window.objectName().toStdString() << " is not the active window";
    return QApplication::focusWidget();
}

void clickCell(data::DataGrid* grid, int row, int column)
{
    QModelIndex index = grid->model()->index(row, column);
    ASSERT_TRUE(index.isValid()) << row << "," << column;
    grid->scrollTo(index);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
}

// Presses F2 on the grid's cell, as a person does: the grid has the focus.
void pressF2(frmMain& w, int row, int column)
{
    focusIn(w);
    clickCell(w.dtgDrawing, row, column);
    ASSERT_EQ(QApplication::focusWidget(), w.dtgDrawing);
    QTest::keyClick(w.dtgDrawing, Qt::Key_F2);
}

struct Window {
    windowkit::Seams seams;
    QTemporaryDir dir;
    std::unique_ptr<frmMain> w;

    Window(const QString& drawing, const char* category)
    {
        QFile::copy(drawing, dir.filePath(QFileInfo(drawing).fileName()));
        seams.settings.values[QStringLiteral("Dir")] = dir.path();
        seams.settings.values[QStringLiteral("Drive")] = QStringLiteral("/");
        seams.settings.values[QStringLiteral("Data")] = QString::fromLatin1(category);
        w = std::make_unique<frmMain>();
        w->screenWidth = [] { return 1280; };
        w->Combo2->setEditText(QStringLiteral("*.dxf"));
        w->Combo2_Change();
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        windowkit::open(*w, QFileInfo(drawing).fileName());
    }
    QString path() const { return dir.filePath(w->CurrentDrawingName()); }
    QString cell(int row, int column) const { return w->dtgDrawing->model()->index(row, column).data().toString(); }
    QString field(int row, const char* name) const
    {
        return w->recordset()->cell(row, w->recordset()->fieldIndex(QString::fromLatin1(name))).toString();
    }
    // Saves with the Save button; the saved file as ezdxf reads it.
    QJsonObject save()
    {
        QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        EXPECT_FALSE(w->DrawingChanged());
        oracle::Dump dump = oracle::readWithOracle(path(), true);
        EXPECT_TRUE(dump.ok()) << dump.error.toStdString();
        return dump.json;
    }
};

QJsonObject attribute(const QJsonObject& dump, const QString& handle)
{
    for (const QJsonValue& v : dump.value(QLatin1String("attributes")).toArray())
        if (v.toObject().value(QLatin1String("handle")).toString() == handle) return v.toObject();
    return {};
}

}  // namespace

class ZoomF2 : public ::testing::TestWithParam<const char*> {};

TEST_P(ZoomF2, CaseConversionWrittenThroughTheGridAndSaved)
{
    Window win(testpaths::samples(QString::fromLatin1(GetParam())), "1");
    frmMain& w = *win.w;
    const int row = 1;
    const QString handle = win.field(row, "AttributeHandle");
    const QString before = win.cell(row, 7);
    bool shown = false;
    win.seams.screens.handlers.push_back([&](QDialog& d) {
        auto& z = dynamic_cast<zoom::frmZoom&>(d);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&z));
        shown = true;
        EXPECT_EQ(z.windowTitle(), QStringLiteral("Field: AttributeValue   Record: 2"));
        EXPECT_EQ(z.txtValue->toPlainText(), before);
        QTest::mouseClick(z.Command3, Qt::LeftButton);  // Upper Case
        // Back into the value, clicked.
        QTest::mouseClick(z.txtValue->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QWidget* box = focusIn(z);
        ASSERT_EQ(box, z.txtValue);
        QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(box, " rev");
        QTest::keyClick(box, Qt::Key_Return);  // OK
        EXPECT_FALSE(z.isVisible());
    });
    pressF2(w, row, 7);
    ASSERT_TRUE(shown);
    EXPECT_EQ(win.seams.screens.shown, std::vector<QString>{QStringLiteral("frmZoom")});
    const QString expected = before.toUpper() + QStringLiteral(" rev");
    EXPECT_EQ(win.cell(row, 7), expected);
    EXPECT_TRUE(w.DrawingChanged());
    EXPECT_EQ(focusIn(w), w.dtgDrawing);

    QJsonObject dump = win.save();
    EXPECT_EQ(attribute(dump, handle).value(QLatin1String("value")).toString(), expected);
    EXPECT_EQ(win.seams.boxes.unexpected, 0);
    EXPECT_EQ(win.seams.screens.unexpected, 0);
}

INSTANTIATE_TEST_SUITE_P(Versions, ZoomF2,
                         ::testing::Values("workshop-plan-R12.dxf", "office-floor-plan-2000.dxf",
                                           "apartment-floor-plan-2007.dxf", "library-floor-plan-2013-binary.dxf",
                                           "studio-floor-plan-2018.dxf"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name;
                             for (const char* p = info.param; *p && *p != '.'; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// A multi-line attribute as AutoCAD keeps it (its own value holds the whole
// text, as the embedded multi-line text does) and as ezdxf writes it (its own
// value holds only the first line): the grid lists the whole text, a value
// typed at the end of the cell and a line added in the zoom editor keep
// every line, and ezdxf reads back what the grid shows, in the attribute's
// own value and in its embedded text.
struct MultiLine {
    const char* name;
    const char* tag;
};

class MultiLineAttribute : public ::testing::TestWithParam<MultiLine> {};

TEST_P(MultiLineAttribute, KeepsEveryLineThroughTheCellAndTheZoomEditor)
{
    QString drawing;
    if (QByteArray(GetParam().name).startsWith("ezdxf")) {
        QString error;
        for (const QString& f : oracle::ezdxfDrawings(&error))
            if (QFileInfo(f).fileName() == QLatin1String(GetParam().name)) drawing = f;
        ASSERT_FALSE(drawing.isEmpty()) << error.toStdString();
    } else {
        drawing = testpaths::testData(QStringLiteral("odd/") + QLatin1String(GetParam().name));
    }
    oracle::Dump original = oracle::readWithOracle(drawing, true);
    ASSERT_TRUE(original.ok()) << original.error.toStdString();

    Window win(drawing, "1");
    frmMain& w = *win.w;
    const QJsonObject entities = original.json.value(QLatin1String("entities")).toObject();
    int row = -1;
    for (int r = 0; r < w.recordset()->rowCount() && row < 0; ++r)
        if (win.field(r, "AttributeTag") == QLatin1String(GetParam().tag) &&
            entities.value(win.field(r, "AttributeHandle")).toObject().contains(QLatin1String("embedded_text")))
            row = r;
    ASSERT_GE(row, 0);
    const QString handle = win.field(row, "AttributeHandle");
    const QString whole = attribute(original.json, handle).value(QLatin1String("value")).toString();
    ASSERT_TRUE(whole.contains(QLatin1String("\\P"))) << whole.toStdString();
    ASSERT_EQ(win.cell(row, 7), whole);

    // In the cell: clicked, opened with a double click, typed at its end, Enter.
    focusIn(w);
    clickCell(w.dtgDrawing, row, 7);
    QModelIndex index = w.dtgDrawing->model()->index(row, 7);
    QTest::mouseDClick(w.dtgDrawing->viewport(), Qt::LeftButton, {}, w.dtgDrawing->visualRect(index).center());
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, w.dtgDrawing);
    QTest::keyClick(editor, Qt::Key_End);
    QTest::keyClicks(editor, " (rev B)");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    const QString typed = whole + QStringLiteral(" (rev B)");
    ASSERT_EQ(win.cell(row, 7), typed);

    // In the zoom editor: one paragraph a line, a line added.
    bool shown = false;
    win.seams.screens.handlers.push_back([&](QDialog& d) {
        auto& z = dynamic_cast<zoom::frmZoom&>(d);
        shown = true;
        EXPECT_EQ(z.txtValue->toPlainText(), QString(typed).replace(QStringLiteral("\\P"), QStringLiteral("\n")));
        QWidget* box = focusIn(z);
        ASSERT_EQ(box, z.txtValue);
        QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClicks(box, "Last line");
        QTest::keyClick(box, Qt::Key_Return);  // OK
    });
    pressF2(w, row, 7);
    ASSERT_TRUE(shown);
    const QString expected = typed + QStringLiteral("\\PLast line");
    EXPECT_EQ(win.cell(row, 7), expected);

    QJsonObject dump = win.save();
    QJsonObject entity = dump.value(QLatin1String("entities")).toObject().value(handle).toObject();
    EXPECT_EQ(attribute(dump, handle).value(QLatin1String("value")).toString(), expected);
    EXPECT_EQ(entity.value(QLatin1String("embedded_text")).toString(), expected);
    EXPECT_EQ(entity.value(QLatin1String("dxf")).toObject().value(QLatin1String("text")).toString(), expected);
    EXPECT_EQ(win.seams.boxes.unexpected, 0);
    EXPECT_EQ(win.seams.screens.unexpected, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, MultiLineAttribute,
                         ::testing::Values(MultiLine{"multiline-attribute-2018.dxf", "TITLE"},
                                           MultiLine{"ezdxf-R2018-ascii.dxf", "REMARKS"}),
                         [](const ::testing::TestParamInfo<MultiLine>& info) {
                             return QByteArray(info.param.name).startsWith("ezdxf") ? std::string("Ezdxf")
                                                                                    : std::string("AutoCad");
                         });

TEST(ZoomF2Texts, ParagraphsAndAColorForOneTextAndForAll)
{
    Window win(testpaths::samples(QStringLiteral("office-floor-plan-2000.dxf")), "3");
    frmMain& w = *win.w;
    ASSERT_TRUE(w.optMultipleText->isChecked());
    const QString handle = win.field(0, "Handle");
    const QString stored = win.cell(0, 2);
    ASSERT_TRUE(stored.contains(QLatin1String("\\P"))) << stored.toStdString();

    // Paragraphs as lines; a line added; a color for this text alone.
    auto pick = [](int number) {
        return [number](QDialog& d) {
            auto& picker = dynamic_cast<colors::frmColors&>(d);
            for (const colors::Cell& c : colors::cells(colors::Palette::Full))
                if (c.number == number)
                    QTest::mouseClick(picker.PicFull, Qt::LeftButton, {},
                                      QPoint((c.left + c.right) / 2 / colors::TwipsPerPixel,
                                             (c.top + c.bottom) / 2 / colors::TwipsPerPixel));
            QTest::mouseClick(picker.cmdOK, Qt::LeftButton);
        };
    };
    win.seams.screens.handlers.push_back([&](QDialog& d) {
        auto& z = dynamic_cast<zoom::frmZoom&>(d);
        EXPECT_EQ(z.txtValue->toPlainText(), QString(stored).replace(QStringLiteral("\\P"), QStringLiteral("\n")));
        QWidget* box = focusIn(z);
        EXPECT_EQ(box, z.txtValue);
        QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClicks(box, "Last line");
        QTest::mouseClick(z.cmdColor, Qt::LeftButton);  // picks 30, No to all
        EXPECT_EQ(z.lblColor->text(), QStringLiteral("Color: 30"));
        EXPECT_TRUE(z.isVisible());
        QTest::mouseClick(z.cmdOK, Qt::LeftButton);
    });
    win.seams.screens.handlers.push_back(pick(30));
    win.seams.boxes.answers = {MsgResult::No};
    pressF2(w, 0, 2);
    EXPECT_EQ(win.cell(0, 2).toStdString(), (stored + QStringLiteral("\\PLast line")).toStdString());
    ASSERT_EQ(win.seams.boxes.shown.size(), 1u);
    EXPECT_EQ(win.seams.boxes.shown[0].text, QStringLiteral("Set all text objects to the selected color?"));

    // Every text listed, with a filter on: Yes.
    w.optSingleText->click();
    windowkit::settle(w);
    w.recordset()->setFilter(QStringLiteral("Layout = 'Model'"));
    const int shownRows = w.recordset()->rowCount();
    QStringList colored, other;
    for (qsizetype r = 0; r < w.recordset()->table().rowCount(); ++r) {
        const auto& t = w.recordset()->table();
        QString h = t.value(r, t.fieldIndex(QStringLiteral("Handle"))).toString();
        (t.value(r, t.fieldIndex(QStringLiteral("Layout"))) == QLatin1String("Model") ? colored : other) << h;
    }
    ASSERT_EQ(colored.size(), shownRows);
    win.seams.screens.handlers.push_back([&](QDialog& d) {
        auto& z = dynamic_cast<zoom::frmZoom&>(d);
        QTest::mouseClick(z.cmdColor, Qt::LeftButton);  // picks 150, Yes to all
        QTest::mouseClick(z.cmdCancel, Qt::LeftButton);
    });
    win.seams.screens.handlers.push_back(pick(150));
    win.seams.boxes.answers = {MsgResult::Yes};
    pressF2(w, 1, 2);
    EXPECT_EQ(w.recordset()->currentRow(), 1);
    EXPECT_TRUE(w.DrawingChanged());

    QJsonObject entities = win.save().value(QLatin1String("entities")).toObject();
    auto colorOf = [&](const QString& h) {
        return entities.value(h).toObject().value(QLatin1String("dxf")).toObject().value(QLatin1String("color")).toInt(256);
    };
    EXPECT_EQ(entities.value(handle).toObject().value(QLatin1String("text")).toString(), stored + QStringLiteral("\\PLast line"));
    EXPECT_EQ(colorOf(handle), 30);
    for (const QString& h : colored) EXPECT_EQ(colorOf(h), 150) << h.toStdString();
    for (const QString& h : other) EXPECT_NE(colorOf(h), 150) << h.toStdString();
    EXPECT_EQ(win.seams.boxes.unexpected, 0);
    EXPECT_EQ(win.seams.screens.unexpected, 0);
}
