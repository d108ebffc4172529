// The command line as a user meets it: numbers checked rather than wrapped,
// "--" and names that begin with a dash or are not UTF-8, a mistyped command
// or a missing display answered, concurrent edits of one drawing, and every
// output whole under a size limit. Most cases run the built program, with
// arguments given as bytes.

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
        if (::poll(fds, 2, 120000) <= 0) {
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
    EXPECT_NE(bytesOf(folder + "/layers \xE9.csv").find("A-WALL,A-WALL,On,2"), std::string::npos);
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
    r = tessilux({"--bogus-option"}, headless);
    EXPECT_TRUE(r.exit == 1 || r.exit == 2) << describe(r);

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
