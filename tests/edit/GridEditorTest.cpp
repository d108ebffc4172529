// Editing in the grid without a window: the grid's events, the write-back
// of cells into the drawing (and the grid showing what the drawing then
// holds), row deletion, Delete All, and find and replace in the value
// column. The drawing is a real one, open in the drawing component.

#include "Drawings.h"
#include "GridFixture.h"
#include "TestPaths.h"

#include "edit/ValueEdit.h"

#include <gtest/gtest.h>

using edit::SearchText;
using edit::WriteResult;
using extract::Category;
using platform::MsgIcon;
using platform::MsgResult;

namespace {

QString office() { return testpaths::samples("office-floor-plan-2000.dxf"); }

}  // namespace

TEST(GridEditor, AnEditedValueReachesTheDrawingAndTheCellShowsWhatItHolds)
{
    Grid g(office());
    ASSERT_GT(g.rs.rowCount(), 5);
    g.rs.setCurrentRow(1);
    const QString value = QStringLiteral("  Salle « Ω » <3> & \"x\" = 中文 ✓");
    WriteResult r = g.type(7, value);
    EXPECT_EQ(r.status, WriteResult::Status::Written);
    EXPECT_EQ(g.held(1), value);
    EXPECT_EQ(g.cell(1, 7), value);
    EXPECT_EQ(g.editsBegun, 1) << "an edit that begins counts as a change while it lasts";
    EXPECT_GE(g.changed, 1);
    EXPECT_EQ(g.editor->cellValueBeforeEdit(), "Accueil");
    EXPECT_TRUE(g.boxes.shown.empty());

    // Multi-line text: a line break the zoom editor writes is stored, and
    // shown, as the paragraph code; a single-line text's as its caret form.
    g.show(Category::MultiText);
    g.rs.setCurrentRow(0);
    auto cell = g.editor->currentCell(2);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->field, "Value") << "the field, not the caption with its star";
    EXPECT_EQ(cell->position, 1);
    QString longText = QStringLiteral("Erste Zeile — Ω");
    for (int k = 0; k < 40; ++k) longText += QStringLiteral("\nZeile %1: Façade 尺寸 «x» & <y> = \"z\"").arg(k);
    r = g.editor->writeCell(*cell, longText);
    ASSERT_EQ(r.status, WriteResult::Status::Written);
    QString stored = longText;
    stored.replace(QLatin1Char('\n'), QStringLiteral("\\P"));
    EXPECT_EQ(g.cell(0, 2), stored);
    EXPECT_EQ(g.held(0), stored);
    EXPECT_EQ(g.changed, 1) << "the zoom editor's write marks the drawing changed";

    g.show(Category::SingleText);
    g.rs.setCurrentRow(2);
    cell = g.editor->currentCell(2);
    r = g.editor->writeCell(*cell, QStringLiteral("A\nB\tC"));
    EXPECT_EQ(g.cell(2, 2), "A^JB\tC");
    EXPECT_EQ(g.held(2), "A^JB\tC");

    // A locked column of these views is not written, whatever it shows.
    g.show(Category::Attributes);
    g.rs.setCurrentRow(0);
    QString number = g.held(0);
    g.editor->BeforeColEdit(6);
    g.setCell(0, 6, "TAG");
    EXPECT_EQ(g.editor->AfterColEdit(6).status, WriteResult::Status::Nothing);
    EXPECT_EQ(g.held(0), number);
}

TEST(GridEditor, LayerDisplayAndColorAreCheckedAndRestoredSilently)
{
    Grid g(office(), Category::Layers);
    const int row = g.rowOf("A-DOOR");
    ASSERT_GE(row, 0);
    g.rs.setCurrentRow(row);
    auto layer = [&] { return *g.drawing.engine().listedLayer("A-DOOR"); };

    EXPECT_EQ(g.type(1, "oFF").status, WriteResult::Status::Written);
    EXPECT_EQ(g.cell(row, 1), "Off");
    EXPECT_EQ(layer().display, "Off");
    for (const char* word : {"of", "yes", "", "On Off"}) {
        EXPECT_EQ(g.type(1, word).status, WriteResult::Status::Rejected) << word;
        EXPECT_EQ(g.cell(row, 1), "Off") << word;
    }
    EXPECT_EQ(g.type(1, "ON").status, WriteResult::Status::Written);
    EXPECT_EQ(g.cell(row, 1), "On");
    EXPECT_EQ(layer().display, "On");

    struct Case {
        const char* typed;
        const char* shown;
    } cases[] = {{"12.5", "12"}, {"13.5", "14"}, {" 7 ", "7"}, {"007", "7"}, {"0", "7"},
                 {"256", "7"},   {"100000", "7"}, {"abc", "7"}, {"1e2", "100"}, {"-5", "100"}};
    for (const Case& c : cases) {
        g.type(2, c.typed);
        EXPECT_EQ(g.cell(row, 2), c.shown) << c.typed;
        EXPECT_EQ(layer().color, g.cell(row, 2).toLong()) << c.typed;
    }
    EXPECT_EQ(layer().display, "On") << "a color keeps the layer on";
    EXPECT_TRUE(g.boxes.shown.empty()) << "rejected layer entries say nothing";
    // The name column is not written.
    EXPECT_EQ(g.type(0, "OTHER").status, WriteResult::Status::Nothing);
}

TEST(GridEditor, AValueTheDrawingRefusesPutsTheOldValueBackAndSaysWhy)
{
    Grid g(office());
    g.rs.setCurrentRow(3);
    const QString handle = g.key(3);
    const QString old = g.cell(3, 7);
    ASSERT_TRUE(g.drawing.edit().DeleteEntity(handle));  // gone from the drawing behind the grid's back
    WriteResult r = g.type(7, "new");
    EXPECT_EQ(r.status, WriteResult::Status::Failed);
    EXPECT_EQ(g.cell(3, 7), old);
    ASSERT_EQ(g.boxes.shown.size(), 1u);
    EXPECT_EQ(g.boxes.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(g.boxes.shown[0].text.contains(handle)) << g.boxes.shown[0].text.toStdString();

    // Replace All tells once, at the end, with the count of those it could
    // not write.
    g.boxes.shown.clear();
    ASSERT_TRUE(g.drawing.edit().DeleteEntity(g.key(5)));
    const int rows = g.rs.rowCount();
    long count = g.editor->ReplaceAll({QString(), QStringLiteral("X"), false, false});
    EXPECT_EQ(count, rows - 2);
    ASSERT_EQ(g.boxes.shown.size(), 1u);
    const QString text = g.boxes.shown[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("%1 replacements.\n\n2 values could not be written").arg(rows - 2)))
        << text.toStdString();
    EXPECT_TRUE(text.contains(handle)) << text.toStdString();
    EXPECT_EQ(g.cell(3, 7), old);
    EXPECT_EQ(g.cell(4, 7), "X");
    EXPECT_EQ(g.held(4), "X");
}

TEST(GridEditor, ReplaceAllWithAnEmptyFindTextWritesEveryValueToTheDrawing)
{
    Grid g(office(), Category::SingleText);
    const int rows = g.rs.rowCount();
    ASSERT_GT(rows, 3);
    g.rs.setCurrentRow(2);
    EXPECT_EQ(g.editor->ReplaceAll({QString(), QStringLiteral("Neu — 新"), false, false}), rows);
    for (int r = 0; r < rows; ++r) {
        EXPECT_EQ(g.cell(r, 2), QStringLiteral("Neu — 新"));
        EXPECT_EQ(g.held(r), QStringLiteral("Neu — 新"));
    }
    EXPECT_GE(g.changed, 1);
    EXPECT_EQ(g.rs.currentRow(), 0) << "Replace All ends on the first record";
    ASSERT_EQ(g.boxes.shown.size(), 1u);
    EXPECT_EQ(g.boxes.shown[0].text, QStringLiteral("%1 replacements.").arg(rows));
    EXPECT_EQ(g.boxes.shown[0].icon, MsgIcon::Information);

    // Both empty: every value becomes one blank.
    g.editor->ReplaceAll({});
    EXPECT_EQ(g.cell(rows - 1, 2), " ");
    EXPECT_EQ(g.held(rows - 1), " ");
}

TEST(GridEditor, ReplaceAllCountsChangedRecordsAndRepaintsOnce)
{
    Grid g(office());
    int announced = 0, oneByOne = 0;
    QObject::connect(&g.rs, &data::Recordset::cellsChanged, [&] { ++announced; });
    QObject::connect(&g.rs, &data::Recordset::cellChanged, [&] { ++oneByOne; });
    // "m²" is in every AREA value, once; "e" several times in some names.
    int areas = 0, withE = 0;
    for (int r = 0; r < g.rs.rowCount(); ++r) {
        if (g.cell(r, 7).contains(QStringLiteral("m²"))) ++areas;
        if (g.cell(r, 7).contains(QLatin1Char('e'), Qt::CaseInsensitive)) ++withE;
    }
    ASSERT_GT(areas, 2);
    EXPECT_EQ(g.editor->ReplaceAll({QStringLiteral("m²"), QStringLiteral("sq m"), false, false}), areas);
    EXPECT_EQ(g.editor->ReplaceAll({QStringLiteral("E"), QStringLiteral("é"), false, false}), withE)
        << "a cell with several occurrences counts once";
    EXPECT_EQ(announced, 2);
    EXPECT_EQ(oneByOne, 0) << "the grid is told once at the end, not per row";
    for (int r = 0; r < g.rs.rowCount(); ++r) EXPECT_EQ(g.cell(r, 7), g.held(r));
    EXPECT_EQ(g.boxes.shown[0].text, QStringLiteral("%1 replacements.").arg(areas));

    // Match Case and whole words.
    g.editor->ReplaceAll({QStringLiteral("é"), QStringLiteral("E"), false, false});
    long exact = g.editor->ReplaceAll({QStringLiteral("sq"), QStringLiteral("SQ"), true, true});
    EXPECT_EQ(exact, areas);
    EXPECT_EQ(g.editor->ReplaceAll({QStringLiteral("sq"), QStringLiteral("x"), true, true}), 0);
}

TEST(GridEditor, FindFirstAndFindNextWalkTheValueColumn)
{
    Grid g(office(), Category::SingleText);
    ASSERT_GE(g.rs.rowCount(), 6);
    const QStringList texts{"abab", "xx ab", "bobcat", "the cat sat", "concatenate", "on the cat."};
    for (int r = 0; r < g.rs.rowCount(); ++r) g.setCell(r, 2, r < texts.size() ? texts[r] : QStringLiteral("-"));
    SearchText ab{QStringLiteral("ab"), QString(), false, false};

    g.editor->FindFirst(ab);
    EXPECT_EQ(g.currentColumn, 2);
    EXPECT_EQ(g.rs.currentRow(), 0);
    EXPECT_EQ(g.foundStart, 0);
    EXPECT_EQ(g.foundLength, 2);
    EXPECT_EQ(g.editor->findPosition(), 4) << "one character past the end of the match";
    g.editor->FindNext(ab);
    EXPECT_EQ(g.rs.currentRow(), 1) << "from position 4 abab has no more";
    EXPECT_EQ(g.foundStart, 3);
    g.foundStart = -1;
    g.editor->FindNext(ab);
    EXPECT_EQ(g.foundStart, -1) << "nothing more is found, and nothing is said";
    EXPECT_EQ(g.rs.currentRow(), 0) << "back to the first record";
    EXPECT_TRUE(std::holds_alternative<std::nullptr_t>(g.editor->findBookmark()));
    g.editor->FindNext(ab);
    EXPECT_EQ(g.rs.currentRow(), 0);
    EXPECT_EQ(g.foundStart, 0) << "the next Find Next starts again at the first record";

    // Whole words: a cell that ends in the word counts; after a match at a
    // cell's end the next search begins with the following record.
    SearchText cat{QStringLiteral("CAT"), QString(), false, true};
    g.editor->FindFirst(cat);
    EXPECT_EQ(g.rs.currentRow(), 2);
    EXPECT_EQ(g.foundStart, 3);
    EXPECT_TRUE(g.editor->findAdvanceRecord());
    g.editor->FindNext(cat);
    EXPECT_EQ(g.rs.currentRow(), 3);
    EXPECT_EQ(g.foundStart, 4);
    g.editor->FindNext(cat);
    EXPECT_EQ(g.rs.currentRow(), 5) << "concatenate has no whole word cat";
    EXPECT_EQ(g.foundStart, 7);
    cat.matchCase = true;
    g.foundStart = -1;
    g.editor->FindFirst(cat);
    EXPECT_EQ(g.foundStart, -1);
    EXPECT_EQ(g.rs.currentRow(), 0);

    // An empty find box says so and takes the focus; blanks are searched for.
    g.editor->FindNext({});
    ASSERT_EQ(g.boxes.shown.size(), 1u);
    EXPECT_EQ(g.boxes.shown[0].text, "Enter text to find.");
    EXPECT_EQ(g.boxes.shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(g.findBoxFocused, 1);
    g.editor->FindFirst({QStringLiteral(" "), QString(), false, false});
    EXPECT_EQ(g.rs.currentRow(), 1);
    EXPECT_EQ(g.boxes.shown.size(), 1u);

    // The search state starts again with every fill: Find Next stays on the
    // record the grid shows.
    g.show(Category::SingleText);
    g.rs.setCurrentRow(3);
    EXPECT_EQ(g.editor->findPosition(), 1);
    EXPECT_TRUE(std::holds_alternative<std::nullptr_t>(g.editor->findBookmark()));
}

TEST(GridEditor, TheLayersViewSearchesDisplayOrColorAndReplaceChecksTheValue)
{
    Grid g(office(), Category::Layers);
    g.editor->FindFirst({QStringLiteral("7"), QString(), false, false});
    EXPECT_EQ(g.editor->valueColumn(), 2);
    EXPECT_EQ(g.currentColumn, 2);
    EXPECT_EQ(g.rs.currentRow(), 0);
    g.editor->FindNext({QStringLiteral("On"), QString(), false, false});
    EXPECT_EQ(g.editor->valueColumn(), 1);
    g.editor->FindFirst({QStringLiteral("30"), QString(), false, false});
    const int furniture = g.rowOf("A-FURN");
    EXPECT_EQ(g.rs.currentRow(), furniture);
    g.editor->FindFirst({QStringLiteral("  "), QString(), false, false});
    EXPECT_EQ(g.editor->valueColumn(), 1) << "blanks choose the Display column";

    // Replace: the current cell only; a display that is not On or Off puts
    // back what the cell held.
    g.editor->FindFirst({QStringLiteral("30"), QString(), false, false});
    g.editor->Replace({QStringLiteral("30"), QStringLiteral("31"), false, false});
    EXPECT_EQ(g.cell(furniture, 2), "31");
    EXPECT_EQ(g.drawing.engine().listedLayer("A-FURN")->color, 31);
    EXPECT_EQ(g.changed, 1);
    g.editor->Replace({QStringLiteral("On"), QStringLiteral("Of"), false, false});
    EXPECT_EQ(g.cell(furniture, 1), "On");
    EXPECT_EQ(g.drawing.engine().listedLayer("A-FURN")->display, "On");
    g.editor->Replace({QStringLiteral("on"), QStringLiteral("off"), false, false});
    EXPECT_EQ(g.cell(furniture, 1), "Off") << "compared without letter case, then proper-cased";
    EXPECT_EQ(g.drawing.engine().listedLayer("A-FURN")->display, "Off");
    EXPECT_TRUE(g.boxes.shown.empty());

    // Replace All switches every layer off and on again.
    long on = 0;
    for (int r = 0; r < g.rs.rowCount(); ++r) on += g.cell(r, 1) == QLatin1String("On");
    EXPECT_EQ(g.editor->ReplaceAll({QStringLiteral("On"), QStringLiteral("Off"), false, true}), on);
    for (int r = 0; r < g.rs.rowCount(); ++r) EXPECT_EQ(g.drawing.engine().listedLayer(g.key(r))->display, "Off");
}

TEST(GridEditor, DeletingARowDeletesItsObject)
{
    Grid g(office());
    const int rows = g.rs.rowCount();
    g.rs.setCurrentRow(2);
    const QString handle = g.key(2);
    EXPECT_FALSE(g.editor->BeforeDelete());
    EXPECT_FALSE(g.drawing.engine().listedValue(handle));
    EXPECT_EQ(g.changed, 1);
    g.rs.Delete();

    // The drawing no longer holds the next row's object: the row stays, and
    // the person is told why.
    g.rs.setCurrentRow(2);
    ASSERT_TRUE(g.drawing.edit().DeleteEntity(g.key(2)));
    EXPECT_TRUE(g.editor->BeforeDelete());
    ASSERT_EQ(g.boxes.shown.size(), 1u);
    EXPECT_TRUE(g.boxes.shown[0].text.startsWith("The object could not be deleted from the drawing."));
    EXPECT_EQ(g.rs.rowCount(), rows - 1);

    // Layers are not deleted from the drawing.
    g.show(Category::Layers);
    g.rs.setCurrentRow(3);
    EXPECT_FALSE(g.editor->BeforeDelete());
    EXPECT_TRUE(g.drawing.engine().listedLayer(g.key(3)));
    EXPECT_EQ(g.changed, 0);

    // Nothing to delete.
    g.rs.setFilter("Name = 'nothing'");
    g.boxes.shown.clear();
    EXPECT_FALSE(g.editor->BeforeDelete());
    ASSERT_EQ(g.boxes.shown.size(), 1u);
    EXPECT_EQ(g.boxes.shown[0].text, "There are no records to delete.");
    EXPECT_EQ(g.boxes.shown[0].icon, MsgIcon::Information);
}

TEST(GridEditor, DeleteAllDeletesWhatTheFilterShowsAndCountsWhatWasDeleted)
{
    Grid g(office());
    const int rows = g.rs.rowCount();
    g.rs.setFilter("AttributeTag = 'NAME'");
    const int names = g.rs.rowCount();
    ASSERT_GT(names, 2);
    QStringList nameHandles, others;
    for (int r = 0; r < names; ++r) nameHandles << g.key(r);

    // No: nothing happens.
    g.boxes.answers = {MsgResult::No};
    g.editor->DeleteAll();
    ASSERT_EQ(g.boxes.shown.size(), 1u);
    EXPECT_EQ(g.boxes.shown[0].text, "Delete all objects in data grid from drawing?");
    EXPECT_EQ(g.boxes.shown[0].defaultButton, 1) << "No is the default";
    EXPECT_EQ(g.changed, 0);
    EXPECT_TRUE(g.rs.isOpen());

    // One of them was deleted already: it is counted apart, with the reason.
    ASSERT_TRUE(g.drawing.edit().DeleteEntity(nameHandles[1]));
    g.boxes.shown.clear();
    g.boxes.answers = {MsgResult::Yes, MsgResult::Ok};
    g.editor->DeleteAll();
    ASSERT_EQ(g.boxes.shown.size(), 2u);
    const QString text = g.boxes.shown[1].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("%1 deletions.\n\n1 objects could not be deleted").arg(names - 1)))
        << text.toStdString();
    EXPECT_TRUE(text.contains(nameHandles[1])) << text.toStdString();
    for (const QString& h : nameHandles) EXPECT_FALSE(g.drawing.engine().listedValue(h)) << h.toStdString();
    EXPECT_FALSE(g.rs.isOpen()) << "the grid is emptied";
    EXPECT_EQ(g.position, "");
    EXPECT_EQ(g.changed, 2) << "the one deleted before, then Delete All as one change";

    g.show(Category::Attributes);
    EXPECT_EQ(g.rs.rowCount(), rows - names) << "the other attributes stay";

    // In the layers view nothing is deleted; the count is 0.
    g.show(Category::Layers);
    const int layers = g.rs.rowCount();
    g.boxes.shown.clear();
    g.boxes.answers = {MsgResult::Yes, MsgResult::Ok};
    g.editor->DeleteAll();
    EXPECT_EQ(g.boxes.shown[1].text, "0 deletions.");
    EXPECT_EQ(g.changed, 0) << "nothing was deleted: the drawing is as it was";
    g.show(Category::Layers);
    EXPECT_EQ(g.rs.rowCount(), layers);
}

TEST(GridEditor, ThePositionCaption)
{
    Grid g(office());
    g.rs.setCurrentRow(2);
    EXPECT_EQ(g.editor->positionCaption(), QStringLiteral("3 of %1").arg(g.rs.RecordCount()));
}

// Import and replace find a row's object through the drawing's index, not
// through the grid's records: on every drawing the project has, and after an
// object is deleted, they list the same objects, in the same order, with the
// same keys and cells as the grid does.
TEST(GridEditor, TheCommandLinesListingIsTheGrids)
{
    QStringList drawings = oracle::samples() + oracle::oddDrawings();
    for (const QString& d : oracle::corpusDrawings())
        if (d.endsWith(QLatin1String(".dxf"), Qt::CaseInsensitive)) drawings << d;
    drawings << QStringLiteral("tests/data/tricky_values.dxf");
    long rows = 0;
    for (const QString& relative : drawings) {
        ddvue::DDVueEngine engine;
        if (!engine.OpenDrawing(oracle::absolute(relative))) continue;  // the odd ones that do not open
        for (int pass = 0; pass < 2; ++pass) {
            for (Category c : {Category::Attributes, Category::SingleText, Category::MultiText, Category::Layers}) {
                data::Recordset rs;
                extract::loadCategory(engine, c, rs);
                const int valueColumn = *extract::categorySettings(c)->valueColumn;
                const std::vector<int> columns =
                    c == Category::Layers ? std::vector<int>{1, 2} : std::vector<int>{valueColumn};
                QStringList grid, listed;
                if (extract::hasData(rs)) {
                    const std::vector<int> fields = extract::arrangedFields(rs.fieldCount(), c);
                    const int key = rs.fieldIndex(extract::categorySettings(c)->keyField);
                    for (int row = 0; row < rs.rowCount(); ++row) {
                        QString line = rs.cell(row, key).toString();
                        for (int column : columns) line += u'|' + rs.cell(row, fields[column]).toString();
                        grid << line;
                    }
                }
                for (const edit::ListedObject& object : edit::listedObjects(engine, c)) {
                    QString line = edit::listedKey(engine, object);
                    for (int column : columns) line += u'|' + edit::listedCell(engine, object, column);
                    listed << line;
                }
                rows += grid.size();
                EXPECT_EQ(listed, grid) << relative.toStdString() << ", category " << static_cast<int>(c) << ", pass "
                                        << pass;
            }
            // Again with the first attribute and text deleted.
            for (Category c : {Category::Attributes, Category::SingleText}) {
                if (auto objects = edit::listedObjects(engine, c); !objects.empty()) {
                    EXPECT_TRUE(engine.DeleteEntity(edit::listedKey(engine, objects.front())));
                }
            }
        }
    }
    EXPECT_GT(rows, 1000) << "drawings of every kind, with rows to compare";
}
