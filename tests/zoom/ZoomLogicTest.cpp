// The zoom editor's logic without a window: how values show and go back,
// what OK writes, the find and replace panel, and the
// spelling check's word by word walk.

#include "Doubles.h"
#include "platform/Spelling.h"
#include "zoom/SpellCheck.h"
#include "zoom/ZoomSearch.h"
#include "zoom/ZoomText.h"
#include "zoom/ZoomValue.h"

#include <QFile>
#include <QTemporaryDir>

#include <map>
#include <optional>
#include <random>
#include <set>

#include <gtest/gtest.h>

using namespace zoom;

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }

}  // namespace

TEST(ZoomText, ParagraphsShowAsLinesAndGoBackAsStored)
{
    // Multi-line text: \P is a line; \\P is an escaped backslash and a P.
    const QString stored = q("Ground floor\\PNorth wing \\\\P not a break\\P{\\H2x;big}\\P");
    const QString editor = toEditorText(stored, ValueLines::Paragraphs);
    EXPECT_EQ(editor, q("Ground floor\nNorth wing \\\\P not a break\n{\\H2x;big}\n"));
    EXPECT_EQ(toStoredText(editor, ValueLines::Paragraphs, stored), stored);

    // A value stored with caret line feeds keeps them; a new line takes the
    // value's own form; CR LF and CR are line breaks as well.
    const QString caret = q("this is a Mtext^Jwith multiple lines in it");
    EXPECT_EQ(toEditorText(caret, ValueLines::Paragraphs), q("this is a Mtext\nwith multiple lines in it"));
    EXPECT_EQ(toStoredText(q("a\nb\r\nc\rd"), ValueLines::Paragraphs, caret), q("a^Jb^Jc^Jd"));
    EXPECT_EQ(toStoredText(q("a\nb"), ValueLines::Paragraphs, q("no breaks")), q("a\\Pb"));

    // Single-line text: \P is text; a line break can only be stored as ^J.
    EXPECT_EQ(toEditorText(q("C:\\Plans\\P1"), ValueLines::Single), q("C:\\Plans\\P1"));
    EXPECT_EQ(toStoredText(q("two\nlines"), ValueLines::Single, q("x")), q("two^Jlines"));
    EXPECT_EQ(toEditorText(q("two^Jlines"), ValueLines::Single), q("two\nlines"));
    // A trailing backslash, an empty value.
    EXPECT_EQ(toEditorText(q("end\\"), ValueLines::Paragraphs), q("end\\"));
    EXPECT_EQ(toStoredText(QString(), ValueLines::Paragraphs, QString()), QString());
}

TEST(ZoomValue, WhatOkWrites)
{
    using A = OkDecision::Action;
    // Unchanged, undone, or never filled: nothing is written.
    ZoomValue text(ZoomView::Text, ValueLines::Single, q("Plan"));
    EXPECT_EQ(text.ok(q("Plan"), true).action, A::None);
    EXPECT_EQ(ZoomValue(ZoomView::Text, ValueLines::Single, QString()).ok(QString(), false).action, A::None);
    // A change of letter case is a change; an emptied value is one space.
    EXPECT_EQ(text.ok(q("PLAN"), true).action, A::SetText);
    EXPECT_EQ(text.ok(q("PLAN"), true).value, q("PLAN"));
    EXPECT_EQ(text.ok(QString(), true).value, q(" "));
    ZoomValue attribute(ZoomView::Attribute, ValueLines::Paragraphs, q("One\\PTwo"));
    EXPECT_EQ(attribute.initial(), q("One\nTwo"));
    OkDecision d = attribute.ok(q("One\nTwo\nThree"), true);
    EXPECT_EQ(d.action, A::SetAttribute);
    EXPECT_EQ(d.value, q("One\\PTwo\\PThree"));
    EXPECT_EQ(attribute.ok(QString(), true).value, q(" "));

    // Display: proper-cased, then On or Off only.
    ZoomValue display(ZoomView::LayerDisplay, ValueLines::Single, q("On"));
    EXPECT_EQ(display.ok(q("on"), true).action, A::None);  // proper-cased it is what it was
    d = display.ok(q("oFF"), true);
    EXPECT_EQ(d.action, A::SetLayerDisplay);
    EXPECT_EQ(d.value, q("Off"));
    d = display.ok(q("Of"), true);
    EXPECT_EQ(d.action, A::Rejected);
    EXPECT_EQ(d.warning, q("Layer not changed. Value must be 'On' or 'Off'."));
    EXPECT_EQ(d.value, q("On"));

    // Color: numbers rounded halves to even, 1 to 255.
    ZoomValue color(ZoomView::LayerColor, ValueLines::Single, q("7"));
    struct Case {
        const char* typed;
        A action;
        long color;
        const char* shown;
    } cases[] = {{"7.5", A::SetLayerColor, 8, "8"},   {"2.5", A::SetLayerColor, 2, "2"},
                 {"007", A::SetLayerColor, 7, "7"},   {" 12 ", A::SetLayerColor, 12, "12"},
                 {"255.4", A::SetLayerColor, 255, "255"}, {"0", A::Rejected, 0, "7"},
                 {"256", A::Rejected, 0, "7"},        {"70000", A::Rejected, 0, "7"},
                 {"1e300", A::Rejected, 0, "7"},      {"0.5", A::Rejected, 0, "7"},
                 {"abc", A::Rejected, 0, "7"},        {"", A::Rejected, 0, "7"}};
    for (const Case& c : cases) {
        d = color.ok(q(c.typed), true);
        EXPECT_EQ(d.action, c.action) << c.typed;
        EXPECT_EQ(d.value, q(c.shown)) << c.typed;
        if (c.action == A::SetLayerColor) {
            EXPECT_EQ(d.color, c.color) << c.typed;
        }
    }
    EXPECT_EQ(color.ok(q("abc"), true).warning, q("Layer not changed. Value must be numeric."));
    EXPECT_EQ(color.ok(q("0"), true).warning, q("Layer not changed. Value must be between 1 and 255."));

    EXPECT_EQ(zoomView(extract::Category::Layers, 2), ZoomView::LayerColor);
    EXPECT_EQ(zoomView(extract::Category::Layers, 0), ZoomView::Other);
    EXPECT_EQ(zoomView(extract::Category::MultiText, 2), ZoomView::Text);
    EXPECT_EQ(zoomView(std::nullopt, 2), ZoomView::Other);
}

// ------------------------------------------------------- find and replace

namespace {

struct Panel {
    ZoomSearch search;
    EditorText text;
    SearchOptions options;
    explicit Panel(const char* value) { text.value = q(value); }
    SearchOutcome first(const char* find) { return search.findFirst(text, q(find), options); }
    SearchOutcome next(const char* find) { return search.findNext(text, q(find), options); }
    QString all(const char* find, const char* replacement)
    {
        search.replaceAll(text, q(find), q(replacement), options);
        return text.value;
    }
};

int positionOf(const SearchOutcome& o)
{
    QString prefix = QStringLiteral("Text found at position ");
    if (!o.label.startsWith(prefix)) return 0;
    return o.label.mid(prefix.size()).chopped(1).toInt();
}

}  // namespace

TEST(ZoomSearch, FindNextStartsOnePastTheMatch)
{
    Panel p("abab");
    SearchOutcome o = p.first("ab");
    EXPECT_EQ(o.label, q("Text found at position 1."));
    EXPECT_EQ(p.text.selectionStart, 0);
    EXPECT_EQ(p.text.selectionLength, 2);
    EXPECT_EQ(o.focus, SearchOutcome::Focus::Value);
    EXPECT_EQ(p.search.findStart(), 4);
    o = p.next("ab");  // starts at 4: the ab at 3 is passed over
    EXPECT_EQ(o.label, q("Text not found."));
    EXPECT_EQ(p.search.findStart(), 1);
    EXPECT_EQ(positionOf(p.next("ab")), 1);

    Panel c("a foo b");
    EXPECT_EQ(positionOf(c.first("FOO")), 3);
    c.options.matchCase = true;
    EXPECT_EQ(c.first("FOO").label, q("Text not found."));

    // No find text: a box, the focus to the find text, nothing else.
    o = c.next("");
    EXPECT_EQ(o.box, SearchOutcome::Box::EnterFindText);
    EXPECT_EQ(o.focus, SearchOutcome::Focus::FindWhat);
    EXPECT_TRUE(o.label.isNull());
    EXPECT_EQ(boxText(o.box), q("Enter text to find."));
}

TEST(ZoomSearch, WholeWordsAreSpaceOrPeriodBounded)
{
    auto at = [](const char* value, const char* find, int start = 1) {
        return locateMatch(q(value), q(find), start, {false, true});
    };
    EXPECT_EQ(at("foo bar", "foo"), 1);
    EXPECT_EQ(at("food foo", "foo"), 6);
    EXPECT_EQ(at("end of foo.", "foo"), 8);
    EXPECT_EQ(at("end of foo.", "foo."), 8);
    EXPECT_EQ(at("foo, and more", "foo"), 0);  // a comma is no separator
    EXPECT_EQ(at("x foo y", "foo"), 3);
    EXPECT_EQ(at("foo bar", "foo", 2), 0);     // the start of the value only from position 1
    EXPECT_EQ(at("", "foo"), 0);
    EXPECT_EQ(at("fo", "foo"), 0);

    // At the end of the value the character before is not looked at, and
    // Find Next finds the same place again.
    Panel p("seafoo");
    p.options.wholeWord = true;
    EXPECT_EQ(positionOf(p.first("foo")), 4);
    EXPECT_EQ(p.search.findStart(), 8);
    EXPECT_EQ(positionOf(p.next("foo")), 4);
    EXPECT_EQ(positionOf(p.next("foo")), 4);
}

TEST(ZoomSearch, Replace)
{
    Panel p("one two one two");
    p.first("two");
    EXPECT_EQ(p.text.selectionStart, 4);
    SearchOutcome o = p.search.replace(p.text, q("two"), q("2"), p.options);
    EXPECT_EQ(p.text.value, q("one 2 one two"));
    EXPECT_TRUE(o.textChanged);
    // Find Next runs at once from where it would have (not moved for the
    // shorter replacement) and reports its own result.
    EXPECT_EQ(o.label, q("Text found at position 11."));
    EXPECT_EQ(p.text.selectionStart, 10);

    // Selection differing in letter case with Match Case: nothing, no message.
    Panel c("Foo bar");
    c.options.matchCase = true;
    c.text.selectionLength = 3;
    o = c.search.replace(c.text, q("foo"), q("x"), c.options);
    EXPECT_EQ(c.text.value, q("Foo bar"));
    EXPECT_EQ(o.box, SearchOutcome::Box::None);
    EXPECT_TRUE(o.label.isNull());
    EXPECT_FALSE(o.textChanged);

    // No replacement, no selection.
    o = c.search.replace(c.text, q("Foo"), QString(), c.options);
    EXPECT_EQ(o.box, SearchOutcome::Box::EnterReplacement);
    EXPECT_EQ(o.focus, SearchOutcome::Focus::ReplaceWith);
    c.text.selectionLength = 0;
    o = c.search.replace(c.text, q("Foo"), q("x"), c.options);
    EXPECT_EQ(o.box, SearchOutcome::Box::NoSelection);
    EXPECT_EQ(boxText(o.box), q("No text selected to replace."));
}

TEST(ZoomSearch, ReplaceAll)
{
    EXPECT_EQ(Panel("banana").all("a", "aa"), q("baanaanaa"));
    EXPECT_EQ(Panel("Banana").all("b", "c"), q("canana"));  // letter case ignored unless asked

    Panel w("x x x");
    w.options.wholeWord = true;
    EXPECT_EQ(w.all("x", "y"), q("y y x"));
    Panel s("seafoo");
    s.options.wholeWord = true;
    EXPECT_EQ(s.all("foo", "bar"), q("seabar"));
    Panel e("xfoo foo");
    e.options.wholeWord = true;
    EXPECT_EQ(e.all("foo", "bar"), q("xfoo bar"));
    Panel d("a foo. b foo c");
    d.options.wholeWord = true;
    EXPECT_EQ(d.all("foo", "bar"), q("a bar. b bar c"));

    Panel same("foo foo");
    const int findStart = same.search.findStart();
    SearchOutcome o = same.search.replaceAll(same.text, q("foo"), q("foo"), same.options);
    EXPECT_EQ(o.label, q("Text not found."));
    EXPECT_FALSE(o.textChanged);
    o = same.search.replaceAll(same.text, q("foo"), q("bar"), same.options);
    EXPECT_EQ(o.label, q("Text found and replaced."));
    EXPECT_EQ(same.search.findStart(), findStart);  // Replace All leaves it
    EXPECT_EQ(same.search.replaceAll(same.text, QString(), q("x"), same.options).box,
              SearchOutcome::Box::EnterFindText);
    EXPECT_EQ(same.search.replaceAll(same.text, q("x"), QString(), same.options).box,
              SearchOutcome::Box::EnterReplacement);
}

// ------------------------------------------------------------------ spelling

namespace {

QStringList wordsOf(const char* text)
{
    QString t = q(text);
    QStringList out;
    int from = 0;
    while (auto w = nextWord(t, from)) {
        out << t.mid(w->start, w->length);
        from = w->start + w->length;
    }
    return out;
}

}  // namespace

TEST(SpellCheck, CadNonWordsAreLeftOut)
{
    EXPECT_EQ(wordsOf("Ground flor, north-west wing's door."),
              (QStringList{q("Ground"), q("flor"), q("north"), q("west"), q("wing's"), q("door")}));
    // Numbers, dimensions, handles, part numbers.
    EXPECT_EQ(wordsOf("2x4 studs at 16\" o.c. 1/2\" ply 3'-6\" M10x1.5 A-101 1F 2B3C ABCD FF 12mm"),
              (QStringList{q("studs"), q("at"), q("o"), q("c"), q("ply")}));
    // Formatting codes of multi-line text, special characters, caret characters.
    EXPECT_EQ(wordsOf("{\\fArial|b1|i0|c0|p34;Titel}\\PLine\\A1;two \\H2.5x;big %%c50 %%dangle ^Jnext \\\\Pq"),
              (QStringList{q("Titel"), q("Line"), q("two"), q("big"), q("angle"), q("next"), q("Pq")}));
    EXPECT_EQ(wordsOf("caf\\U+00E9 open \\M+18140 shut"), (QStringList{q("open"), q("shut")}));
    EXPECT_EQ(wordsOf("see https://example.org or me@example.org now"), (QStringList{q("see"), q("or"), q("now")}));
    EXPECT_EQ(wordsOf("Ünïcode wörds ok"), (QStringList{q("Ünïcode"), q("wörds"), q("ok")}));
    EXPECT_TRUE(wordsOf("").isEmpty());
    EXPECT_TRUE(wordsOf("\\").isEmpty());
}

TEST(SpellCheck, ChangeIgnoreAddWordByWord)
{
    platform::WordListService service;
    service.words = {q("the"), q("wall"), q("is"), q("red"), q("and"), q("blue")};
    service.suggested[q("wal")] = {q("wall"), q("was")};
    auto speller = service.open({});
    SpellCheck check(q("The wal is red\nand teh wal is blue, teh end. Zorp zorp. Qux"), *speller);

    ASSERT_TRUE(check.next());
    EXPECT_EQ(check.word(), q("wal"));
    EXPECT_EQ(check.suggestions(), (QStringList{q("wall"), q("was")}));
    WordSpan inContext;
    EXPECT_EQ(check.context(&inContext), q("The wal is red"));
    EXPECT_EQ(inContext, (WordSpan{4, 3}));
    check.change(q("wall"));  // here only
    EXPECT_EQ(check.word(), q("teh"));
    EXPECT_EQ(check.context(), q("and teh wal is blue, teh end. Zorp zorp. Qux"));
    check.changeAll(q("the"));  // here and every teh after
    EXPECT_EQ(check.word(), q("wal"));
    check.ignore();
    EXPECT_EQ(check.word(), q("end"));  // the second teh was changed on the way
    check.ignoreAll();
    EXPECT_EQ(check.word(), q("Zorp"));
    EXPECT_TRUE(check.add());
    EXPECT_EQ(service.added, QStringList{q("Zorp")});
    EXPECT_EQ(check.word(), q("zorp"));  // another spelling of the word
    check.change(QString());              // removed with its space
    EXPECT_EQ(check.word(), q("Qux"));
    check.ignore();
    EXPECT_TRUE(check.atEnd());
    EXPECT_TRUE(check.changed());
    EXPECT_EQ(check.text(), q("The wall is red\nand the wal is blue, the end. Zorp. Qux"));

    // A word list that cannot be written: the word counts as known all the same.
    service.addFails = q("disk full");
    SpellCheck again(q("Qux qux Qux"), *speller);
    ASSERT_TRUE(again.next());
    QString error;
    EXPECT_FALSE(again.add(&error));
    EXPECT_EQ(error, q("disk full"));
    EXPECT_EQ(again.word(), q("qux"));
    EXPECT_FALSE(again.changed());
}

// The check reads the value once, reading again after a change only the run
// the change falls in. Whatever is changed, it must stop at the words, and
// leave the text, that reading the whole changed text afresh after every
// change gives: changes that join or split runs, make a run a number or a
// code, put in a semicolon that closes an earlier code, remove words with
// their spaces, over values full of codes.
TEST(SpellCheck, StopsAndChangesAsAFreshReadingAfterEveryChange)
{
    platform::WordListService service;
    service.words = {q("the"), q("wall"), q("a"), q("b"), q("abc")};
    auto speller = service.open({});

    // What a fresh reading after every change gives.
    struct Fresh {
        QString text;
        int position = 0;
        std::optional<WordSpan> current;
        std::map<QString, QString> all;
        std::set<QString> ignored;
        platform::Speller* speller;
        void replace(const QString& r)
        {
            int start = current->start, length = current->length;
            if (r.isEmpty()) {
                if (start > 0 && text.at(start - 1) == QLatin1Char(' ')) {
                    --start;
                    ++length;
                } else if (start + length < text.size() && text.at(start + length) == QLatin1Char(' ')) {
                    ++length;
                }
            }
            text.replace(start, length, r);
            position = start + static_cast<int>(r.size());
        }
        bool next()
        {
            current.reset();
            while (auto w = nextWord(text, position)) {
                QString word = text.mid(w->start, w->length);
                current = w;
                if (auto it = all.find(word); it != all.end()) {
                    replace(it->second);
                    continue;
                }
                position = w->start + w->length;
                if (ignored.count(word) || speller->knows(word)) continue;
                return true;
            }
            current.reset();
            return false;
        }
    };

    const char* pieces[] = {"teh", "wal", "the", "abc", "ABCD", "Zorp", "zorp", " ", " ", "\n", "{", "}", "\\P",
                            "^J", "%%c", "%%12", "%", "\\A1;", "\\A", "\\U+00B0", ";", "2x4", "-", "'", "@", "://",
                            "x"};
    const char* replacements[] = {"the", "", "a b", "x;y", "1", "%%", "\\A", "don't", "{", "wall", "teh", "c"};
    std::mt19937 random(23);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 3000; ++round) {
        QString text;
        for (int i = pick(40); i > 0; --i) text += q(pieces[pick(std::size(pieces))]);
        SpellCheck check(text, *speller);
        Fresh fresh{text, 0, {}, {}, {}, speller.get()};
        bool stopped = check.next();
        ASSERT_EQ(stopped, fresh.next()) << text.toStdString();
        for (int stop = 0; stopped && stop < 60; ++stop) {
            ASSERT_EQ(check.span(), *fresh.current) << text.toStdString();
            ASSERT_EQ(check.word(), fresh.text.mid(fresh.current->start, fresh.current->length));
            const QString r = q(replacements[pick(std::size(replacements))]);
            switch (pick(4)) {
            case 0:
                check.change(r);
                fresh.replace(r);
                break;
            case 1:
                fresh.all[check.word()] = r;
                check.changeAll(r);
                fresh.replace(r);
                break;
            case 2:
                check.ignore();
                break;
            default:
                fresh.ignored.insert(check.word());
                check.ignoreAll();
                break;
            }
            stopped = !check.atEnd();
            ASSERT_EQ(stopped, fresh.next()) << text.toStdString();
        }
        ASSERT_EQ(check.text(), fresh.text) << text.toStdString();
    }
}

TEST(Spelling, HunspellWithTheLocalesDictionaryElseAmericanEnglish)
{
    platform::HunspellService service;
    service.dictionaryFolders = {QStringLiteral("/usr/share/hunspell")};
    if (service.dictionaryFor(QStringLiteral("en_US")).isEmpty()) GTEST_SKIP() << "hunspell-en-us is not installed";
    QTemporaryDir dir;
    service.personalWordList = dir.filePath(QStringLiteral("sub/words.dic"));
    // A language without a dictionary here falls back to en_US; the locale's
    // spellings with an encoding or modifier are understood.
    for (const char* locale : {"xx_YY", "en_US.UTF-8", "C", ""})
        EXPECT_TRUE(service.dictionaryFor(q(locale)).endsWith(QStringLiteral("en_US"))) << locale;
    service.language = QStringLiteral("xx_YY");
    std::unique_ptr<platform::Speller> speller = service.open(wordListWriter());
    ASSERT_TRUE(speller);
    EXPECT_EQ(speller->language(), QStringLiteral("en_US"));
    EXPECT_TRUE(speller->knows(QStringLiteral("floor")));
    EXPECT_TRUE(speller->knows(QStringLiteral("FLOOR")));
    EXPECT_FALSE(speller->knows(QStringLiteral("flooor")));
    EXPECT_TRUE(speller->suggestions(QStringLiteral("flooor")).contains(QStringLiteral("floor")));
    // Added words are kept in the personal list and known to the next speller.
    EXPECT_FALSE(speller->knows(QStringLiteral("Tessilux")));
    ASSERT_TRUE(speller->addWord(QStringLiteral("Tessilux")));
    EXPECT_TRUE(speller->knows(QStringLiteral("Tessilux")));
    EXPECT_TRUE(service.open(wordListWriter())->knows(QStringLiteral("Tessilux")));
    QFile list(service.personalWordList);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll(), QByteArray("Tessilux\n"));
    list.close();
    // A list that cannot be written is told, with the writer's reason; the
    // word is known all the same while the speller lives, and the list stays.
    auto refused = service.open([](const QString&, const QByteArray&, QString& why) {
        why = QStringLiteral("no space left on device");
        return false;
    });
    QString failure;
    EXPECT_FALSE(refused->addWord(QStringLiteral("Korvane"), &failure));
    EXPECT_TRUE(failure.contains(QStringLiteral("no space left on device"))) << failure.toStdString();
    EXPECT_TRUE(refused->knows(QStringLiteral("Korvane")));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll(), QByteArray("Tessilux\n"));
    EXPECT_TRUE(platform::HunspellService::defaultPersonalWordList().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));

    // No dictionary anywhere: no speller, and a reason.
    service.dictionaryFolders = {dir.path()};
    QString why;
    EXPECT_FALSE(service.open(wordListWriter(), &why));
    EXPECT_TRUE(why.contains(QStringLiteral("en_US"))) << why.toStdString();
}
