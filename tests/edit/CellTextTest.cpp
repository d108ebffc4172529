// The text rules of editing in the grid: proper case, the numeric test and
// layer colors, and the searches and replacements inside one cell.

#include "edit/CellText.h"

#include <gtest/gtest.h>

using namespace edit;

TEST(CellText, ProperCaseTurnsEveryWordsFirstLetterUp)
{
    EXPECT_EQ(properCase("oN"), "On");
    EXPECT_EQ(properCase("OFF"), "Off");
    EXPECT_EQ(properCase("off"), "Off");
    EXPECT_EQ(properCase("the cAT\tsat\non THE mat"), "The Cat\tSat\nOn The Mat");
    EXPECT_EQ(properCase(QStringLiteral("ärger ÖL")), QStringLiteral("Ärger Öl"));
    EXPECT_EQ(properCase("1st o'NEIL-smith"), "1st O'neil-smith");
    EXPECT_EQ(properCase(""), "");
}

TEST(CellText, NumbersAndLayerColors)
{
    for (const char* yes : {"7", " 7 ", "-1.5", "+.5", "5.", "1e2", "2.5E-1", "\t12\t"})
        EXPECT_TRUE(isNumeric(yes)) << yes;
    for (const char* no : {"", " ", "abc", "7a", "1e", ".", "-", "1,5", "0x10", "1 2", "e5"})
        EXPECT_FALSE(isNumeric(no)) << no;

    EXPECT_EQ(layerColorOf("12.5"), 12) << "halves go to the even neighbour";
    EXPECT_EQ(layerColorOf("13.5"), 14);
    EXPECT_EQ(layerColorOf("7.5"), 8);
    EXPECT_EQ(layerColorOf("2.5"), 2);
    EXPECT_EQ(layerColorOf(" 7 "), 7);
    EXPECT_EQ(layerColorOf("007"), 7);
    EXPECT_EQ(layerColorOf("255.4"), 255);
    EXPECT_EQ(layerColorOf("1e2"), 100);
    EXPECT_EQ(layerColorOf("0.6"), 1);
    for (const char* no : {"0", "0.5", "256", "255.5", "100000", "70000", "-3", "abc", "", "1e999"})
        EXPECT_FALSE(layerColorOf(no)) << no;
}

TEST(CellText, PlainFindAndReplace)
{
    auto cs = Qt::CaseInsensitive;
    EXPECT_EQ(findIn("abab", "ab", 1, cs), 1);
    EXPECT_EQ(findIn("abab", "ab", 2, cs), 3);
    EXPECT_EQ(findIn("abab", "ab", 4, cs), 0);
    EXPECT_EQ(findIn("abab", "ab", 9, cs), 0);
    EXPECT_EQ(findIn("ABAB", "ab", 1, Qt::CaseSensitive), 0);
    EXPECT_EQ(findIn("ABAB", "ab", 1, cs), 1);

    EXPECT_EQ(replaceIn("a cat, a CAT", "cat", "dog", cs), "a dog, a dog");
    EXPECT_EQ(replaceIn("a cat, a CAT", "cat", "dog", Qt::CaseSensitive), "a dog, a CAT");
    EXPECT_EQ(replaceIn("aaa", "aa", "b", cs), "ba") << "left to right, without overlaps";
    EXPECT_EQ(replaceIn("abc", "", "x", cs), "abc") << "an empty find text changes nothing";
}

TEST(CellText, WholeWordSearch)
{
    auto cs = Qt::CaseInsensitive;
    auto at = [&](const QString& text, int start = 1) {
        auto m = findWholeWord(text, "cat", start, cs);
        return m ? m->position : 0;
    };
    EXPECT_EQ(at("cat sat"), 1);
    EXPECT_EQ(at("the cat sat"), 5);
    EXPECT_EQ(at("on the cat."), 8);
    EXPECT_EQ(at("the cat"), 5);
    EXPECT_EQ(at("concatenate"), 0);
    EXPECT_EQ(at("bobcat"), 4) << "a cell that ends in the word counts, the character before is not looked at";
    EXPECT_EQ(at("cat"), 1);
    EXPECT_EQ(at("cat sat", 2), 0) << "the beginning counts only from the first position";
    EXPECT_EQ(at("the cat sat and the cat sat", 6), 21);

    auto end = findWholeWord("the cat", "cat", 1, cs);
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->atEnd);
    EXPECT_FALSE(findWholeWord("the cat sat", "cat", 1, cs)->atEnd);
    EXPECT_TRUE(findWholeWord("a CAT", "cat", 1, cs)) << "compared without letter case";
    EXPECT_FALSE(findWholeWord("a CAT", "cat", 1, Qt::CaseSensitive));
    // A word that ends in a period is found before a blank.
    EXPECT_EQ(findWholeWord("see no. 5", "no.", 1, cs)->position, 5);
}

TEST(CellText, WholeWordReplacement)
{
    auto cs = Qt::CaseInsensitive;
    EXPECT_EQ(replaceWholeWords("the cat sat", "cat", "dog", cs), "the dog sat");
    EXPECT_EQ(replaceWholeWords("cat sat on the cat.", "cat", "dog", cs), "dog sat on the dog.");
    EXPECT_EQ(replaceWholeWords("concatenate", "cat", "dog", cs), "concatenate");
    EXPECT_EQ(replaceWholeWords("bobcat", "cat", "dog", cs), "bobdog");
    EXPECT_EQ(replaceWholeWords("cat", "cat", "dog", cs), "dog");
    EXPECT_EQ(replaceWholeWords("cat and cat", "cat", "dog", cs), "dog and cat")
        << "the beginning, else the end: not both";
    EXPECT_EQ(replaceWholeWords("a CAT b", "cat", "dog", Qt::CaseSensitive), "a CAT b");
}
