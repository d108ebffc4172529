// The command line as a user meets it: numbers checked rather than wrapped,
// "--", --help and --option=value, names that begin with a dash or are not
// UTF-8 or too long, a mistyped command or a missing display answered,
// concurrent edits of one drawing, nothing replaced that was not meant to
// be, every character given kept, standard output, pipes and devices
// written directly and never waited on as drawings, and every output whole
// under a size limit. Most cases run the built program, with arguments given
// as bytes.

#include "app/CommandLine.h"
#include "app/ExportCommands.h"
#include "app/RenderCommand.h"

#include "TestPaths.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/FileNames.h"
#include "ddvue/dxf/Entities.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const QString kSample = testpaths::samples(QStringLiteral("office-floor-plan-2000.dxf"));

struct Outcome {
    int exit = -1;
    int signal = 0;  // the signal that ended the program, or 0
    std::string out, err;
};

struct RunOptions {
    std::vector<std::string> unset;  // environment variables taken away
    std::vector<std::string> set;    // NAME=VALUE
    rlim_t sizeLimit = RLIM_INFINITY;
    std::string outputFile;  // standard output goes here when given
    std::string folder;      // the working folder
    int timeoutMs = 120000;  // the program is killed after this long without a word
};

// Runs the built tessilux with these argument bytes.
Outcome tessilux(const std::vector<std::string>& args, const RunOptions& o = {})
{
    std::string program = testpaths::program().toStdString();
    std::vector<char*> argv{program.data()};
    std::vector<std::string> argsCopy = args;
    for (std::string& a : argsCopy) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        bool drop = std::find(o.unset.begin(), o.unset.end(), name) != o.unset.end();
        for (const std::string& s : o.set) drop = drop || s.substr(0, s.find('=')) == name;
        if (!drop) env.push_back(entry);
    }
    env.insert(env.end(), o.set.begin(), o.set.end());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        int out = o.outputFile.empty() ? outPipe[1] : ::open(o.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(errPipe[1], 2);
        if (!o.folder.empty() && ::chdir(o.folder.c_str()) != 0) ::_exit(126);
        rlimit limit{o.sizeLimit, RLIM_INFINITY};
        if (o.sizeLimit != RLIM_INFINITY) ::setrlimit(RLIMIT_FSIZE, &limit);
        // The size signal at its default, which ends a program that does not
        // see to it itself.
        ::signal(SIGXFSZ, SIG_DFL);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    Outcome run;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, o.timeoutMs) <= 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) run.exit = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    return run;
}

std::string describe(const Outcome& r)
{
    return "exit " + std::to_string(r.exit) + (r.signal ? ", signal " + std::to_string(r.signal) : "") +
           ", stderr: " + r.err;
}

// Runs a command in this process.
struct InProcess {
    int exit;
    std::string out, err;
};
InProcess command(const QStringList& args)
{
    static bool registered = (app::registerExportCommands(), app::registerRenderCommand(), true);
    (void)registered;
    std::ostringstream out, err;
    int exit = app::runCommand(args, out, err);
    return {exit, out.str(), err.str()};
}

std::string bytesOf(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return "<missing>";
    std::string out;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return out;
}
std::string bytesOf(const QString& path) { return bytesOf(ddvue::encodeFileName(path)); }

void put(const std::string& path, const std::string& bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

int layerColor(const QString& path, const char* layer)
{
    ddvue::DDVueEngine e;
    QString p = path;
    if (!e.OpenDrawing(p)) return -1;
    auto index = e.document()->findLayer(layer);
    return index ? ddvue::dxf::layerState(*e.document(), *index).color : -1;
}

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

TEST(CommandLine, NumbersAreCheckedNotWrapped)
{
    QTemporaryDir tmp;
    QString plan = tmp.filePath("plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, plan));
    std::string original = bytesOf(plan);
    for (QStringList op : {QStringList{"--entity-color", "75=4294967297"}, QStringList{"--entity-color", "75=-1"},
                           QStringList{"--entity-color", "75=257"}, QStringList{"--entity-color", "75=0x10"},
                           QStringList{"--entity-color", "75=3.0"}, QStringList{"--entity-color", "75="},
                           QStringList{"--layer-color", "A-WALL=4294967298"}, QStringList{"--layer-color", "A-WALL=0"},
                           QStringList{"--layer-color", "A-WALL=256"},
                           QStringList{"--layer-color", "A-WALL=99999999999999999999999"}}) {
        InProcess r = command(QStringList{"edit", plan} + op);
        EXPECT_EQ(r.exit, app::ExitUsage) << op.join(' ').toStdString();
        EXPECT_NE(r.err.find("whole number"), std::string::npos) << r.err;
        EXPECT_EQ(bytesOf(plan), original);
    }
    InProcess r = command({"edit", plan, "--layer-color", "A-WALL= 255 ", "--entity-color", "75=256"});
    EXPECT_EQ(r.exit, app::ExitDone) << r.err;
    EXPECT_EQ(layerColor(plan, "A-WALL"), 255);
}

TEST(CommandLine, DoubleDashEndsOptionsAndNamesMayBeginWithADash)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(QFile::copy(kSample, tmp.filePath("-plan.dxf")));
    QString before = QDir::currentPath();
    QDir::setCurrent(tmp.path());
    auto exitOf = [](const QStringList& args) {
        InProcess r = command(args);
        return std::to_string(r.exit) + " " + r.err;
    };
    EXPECT_EQ(exitOf({"info", "-plan.dxf"}), "0 ");
    EXPECT_EQ(exitOf({"info", "--", "-plan.dxf"}), "0 ");
    EXPECT_EQ(exitOf({"export", "-plan.dxf", "-o", "-content.xml"}), "0 ");
    EXPECT_EQ(exitOf({"export", "--format", "csv", "--", "-plan.dxf"}), "0 ");
    EXPECT_EQ(exitOf({"export", "--format", "flat", "--category", "layers", "-plan.dxf", "-o", "-flat.xml"}), "0 ");
    EXPECT_EQ(exitOf({"render", "-plan.dxf", "-o", "-picture.png", "--size", "80x60"}), "0 ");
    EXPECT_EQ(exitOf({"render", "-o", "-picture.bmp", "--", "-plan.dxf"}), "0 ");
    EXPECT_EQ(exitOf({"edit", "--layer-color", "A-WALL=3", "--", "-plan.dxf"}), "0 ");
    EXPECT_EQ(exitOf({"edit", "-plan.dxf", "--layer-color", "A-WALL=4"}), "0 ");
    // After "--" an option's name is a drawing's; before it, a name that is
    // neither an option nor a file is a mistake.
    EXPECT_EQ(command({"export", "--", "--format"}).exit, app::ExitFailed);
    EXPECT_EQ(command({"export", "-plan.dxf", "--", "--format", "csv"}).exit, app::ExitUsage);
    EXPECT_EQ(command({"render", "-nothing.dxf", "-o", "x.png"}).exit, app::ExitUsage);
    QDir::setCurrent(before);
    EXPECT_EQ(layerColor(tmp.filePath("-plan.dxf"), "A-WALL"), 4);
    for (const char* made : {"-content.xml", "-flat.xml", "-picture.png", "-picture.bmp"})
        EXPECT_TRUE(QFile::exists(tmp.filePath(made))) << made;
}

TEST(CommandLine, NamesThatAreNotUtf8Work)
{
    QTemporaryDir tmp;
    const std::string folder = ddvue::encodeFileName(tmp.path());
    const std::string plan = folder + "/plan \xE9\xFF.dxf";
    put(plan, bytesOf(kSample));

    Outcome r = tessilux({"info", plan});
    ASSERT_EQ(r.exit, 0) << describe(r);
    EXPECT_NE(r.out.find("Layers: 12"), std::string::npos) << r.out;
    r = tessilux({"edit", plan, "--layer-color", "A-WALL=2"});
    ASSERT_EQ(r.exit, 0) << describe(r);
    EXPECT_EQ(layerColor(ddvue::decodeFileName(plan), "A-WALL"), 2);
    r = tessilux({"export", plan, "--format", "csv", "--category", "layers", "-o", folder + "/layers \xE9.csv"});
    ASSERT_EQ(r.exit, 0) << describe(r);
    EXPECT_NE(bytesOf(folder + "/layers \xE9.csv").find("A-WALL,On,2"), std::string::npos);
    r = tessilux({"render", plan, "-o", folder + "/picture \xFF.png", "--size", "40x30"});
    ASSERT_EQ(r.exit, 0) << describe(r);
    EXPECT_EQ(bytesOf(folder + "/picture \xFF.png").substr(1, 3), "PNG");
    // The name in a message is the name as given.
    r = tessilux({"info", folder + "/gone \xE9.dxf"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("gone \xE9.dxf"), std::string::npos) << r.err;
    // A text that is not UTF-8 is refused rather than garbled.
    r = tessilux({"edit", plan, "--set-text", "46=caf\xE9"});
    EXPECT_EQ(r.exit, 2) << describe(r);
    // A DWG of such a name opens too: the reader is handed the file itself.
    const std::string dwg = folder + "/site \xE9\xFF.dwg";
    put(dwg, bytesOf(testpaths::corpus("sample_2018.dwg")));
    r = tessilux({"info", dwg});
    ASSERT_EQ(r.exit, 0) << describe(r);
    EXPECT_NE(r.out.find("Version: v2018"), std::string::npos) << r.out;
    // A name longer than the system takes gets the system's reason.
    r = tessilux({"info", folder + "/" + std::string(300, 'x') + ".dxf"});
    EXPECT_EQ(r.exit, 1) << describe(r);
    EXPECT_NE(r.err.find(std::strerror(ENAMETOOLONG)), std::string::npos) << r.err;
    // Names the temporary folder's own clean-up cannot spell.
    for (const std::string& made : {plan, dwg, folder + "/layers \xE9.csv", folder + "/picture \xFF.png"}) ::unlink(made.c_str());
}

TEST(CommandLine, AFirstArgumentThatIsNoCommandGetsAnAnswerEvenWithoutADisplay)
{
    QTemporaryDir tmp;
    QString plan = tmp.filePath("plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, plan));
    RunOptions headless;
    headless.unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

    Outcome r = tessilux({"expotr", plan.toStdString()}, headless);
    EXPECT_EQ(r.exit, 2) << describe(r);
    EXPECT_NE(r.err.find("unknown command expotr"), std::string::npos) << r.err;
    r = tessilux({"/no/such.dxf"}, headless);
    EXPECT_EQ(r.exit, 2) << describe(r);
    EXPECT_NE(r.err.find("/no/such.dxf"), std::string::npos) << r.err;
    // A mistyped option is a mistake in the command, whether or not a
    // window could appear.
    for (const char* typo : {"--bogus-option", "--versoin"}) {
        r = tessilux({typo}, headless);
        EXPECT_EQ(r.exit, 2) << describe(r);
        EXPECT_NE(r.err.find(std::string("unknown option ") + typo), std::string::npos) << r.err;
    }

    // A real drawing, but nowhere to show the window: one line, exit 1.
    r = tessilux({plan.toStdString()}, headless);
    EXPECT_EQ(r.exit, 1) << describe(r);
    EXPECT_NE(r.err.find("display"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

    // With a platform that needs no display, a mistake is still answered at once.
    RunOptions offscreen;
    offscreen.set = {"QT_QPA_PLATFORM=offscreen"};
    r = tessilux({"/no/such.dxf"}, offscreen);
    EXPECT_EQ(r.exit, 2) << describe(r);
    r = tessilux({"expotr", plan.toStdString()}, offscreen);
    EXPECT_EQ(r.exit, 2) << describe(r);
}

TEST(CommandLine, ConcurrentEditsOfOneDrawingTakeTurnsAndBothSurvive)
{
    QTemporaryDir tmp;
    QString plan = tmp.filePath("plan.dxf");
    for (int pair = 0; pair < 20; ++pair) {
        QFile::remove(plan);
        ASSERT_TRUE(QFile::copy(kSample, plan));
        QProcess a, b;
        a.start(testpaths::program(), {"edit", plan, "--layer-color", QStringLiteral("A-WALL=%1").arg(pair + 1)});
        b.start(testpaths::program(), {"edit", plan, "--layer-color", QStringLiteral("A-DOOR=%1").arg(pair + 100)});
        ASSERT_TRUE(a.waitForFinished(120000) && b.waitForFinished(120000));
        // Both saved, or one refused with a reason: never one lost in silence.
        EXPECT_TRUE(a.exitCode() == 0 || a.exitCode() == 1) << a.readAllStandardError().toStdString();
        EXPECT_TRUE(b.exitCode() == 0 || b.exitCode() == 1) << b.readAllStandardError().toStdString();
        if (a.exitCode() == 0) {
            EXPECT_EQ(layerColor(plan, "A-WALL"), pair + 1) << "pair " << pair;
        }
        if (b.exitCode() == 0) {
            EXPECT_EQ(layerColor(plan, "A-DOOR"), pair + 100) << "pair " << pair;
        }
        // With the drawing locked from reading to saving, neither needs to be refused.
        EXPECT_EQ(a.exitCode() + b.exitCode(), 0) << "pair " << pair;
    }
    EXPECT_EQ(namesIn(tmp.path()), QStringList{"plan.dxf"});
}

TEST(CommandLine, EditsDoNotReplaceWhatTheyMustNot)
{
    QTemporaryDir tmp;
    QString dwg = tmp.filePath("site.dwg"), dxf = tmp.filePath("site.dxf");
    ASSERT_TRUE(QFile::copy(testpaths::corpus("sample_2018.dwg"), dwg));
    put(ddvue::encodeFileName(dxf), "the user's own DXF");

    // The DXF beside a DWG.
    Outcome r = tessilux({"edit", dwg.toStdString(), "--layer-color", "0=3"});
    EXPECT_EQ(r.exit, 1) << describe(r);
    EXPECT_NE(r.err.find("--overwrite"), std::string::npos) << r.err;
    EXPECT_EQ(bytesOf(dxf), "the user's own DXF");
    r = tessilux({"edit", dwg.toStdString(), "--overwrite", "--layer-color", "0=3"});
    EXPECT_EQ(r.exit, 0) << describe(r);
    EXPECT_EQ(layerColor(dxf, "0"), 3);

    // A write-protected drawing.
    QString plan = tmp.filePath("plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, plan));
    ASSERT_EQ(::chmod(plan.toUtf8(), 0444), 0);
    std::string original = bytesOf(plan);
    r = tessilux({"edit", plan.toStdString(), "--layer-color", "A-WALL=3"});
    EXPECT_EQ(r.exit, 1) << describe(r);
    EXPECT_NE(r.err.find("write-protected"), std::string::npos) << r.err;
    EXPECT_EQ(bytesOf(plan), original);
}

TEST(CommandLine, EveryOutputStaysWholeUnderASizeLimitAndTheReasonIsNamed)
{
    QTemporaryDir tmp;
    const std::string folder = ddvue::encodeFileName(tmp.path());
    QString plan = tmp.filePath("plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, plan));
    const std::string drawing = plan.toStdString(), original = bytesOf(plan);
    const std::string tooLarge = std::strerror(EFBIG);
    RunOptions limited;
    limited.sizeLimit = 1000;

    std::vector<std::vector<std::string>> runs = {
        {"edit", drawing, "--layer-color", "A-WALL=3"},
        {"export", drawing, "-o", folder + "/content.xml"},
        {"export", drawing, "--format", "csv", "-o", folder + "/content.csv"},
        {"export", drawing, "--format", "flat", "-o", folder + "/content.flat"},
        {"render", drawing, "-o", folder + "/picture.png"},
        {"render", drawing, "-o", folder + "/picture.bmp", "--size", "200x200"},
    };
    for (const char* earlier : {"/content.xml", "/content.csv", "/content.flat", "/picture.png", "/picture.bmp"})
        put(folder + earlier, "earlier");
    for (const auto& args : runs) {
        Outcome r = tessilux(args, limited);
        EXPECT_EQ(r.signal, 0) << args[0] << ": " << describe(r);
        EXPECT_EQ(r.exit, 1) << args[0] << ": " << describe(r);
        EXPECT_NE(r.err.find(tooLarge), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Unknown error"), std::string::npos) << r.err;
    }
    EXPECT_EQ(bytesOf(plan), original);
    for (const char* earlier : {"/content.xml", "/content.csv", "/content.flat", "/picture.png", "/picture.bmp"})
        EXPECT_EQ(bytesOf(folder + earlier), "earlier") << earlier;
    EXPECT_EQ(namesIn(tmp.path()),
              QStringList({"content.csv", "content.flat", "content.xml", "picture.bmp", "picture.png", "plan.dxf"}));

    // Standard output into a file under the limit: a failure with its reason,
    // not the end of the program.
    limited.outputFile = folder + "/stdout.xml";
    Outcome r = tessilux({"export", drawing}, limited);
    EXPECT_EQ(r.signal, 0) << describe(r);
    EXPECT_EQ(r.exit, 1) << describe(r);
    EXPECT_NE(r.err.find(tooLarge), std::string::npos) << r.err;
}

TEST(CommandLine, LayerAndAttributeEditsSayWhyTheyRefuseAndChangeNothingThen)
{
    QTemporaryDir tmp;
    const std::string plan = tmp.filePath("plan.dxf").toStdString(), r12 = tmp.filePath("r12.dxf").toStdString();
    put(plan, bytesOf(kSample));
    put(r12, bytesOf(testpaths::samples(QStringLiteral("workshop-plan-R12.dxf"))));
    struct Case {
        std::string drawing;
        std::vector<std::string> args;
        int exit;
        const char* says;
    };
    const std::vector<Case> cases = {
        {plan, {"--rename-layer", "A-WALL=a-door"}, app::ExitFailed, "A layer named \"A-DOOR\" exists already"},
        {plan, {"--rename-layer", "0=Zero"}, app::ExitFailed, "Layer 0 cannot be renamed"},
        {plan, {"--rename-layer", "A-WALL=a*b"}, app::ExitFailed, "cannot contain"},
        {plan, {"--rename-layer", "A-WALL=  "}, app::ExitFailed, "only spaces"},
        {plan, {"--rename-layer", "A-WALL"}, app::ExitUsage, "KEY=VALUE"},
        {plan, {"--merge-layer", "A-WALL=a-wall"}, app::ExitFailed, "into itself"},
        {plan, {"--merge-layer", "0=A-WALL"}, app::ExitFailed, "Layer 0 cannot be merged"},
        {plan, {"--merge-layer", "NOPE=0"}, app::ExitFailed, "No layer named NOPE"},
        {plan, {"--sync-attributes=NOPE"}, app::ExitFailed, "No block named \"NOPE\""},
        {plan, {"--sync-attributes="}, app::ExitUsage, "needs a block's name"},
        {plan, {"--remove-orphaned-attributes"}, app::ExitUsage, "goes with --sync-attributes"},
        // A good edit before a refused one saves nothing either.
        {plan, {"--rename-layer", "A-WALL=Walls", "--merge-layer", "Walls=Walls"}, app::ExitFailed, "into itself"},
        {r12, {"--rename-layer", "A-WALL=new walls"}, app::ExitFailed, "at most 31 characters"},
    };
    for (const Case& c : cases) {
        const std::string before = bytesOf(c.drawing);
        std::vector<std::string> args{"edit", c.drawing};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome r = tessilux(args);
        SCOPED_TRACE(c.args.front() + " " + (c.args.size() > 1 ? c.args[1] : std::string()));
        EXPECT_EQ(r.exit, c.exit) << describe(r);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(bytesOf(c.drawing), before);
    }

    // Before 2000 a name is stored in capitals.
    Outcome r = tessilux({"edit", r12, "--rename-layer", "a-wall=new_walls-1"});
    ASSERT_EQ(r.exit, 0) << describe(r);
    EXPECT_NE(bytesOf(r12).find("\nNEW_WALLS-1\r\n"), std::string::npos);
}

// A DWG's layers and attributes edited like a DXF's: the result is the DXF
// beside it.
TEST(CommandLine, LayerAndAttributeEditsOfADwgSaveTheDxfBesideIt)
{
    QTemporaryDir tmp;
    const QString dwg = tmp.filePath("site.dwg");
    ASSERT_TRUE(QFile::copy(testpaths::corpus("sample_2018.dwg"), dwg));
    ddvue::DDVueEngine read;
    QString path = dwg;
    ASSERT_TRUE(read.OpenDrawing(path)) << read.lastError().toStdString();
    std::string layer;
    for (const auto& l : read.document()->layers())
        if (l.name != "0" && l.name.find('|') == std::string::npos)
            layer = l.name;
    ASSERT_FALSE(layer.empty());
    Outcome r = tessilux({"edit", dwg.toStdString(), "--rename-layer", layer + "=Umbenannt", "--sync-attributes"});
    ASSERT_EQ(r.exit, 0) << describe(r);
    ddvue::DDVueEngine saved;
    QString dxf = tmp.filePath("site.dxf");
    ASSERT_TRUE(saved.OpenDrawing(dxf)) << saved.lastError().toStdString();
    EXPECT_TRUE(saved.document()->findLayer("umbenannt"));
    EXPECT_FALSE(saved.document()->findLayer(layer));
}

TEST(CommandLine, EveryCommandHasHelpAndTakesOptionEqualsValue)
{
    for (const char* name : {"info", "export", "edit", "render", "import", "replace"}) {
        Outcome r = tessilux({name, "--help"});
        EXPECT_EQ(r.exit, 0) << name << ": " << describe(r);
        EXPECT_EQ(r.out.rfind(std::string("Usage:\n  tessilux ") + name, 0), 0u) << r.out;
        EXPECT_NE(r.out.find("Exit status"), std::string::npos) << r.out;
    }
    QTemporaryDir tmp;
    const std::string plan = tmp.filePath("plan.dxf").toStdString();
    put(plan, bytesOf(kSample));
    Outcome r = tessilux({"export", plan, "--format=csv", "--category=layers"});
    EXPECT_EQ(r.exit, 0) << describe(r);
    EXPECT_EQ(r.out.rfind("Name,Display,Color\r\n", 0), 0u) << "each column once: " << r.out.substr(0, 40);
    r = tessilux({"edit", plan, "--layer-color=A-WALL=3"});
    EXPECT_EQ(r.exit, 0) << describe(r);
    EXPECT_EQ(layerColor(QString::fromStdString(plan), "A-WALL"), 3);
    // An option that takes no value is not given one in passing.
    const std::string before = bytesOf(plan);
    r = tessilux({"edit", plan, "--layer-color", "A-WALL=4", "--overwrite=no"});
    EXPECT_EQ(r.exit, 2) << describe(r);
    EXPECT_NE(r.err.find("--overwrite takes no value"), std::string::npos) << r.err;
    EXPECT_TRUE(bytesOf(plan) == before);
}

TEST(CommandLine, NothingIsReplacedThatWasNotMeantToBe)
{
    QTemporaryDir tmp;
    const std::string folder = ddvue::encodeFileName(tmp.path());
    // A DXF named .dwg is read and saved as the DXF it is, over itself.
    const std::string named = folder + "/plan.dwg", beside = folder + "/plan.dxf";
    put(named, bytesOf(testpaths::samples("clinic-floor-plan-2004.dxf")));
    put(beside, bytesOf(kSample));
    const std::string office = bytesOf(beside);
    Outcome r = tessilux({"edit", named, "--layer-color", "A-WALL=3"});
    EXPECT_EQ(r.exit, 0) << describe(r);
    EXPECT_EQ(layerColor(QString::fromStdString(named), "A-WALL"), 3);
    EXPECT_TRUE(bytesOf(beside) == office) << "the DXF beside it was replaced";

    // Another drawing named as the output (by its name or by its bytes):
    // only with --overwrite, for a save as for an export or a picture.
    const std::string clinic = bytesOf(named), picture = folder + "/plan.png";
    put(picture, clinic);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"edit", beside, "-o", named, "--layer-color", "A-WALL=5"},
          std::vector<std::string>{"export", beside, "-o", named},
          std::vector<std::string>{"export", beside, "--format", "csv", "-o", beside},
          std::vector<std::string>{"render", beside, "-o", picture}}) {
        r = tessilux(args);
        EXPECT_EQ(r.exit, 1) << args[0] << ": " << describe(r);
        EXPECT_NE(r.err.find("--overwrite"), std::string::npos) << r.err;
        EXPECT_TRUE(bytesOf(named) == clinic && bytesOf(picture) == clinic);
        EXPECT_TRUE(bytesOf(beside) == office);
    }
    r = tessilux({"edit", beside, "-o", named, "--overwrite", "--layer-color", "A-WALL=5"});
    EXPECT_EQ(r.exit, 0) << describe(r);
    EXPECT_EQ(layerColor(QString::fromStdString(named), "A-WALL"), 5);
    EXPECT_TRUE(bytesOf(beside) == office);
    r = tessilux({"export", beside, "--format", "csv", "-o", beside, "--overwrite"});
    EXPECT_EQ(r.exit, 0) << describe(r);
    EXPECT_EQ(bytesOf(beside).rfind("AttributeHandle,", 0), 0u);
}

// The characters given on the command line are the characters stored:
// printable ones as themselves (a code page that lacks them has \U+XXXX),
// a control character that no drawing's text holds refused with a reason.
TEST(CommandLine, EveryCharacterGivenIsKept)
{
    struct Case {
        const char* sample;
        const char* handle;
        std::string stored;  // the bytes of "␀␊" in the file
    };
    for (const Case& c : {Case{"studio-floor-plan-2018.dxf", "78", "\xE2\x90\x80\xE2\x90\x8A"},
                          Case{"office-floor-plan-2000.dxf", "75", "\\U+2400\\U+240A"}}) {
        SCOPED_TRACE(c.sample);
        QTemporaryDir tmp;
        const std::string plan = tmp.filePath("plan.dxf").toStdString();
        put(plan, bytesOf(testpaths::samples(c.sample)));
        Outcome r = tessilux({"edit", plan, "--set-attribute", std::string(c.handle) + "=\xE2\x90\x80\xE2\x90\x8A"});
        ASSERT_EQ(r.exit, 0) << describe(r);
        const std::string saved = bytesOf(plan);
        EXPECT_NE(saved.find("\n" + c.stored + "\r\n"), std::string::npos) << "not stored as given";
        ddvue::DDVueEngine engine;
        ASSERT_TRUE(engine.OpenDrawing(QString::fromStdString(plan)));
        EXPECT_EQ(engine.listedValue(c.handle), QString::fromUtf8("\xE2\x90\x80\xE2\x90\x8A"));

        for (const char* control : {"a\x01" "b", "\x1B[31m", "x\x7F"}) {
            r = tessilux({"edit", plan, "--set-attribute", std::string(c.handle) + "=" + control});
            EXPECT_EQ(r.exit, 1) << describe(r);
            EXPECT_NE(r.err.find("control character U+00"), std::string::npos) << r.err;
            EXPECT_TRUE(bytesOf(plan) == saved);
        }
        r = tessilux({"edit", plan, "--set-attribute", std::string(c.handle) + "=a\tb"});
        EXPECT_EQ(r.exit, 0) << describe(r);
        ASSERT_TRUE(engine.OpenDrawing(QString::fromStdString(plan)));
        EXPECT_EQ(engine.listedValue(c.handle), "a\tb");
    }
}

// A drawing, or a CSV, that is a named pipe or a device would keep a reader
// waiting for ever (or give it bytes without end): refused at once. As an
// output, standard output ("-"), a pipe or a device is written directly.
TEST(CommandLine, PipesAndDevicesAreNeverWaitedOnAndWrittenDirectly)
{
    QTemporaryDir tmp;
    const std::string folder = ddvue::encodeFileName(tmp.path());
    const std::string fifo = folder + "/plan.dxf", plan = folder + "/real.dxf", csv = folder + "/rows.csv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(csv.c_str(), 0644), 0);
    put(plan, bytesOf(kSample));
    RunOptions quick;
    quick.timeoutMs = 20000;
    struct Refused {
        std::vector<std::string> args;
        const char* kind;
    };
    for (const Refused& c : {Refused{{"info", fifo}, "named pipe"}, Refused{{"edit", fifo, "--layer-color", "0=3"}, "named pipe"},
                             Refused{{"export", fifo}, "named pipe"}, Refused{{"render", fifo, "-o", folder + "/p.png"}, "named pipe"},
                             Refused{{"import", plan, csv}, "named pipe"}, Refused{{"info", "/dev/zero"}, "character device"}}) {
        Outcome r = tessilux(c.args, quick);
        EXPECT_EQ(r.exit, 1) << c.args[0] << ": " << describe(r);
        EXPECT_NE(r.err.find(std::string("not a regular file but a ") + c.kind), std::string::npos) << r.err;
    }

    // Standard output.
    Outcome r = tessilux({"export", plan, "--format", "csv", "-o", "-"});
    EXPECT_EQ(r.exit, 0) << describe(r);
    EXPECT_EQ(r.out.rfind("AttributeHandle,", 0), 0u);
    const std::string original = bytesOf(plan);
    r = tessilux({"edit", plan, "-o", "-", "--layer-color", "A-WALL=3"});
    EXPECT_EQ(r.exit, 0) << describe(r);
    EXPECT_TRUE(bytesOf(plan) == original);
    put(folder + "/out.dxf", r.out);
    EXPECT_EQ(layerColor(QString::fromStdString(folder + "/out.dxf"), "A-WALL"), 3);
    r = tessilux({"render", plan, "-o", "-", "--size", "40x30"});
    EXPECT_EQ(r.exit, 0) << describe(r);
    EXPECT_EQ(r.out.substr(1, 3), "PNG");

    // A device, and a pipe that a program reads; one that none reads is
    // refused, not waited on.
    r = tessilux({"export", plan, "-o", "/dev/null"});
    EXPECT_EQ(r.exit, 0) << describe(r);
    // The pipe is open for reading before the program opens it to write.
    const int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(readEnd, 0);
    std::string piped;
    std::thread reader([&] {
        char buffer[4096];
        for (;;) {
            pollfd ready{readEnd, POLLIN, 0};
            if (::poll(&ready, 1, 20000) != 1) break;
            ssize_t n = ::read(readEnd, buffer, sizeof buffer);
            if (n > 0) piped.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EAGAIN) break;
        }
    });
    r = tessilux({"export", plan, "--format", "csv", "-o", fifo}, quick);
    reader.join();
    ::close(readEnd);
    EXPECT_EQ(r.exit, 0) << describe(r);
    EXPECT_EQ(piped.rfind("AttributeHandle,", 0), 0u) << piped.substr(0, 40);
    r = tessilux({"export", plan, "-o", fifo}, quick);
    EXPECT_EQ(r.exit, 1) << describe(r);
    EXPECT_NE(r.err.find("no program reads"), std::string::npos) << r.err;
    EXPECT_TRUE(bytesOf(plan) == original);
}
