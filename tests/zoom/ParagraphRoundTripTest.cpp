// Multi-line values through the zoom editor on drawings of every version:
// each value read from the drawing shows in the editor and goes back exactly
// as stored when untouched; a paragraph added in the editor is stored as the
// drawing stores paragraphs, saved, read back by the program and by an
// independent reader (ezdxf).

#include "Oracle.h"
#include "TestPaths.h"
#include "ddvue/DDVueEngine.h"
#include "extract/CategoryContent.h"
#include "zoom/ZoomValue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zoom;

namespace {

QStringList drawingsOfEveryVersion()
{
    QStringList out;
    for (const QString& f : QDir(testpaths::samples()).entryList({QStringLiteral("*.dxf")}, QDir::Files, QDir::Name))
        out << testpaths::samples(f);
    for (const QString& f : QDir(testpaths::corpus()).entryList({QStringLiteral("sample_*")}, QDir::Files, QDir::Name))
        out << testpaths::corpus(f);
    out << testpaths::testData(QStringLiteral("odd/multiline-attribute-2018.dxf"));
    return out;
}

struct Edit {
    QString handle;
    bool attribute;
    ValueLines lines;
    QString written;  // the stored form written
};

const QString Added = QString::fromUtf8("Added in the zoom editor \xC3\xBC\xE2\x80\x94\xE7\xA2\xBA");

}  // namespace

class ParagraphRoundTrip : public ::testing::TestWithParam<QString> {};

TEST_P(ParagraphRoundTrip, UntouchedValuesStayAndAddedParagraphsAreStoredAsTheDrawingDoes)
{
    QTemporaryDir dir;
    QString path = dir.filePath(QFileInfo(GetParam()).fileName());
    ASSERT_TRUE(QFile::copy(GetParam(), path));
    ddvue::DDVueEngine engine;
    ASSERT_TRUE(engine.OpenDrawing(path)) << engine.lastError().toStdString();

    std::vector<Edit> edits;
    int paragraphValues = 0;
    for (auto category : {extract::Category::Attributes, extract::Category::SingleText, extract::Category::MultiText}) {
        data::Recordset rs;
        extract::loadCategory(engine, category, rs);
        const bool attribute = category == extract::Category::Attributes;
        const ZoomView view = attribute ? ZoomView::Attribute : ZoomView::Text;
        const QString keyField = attribute ? QStringLiteral("AttributeHandle") : QStringLiteral("Handle");
        const QString valueField = attribute ? QStringLiteral("AttributeValue") : QStringLiteral("Value");
        bool editedSingle = false, editedParagraphs = false;
        for (int row = 0; row < rs.rowCount(); ++row) {
            QString handle = rs.cell(row, rs.fieldIndex(keyField)).toString();
            QString stored = rs.cell(row, rs.fieldIndex(valueField)).toString();
            ValueLines lines = engine.isMultilineText(handle) ? ValueLines::Paragraphs : ValueLines::Single;
            if (category == extract::Category::MultiText) {
                EXPECT_EQ(lines, ValueLines::Paragraphs) << handle.toStdString();
            }
            if (lines == ValueLines::Paragraphs) ++paragraphValues;
            ZoomValue value(view, lines, stored);
            // Stored breaks come back as they were; a line feed stored as
            // such (binary DXF can hold one) goes back in the form the
            // drawing writes every break in.
            QString same = stored;
            same.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            same.replace(QLatin1Char('\r'), QLatin1Char('\n'));
            same.replace(QStringLiteral("\n"), lines == ValueLines::Paragraphs ? QStringLiteral("\\P") : QStringLiteral("^J"));
            EXPECT_EQ(toStoredText(value.initial(), lines, stored), same) << handle.toStdString();
            EXPECT_EQ(value.ok(value.initial(), true).action, OkDecision::Action::None);

            // One value of each kind per category gets a paragraph (a line)
            // more, through OK's decision and the drawing's own operation.
            bool& done = lines == ValueLines::Paragraphs ? editedParagraphs : editedSingle;
            if (done) continue;
            done = true;
            OkDecision d = value.ok(value.initial() + QStringLiteral("\n") + Added, true);
            ASSERT_EQ(d.action, attribute ? OkDecision::Action::SetAttribute : OkDecision::Action::SetText);
            QString expected = same + (lines == ValueLines::Paragraphs && !stored.contains(QLatin1String("^J"))
                                             ? QStringLiteral("\\P")
                                             : QStringLiteral("^J")) +
                               Added;
            EXPECT_EQ(d.value, expected) << handle.toStdString();
            QString v = d.value;
            ASSERT_TRUE(attribute ? engine.SetAttributeValue(v, handle) : engine.SetTextValue(handle, v))
                << engine.lastError().toStdString();
            edits.push_back({handle, attribute, lines, d.value});
        }
    }
    if (QFileInfo(path).suffix() != QLatin1String("dwg") && !GetParam().contains(QLatin1String("R12"))) {
        EXPECT_GT(paragraphValues, 0) << "a drawing of this version with multi-line text was expected";
    }
    ASSERT_FALSE(edits.empty());

    QString saved = path;
    ASSERT_TRUE(engine.SaveDrawing(saved)) << engine.lastError().toStdString();

    // The program reads back what it wrote, in the editor as it was typed.
    ddvue::DDVueEngine again;
    ASSERT_TRUE(again.OpenDrawing(saved)) << again.lastError().toStdString();
    for (auto category : {extract::Category::Attributes, extract::Category::SingleText, extract::Category::MultiText}) {
        data::Recordset rs;
        extract::loadCategory(again, category, rs);
        const bool attribute = category == extract::Category::Attributes;
        const int key = rs.fieldIndex(attribute ? QStringLiteral("AttributeHandle") : QStringLiteral("Handle"));
        const int value = rs.fieldIndex(attribute ? QStringLiteral("AttributeValue") : QStringLiteral("Value"));
        for (int row = 0; row < rs.rowCount(); ++row)
            for (const Edit& e : edits)
                if (e.attribute == attribute && rs.cell(row, key) == e.handle) {
                    EXPECT_EQ(rs.cell(row, value).toString(), e.written) << e.handle.toStdString();
                    EXPECT_TRUE(toEditorText(e.written, e.lines).endsWith(QStringLiteral("\n") + Added));
                }
    }

    // ezdxf reads the same values: group 1 of an attribute (and its
    // embedded multi-line text), MTEXT's text and TEXT's.
    oracle::Dump dump = oracle::readWithOracle(saved, true);
    ASSERT_TRUE(dump.ok()) << dump.error.toStdString();
    QJsonObject entities = dump.json.value(QStringLiteral("entities")).toObject();
    for (const Edit& e : edits) {
        QJsonObject entity = entities.value(e.handle).toObject();
        ASSERT_FALSE(entity.isEmpty()) << e.handle.toStdString();
        QString type = entity.value(QStringLiteral("type")).toString();
        QString text = type == QLatin1String("MTEXT") ? entity.value(QStringLiteral("text")).toString()
                                                      : entity.value(QStringLiteral("dxf")).toObject().value(QStringLiteral("text")).toString();
        EXPECT_EQ(text, e.written) << e.handle.toStdString() << " " << type.toStdString();
        if (entity.contains(QStringLiteral("embedded_text"))) {
            EXPECT_EQ(entity.value(QStringLiteral("embedded_text")).toString(), e.written) << e.handle.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Drawings, ParagraphRoundTrip, ::testing::ValuesIn(drawingsOfEveryVersion()),
                         [](const ::testing::TestParamInfo<QString>& info) {
                             std::string name;
                             for (QChar c : QFileInfo(info.param).fileName())
                                 name += c.isLetterOrNumber() && c.unicode() < 128 ? static_cast<char>(c.unicode()) : '_';
                             return name;
                         });
