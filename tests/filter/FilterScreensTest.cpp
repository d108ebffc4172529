// The record filter and its field picker: what a filter text does to the
// grid's recordset and what the person is told, then the two screens shown
// and worked with the keyboard and the mouse.

#include "QtPrint.h"
#include "filter/RecordFilter.h"
#include "filter/frmField.h"
#include "filter/frmFilter.h"

#include "data/Recordset.h"
#include "Doubles.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using extract::Category;
using filter::FilterOutcome;
using platform::MsgIcon;
using platform::MsgResult;

namespace {

// Three block attributes on two layers.
std::unique_ptr<data::Recordset> attributeRows()
{
    data::RecordTable t;
    for (const char* f : {"Block", "Layout", "Name", "LayerName", "X", "Y", "AttributeTag", "AttributeValue"})
        t.addField(QString::fromLatin1(f));
    const char* rows[][3] = {{"TITLE", "x-notes", "High school"}, {"TITLE", "walls", "Library"},
                             {"DOOR", "x-doors", "D1"}};
    for (auto& r : rows) {
        qsizetype row = t.appendRow();
        t.setValue(row, 0, QString::fromLatin1(r[0]));
        t.setValue(row, 3, QString::fromLatin1(r[1]));
        t.setValue(row, 7, QString::fromLatin1(r[2]));
    }
    auto rs = std::make_unique<data::Recordset>();
    rs->open(std::move(t));
    return rs;
}

// The main window as the filter sees it. Its save prompt and grid fill
// behave as the window's: the prompt saves on Yes (unless saving fails),
// a fill brings a new recordset without a filter and clears the unsaved
// state.
struct Host : filter::FilterHost {
    std::unique_ptr<data::Recordset> rs = attributeRows();
    std::optional<Category> shown = Category::Attributes;
    QString filter;
    bool changed = false;
    bool saveFails = false;
    int saves = 0;
    int fills = 0;

    data::Recordset* recordset() override { return rs.get(); }
    std::optional<Category> category() const override { return shown; }
    QString currentFilter() const override { return filter; }
    void setCurrentFilter(const QString& f) override { filter = f; }
    bool offerToSave() override
    {
        if (!changed) return true;
        MsgResult answer = platform::msgBox(QStringLiteral("Do you want to save your changes?"),
                                            platform::MsgButtons::YesNoCancel, MsgIcon::Question);
        if (answer == MsgResult::Cancel) return false;
        if (answer == MsgResult::Yes) {
            ++saves;
            if (!saveFails) changed = false;
        }
        return true;
    }
    // The unsaved changes are the drawing's: a new grid leaves them as they are.
    void fillGrid() override
    {
        ++fills;
        rs = attributeRows();
        filter.clear();
    }
};

struct Seams {
    platform::ScriptedMessageBoxes boxes;
    platform::ScriptedScreenRunner screens;
    platform::Installed<platform::MessageBoxes> b{boxes};
    platform::Installed<platform::ScreenRunner> r{screens};
    QStringList texts() const
    {
        QStringList out;
        for (const auto& m : boxes.shown) out << m.text;
        return out;
    }
};

// A double-click on a row of a list, as a person makes it: press, release,
// and the second press.
void doubleClick(QListWidget* list, int row)
{
    list->scrollToItem(list->item(row));
    QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

TEST(RecordFilter, FieldsAndHelpTextFollowTheCategoryOnShow)
{
    EXPECT_EQ(filter::filterFields(Category::Attributes),
              QStringList({"Block", "Layout", "Name", "LayerName", "X", "Y", "AttributeTag", "AttributeValue"}));
    EXPECT_EQ(filter::filterFields(Category::SingleText), QStringList({"Block", "Layout", "Value", "X", "Y"}));
    EXPECT_EQ(filter::filterFields(Category::MultiText), filter::filterFields(Category::SingleText));
    EXPECT_EQ(filter::filterFields(Category::Layers), QStringList({"Name", "Display", "Color"}));
    EXPECT_TRUE(filter::filterFields(Category::ExternalReferences).isEmpty());
    EXPECT_TRUE(filter::filterFields(std::nullopt).isEmpty());

    QStringList lines = filter::filterHelpText(Category::Layers).split("\r\n");
    ASSERT_EQ(lines.size(), 15);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "   Format: [field1] = <> LIKE [value1] AND|OR [field2] = <> LIKE [value2] AND|OR...");
    EXPECT_EQ(lines[5], "   AttributeValue LIKE '*school*' AND LayerName LIKE 'x*'");
    EXPECT_EQ(lines[14], "   Available Fields: Name, Display, Color");
    EXPECT_TRUE(filter::filterHelpText(Category::ExternalReferences).endsWith("\r\n   Available Fields: "));
}

TEST(RecordFilter, AFilterInForceOrOneDifferingOnlyInCaseClosesSilently)
{
    Seams seams;
    Host host;
    host.changed = true;
    EXPECT_EQ(filter::applyFilter(host, "   "), FilterOutcome::Unchanged);  // none in force, none given
    EXPECT_EQ(filter::applyFilter(host, " LayerName LIKE 'x*'  "), FilterOutcome::Set);
    EXPECT_EQ(host.filter, "LayerName LIKE 'x*'");  // blanks at the ends dropped, inner ones kept
    EXPECT_EQ(host.rs->RecordCount(), 2);
    std::size_t before = seams.boxes.shown.size();
    host.changed = true;
    EXPECT_EQ(filter::applyFilter(host, "layername like 'X*'"), FilterOutcome::Unchanged);
    EXPECT_EQ(seams.boxes.shown.size(), before);  // no prompt, no message
    EXPECT_EQ(host.filter, "LayerName LIKE 'x*'");
}

TEST(RecordFilter, SetClearedInvalidAndNoRecordsSayWhatHappened)
{
    Seams seams;
    Host host;
    EXPECT_EQ(filter::applyFilter(host, "AttributeValue LIKE '*school*'"), FilterOutcome::Set);
    EXPECT_EQ(seams.texts(), QStringList({"Filter set."}));
    EXPECT_EQ(seams.boxes.shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(seams.boxes.shown[0].title, platform::programTitle());

    // Rejected: the filter in force stays, and CurrentFilter says so.
    seams.boxes.shown.clear();
    EXPECT_EQ(filter::applyFilter(host, "AttributeValue LIKE 'sch*ool'"), FilterOutcome::Invalid);
    EXPECT_EQ(filter::applyFilter(host, "NoSuchField = 'x'"), FilterOutcome::Invalid);
    EXPECT_EQ(filter::applyFilter(host, "Block = 'it's'"), FilterOutcome::Invalid);
    EXPECT_EQ(seams.texts(), QStringList({"Invalid filter.", "Invalid filter.", "Invalid filter."}));
    EXPECT_EQ(seams.boxes.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(host.filter, "AttributeValue LIKE '*school*'");
    EXPECT_EQ(host.rs->RecordCount(), 1);

    // Accepted but empty: the grid is filled again with every row.
    seams.boxes.shown.clear();
    EXPECT_EQ(filter::applyFilter(host, "Block = 'WINDOW'"), FilterOutcome::NoRecords);
    EXPECT_EQ(seams.texts(), QStringList({"Filter set.", "Filter produced no records."}));
    EXPECT_EQ(seams.boxes.shown[1].icon, MsgIcon::Exclamation);
    EXPECT_EQ(host.filter, "");
    EXPECT_EQ(host.fills, 1);
    EXPECT_EQ(host.rs->RecordCount(), 3);
    EXPECT_FALSE(filter::closesScreen(FilterOutcome::NoRecords));

    // Clear Filter with none in force.
    seams.boxes.shown.clear();
    EXPECT_FALSE(filter::mayClearFilter(host));
    EXPECT_EQ(seams.texts(), QStringList({"No active filter."}));
    ASSERT_EQ(filter::applyFilter(host, "Block = 'DOOR'"), FilterOutcome::Set);
    EXPECT_TRUE(filter::mayClearFilter(host));
    seams.boxes.shown.clear();
    EXPECT_EQ(filter::applyFilter(host, ""), FilterOutcome::Cleared);
    EXPECT_EQ(seams.texts(), QStringList({"Filter cleared."}));
    EXPECT_EQ(host.fills, 2);
    EXPECT_EQ(host.rs->RecordCount(), 3);
}

TEST(RecordFilter, UnsavedChangesAreOfferedAndCancelAppliesNothing)
{
    Seams seams;
    Host host;
    host.changed = true;
    seams.boxes.answers = {MsgResult::Yes};
    ASSERT_EQ(filter::applyFilter(host, "Block = 'TITLE'"), FilterOutcome::Set);
    EXPECT_EQ(seams.boxes.shown[0].text, "Do you want to save your changes?");
    EXPECT_EQ(host.saves, 1);
    EXPECT_FALSE(host.changed);

    // Cancel (also Esc and the box's close button): no filter is applied
    // or taken away, nothing is saved, and the screen stays open.
    host.changed = true;
    const long shown = host.rs->RecordCount();
    seams.boxes.answers = {MsgResult::Cancel};
    ASSERT_EQ(filter::applyFilter(host, ""), FilterOutcome::Cancelled);
    EXPECT_FALSE(filter::closesScreen(FilterOutcome::Cancelled));
    EXPECT_EQ(host.filter, "Block = 'TITLE'");
    EXPECT_EQ(host.rs->RecordCount(), shown);
    EXPECT_EQ(host.saves, 1);
    EXPECT_EQ(host.fills, 0);
    EXPECT_EQ(seams.texts().size(), 3) << "Cancel shows nothing more";

    // No: the filter applies and the changes are not saved.
    seams.boxes.answers = {MsgResult::No};
    ASSERT_EQ(filter::applyFilter(host, ""), FilterOutcome::Cleared);
    EXPECT_EQ(host.saves, 1);
    EXPECT_EQ(host.fills, 1);
    EXPECT_TRUE(host.changed);

    // A save that fails leaves them unsaved too, also through the refill of
    // a filter that leaves no rows.
    host.saveFails = true;
    seams.boxes.answers = {MsgResult::Yes};
    ASSERT_EQ(filter::applyFilter(host, "Block = 'NONE'"), FilterOutcome::NoRecords);
    EXPECT_EQ(host.saves, 2);
    EXPECT_TRUE(host.changed);
}

TEST(FilterScreens, ATypedFilterAppliesWithEnterAndARejectedOneKeepsTheScreen)
{
    Seams seams;
    Host host;
    host.filter = "Block = 'TITLE'";
    host.rs->setFilter(host.filter);
    filter::frmFilter screen(host);
    EXPECT_EQ(screen.windowTitle(), platform::programTitle() + " - Record Filter Screen");
    EXPECT_EQ(screen.txtFilter->text(), host.filter);  // the filter in force
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
    screen.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&screen));
    EXPECT_TRUE(screen.helpText().endsWith("Available Fields: Block, Layout, Name, LayerName, X, Y, AttributeTag, "
                                           "AttributeValue"));

    // Rejected: the screen stays, the text stays, the focus is back in it.
    QTest::keyClick(screen.focusWidget(), Qt::Key_End);
    QTest::keyClicks(screen.focusWidget(), " AND (");
    QTest::keyClick(screen.focusWidget(), Qt::Key_Return);
    EXPECT_EQ(seams.texts(), QStringList({"Invalid filter."}));
    EXPECT_TRUE(screen.isVisible());
    EXPECT_EQ(screen.txtFilter->text(), "Block = 'TITLE' AND (");
    EXPECT_EQ(QApplication::focusWidget(), screen.txtFilter);

    // Accepted with rows: the screen closes.
    screen.txtFilter->selectAll();
    QTest::keyClicks(screen.focusWidget(), "LayerName LIKE 'x*'");
    QTest::keyClick(screen.focusWidget(), Qt::Key_Enter);
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(host.filter, "LayerName LIKE 'x*'");
    EXPECT_EQ(host.rs->RecordCount(), 2);
}

TEST(FilterScreens, ClearFilterWithNoneInForceKeepsTheTextAndTheScreen)
{
    Seams seams;
    Host host;
    filter::frmFilter screen(host);
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
    QTest::keyClicks(screen.txtFilter, "Block = 'DOOR'");
    QTest::mouseClick(screen.cmdClear, Qt::LeftButton);
    EXPECT_EQ(seams.texts(), QStringList({"No active filter."}));
    EXPECT_TRUE(screen.isVisible());
    EXPECT_EQ(screen.txtFilter->text(), "Block = 'DOOR'");

    // Cancel changes nothing.
    QTest::mouseClick(screen.cmdCancel, Qt::LeftButton);
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(host.filter, "");
    EXPECT_EQ(host.rs->RecordCount(), 3);
}

TEST(FilterScreens, TheFieldPickerBuildsAFilterThatOkApplies)
{
    Seams seams;
    Host host;
    filter::frmFilter screen(host);
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));

    seams.screens.handlers.push_back([](QDialog& d) {
        auto& picker = static_cast<filter::frmField&>(d);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
        EXPECT_EQ(picker.windowTitle(), "Block Attribute Field List");
        ASSERT_EQ(picker.lstFields->count(), 8);
        EXPECT_EQ(picker.lstFields->item(3)->text(), "LayerName");
        doubleClick(picker.lstFields, 3);
        QTest::mouseClick(picker.cmdLike, Qt::LeftButton);
        QTest::keyClicks(picker.txtValue, "x*");
        QTest::mouseClick(picker.cmdAdd, Qt::LeftButton);
        QTest::mouseClick(picker.cmdAnd, Qt::LeftButton);
        doubleClick(picker.lstFields, 6);
        QTest::mouseClick(picker.cmdNotEquals, Qt::LeftButton);
        picker.txtValue->setText("TITLE_1");
        QTest::mouseClick(picker.cmdAdd, Qt::LeftButton);
        // Enter in the value box closes the picker.
        picker.txtValue->setFocus();
        QTest::keyClick(picker.txtValue, Qt::Key_Return);
        EXPECT_FALSE(picker.isVisible());
    });
    QTest::mouseClick(screen.cmdFields, Qt::LeftButton);
    EXPECT_EQ(seams.screens.shown, std::vector<QString>{"frmField"});
    EXPECT_EQ(screen.txtFilter->text(), "LayerName LIKE 'x*' AND AttributeTag <> 'TITLE_1'");
    QTest::mouseClick(screen.cmdOK, Qt::LeftButton);
    EXPECT_EQ(host.filter, "LayerName LIKE 'x*' AND AttributeTag <> 'TITLE_1'");
    EXPECT_EQ(seams.texts(), QStringList({"Filter set."}));
    EXPECT_EQ(seams.screens.unexpected, 0);
}

TEST(FilterScreens, ThePickerAppendsPiecesAsTheyAreAndKnowsNoOtherCategory)
{
    QLineEdit target;
    target.setText("Block");
    filter::frmField picker(&target, Category::ExternalReferences);
    EXPECT_EQ(picker.windowTitle(), "Fields List");
    EXPECT_EQ(picker.lstFields->count(), 0);
    picker.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
    QTest::mouseClick(picker.cmdEquals, Qt::LeftButton);
    QTest::mouseClick(picker.cmdEquals, Qt::LeftButton);
    QTest::mouseClick(picker.cmdAdd, Qt::LeftButton);  // an empty value: two apostrophes
    picker.txtValue->setText(" it's ");
    QTest::mouseClick(picker.cmdAdd, Qt::LeftButton);
    QTest::mouseClick(picker.cmdOr, Qt::LeftButton);
    EXPECT_EQ(target.text(), "Block =  = ''' it's ' OR ");
    EXPECT_EQ(picker.txtValue->text(), " it's ");  // not cleared after Add
    // A double-click beside the items appends nothing.
    QTest::mouseDClick(picker.lstFields->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(target.text(), "Block =  = ''' it's ' OR ");
    // Enter on a focused operator button closes the screen, as anywhere.
    picker.cmdOr->setFocus();
    QTest::keyClick(picker.cmdOr, Qt::Key_Return);
    EXPECT_FALSE(picker.isVisible());
    EXPECT_EQ(target.text(), "Block =  = ''' it's ' OR ");

    EXPECT_EQ(filter::frmField::captionFor(Category::MultiText), "Text Field List");
    EXPECT_EQ(filter::frmField::captionFor(Category::Layers), "Layer Field List");
}
