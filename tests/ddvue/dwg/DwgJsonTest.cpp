// The reader's answer parsed with the DWG import's own JSON tree: every value
// must answer as Qt's JSON classes answer for the same text, since the DXF
// written from the drawing depends on each of them; and the answer taken in
// line by line, in pieces of any size, makes the drawing it describes.

#include "ddvue/dwg/DwgImport.h"
#include "ddvue/dwg/DwgJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using ddvue::dwg::JsonDocument;
using ddvue::dwg::JsonValue;

std::uint64_t bits(double d)
{
    std::uint64_t b = 0;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

// Compares a value with Qt's reading of the same text, all the way down.
void expectSame(const JsonValue& mine, const QJsonValue& qt, const std::string& where)
{
    SCOPED_TRACE(where);
    ASSERT_EQ(mine.isUndefined(), qt.isUndefined());
    EXPECT_EQ(mine.isNull(), qt.isNull());
    EXPECT_EQ(mine.isBool(), qt.isBool());
    EXPECT_EQ(mine.isDouble(), qt.isDouble());
    EXPECT_EQ(mine.isString(), qt.isString());
    EXPECT_EQ(mine.toBool(), qt.toBool());
    EXPECT_EQ(bits(mine.toDouble(-1)), bits(qt.toDouble(-1)));
    EXPECT_EQ(mine.toString(), qt.toString());
    EXPECT_EQ(mine.truthy(), qt.toVariant().toBool());
    ASSERT_EQ(mine.isArray(), qt.isArray());
    ASSERT_EQ(mine.isObject(), qt.isObject());
    if (qt.isArray()) {
        QJsonArray a = qt.toArray();
        ASSERT_EQ(mine.toArray().size(), static_cast<std::size_t>(a.size()));
        std::size_t i = 0;
        for (const JsonValue& v : mine.toArray()) {
            expectSame(v, a.at(static_cast<qsizetype>(i)), where + "[" + std::to_string(i) + "]");
            ++i;
        }
        EXPECT_TRUE(mine.toArray().at(i).isUndefined());
    }
    if (qt.isObject()) {
        QJsonObject o = qt.toObject();
        ASSERT_EQ(mine.toObject().size(), static_cast<std::size_t>(o.size()));
        for (auto it = mine.toObject().begin(); it != mine.toObject().end(); ++it) {
            std::string key = it.key().toStdString();
            expectSame(it.value(), o.value(it.key()), where + "." + key);
            expectSame(mine.toObject().value(key), o.value(it.key()), where + "." + key + " (looked up)");
        }
        EXPECT_TRUE(mine.toObject().value("no such key").isUndefined());
    }
}

TEST(DwgJson, ValuesAnswerAsQtsJsonClassesDo)
{
    const char* text = R"({
      "texts": ["", "plain", "line\nbreak \"quoted\" back\\slash \/ \t\b\f\r",
                "\u00e9t\u00E9 \ud83d\ude00 lone \ud800 end", "été 漢字 😀", "0", "false", "FALSE", "no"],
      "numbers": [0, -0, 1, -1, 2.5, -2.5e-7, 1.5E+3, 123456789012345678, 9007199254740993, 1e300,
                  5e-324, 0.1, 3.141592653589793, 18446744073709551616, 0.5, -0.5, 0.49],
      "flags": [true, false, null],
      "nested": {"a": {"b": [[], {}, [{"c": [1, {"d": "deep"}]}]]}, "empty": {}},
      "é key": 1, "escaped\u0020key": 2
    })";
    JsonDocument mine;
    std::string error;
    ASSERT_TRUE(mine.parse(text, &error)) << error;
    QJsonParseError qtError{};
    QJsonDocument qt = QJsonDocument::fromJson(text, &qtError);
    ASSERT_EQ(qtError.error, QJsonParseError::NoError);
    expectSame(mine.root(), QJsonValue(qt.object()), "root");
    // Keys with escapes are found by what they say.
    EXPECT_EQ(mine.root().toObject().value("escaped key").toDouble(), 2);
    EXPECT_TRUE(mine.root().toObject().value("texts").toArray()[1].is("plain"));
    EXPECT_TRUE(mine.root().toObject().value("texts").toArray()[3].plainString().empty());
}

TEST(DwgJson, TextThatIsNotJsonIsRefusedAndChangesNothing)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.parse(R"({"kept": [1, 2, 3]})"));
    std::string deep(100000, '[');
    for (std::string bad : {std::string(), std::string("{"), std::string("[1,]"), std::string("{\"a\" 1}"),
                            std::string("\"abc"), std::string("[1 2]"), std::string("tru"), std::string("1 2"),
                            std::string("\"\\x\""), std::string("\"a\nb\""), std::string("\"\\u12g4\""),
                            std::string("-"), std::string("1."), std::string("1e"), std::string("1e999"),
                            std::string("{\"a\":}"), std::string("{,}"), deep}) {
        std::string error;
        EXPECT_FALSE(doc.parse(bad, &error)) << bad.substr(0, 20);
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(QJsonDocument::fromJson(QByteArray::fromStdString(bad)).isObject()) << bad.substr(0, 20);
        // What was parsed before is still whole.
        JsonValue kept = doc.root().toObject().value("kept");
        ASSERT_EQ(kept.toArray().size(), 3u);
        EXPECT_EQ(kept.toArray()[2].toDouble(), 3);
    }
}

TEST(DwgJson, PiecesParsedOneByOneMakeOneDrawing)
{
    JsonDocument doc;
    std::vector<JsonValue> blocks;
    for (const char* piece : {R"({"name": "*Model_Space", "entities": [{"type": "LINE"}]})", R"({"name": "A"})"}) {
        ASSERT_TRUE(doc.parse(piece));
        blocks.push_back(doc.root());
    }
    ASSERT_TRUE(doc.parse(R"({"version": "AC1032", "layers": [{"name": "0"}]})"));
    JsonValue drawing = doc.withMember(doc.root(), "blocks", doc.makeArray(blocks));
    QJsonObject expected = QJsonDocument::fromJson(R"({"version": "AC1032", "layers": [{"name": "0"}],
        "blocks": [{"name": "*Model_Space", "entities": [{"type": "LINE"}]}, {"name": "A"}]})")
                               .object();
    expectSame(drawing, QJsonValue(expected), "drawing");
}

// The reader's answer as it writes it: entities of a block in lines, then
// the block; on the last line the rest of the drawing.
const char* const kAnswer =
    "[{\"type\":\"LINE\",\"handle\":\"A1\"},{\"type\":\"TEXT\",\"handle\":\"A2\"}]\n"
    "[{\"type\":\"CIRCLE\",\"handle\":\"A3\"}]\n"
    "{\"handle\":\"1F\",\"name\":\"*Model_Space\"}\n"
    "{\"handle\":\"30\",\"name\":\"Empty\"}\n"
    "[{\"type\":\"ARC\",\"handle\":\"B1\"}]\n"
    "{\"handle\":\"31\",\"name\":\"Door\"}\n"
    "{\"version\":\"AC1032\",\"layers\":[{\"name\":\"0\"}]}\n";

const char* const kDrawing = R"({"version": "AC1032", "layers": [{"name": "0"}], "blocks": [
    {"handle": "1F", "name": "*Model_Space", "entities": [{"type": "LINE", "handle": "A1"},
        {"type": "TEXT", "handle": "A2"}, {"type": "CIRCLE", "handle": "A3"}]},
    {"handle": "30", "name": "Empty", "entities": []},
    {"handle": "31", "name": "Door", "entities": [{"type": "ARC", "handle": "B1"}]}]})";

TEST(ReaderAnswer, LinesInPiecesOfAnySizeMakeTheDrawing)
{
    const std::string answer = kAnswer;
    QJsonObject expected = QJsonDocument::fromJson(kDrawing).object();
    for (std::size_t piece : {answer.size(), std::size_t(1), std::size_t(7), std::size_t(64)}) {
        ddvue::dwg::ReaderAnswer a;
        for (std::size_t at = 0; at < answer.size(); at += piece)
            a.add(answer.data() + at, std::min(piece, answer.size() - at));
        std::string error;
        ASSERT_TRUE(a.finish(error)) << error;
        expectSame(JsonValue(a.drawing().value("version")), expected.value("version"), "version");
        ddvue::dwg::JsonArray blocks = a.drawing().value("blocks").toArray();
        QJsonArray expectedBlocks = expected.value("blocks").toArray();
        ASSERT_EQ(blocks.size(), 3u) << "pieces of " << piece;
        for (std::size_t i = 0; i < blocks.size(); ++i)
            expectSame(blocks[i], expectedBlocks.at(static_cast<qsizetype>(i)), "block " + std::to_string(i));
    }
    // The last line may come without its line end.
    ddvue::dwg::ReaderAnswer a;
    a.add(answer.data(), answer.size() - 1);
    std::string error;
    EXPECT_TRUE(a.finish(error)) << error;
    EXPECT_EQ(a.drawing().value("blocks").toArray().size(), 3u);
}

TEST(ReaderAnswer, AnAnswerThatIsNoDrawingIsRefusedWithItsReason)
{
    for (std::string answer : {std::string(), std::string("\n\n"), std::string("[{\"type\":\"LINE\"}]\n"),
                               std::string("{\"version\":\"AC1032\"}\n[{\"type\":\"LINE\"}]\n"),
                               std::string("{\"blocks\": [\n"), std::string("[1]\nnot json\n{\"version\":1}\n"),
                               std::string("{\"version\":\"AC1032\"}\n42\n")}) {
        ddvue::dwg::ReaderAnswer a;
        a.add(answer.data(), answer.size());
        std::string error;
        EXPECT_FALSE(a.finish(error)) << answer;
        EXPECT_FALSE(error.empty()) << answer;
    }
}

}  // namespace
