// A drawing's categories on their way to the grid: the values the recordset
// holds, the columns the grid shows.

#include "extract/CategoryContent.h"
#include "extract/VersionNames.h"
#include "extract/XmlRecordset.h"

#include "ddvue/DDVueEngine.h"

#include "TestPaths.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace extract;

namespace {

class Tricky : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString path = testpaths::testData(QStringLiteral("tricky_values.dxf"));
        ASSERT_TRUE(engine.OpenDrawing(path)) << engine.lastError().toStdString();
    }

    // The recordset's rows, each as the values of `fields`.
    std::vector<QStringList> rows(Category category, const QStringList& fields)
    {
        data::Recordset rs;
        CategoryLoad load = loadCategory(engine, category, rs);
        EXPECT_TRUE(load.exported);
        EXPECT_EQ(load.opened, rs.RecordCount());
        std::vector<QStringList> out;
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext()) {
            QStringList row;
            for (const QString& f : fields) row << rs.value(f);
            out.push_back(row);
        }
        return out;
    }

    ddvue::DDVueEngine engine;
};

}  // namespace

TEST_F(Tricky, AttributeValuesArriveAsTheDrawingHoldsThem)
{
    auto got = rows(Category::Attributes, {"Block", "Layout", "LayerName", "X", "Y", "AttributeTag", "AttributeValue"});
    std::vector<QStringList> expected = {
        {"*Model_Space", "Model", "A&B it's", "10", "20", "TITLE", "Say \"hi\" & <bye>"},
        {"*Model_Space", "Model", "A&B it's", "10", "20", "PANHANDLE", "handle elementid Handle"},
        {"*Model_Space", "Model", "A&B it's", "10", "20", "ELEMENTID_NOTE", "it's = fine"},
        {"*Model_Space", "Model", "A&B it's", "10", "20", "NOTE", "  leading and trailing  "},
        {"*Paper_Space", "Layout1", "0", "1.5", "-2.25", "TITLE", QString::fromUtf8("Straße café")},
        {"*Paper_Space", "Layout1", "0", "1.5", "-2.25", "PANHANDLE", QString::fromUtf8("中文 ✓")},
        {"*Paper_Space", "Layout1", "0", "1.5", "-2.25", "ELEMENTID_NOTE", QString::fromUtf8("emoji \U0001F600 here")},
        {"*Paper_Space", "Layout1", "0", "1.5", "-2.25", "NOTE", "a&quot;b, c;d"},
    };
    EXPECT_EQ(got, expected);
}

TEST_F(Tricky, TextsAndLayersArriveAsTheDrawingHoldsThem)
{
    EXPECT_EQ(rows(Category::SingleText, {"Value", "LayerName", "X", "Y"}),
              (std::vector<QStringList>{{"Text & <more> = \"x\"", "0", "3", "4"},
                                        {"  spaced", QString::fromUtf8("Ünïcödé #1"), "5", "6"}}));
    EXPECT_EQ(rows(Category::MultiText, {"Value"}), (std::vector<QStringList>{{"Line one\\PLine 'two' & three"}}));
    EXPECT_EQ(rows(Category::Layers, {"Name", "Display", "Color"}),
              (std::vector<QStringList>{{"0", "On", "7"},
                                        {"Defpoints", "On", "7"},
                                        {"A&B it's", "On", "3"},
                                        {QString::fromUtf8("Ünïcödé #1"), "On", "200"},
                                        {"Off layer", "Off", "5"}}));
    data::Recordset rs;
    EXPECT_EQ(loadCategory(engine, Category::ExternalReferences, rs).opened, 0);
    EXPECT_FALSE(hasData(rs));  // a group without records has no fields
}

TEST_F(Tricky, TheGridShowsEachCategoryArranged)
{
    struct View {
        Category category;
        QStringList captions;
        std::vector<int> widths, locked;
    };
    const View views[] = {
        {Category::Attributes,
         {"Block", "Layout", "Name", "LayerName", "X", "Y", "AttributeTag", "*AttributeValue"},
         {700, 700, 700, 900, 500, 500, 2100, 2100},
         {0, 1, 2, 3, 4, 5, 6}},
        {Category::SingleText, {"Block", "Layout", "*Value", "X", "Y"}, {700, 700, 5000, 700, 700}, {0, 1, 3, 4}},
        {Category::MultiText, {"Block", "Layout", "*Value", "X", "Y"}, {700, 700, 5000, 700, 700}, {0, 1, 3, 4}},
        {Category::Layers, {"Name", "*Display", "*Color"}, {}, {0}},
    };
    for (const View& v : views) {
        data::Recordset rs;
        data::DataGrid grid;
        loadCategory(engine, v.category, rs);
        ASSERT_TRUE(showCategory(grid, rs, v.category));
        QStringList captions;
        for (int c = 0; c < grid.columnCount(); ++c) captions << grid.columnCaption(c);
        EXPECT_EQ(captions, v.captions);
        for (std::size_t c = 0; c < v.widths.size(); ++c)
            EXPECT_NEAR(grid.columnWidthTwips(static_cast<int>(c)), v.widths[c], 8) << c;
        for (int c = 0; c < grid.columnCount(); ++c)
            EXPECT_EQ(grid.isColumnLocked(c), std::count(v.locked.begin(), v.locked.end(), c) > 0) << c;
    }
    // Images have no content; external references here have no records.
    for (Category c : {Category::Images, Category::ExternalReferences}) {
        data::Recordset rs;
        data::DataGrid grid;
        loadCategory(engine, c, rs);
        EXPECT_FALSE(showCategory(grid, rs, c));
        EXPECT_EQ(grid.text(), QStringLiteral("No data"));
    }
}

TEST(Categories, SettingsFollowTheCategoryTable)
{
    const CategorySettings* a = categorySettings(Category::Attributes);
    EXPECT_EQ(a->exportFlags, (std::array<long, 8>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(a->flatCode, 3);
    EXPECT_EQ(a->valueColumn, 7);
    EXPECT_TRUE(a->rowDeletion);
    EXPECT_EQ(categorySettings(Category::MultiText)->flatCode, 9);
    EXPECT_EQ(categorySettings(Category::Layers)->valueColumn, 1);
    EXPECT_FALSE(categorySettings(Category::Layers)->rowDeletion);
    EXPECT_FALSE(categorySettings(Category::ExternalReferences)->valueColumn.has_value());
    EXPECT_EQ(categorySettings(Category::Images), nullptr);
    // The removals leave the grid's columns of the record layouts.
    for (Category c : {Category::Attributes, Category::SingleText, Category::Layers, Category::ExternalReferences}) {
        const QStringList& fields = recordFields(c);
        QStringList kept;
        for (int f : arrangedFields(static_cast<int>(fields.size()), c)) kept << fields[f];
        QStringList expected = c == Category::Attributes ? QStringList{"Block", "Layout", "Name", "LayerName", "X", "Y", "AttributeTag", "AttributeValue"}
                               : c == Category::SingleText ? QStringList{"Block", "Layout", "Value", "X", "Y"}
                                                           : fields;
        EXPECT_EQ(kept, expected);
    }
}

TEST(VersionNames, CurrentVersionsHaveNames)
{
    EXPECT_EQ(DrawingVersionNameForCode(12), QStringLiteral("R14"));
    EXPECT_EQ(DrawingVersionNameForCode(17), QStringLiteral("v2005"));
    EXPECT_EQ(DrawingVersionNameForCode(18), QStringLiteral("v2007"));
    EXPECT_EQ(DrawingVersionNameForCode(19), QStringLiteral("v2010"));
    EXPECT_EQ(DrawingVersionNameForCode(20), QStringLiteral("v2013"));
    EXPECT_EQ(DrawingVersionNameForCode(21), QStringLiteral("v2018"));
    EXPECT_EQ(DrawingVersionNameForCode(22), QString());
    EXPECT_EQ(DrawingVersionNameForCode(-1), QString());
}

TEST(OpenXmlRecordset, AnswersTheRowCountOrMinusTwo)
{
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("_flat.xml"));
    data::Recordset rs;
    EXPECT_EQ(OpenXmlRecordset(path, rs), -2);  // no file
    auto write = [&](const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    write("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n\r\n");  // no root element
    QString error;
    EXPECT_EQ(OpenXmlRecordset(path, rs, &error), -2);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(hasData(rs));
    write("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n\r\n<Layers>\r\n<Layer>\r\n<Name>a</Name>\r\n</Layer>\r\n"
          "<Layer>\r\n<Name>b</Name>\r\n</Layer>\r\n</Layers>\r\n");
    EXPECT_EQ(OpenXmlRecordset(path, rs), 2);
    EXPECT_EQ(rs.fieldNames(), QStringList{"Name"});  // no field of the recordset's own
}

// A flat document that the record reader refuses is a failure with the
// reader's reason, in both ways of loading, never a grid with no rows.
TEST_F(Tricky, AFlatDocumentTheReaderRefusesIsAFailureWithItsReason)
{
    std::string content = engine.contentDocument(true, false, false, false);
    std::size_t at = content.find("<AttributeValue>");
    ASSERT_NE(at, std::string::npos);
    content.insert(at + 16, "&#1;");  // a character XML does not allow
    const CategorySettings& settings = *categorySettings(Category::Attributes);
    for (bool keepFlat : {false, true}) {
        data::Recordset rs;
        std::string flat;
        CategoryLoad load = loadCategoryContent(content, settings, rs, keepFlat ? &flat : nullptr);
        EXPECT_TRUE(load.exported);
        EXPECT_LT(load.opened, 0);
        QString why = loadFailure(load);
        EXPECT_TRUE(why.contains("character")) << why.toStdString();
        EXPECT_FALSE(hasData(rs));
    }
    data::Recordset rs;
    EXPECT_EQ(loadFailure(loadCategory(engine, Category::Attributes, rs)), QString());
}
