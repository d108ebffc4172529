// `tessilux export --format content` lists the layers, block attributes and
// texts that an independent reader finds in the same drawing, value for value.

#include "Drawings.h"
#include "Oracle.h"

#include <gtest/gtest.h>

namespace {

using namespace oracle;

// Exports one drawing and compares it with the oracle's dump; `drawing` is
// an absolute path.
void expectSameContent(const QString& drawing)
{
    Outcome run = tessilux({QStringLiteral("export"), drawing, QStringLiteral("--format"), QStringLiteral("content")});
    ASSERT_EQ(run.exitCode, 0) << run.describe().toStdString();
    ASSERT_FALSE(run.crashed);
    Dump dump = readWithOracle(drawing);
    if (!dump.ok()) GTEST_SKIP() << "ezdxf cannot read this drawing, nothing to compare: " << dump.error.toStdString();
    Content content = parseContent(run.out);
    QStringList diffs = compareContent(content, dump.json);
    EXPECT_TRUE(diffs.isEmpty()) << summary(diffs);
    // An empty comparison would prove nothing.
    EXPECT_FALSE(content.layers.isEmpty());
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
