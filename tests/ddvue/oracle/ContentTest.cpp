// `tessilux export --format content` lists the layers, block attributes and
// texts that an independent reader finds in the same drawing, value for value.

#include "Drawings.h"
#include "Oracle.h"
#include "ddvue/ContentDocument.h"
#include "ddvue/FileNames.h"
#include "ddvue/dxf/Document.h"

#include <gtest/gtest.h>

namespace {

using namespace oracle;

// Exports one drawing and compares it with the oracle's dump; `drawing` is
// an absolute path.
// Drawings where ezdxf reads less than the file holds; what the program
// lists in them is checked by the reader's own tests.
const char* ezdxfFallsShort(const QString& drawing)
{
    if (drawing.endsWith(QLatin1String("duplicate-and-empty-handles-2000.dxf")))
        return "ezdxf keeps only the last of two objects that share a handle";
    if (drawing.endsWith(QLatin1String("no-header-2000.dxf")))
        return "ezdxf reads a drawing without header as Release 12 and then loses the attributes' tags and values";
    return nullptr;
}

// `tessilux info` reads a drawing only to count it: its counts and repairs
// are those of the whole read.
void expectSameCounts(const QString& drawing)
{
    const std::string path = ddvue::encodeFileName(drawing);
    ddvue::dxf::Document whole, counted;
    counted.setCountsOnly(true);
    const bool read = whole.loadFile(path);
    ASSERT_EQ(counted.loadFile(path), read) << counted.error();
    if (!read) return;  // a DWG, read by its own reader
    const ddvue::ContentCounts a = ddvue::countContent(whole), b = ddvue::countContent(counted);
    EXPECT_EQ(b.layers, a.layers);
    EXPECT_EQ(b.attributes, a.attributes);
    EXPECT_EQ(b.texts, a.texts);
    EXPECT_EQ(b.multilineTexts, a.multilineTexts);
    EXPECT_EQ(b.externalReferences, a.externalReferences);
    EXPECT_EQ(counted.repairs(), whole.repairs());
}

void expectSameContent(const QString& drawing)
{
    expectSameCounts(drawing);
    if (const char* why = ezdxfFallsShort(drawing)) GTEST_SKIP() << why;
    Outcome run = tessilux({QStringLiteral("export"), drawing, QStringLiteral("--format"), QStringLiteral("content")});
    ASSERT_EQ(run.exitCode, 0) << run.describe().toStdString();
    ASSERT_FALSE(run.crashed);
    Dump dump = readWithOracle(drawing);
    if (!dump.ok()) GTEST_SKIP() << "ezdxf cannot read this drawing, nothing to compare: " << dump.error.toStdString();
    if (handlesMadeUp(drawing)) dump.json.insert(QStringLiteral("handles"), false);
    Content content = parseContent(run.out);
    QStringList diffs = compareContent(content, dump.json);
    EXPECT_TRUE(diffs.isEmpty()) << summary(diffs);
    // An empty comparison would prove nothing (a drawing may have no layer
    // table, but then it has entities).
    EXPECT_FALSE(content.layers.isEmpty() && content.attributes.isEmpty() && content.texts.isEmpty());
}

class ContentAgreement : public ::testing::TestWithParam<QString> {};

TEST_P(ContentAgreement, ExportListsWhatTheOracleSees) { expectSameContent(absolute(GetParam())); }

auto nameOf = [](const ::testing::TestParamInfo<QString>& info) { return testName(info.param); };

INSTANTIATE_TEST_SUITE_P(Samples, ContentAgreement, ::testing::ValuesIn(samples()), nameOf);
INSTANTIATE_TEST_SUITE_P(Odd, ContentAgreement, ::testing::ValuesIn(oddDrawings()), nameOf);
INSTANTIATE_TEST_SUITE_P(Corpus, ContentAgreement, ::testing::ValuesIn(corpusDrawings()), nameOf);

TEST(ContentAgreementEzdxf, EveryVersionAsciiAndBinary)
{
    QString error;
    const QStringList& files = ezdxfDrawings(&error);
    ASSERT_EQ(files.size(), 14) << error.toStdString();
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        expectSameContent(file);
    }
}

// The comparison itself notices a changed value, a missing attribute, a
// wrong layer state and a moved text: agreement above is not an artefact of
// a comparison that sees nothing.
TEST(ContentAgreementHarness, NoticesEachKindOfDifference)
{
    QString drawing = absolute(QStringLiteral("samples/studio-floor-plan-2018.dxf"));
    Outcome run = tessilux({QStringLiteral("export"), drawing});
    ASSERT_EQ(run.exitCode, 0) << run.describe().toStdString();
    Dump dump = readWithOracle(drawing);
    ASSERT_TRUE(dump.ok()) << dump.error.toStdString();
    Content content = parseContent(run.out);
    ASSERT_TRUE(compareContent(content, dump.json).isEmpty());

    auto changed = [&](const char* list, int index, const char* field, const QJsonValue& value) {
        QJsonObject copy = dump.json;
        QJsonArray items = copy.value(QLatin1String(list)).toArray();
        QJsonObject item = items[index].toObject();
        if (value.isUndefined()) items.removeAt(index);
        else {
            item.insert(QLatin1String(field), value);
            items[index] = item;
        }
        copy.insert(QLatin1String(list), items);
        return compareContent(content, copy);
    };
    EXPECT_EQ(changed("attributes", 3, "value", QStringLiteral("other")).size(), 1);
    EXPECT_EQ(changed("attributes", 0, "block", QStringLiteral("ELSEWHERE")).size(), 1);
    EXPECT_GE(changed("attributes", 2, nullptr, QJsonValue::Undefined).size(), 1);
    EXPECT_EQ(changed("layers", 1, "on", false).size(), 2);  // one line gone, one line new
    EXPECT_EQ(changed("texts", 0, "position", QJsonArray{1, 2, 3}).size(), 1);
    EXPECT_EQ(changed("texts", 0, "value", QStringLiteral("CORRIDOR ")).size(), 1);
}

// The drawings the checks run over are there: a missing folder must not
// pass as "nothing differs".
TEST(ContentAgreementMaterial, FoldersHoldTheirDrawings)
{
    EXPECT_GE(samples().size(), 7);
    EXPECT_GE(oddDrawings().size(), 12);
    EXPECT_GE(corpusDrawings().size(), 20);
    EXPECT_GE(badInputs().size(), 10);
}

}  // namespace
