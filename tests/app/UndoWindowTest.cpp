// Ctrl+Z and Ctrl+Y in the main window, pressed on the grid: edits made in
// the grid, the zoom editor, its color picker and Delete All are undone back
// to the drawing as opened (past a save: the file saved then is the original,
// byte for byte) and redone, and the grid and the Save button follow. A
// layer renamed or merged and attributes synchronized through their dialogs
// are one step each.

#include "Oracle.h"
#include "WindowKit.h"
#include "app/EditDialogs.h"
#include "colors/ColorPalette.h"
#include "colors/frmColors.h"
#include "filter/frmFilter.h"
#include "zoom/frmZoom.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QJsonArray>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>

using namespace app;
using platform::MsgResult;

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QWidget* focusIn(QWidget& window)
{
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }, 5000));
    return QApplication::focusWidget();
}

void clickCell(data::DataGrid* grid, int row, int column)
{
    QModelIndex index = grid->model()->index(row, column);
    ASSERT_TRUE(index.isValid()) << row << "," << column;
    grid->scrollTo(index);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
}

// A key pressed on whatever has the focus, as a person presses it.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus) << "no widget has the focus";
    QTest::keyClick(focus, key, modifiers);
    QApplication::processEvents();
}

struct UndoWindow : ::testing::Test {
    windowkit::Seams seams;
    QTemporaryDir dir;
    std::unique_ptr<frmMain> w;
    QString path;
    QByteArray original;

    void SetUp() override
    {
        const QString name = QStringLiteral("office-floor-plan-2000.dxf");
        path = dir.filePath(name);
        ASSERT_TRUE(QFile::copy(testpaths::samples(name), path));
        original = bytesOf(path);
        seams.settings.values[QStringLiteral("Dir")] = dir.path();
        seams.settings.values[QStringLiteral("Drive")] = QStringLiteral("/");
        seams.settings.values[QStringLiteral("Data")] = QStringLiteral("1");
        w = std::make_unique<frmMain>();
        w->screenWidth = [] { return 1280; };
        w->Combo2->setEditText(QStringLiteral("*.dxf"));
        w->Combo2_Change();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        windowkit::open(*w, name);
    }
    QString cell(int row, int column) const { return w->dtgDrawing->model()->index(row, column).data().toString(); }
    QString field(int row, const char* name) const
    {
        return w->recordset()->cell(row, w->recordset()->fieldIndex(QString::fromLatin1(name))).toString();
    }
    // The row that lists `value` in field `name`; -1 when none does.
    int rowWith(const char* name, const QString& value) const
    {
        for (int row = 0; row < w->recordset()->rowCount(); ++row)
            if (field(row, name) == value) return row;
        return -1;
    }
    // Ctrl+Z or Ctrl+Y on the grid, which has the focus.
    void onGrid(Qt::Key key)
    {
        focusIn(*w);
        w->dtgDrawing->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), w->dtgDrawing);
        press(key, Qt::ControlModifier);
    }
};

}  // namespace

TEST_F(UndoWindow, EditsUndoneToTheFileAsOpenedAndRedone)
{
    const int rows = w->recordset()->rowCount();
    ASSERT_GT(rows, 3);
    const QString first = cell(1, 7), second = cell(2, 7);
    const QString firstHandle = field(1, "AttributeHandle"), secondHandle = field(2, "AttributeHandle");

    // In the grid: a value typed into its cell.
    focusIn(*w);
    clickCell(w->dtgDrawing, 1, 7);
    for (QChar c : QStringLiteral("Typed")) QTest::keyClicks(QApplication::focusWidget(), QString(c));
    press(Qt::Key_Return);
    ASSERT_EQ(cell(1, 7), QStringLiteral("Typed"));

    // In the zoom editor: a color for every listed attribute, then the value.
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& z = dynamic_cast<zoom::frmZoom&>(d);
        QWidget* box = focusIn(z);
        ASSERT_EQ(box, z.txtValue);
        QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(box, " zoomed");
        QTest::mouseClick(z.cmdColor, Qt::LeftButton);
        QTest::mouseClick(z.cmdOK, Qt::LeftButton);
    });
    seams.screens.handlers.push_back([](QDialog& d) {
        auto& picker = dynamic_cast<colors::frmColors&>(d);
        for (const colors::Cell& c : colors::cells(colors::Palette::Full))
            if (c.number == 30)
                QTest::mouseClick(picker.PicFull, Qt::LeftButton, {},
                                  QPoint((c.left + c.right) / 2 / colors::TwipsPerPixel,
                                         (c.top + c.bottom) / 2 / colors::TwipsPerPixel));
        QTest::mouseClick(picker.cmdOK, Qt::LeftButton);
    });
    seams.boxes.answers = {MsgResult::Yes};  // every listed attribute
    focusIn(*w);
    clickCell(w->dtgDrawing, 2, 7);
    press(Qt::Key_F2);
    ASSERT_EQ(cell(2, 7), second + QStringLiteral(" zoomed"));

    // Saved; then Delete All.
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    ASSERT_FALSE(w->DrawingChanged());
    const QByteArray edited = bytesOf(path);
    ASSERT_NE(edited, original);
    seams.boxes.answers = {MsgResult::Yes, MsgResult::Ok};
    QTest::mouseClick(w->cmdDeleteAll, Qt::LeftButton);
    ASSERT_TRUE(w->DrawingChanged());
    ASSERT_FALSE(w->DDVue1->engine().listedValue(firstHandle));

    // Undone: the deletions first, which is the state saved.
    onGrid(Qt::Key_Z);
    EXPECT_EQ(w->recordset()->rowCount(), rows);
    EXPECT_EQ(cell(2, 7), second + QStringLiteral(" zoomed"));
    EXPECT_FALSE(w->DrawingChanged()) << "as saved";
    // The zoom editor's value, its colors, the typed value: past the save.
    clickCell(w->dtgDrawing, 2, 7);
    onGrid(Qt::Key_Z);
    EXPECT_EQ(cell(2, 7), second);
    EXPECT_EQ(w->recordset()->currentRow(), 2) << "the grid stays on its row";
    EXPECT_TRUE(w->DrawingChanged());
    onGrid(Qt::Key_Z);
    onGrid(Qt::Key_Z);
    EXPECT_EQ(cell(1, 7), first);
    onGrid(Qt::Key_Z);  // nothing left: nothing happens
    EXPECT_EQ(cell(1, 7), first);
    ASSERT_TRUE(w->DrawingChanged()) << "the file holds the edits";
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    EXPECT_FALSE(w->DrawingChanged());
    EXPECT_TRUE(bytesOf(path) == original) << "undone to the drawing as opened, saved: the file as it was";

    // Redone: the edits as saved before, then the deletions.
    onGrid(Qt::Key_Y);
    onGrid(Qt::Key_Y);
    onGrid(Qt::Key_Y);
    EXPECT_EQ(cell(1, 7), QStringLiteral("Typed"));
    EXPECT_EQ(cell(2, 7), second + QStringLiteral(" zoomed"));
    EXPECT_TRUE(w->DrawingChanged());
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    EXPECT_TRUE(bytesOf(path) == edited);
    oracle::Dump dump = oracle::readWithOracle(path, true);
    ASSERT_TRUE(dump.ok()) << dump.error.toStdString();
    QJsonObject entities = dump.json.value(QLatin1String("entities")).toObject();
    auto dxf = [&](const QString& h) { return entities.value(h).toObject().value(QLatin1String("dxf")).toObject(); };
    EXPECT_EQ(dxf(firstHandle).value(QLatin1String("text")).toString(), QStringLiteral("Typed"));
    EXPECT_EQ(dxf(firstHandle).value(QLatin1String("color")).toInt(), 30);
    EXPECT_EQ(dxf(secondHandle).value(QLatin1String("text")).toString(), second + QStringLiteral(" zoomed"));

    onGrid(Qt::Key_Y);
    EXPECT_FALSE(w->DDVue1->engine().listedValue(firstHandle));
    EXPECT_EQ(w->recordset()->rowCount(), 0);
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    dump = oracle::readWithOracle(path);
    ASSERT_TRUE(dump.ok()) << dump.error.toStdString();
    EXPECT_TRUE(dump.json.value(QLatin1String("attributes")).toArray().isEmpty());
    EXPECT_EQ(seams.boxes.unexpected, 0);
    EXPECT_EQ(seams.screens.unexpected, 0);
}

TEST_F(UndoWindow, TheFilterInForceAndTheRowsObjectStay)
{
    // A filter through F6: the rows of one tag.
    auto filterBy = [&](const QString& text) {
        seams.boxes.answers.push_back(MsgResult::Ok);  // "Filter set."
        seams.screens.handlers.push_back([text](QDialog& d) {
            auto& screen = static_cast<filter::frmFilter&>(d);
            screen.txtFilter->setText(text);
            QTest::mouseClick(screen.cmdOK, Qt::LeftButton);
        });
        focusIn(*w);
        press(Qt::Key_F6);
    };
    const int all = w->recordset()->rowCount();
    filterBy(QStringLiteral("AttributeTag = 'NAME'"));
    const int rows = w->recordset()->rowCount();
    ASSERT_GT(rows, 3);
    ASSERT_LT(rows, all);

    // The second row deleted by its record selector; the row after it is current.
    const QString gone = field(1, "AttributeHandle");
    focusIn(*w);
    QHeaderView* selectors = w->dtgDrawing->verticalHeader();
    QTest::mouseClick(selectors->viewport(), Qt::LeftButton, {},
                      QPoint(selectors->width() / 2, selectors->sectionViewportPosition(1) + selectors->sectionSize(1) / 2));
    press(Qt::Key_Delete);
    ASSERT_FALSE(w->DDVue1->engine().listedValue(gone));
    clickCell(w->dtgDrawing, 2, 7);
    const QString current = field(2, "AttributeHandle");

    // Undone: the deleted row is back in its place, the filter still in force
    // and the same object current.
    onGrid(Qt::Key_Z);
    EXPECT_EQ(w->CurrentFilter(), QStringLiteral("AttributeTag = 'NAME'"));
    EXPECT_EQ(w->recordset()->rowCount(), rows);
    EXPECT_EQ(field(1, "AttributeHandle"), gone);
    EXPECT_EQ(field(w->recordset()->currentRow(), "AttributeHandle"), current);
    EXPECT_EQ(w->dtgDrawing->currentColumn(), 7);
    EXPECT_EQ(w->Adodc1->caption(), QStringLiteral("%1 of %2").arg(w->recordset()->currentRow() + 1).arg(rows));

    // A filter on a value that an undo takes away: every row is listed, and
    // the status line says why.
    clickCell(w->dtgDrawing, 0, 7);
    for (QChar c : QStringLiteral("Renamed")) QTest::keyClicks(QApplication::focusWidget(), QString(c));
    press(Qt::Key_Return);
    seams.boxes.answers = {MsgResult::No};  // not saved before the new filter
    filterBy(QStringLiteral("AttributeValue = 'Renamed'"));
    ASSERT_EQ(w->recordset()->rowCount(), 1);
    onGrid(Qt::Key_Z);
    EXPECT_EQ(w->CurrentFilter(), QString());
    EXPECT_EQ(w->recordset()->rowCount(), all);
    EXPECT_TRUE(w->lblStatus->text().contains(QStringLiteral("AttributeValue = 'Renamed'")))
        << w->lblStatus->text().toStdString();
    EXPECT_EQ(seams.boxes.unexpected, 0);
    EXPECT_EQ(seams.screens.unexpected, 0);
}

TEST_F(UndoWindow, ALayerRenamedAndMergedThroughItsDialogsIsOneUndoEach)
{
    QTest::mouseClick(w->optLayer, Qt::LeftButton);
    ASSERT_EQ(rowWith("Name", QStringLiteral("A-DOOR")) >= 0, true);
    const int layers = w->recordset()->rowCount();
    EXPECT_TRUE(w->cmdRenameLayer->isVisible());
    EXPECT_FALSE(w->cmdDeleteAll->isVisible());
    EXPECT_FALSE(w->cmdSyncAttributes->isVisible());

    // Layer 0 cannot go: the reason, and no dialog.
    focusIn(*w);
    clickCell(w->dtgDrawing, rowWith("Name", QStringLiteral("0")), 0);
    seams.boxes.answers = {MsgResult::Ok};
    QTest::mouseClick(w->cmdMergeLayer, Qt::LeftButton);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_TRUE(seams.boxes.shown.back().text.contains(QStringLiteral("Layer 0"))) << seams.boxes.shown.back().text.toStdString();
    EXPECT_TRUE(seams.screens.shown.empty());

    // Renamed: a name another layer has is refused with the reason, and the
    // dialog stays open with nothing changed; then a new name is taken.
    focusIn(*w);
    clickCell(w->dtgDrawing, rowWith("Name", QStringLiteral("A-DOOR")), 0);
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& dialog = dynamic_cast<frmRenameLayer&>(d);
        QWidget* box = focusIn(dialog);
        ASSERT_EQ(box, dialog.txtName);
        seams.boxes.answers = {MsgResult::Ok};
        QTest::keyClicks(box, "a-wall");
        QTest::keyClick(box, Qt::Key_Return);
        ASSERT_EQ(seams.boxes.shown.size(), 2u);
        EXPECT_TRUE(seams.boxes.shown.back().text.contains(QStringLiteral("A-WALL")))
            << seams.boxes.shown.back().text.toStdString();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(w->DDVue1->engine().differsFromDisk());
        QTest::keyClicks(QApplication::focusWidget(), "Door Leaves");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    QTest::mouseClick(w->cmdRenameLayer, Qt::LeftButton);
    EXPECT_EQ(w->recordset()->rowCount(), layers);
    EXPECT_EQ(field(w->recordset()->currentRow(), "Name"), QStringLiteral("Door Leaves")) << "the row follows the layer";
    EXPECT_EQ(rowWith("Name", QStringLiteral("A-DOOR")), -1);
    EXPECT_TRUE(w->lblStatus->text().contains(QStringLiteral("renamed"))) << w->lblStatus->text().toStdString();
    EXPECT_TRUE(w->cmdSave->isVisible());
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    const QString renamed = dir.filePath(QStringLiteral("renamed.dxf"));
    ASSERT_TRUE(QFile::copy(path, renamed));

    // Merged into another layer chosen from the list: the row of that layer
    // is current, the merged one is gone.
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& dialog = dynamic_cast<frmMergeLayer&>(d);
        QWidget* box = focusIn(dialog);
        ASSERT_EQ(box, dialog.cboLayer);
        EXPECT_EQ(dialog.cboLayer->findText(QStringLiteral("Door Leaves")), -1) << "not into itself";
        EXPECT_EQ(dialog.cboLayer->currentText(), QStringLiteral("0")) << "the choice starts on layer 0";
        QTest::keyClicks(box, "A-WALL");
        ASSERT_EQ(dialog.cboLayer->currentText(), QStringLiteral("A-WALL"));
        QTest::keyClick(box, Qt::Key_Return);
    });
    focusIn(*w);
    QTest::mouseClick(w->cmdMergeLayer, Qt::LeftButton);
    EXPECT_EQ(w->recordset()->rowCount(), layers - 1);
    EXPECT_EQ(field(w->recordset()->currentRow(), "Name"), QStringLiteral("A-WALL"));
    EXPECT_EQ(rowWith("Name", QStringLiteral("Door Leaves")), -1);
    EXPECT_TRUE(w->lblStatus->text().contains(QStringLiteral("merged into"))) << w->lblStatus->text().toStdString();
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    const QByteArray merged = bytesOf(path);

    // What another reader sees: every object of A-DOOR on the renamed layer,
    // then on A-WALL, and the layer list without it.
    std::vector<oracle::Dump> dumps = oracle::readWithOracle(QStringList{testpaths::samples("office-floor-plan-2000.dxf"), renamed, path}, true);
    ASSERT_EQ(dumps.size(), 3u);
    for (const oracle::Dump& dump : dumps) ASSERT_TRUE(dump.ok()) << dump.error.toStdString();
    auto layerNames = [](const oracle::Dump& dump) {
        QStringList names;
        for (const QJsonValue& l : dump.json.value(QLatin1String("layers")).toArray()) names << l.toObject().value(QLatin1String("name")).toString();
        return names;
    };
    auto layerOf = [](const oracle::Dump& dump, const QString& handle) {
        return dump.json.value(QLatin1String("entities")).toObject().value(handle).toObject().value(QLatin1String("dxf")).toObject().value(QLatin1String("layer")).toString();
    };
    QStringList doors;
    const QJsonObject entities = dumps[0].json.value(QLatin1String("entities")).toObject();
    for (auto it = entities.begin(); it != entities.end(); ++it)
        if (it.value().toObject().value(QLatin1String("dxf")).toObject().value(QLatin1String("layer")).toString() == QLatin1String("A-DOOR"))
            doors << it.key();
    ASSERT_FALSE(doors.isEmpty());
    QStringList expected = layerNames(dumps[0]);
    expected.replace(expected.indexOf(QStringLiteral("A-DOOR")), QStringLiteral("Door Leaves"));
    EXPECT_EQ(layerNames(dumps[1]), expected);
    expected.removeAll(QStringLiteral("Door Leaves"));
    EXPECT_EQ(layerNames(dumps[2]), expected);
    for (const QString& h : doors) {
        EXPECT_EQ(layerOf(dumps[1], h), QStringLiteral("Door Leaves")) << h.toStdString();
        EXPECT_EQ(layerOf(dumps[2], h), QStringLiteral("A-WALL")) << h.toStdString();
    }

    // One Ctrl+Z each: the merge, then the rename; saved, the file as it was.
    onGrid(Qt::Key_Z);
    EXPECT_EQ(w->recordset()->rowCount(), layers);
    EXPECT_GE(rowWith("Name", QStringLiteral("Door Leaves")), 0);
    onGrid(Qt::Key_Z);
    EXPECT_GE(rowWith("Name", QStringLiteral("A-DOOR")), 0);
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    EXPECT_TRUE(bytesOf(path) == original);
    onGrid(Qt::Key_Y);
    onGrid(Qt::Key_Y);
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    EXPECT_TRUE(bytesOf(path) == merged) << "redone, the merged drawing again";

    // With no layer row listed there is nothing to rename or merge: each
    // says so, and no dialog opens.
    w->recordset()->setFilter(QStringLiteral("Name = 'no such layer'"));
    ASSERT_EQ(w->recordset()->RecordCount(), 0);
    const std::size_t boxes = seams.boxes.shown.size();
    seams.boxes.answers = {MsgResult::Ok, MsgResult::Ok};
    for (QPushButton* button : {w->cmdRenameLayer, w->cmdMergeLayer}) QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(seams.boxes.shown.size(), boxes + 2);
    EXPECT_TRUE(seams.boxes.shown[boxes].text.contains(QStringLiteral("No layer is listed to rename")))
        << seams.boxes.shown[boxes].text.toStdString();
    EXPECT_TRUE(seams.boxes.shown[boxes + 1].text.contains(QStringLiteral("No layer is listed to merge")))
        << seams.boxes.shown[boxes + 1].text.toStdString();
    EXPECT_TRUE(bytesOf(path) == merged);
    EXPECT_EQ(seams.boxes.unexpected, 0);
    EXPECT_EQ(seams.screens.unexpected, 0);
}

TEST_F(UndoWindow, DeletedAttributesComeBackBySynchronizingAndOneUndoTakesThemAway)
{
    const int rows = w->recordset()->rowCount();
    EXPECT_TRUE(w->cmdSyncAttributes->isVisible());
    const int at = rowWith("AttributeTag", QStringLiteral("NAME"));
    ASSERT_GE(at, 0);
    const QString insert = field(at, "Handle"), block = field(at, "Name");

    // The attribute deleted by its record selector.
    focusIn(*w);
    QHeaderView* selectors = w->dtgDrawing->verticalHeader();
    QTest::mouseClick(selectors->viewport(), Qt::LeftButton, {},
                      QPoint(selectors->width() / 2, selectors->sectionViewportPosition(at) + selectors->sectionSize(at) / 2));
    press(Qt::Key_Delete);
    ASSERT_EQ(w->recordset()->rowCount(), rows - 1);

    // Synchronized: every block, orphans removed (there are none).
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& dialog = dynamic_cast<frmSyncAttributes&>(d);
        focusIn(dialog);
        EXPECT_TRUE(dialog.optOneBlock->isChecked()) << "the current row's block first";
        EXPECT_TRUE(dialog.optOneBlock->text().contains(block)) << dialog.optOneBlock->text().toStdString();
        // On their captions, where a person clicks.
        QTest::mouseClick(dialog.optEveryBlock, Qt::LeftButton, {}, QPoint(12, dialog.optEveryBlock->height() / 2));
        QTest::mouseClick(dialog.chkRemoveOrphaned, Qt::LeftButton, {}, QPoint(12, dialog.chkRemoveOrphaned->height() / 2));
        EXPECT_TRUE(dialog.optEveryBlock->isChecked() && dialog.chkRemoveOrphaned->isChecked());
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    });
    focusIn(*w);
    clickCell(w->dtgDrawing, 0, 7);
    const QString current = field(0, "AttributeHandle");
    QTest::mouseClick(w->cmdSyncAttributes, Qt::LeftButton);
    ASSERT_EQ(w->recordset()->rowCount(), rows);
    EXPECT_EQ(field(w->recordset()->currentRow(), "AttributeHandle"), current);
    EXPECT_EQ(w->lblStatus->text().toStdString(),
              "Attributes of every block synchronized: 1 attribute added, 0 removed, in 1 block reference.");
    QString added;
    for (int row = 0; row < rows; ++row)
        if (field(row, "Handle") == insert && field(row, "AttributeTag") == QLatin1String("NAME")) added = field(row, "AttributeHandle");
    ASSERT_FALSE(added.isEmpty()) << "the reference lists its NAME again";
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    oracle::Dump dump = oracle::readWithOracle(path, true);
    ASSERT_TRUE(dump.ok()) << dump.error.toStdString();
    const QJsonObject entities = dump.json.value(QLatin1String("entities")).toObject();
    EXPECT_TRUE(entities.value(insert).toObject().value(QLatin1String("attribs")).toArray().contains(added));
    auto dxf = [&](const QJsonValue& e) { return e.toObject().value(QLatin1String("dxf")).toObject(); };
    EXPECT_EQ(dxf(entities.value(added)).value(QLatin1String("tag")).toString(), QStringLiteral("NAME"));

    // One Ctrl+Z takes the synchronized attribute away, the next brings the
    // deleted one back: the file as it was.
    onGrid(Qt::Key_Z);
    EXPECT_EQ(w->recordset()->rowCount(), rows - 1);
    EXPECT_TRUE(w->cmdSave->isVisible());
    onGrid(Qt::Key_Z);
    EXPECT_EQ(w->recordset()->rowCount(), rows);
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    EXPECT_TRUE(bytesOf(path) == original);
    EXPECT_EQ(seams.boxes.unexpected, 0);
    EXPECT_EQ(seams.screens.unexpected, 0);
}
