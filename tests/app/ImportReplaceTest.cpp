// The spreadsheet round trip (export --format csv, a script saving the file
// again as a spreadsheet would, import) and replace over folders, run as the
// built program and checked in the drawings with an independent reader;
// what import tells a script by its exit status, and what replace shows.

#include "Oracle.h"
#include "TestPaths.h"

#include "app/ReplaceCommand.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QString copyTo(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    QFile::remove(to);
    EXPECT_TRUE(QFile::copy(from, to)) << from.toStdString();
    QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return to;
}

oracle::Outcome run(const QStringList& args)
{
    oracle::Outcome r = oracle::tessilux(args);
    EXPECT_FALSE(r.crashed || r.timedOut) << r.describe().toStdString();
    return r;
}

// Saves a CSV again as a spreadsheet would (tests/tools/resave_csv.py).
void resave(const QString& in, const QString& out, const QStringList& options, const QJsonObject& edits = {})
{
    QProcess p;
    QStringList args{testpaths::sourceDir() + "/tests/tools/resave_csv.py", in, out};
    args << options << "--edits" << QString::fromUtf8(QJsonDocument(edits).toJson(QJsonDocument::Compact));
    p.start(oracle::python(), args);
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

// What ezdxf reads in a drawing: attribute and text values by handle, and
// layers by name as "On 7".
struct Seen {
    std::map<QString, QString> values;
    std::map<QString, QString> layers;
};
Seen seen(const QString& drawing)
{
    oracle::Dump d = oracle::readWithOracle(drawing);
    EXPECT_TRUE(d.ok()) << drawing.toStdString() << ": " << d.error.toStdString();
    Seen s;
    for (const char* group : {"attributes", "texts"})
        for (const QJsonValue& v : d.json.value(group).toArray())
            s.values[v["handle"].toString()] = v["value"].toString();
    for (const QJsonValue& v : d.json.value("layers").toArray())
        s.layers[v["name"].toString()] =
            QStringLiteral("%1 %2").arg(v["on"].toBool() ? "On" : "Off").arg(v["color"].toInt());
    return s;
}

std::string text(const QByteArray& bytes) { return bytes.toStdString(); }

const QString kOffice = testpaths::samples("office-floor-plan-2000.dxf");
const QString kTricky = testpaths::testData("tricky_values.dxf");

}  // namespace

TEST(Import, ASpreadsheetsEditsReachTheDrawingAndNothingElseChanges)
{
    QTemporaryDir tmp;
    const QString plan = copyTo(kOffice, tmp.filePath("plan.dxf"));
    // Values a spreadsheet would run as formulas, and one that begins with the guard itself.
    const std::map<QString, QString> risky = {
        {"75", "=HYPERLINK(\"http://example.org\",\"x\")"}, {"76", "-5 apples"}, {"77", "@home"},
        {"7D", "+44 20 7946 0000"}, {"7E", "'quoted'"}, {"7F", "-12.5"}};
    QStringList edits;
    for (const auto& [handle, value] : risky) edits << "--set-attribute" << handle + "=" + value;
    ASSERT_EQ(run(QStringList{"edit", plan} + edits).exitCode, 0);
    const Seen before = seen(plan);

    const QString exported = tmp.filePath("attributes.csv");
    ASSERT_EQ(run({"export", plan, "--format", "csv", "-o", exported}).exitCode, 0);
    const QByteArray csv = bytesOf(exported);
    // In the file, the risky values are guarded; the number is left a number.
    EXPECT_TRUE(csv.contains("75,*Model_Space,Model,ROOM_TAG,A-AREA-IDEN,2000,2500,NUMBER,\"'=HYPERLINK(")) << text(csv);
    EXPECT_TRUE(csv.contains(",'-5 apples\r\n")) << text(csv);
    EXPECT_TRUE(csv.contains(",'@home\r\n"));
    EXPECT_TRUE(csv.contains(",''quoted'\r\n"));
    EXPECT_TRUE(csv.contains(",-12.5\r\n"));

    // Saved again unchanged, in another column order, with a byte-order mark,
    // LF line ends and every field quoted: nothing to change, nothing written.
    const QString same = tmp.filePath("same.csv");
    resave(exported, same, {"--reverse-columns", "--extra-column", "--bom", "--line-end", "lf", "--quote-all"});
    const QByteArray untouched = bytesOf(plan);
    oracle::Outcome r = run({"import", plan, same});
    ASSERT_EQ(r.exitCode, 0) << r.describe().toStdString();
    EXPECT_TRUE(r.out.contains("Changed: 0\nUnchanged: 32\nNot found: 0\nRejected: 0\nMalformed: 0\n")) << text(r.out);
    EXPECT_EQ(bytesOf(plan), untouched);

    // Edited: a formula-like value typed as text, a line break in a cell,
    // characters beyond Latin-1, an emptied cell; and a row of a handle the
    // drawing lacks.
    QJsonObject changes{{"76", QJsonObject{{"AttributeValue", "=1+2"}}},
                        {"77", QJsonObject{{"AttributeValue", QString::fromUtf8("Zeile 1\nZeile 2 — 中文")}}},
                        {"7E", QJsonObject{{"AttributeValue", "''still quoted'"}}},
                        {"7F", QJsonObject{{"AttributeValue", ""}}}};
    const QString edited = tmp.filePath("edited.csv");
    resave(exported, edited, {"--reverse-columns", "--extra-column", "--bom"}, changes);
    QByteArray extraRow = bytesOf(edited) + "x,,,,,,,,FFFF0,\r\n";
    put(edited, extraRow);
    // Saved, and a row not found: done in part, which the exit status tells.
    r = run({"import", plan, edited});
    ASSERT_EQ(r.exitCode, 3) << r.describe().toStdString();
    EXPECT_TRUE(r.out.contains("Changed: 4\nUnchanged: 28\nNot found: 1\n")) << text(r.out);
    EXPECT_TRUE(r.out.endsWith("Saved: " + plan.toUtf8() + "\n")) << text(r.out);
    EXPECT_TRUE(r.out.contains(": FFFF0: not found\n")) << text(r.out);
    EXPECT_TRUE(r.out.contains("76: changed: AttributeValue \"-5 apples\" -> \"=1+2\"")) << text(r.out);

    Seen after = seen(plan);
    std::map<QString, QString> expected = before.values;
    expected["76"] = "=1+2";
    expected["77"] = QString::fromUtf8("Zeile 1^JZeile 2 — 中文");  // a line break as an attribute stores it
    expected["7E"] = "'still quoted'";
    expected["7F"] = "";
    EXPECT_EQ(after.values, expected);
    EXPECT_EQ(after.layers, before.layers);

    // What export writes now comes back as the same text.
    ASSERT_EQ(run({"export", plan, "--format", "csv", "-o", exported}).exitCode, 0);
    r = run({"import", plan, exported});
    EXPECT_TRUE(r.out.contains("Changed: 0\n")) << text(r.out);
}

TEST(Import, LayersAndTextsAreCheckedAsTheGridChecksThem)
{
    QTemporaryDir tmp;
    const QString plan = copyTo(kTricky, tmp.filePath("tricky.dxf"));
    const Seen before = seen(plan);

    // Layers, saved with semicolons as a spreadsheet of many languages does;
    // no category given: the columns tell.
    const QString layers = tmp.filePath("layers.csv");
    ASSERT_EQ(run({"export", plan, "--format", "csv", "--category", "layers", "-o", layers}).exitCode, 0);
    QJsonObject changes{{"0", QJsonObject{{"Display", "off"}}},
                        {"A&B it's", QJsonObject{{"Color", "12.5"}, {"Display", "ON"}}},
                        {"Defpoints", QJsonObject{{"Display", "maybe"}}},
                        {QString::fromUtf8("Ünïcödé #1"), QJsonObject{{"Color", "300"}}},
                        {"Off layer", QJsonObject{{"Color", " 6 "}, {"Display", "On"}}}};
    resave(layers, layers, {"--key", "Name", "--separator", ";", "--reverse-columns"}, changes);
    oracle::Outcome r = run({"import", plan, layers});
    ASSERT_EQ(r.exitCode, 3) << r.describe().toStdString();
    EXPECT_TRUE(r.out.contains("Changed: 3\nUnchanged: 0\nNot found: 0\nRejected: 2\n")) << text(r.out);
    EXPECT_TRUE(r.out.contains("Defpoints: rejected: A layer is either On or Off, not \"maybe\".")) << text(r.out);
    EXPECT_TRUE(r.out.contains("A&B it's: changed: Color \"3\" -> \"12\"\n")) << text(r.out);
    Seen after = seen(plan);
    std::map<QString, QString> expected = before.layers;
    expected["0"] = "Off 7";
    expected["A&B it's"] = "On 12";  // 12.5 rounds to the even 12
    expected["Off layer"] = "On 6";
    EXPECT_EQ(after.layers, expected);
    EXPECT_EQ(after.values, before.values);

    // Single- and multi-line texts in one file: their columns are alike.
    const QString texts = tmp.filePath("texts.csv");
    put(texts, "Value,Handle\r\nnew single,46\r\n\"Line one\\PLine 'two'\",48\r\n\"  spaced\",47\r\n");
    r = run({"import", plan, texts});
    ASSERT_EQ(r.exitCode, 0) << r.describe().toStdString();
    EXPECT_TRUE(r.out.contains("Changed: 2\nUnchanged: 1\n")) << text(r.out);
    // With the category named, the other kind is not found.
    r = run({"import", plan, texts, "--category", "multi-text", "--dry-run"});
    EXPECT_TRUE(r.out.contains("Changed: 0\nUnchanged: 1\nNot found: 2\n")) << text(r.out);
    after = seen(plan);
    EXPECT_EQ(after.values["46"], "new single");
    EXPECT_EQ(after.values["48"], "Line one\\PLine 'two'");
}

TEST(Import, AMalformedRowChangesNothingUnlessToldAndOtherFilesAreRefused)
{
    QTemporaryDir tmp;
    const QString plan = copyTo(kOffice, tmp.filePath("plan.dxf"));
    const QByteArray original = bytesOf(plan);
    const QString csv = tmp.filePath("bad.csv");
    put(csv, "AttributeHandle,AttributeValue\n75,good\n76,bro\"ken\n77,too,many\n,no key\n7d,\"other\"\n75,again\n");
    oracle::Outcome r = run({"import", plan, csv});
    EXPECT_EQ(r.exitCode, 1) << r.describe().toStdString();
    EXPECT_TRUE(r.err.contains("4 malformed row(s); nothing was changed")) << text(r.err);
    EXPECT_TRUE(r.out.contains("line 3: 76: malformed: a quote stands inside")) << text(r.out);
    EXPECT_TRUE(r.out.contains("line 4: 77: malformed: it has 3 fields where the header has 2")) << text(r.out);
    EXPECT_TRUE(r.out.contains("line 5: : malformed: its AttributeHandle is empty")) << text(r.out);
    EXPECT_TRUE(r.out.contains("line 7: 75: malformed: it names the same AttributeHandle as line 2")) << text(r.out);
    EXPECT_EQ(bytesOf(plan), original);

    // A dry run says what would change and writes nothing.
    r = run({"import", plan, csv, "--skip-malformed", "--dry-run"});
    EXPECT_EQ(r.exitCode, 3) << r.describe().toStdString();
    EXPECT_TRUE(r.out.contains("Changed: 2\n")) << text(r.out);
    EXPECT_TRUE(r.out.contains("Malformed: 4\nDry run: nothing was saved.\n")) << text(r.out);
    EXPECT_EQ(bytesOf(plan), original);

    // Told otherwise, the good rows go in; to another file with -o.
    const QString out = tmp.filePath("out.dxf");
    r = run({"import", plan, csv, "--skip-malformed", "-o", out});
    EXPECT_EQ(r.exitCode, 3) << r.describe().toStdString();
    EXPECT_EQ(bytesOf(plan), original);
    Seen after = seen(out);
    EXPECT_EQ(after.values["75"], "good");
    EXPECT_EQ(after.values["7D"], "other") << "a handle in either letter case";

    // Files that are not the view of a category, or not text at all.
    const std::vector<std::pair<QByteArray, const char*>> refused = {
        {"Handle;Tag\r\n75;x\r\n", "no AttributeHandle, Handle or Name column"},
        {"AttributeHandle,AttributeValue\r\n75,Stra\xDF" "e\r\n", "not UTF-8"},
        {"", "no AttributeHandle, Handle or Name column"},
    };
    for (const auto& [bytes, why] : refused) {
        put(csv, bytes);
        r = run({"import", plan, csv});
        EXPECT_EQ(r.exitCode, 1) << bytes.toStdString();
        EXPECT_TRUE(r.err.contains(why)) << text(r.err);
    }
    put(csv, "AttributeHandle,Tag\r\n75,x\r\n");
    r = run({"import", plan, csv, "--category", "attributes"});
    EXPECT_TRUE(r.err.contains("no AttributeValue column")) << text(r.err);
    EXPECT_EQ(run({"import", plan}).exitCode, 2);
    EXPECT_EQ(run({"import", plan, csv, "--category", "xrefs"}).exitCode, 2);
    EXPECT_EQ(run({"import", plan, tmp.filePath("missing.csv")}).exitCode, 1);
    EXPECT_EQ(bytesOf(plan), original);
}

// ------------------------------------------------------------------ replace

TEST(Replace, AFolderIsReplacedInParallelAndOnlyWhatChangesIsWritten)
{
    QTemporaryDir tmp;
    const QString root = tmp.filePath("jobs");
    QStringList dxfs;
    for (const QString& name : QDir(testpaths::samples()).entryList({"*.dxf"}, QDir::Files, QDir::Name))
        dxfs << copyTo(testpaths::samples(name), root + "/" + QString(name).replace("-plan", "").replace(".dxf", ".DXF"));
    dxfs << copyTo(kTricky, root + "/deeper/still/tricky.dxfb");  // an ASCII DXF by another ending
    const QString dwg = copyTo(testpaths::corpus("sample_2018.dwg"), root + "/deeper/site.dwg");
    put(root + "/deeper/broken.dxf", "this is not a drawing\n");
    put(root + "/notes.txt", "not a drawing");
    std::map<QString, QByteArray> original;
    for (const QString& d : dxfs) original[d] = bytesOf(d);
    std::map<QString, Seen> before;
    for (const QString& d : dxfs) before[d] = seen(d);

    const QStringList replaceArgs{"replace", root, "--find", "a", "--replace", "\xC3\x85", "--category", "single-text"};
    // A dry run, with one job and with two: the same lines in the same order, nothing written.
    oracle::Outcome one = run(replaceArgs + QStringList{"--dry-run", "--jobs", "1"});
    oracle::Outcome two = run(replaceArgs + QStringList{"--dry-run", "--jobs", "2"});
    EXPECT_EQ(one.exitCode, 1) << "a drawing could not be read";
    EXPECT_EQ(one.out, two.out);
    EXPECT_TRUE(one.out.contains("Dry run: nothing was saved.")) << text(one.out);
    EXPECT_TRUE(one.err.contains("broken.dxf")) << text(one.err);
    for (const QString& d : dxfs) EXPECT_EQ(bytesOf(d), original[d]) << d.toStdString();
    EXPECT_FALSE(QFile::exists(root + "/deeper/site.dxf"));

    oracle::Outcome r = run(replaceArgs + QStringList{"--jobs", "2"});
    EXPECT_EQ(r.exitCode, 1) << r.describe().toStdString();
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], " Replaced  Refused  Drawing");
    EXPECT_TRUE(r.out.contains("deeper/broken.dxf: not read: ")) << text(r.out);
    EXPECT_TRUE(r.out.contains("deeper/site.dwg: saved as " + (root + "/deeper/site.dxf").toUtf8())) << text(r.out);
    EXPECT_FALSE(r.out.contains("notes.txt"));
    // One line per drawing, then the total.
    EXPECT_TRUE(r.out.contains(QStringLiteral("Total: %1 drawing(s): ").arg(dxfs.size() + 2).toUtf8())) << text(r.out);

    // Every text value as the rule makes it; attributes and layers untouched;
    // a drawing with nothing to replace not written at all.
    for (const QString& d : dxfs) {
        Seen after = seen(d);
        std::map<QString, QString> expected = before[d].values;
        oracle::Dump dump = oracle::readWithOracle(d);
        for (const QJsonValue& t : dump.json.value("texts").toArray()) {
            if (t["type"].toString() != "TEXT") continue;
            QString h = t["handle"].toString();
            expected[h] = QString(before[d].values[h]).replace("a", QString::fromUtf8("Å"), Qt::CaseInsensitive);
        }
        EXPECT_EQ(after.values, expected) << d.toStdString();
        EXPECT_EQ(after.layers, before[d].layers) << d.toStdString();
        if (after.values == before[d].values) EXPECT_EQ(bytesOf(d), original[d]) << d.toStdString();
        else EXPECT_TRUE(r.out.contains((d + ": saved\n").toUtf8())) << d.toStdString() << text(r.out);
    }
    Seen fromDwg = seen(root + "/deeper/site.dxf");
    bool replaced = false;
    for (const auto& [handle, value] : fromDwg.values) replaced = replaced || value.contains(QString::fromUtf8("Å"));
    EXPECT_TRUE(replaced);

    // Again: the DXF beside the DWG is now the user's, kept unless --overwrite.
    const QByteArray siteDxf = bytesOf(root + "/deeper/site.dxf");
    r = run({"replace", dwg, "--find", "e", "--replace", "E", "--category", "single-text"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains("Give --overwrite to replace it.")) << text(r.out);
    EXPECT_EQ(bytesOf(root + "/deeper/site.dxf"), siteDxf);
    r = run({"replace", dwg, "--find", "e", "--replace", "E", "--category", "single-text", "--overwrite"});
    EXPECT_EQ(r.exitCode, 0) << r.describe().toStdString();
    EXPECT_NE(bytesOf(root + "/deeper/site.dxf"), siteDxf);
}

TEST(Replace, TheGridsRulesAndTheCommandsUsage)
{
    QTemporaryDir tmp;
    const QString plan = copyTo(kTricky, tmp.filePath("tricky.dxf"));
    // A file named twice, once through its folder, is replaced once.
    oracle::Outcome r = run({"replace", plan, tmp.path(), "--find", "it's", "--replace", "it is", "--whole-word",
                             "--match-case", "--jobs", "3"});
    ASSERT_EQ(r.exitCode, 0) << r.describe().toStdString();
    EXPECT_TRUE(r.out.contains("        1        0  " + plan.toUtf8() + ": saved\n")) << text(r.out);
    EXPECT_TRUE(r.out.contains("Total: 1 drawing(s)")) << text(r.out);
    EXPECT_EQ(seen(plan).values["3E"], "it is = fine");

    // Layers: a number sought replaces colors, other text displays; what is
    // neither On nor Off is refused and the layer keeps its display.
    r = run({"replace", plan, "--category", "layers", "--find", "7", "--replace", "2"});
    EXPECT_EQ(r.exitCode, 0) << r.describe().toStdString();
    r = run({"replace", plan, "--category", "layers", "--find", "off", "--replace", "maybe"});
    EXPECT_TRUE(r.out.contains("        0        1  ")) << text(r.out);
    EXPECT_TRUE(r.out.contains("refused: A layer is either On or Off, not \"maybe\".")) << text(r.out);
    Seen s = seen(plan);
    EXPECT_EQ(s.layers["0"], "On 2");
    EXPECT_EQ(s.layers["Defpoints"], "On 2");
    EXPECT_EQ(s.layers["Off layer"], "Off 5");

    // An empty find (an unset shell variable) would make every value the
    // replacement, as Replace All does: only when that is said.
    const QByteArray before = bytesOf(plan);
    r = run({"replace", plan, "--category", "multi-text", "--find", "", "--replace", "All new"});
    EXPECT_EQ(r.exitCode, 2) << r.describe().toStdString();
    EXPECT_TRUE(r.err.contains("--all-values")) << text(r.err);
    EXPECT_EQ(bytesOf(plan), before);
    r = run({"replace", plan, "--category=multi-text", "--find=", "--replace", "All new", "--all-values"});
    EXPECT_EQ(r.exitCode, 0) << r.describe().toStdString();
    EXPECT_EQ(seen(plan).values["48"], "All new");

    for (const QStringList& bad : {QStringList{"replace", plan, "--find", "x"}, QStringList{"replace", "--find", "x", "--replace", "y"},
                                   QStringList{"replace", plan, "--find", "x", "--replace", "y", "--jobs", "0"},
                                   QStringList{"replace", plan, "--find", "x", "--replace", "y", "--jobs", "2.5"},
                                   QStringList{"replace", plan, "--find", "x", "--replace", "y", "--category", "xrefs"}})
        EXPECT_EQ(run(bad).exitCode, 2) << bad.join(' ').toStdString();
    r = run({"replace", tmp.filePath("gone"), "--find", "x", "--replace", "y"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains("gone: not read: No such file or directory")) << text(r.out);
}

TEST(Replace, FoldersAreWalkedOnceEvenThroughLinks)
{
    QTemporaryDir tmp;
    QDir().mkpath(tmp.filePath("a/b"));
    put(tmp.filePath("a/b/one.dxf"), "");
    put(tmp.filePath("a/Two.DXF"), "");
    put(tmp.filePath("a/three.dwg.bak"), "");
    ASSERT_TRUE(QFile::link(tmp.filePath("a"), tmp.filePath("a/b/loop")));
    ASSERT_TRUE(QFile::link(tmp.filePath("a/Two.DXF"), tmp.filePath("a/b/link.dxf")));
    std::vector<app::FoundDrawing> found = app::drawingsUnder({tmp.filePath("a"), tmp.filePath("a/b/one.dxf")});
    QStringList paths;
    for (const app::FoundDrawing& f : found) paths << f.path.mid(tmp.path().size() + 1);
    EXPECT_EQ(paths, QStringList({"a/Two.DXF", "a/b/one.dxf"}));
}

// Each drawing stays on its line of the table, whatever its name holds; a
// pipe named as a drawing is reported, not waited on; and on a terminal,
// standard error shows how far the run has come (and nothing of it goes
// into the table).
TEST(Replace, EveryDrawingKeepsItsLineAndATerminalSeesHowFarItHasCome)
{
    QTemporaryDir tmp;
    copyTo(kOffice, tmp.filePath("two\nlines.dxf"));
    copyTo(testpaths::corpus("sample_2018.dwg"), tmp.filePath("site.dwg"));
    ASSERT_EQ(::mkfifo(tmp.filePath("pipe.dxf").toUtf8(), 0644), 0);

    int terminal = -1, errorSide = -1, out[2];
    ASSERT_EQ(::openpty(&terminal, &errorSide, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    std::string program = testpaths::program().toStdString(), folder = tmp.path().toStdString();
    std::vector<std::string> args = {program, "replace", folder, "--find", "A-101", "--replace", "A-201", "--jobs", "1"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(errorSide, 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(errorSide);
    std::string table, shown;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {terminal, POLLIN, 0}};
    for (int open = 2; open > 0;) {
        if (::poll(fds, 2, 120000) <= 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? table : shown).append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 1) << table << shown;  // the pipe was not read

    EXPECT_NE(table.find("  \"" + folder + "/two\\nlines.dxf\": saved\n"), std::string::npos) << table;
    EXPECT_NE(table.find("  " + folder + "/pipe.dxf: not read: it is not a regular file but a named pipe\n"),
              std::string::npos)
        << table;
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 5) << table;  // heading, 3 drawings, total
    EXPECT_EQ(table.find('\r'), std::string::npos) << "progress went into the table";
    EXPECT_NE(shown.find("/3 "), std::string::npos) << shown;
    EXPECT_NE(shown.find("\r\x1B[K"), std::string::npos) << shown;
}
