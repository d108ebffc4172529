// What stood at a drawing's name before a save is still there after it:
// symbolic links, hard links, owner, group, mode and extended attributes,
// also when another user saves; nothing is written over a write-protected
// file, a file changed since it was read (also while the new bytes were
// being written), or a file other than the one read that this program did
// not write from it; a full disk or a size limit leaves every output whole;
// file names that are not UTF-8 work.

#include "DxfText.h"
#include "TestPaths.h"
#include "ddvue/AtomicFile.h"
#include "ddvue/DDVue.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/FileNames.h"
#include "ddvue/dxf/Entities.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <map>
#include <set>
#include <fcntl.h>
#include <grp.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <functional>
#include <thread>
#include <utility>
#include <unistd.h>

using ddvue::DDVueEngine;
using ddvue::SaveProblem;

namespace {
std::function<void()> takeBeforeNextSync();
}

// Every fsync of the test program, the library's included, comes here.
extern "C" int fsync(int fd)
{
    if (std::function<void()> change = takeBeforeNextSync()) change();
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace {

// Every part of the content document.
constexpr ddvue::ContentSelection kEverything{.attributes = true, .externalReferences = true, .layers = true, .text = true};

const QString kSample = testpaths::samples(QStringLiteral("office-floor-plan-2000.dxf"));

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

void put(const QString& path, const std::string& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

struct stat statOf(const QString& path, bool follow = true)
{
    struct stat st {};
    std::string p = ddvue::encodeFileName(path);
    EXPECT_EQ(follow ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st), 0) << p;
    return st;
}

// The names in a folder, hidden ones too: a save leaves no file behind.
QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The wall layer's color as the saved file has it.
int wallColor(const QString& path)
{
    DDVueEngine e;
    QString p = path;
    if (!e.OpenDrawing(p)) return -1;
    auto layer = e.document()->findLayer("A-WALL");
    return layer ? ddvue::dxf::layerState(*e.document(), *layer).color : -1;
}

// Opens a drawing and changes its wall layer's color.
void openAndChange(DDVueEngine& engine, const QString& path, long color)
{
    QString p = path;
    ASSERT_TRUE(engine.OpenDrawing(p)) << engine.lastError().toStdString();
    ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("A-WALL"), color));
}

// Runs `write` under a file size limit of `limit` bytes, with the file size
// signal at its default (which ends the program) so that only the write
// routine's own handling keeps the test alive.
template <typename F>
auto underSizeLimit(rlim_t limit, F write)
{
    struct sigaction fallback {}, previous {};
    fallback.sa_handler = SIG_DFL;
    sigaction(SIGXFSZ, &fallback, &previous);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &small);
    auto result = write();
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &previous, nullptr);
    return result;
}


// The extended attributes of a file, name and value.
std::map<std::string, std::string> attributesOf(const QString& path)
{
    std::map<std::string, std::string> out;
    const std::string p = ddvue::encodeFileName(path);
    std::string names(4096, '\0');
    ssize_t n = ::listxattr(p.c_str(), names.data(), names.size());
    for (std::size_t at = 0; n > 0 && at < static_cast<std::size_t>(n);) {
        const char* name = names.c_str() + at;
        at += std::strlen(name) + 1;
        std::string value(4096, '\0');
        ssize_t m = ::getxattr(p.c_str(), name, value.data(), value.size());
        value.resize(m > 0 ? static_cast<std::size_t>(m) : 0);
        out[name] = value;
    }
    return out;
}

// An access control list as the system keeps it (the POSIX ACL extended
// attribute): owner, group and others as in `mode`, and `user` with read
// and write.
std::string accessList(unsigned user, mode_t mode)
{
    std::string acl;
    auto put32 = [&acl](std::uint32_t v) { for (int i = 0; i < 4; ++i) acl.push_back(static_cast<char>(v >> (8 * i))); };
    auto entry = [&](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
        acl.push_back(static_cast<char>(tag & 0xFF));
        acl.push_back(static_cast<char>(tag >> 8));
        acl.push_back(static_cast<char>(perm & 0xFF));
        acl.push_back(static_cast<char>(perm >> 8));
        put32(id);
    };
    put32(2);  // the version
    entry(0x01, (mode >> 6) & 7, 0xFFFFFFFF);  // the owner
    entry(0x02, 6, user);                      // a named user
    entry(0x04, (mode >> 3) & 7, 0xFFFFFFFF);  // the group
    entry(0x10, 6, 0xFFFFFFFF);                // the mask
    entry(0x20, mode & 7, 0xFFFFFFFF);         // others
    return acl;
}

// Runs the built program as another user (root only), as that user would
// in a shared folder; its exit status.
int runAs(uid_t user, const std::vector<std::string>& args)
{
    std::string program = testpaths::program().toStdString();
    std::vector<std::string> copy = args;
    std::vector<char*> argv{program.data()};
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0) ::_exit(126);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The other program's write, made at the moment this program syncs the
// first file it wrote during a save (the new bytes beside the drawing, or
// the copy of the old ones): after the checks before the save, before the
// last check and the rename. The test's own fsync stands in for the
// system's one for the whole test program, so the moment is exact however
// busy the machine is.
std::function<void()> g_beforeNextSync;

std::function<void()> takeBeforeNextSync() { return std::exchange(g_beforeNextSync, nullptr); }

class ChangeWhileSaving {
public:
    ChangeWhileSaving(const QString& path, std::string theirs)
    {
        g_beforeNextSync = [this, file = ddvue::encodeFileName(path), theirs = std::move(theirs)] {
            int fd = ::open(file.c_str(), O_WRONLY);
            if (fd < 0) return;
            changed_ = ::pwrite(fd, theirs.data(), theirs.size(), 0) == static_cast<ssize_t>(theirs.size());
            ::close(fd);
        };
    }
    ~ChangeWhileSaving() { g_beforeNextSync = nullptr; }
    // Whether the change was made.
    bool changed() const { return changed_; }

private:
    bool changed_ = false;
};

}  // namespace

TEST(Save, ASymbolicLinkStaysALinkAndItsTargetGetsTheDrawing)
{
    QTemporaryDir tmp;
    QDir(tmp.path()).mkpath("real");
    QDir(tmp.path()).mkpath("links");
    QString real = tmp.filePath("real/plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, real));
    // A relative link to a relative link: each is followed from its own folder.
    ASSERT_EQ(::symlink("../real/plan.dxf", tmp.filePath("links/first.dxf").toUtf8()), 0);
    ASSERT_EQ(::symlink("first.dxf", tmp.filePath("links/second.dxf").toUtf8()), 0);

    DDVueEngine engine;
    QString link = tmp.filePath("links/second.dxf");
    openAndChange(engine, link, 3);
    ASSERT_TRUE(engine.SaveDrawing(link)) << engine.lastError().toStdString();
    EXPECT_TRUE(S_ISLNK(statOf(link, false).st_mode));
    EXPECT_TRUE(S_ISLNK(statOf(tmp.filePath("links/first.dxf"), false).st_mode));
    EXPECT_EQ(wallColor(real), 3);
    EXPECT_EQ(namesIn(tmp.filePath("real")), QStringList{"plan.dxf"});
    EXPECT_EQ(namesIn(tmp.filePath("links")), QStringList({"first.dxf", "second.dxf"}));

    // A save through the link again: the file written before is the one read.
    ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("A-WALL"), 4));
    ASSERT_TRUE(engine.SaveDrawing(link)) << engine.lastError().toStdString();
    EXPECT_EQ(wallColor(real), 4);
}

TEST(Save, HardLinksAllShowTheNewDrawingAndAFailedSaveLeavesThemWhole)
{
    QTemporaryDir tmp;
    QString a = tmp.filePath("a.dxf"), b = tmp.filePath("b.dxf");
    ASSERT_TRUE(QFile::copy(kSample, a));
    ASSERT_EQ(::chmod(a.toUtf8(), 0640), 0);
    ASSERT_EQ(::link(a.toUtf8(), b.toUtf8()), 0);
    ino_t inode = statOf(a).st_ino;
    std::string original = bytesOf(a);

    DDVueEngine engine;
    openAndChange(engine, a, 5);
    // Under a size limit the write fails partway: both names keep the old bytes.
    QString target = a;
    bool saved = underSizeLimit(original.size() / 2, [&] { return engine.SaveDrawing(target); });
    EXPECT_FALSE(saved);
    EXPECT_NE(engine.lastError().indexOf(QString::fromLocal8Bit(strerror(EFBIG))), -1) << engine.lastError().toStdString();
    EXPECT_EQ(bytesOf(a), original);
    EXPECT_EQ(bytesOf(b), original);
    EXPECT_EQ(namesIn(tmp.path()), QStringList({"a.dxf", "b.dxf"}));

    ASSERT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
    EXPECT_EQ(wallColor(a), 5);
    EXPECT_EQ(wallColor(b), 5);
    struct stat st = statOf(b);
    EXPECT_EQ(st.st_ino, inode);
    EXPECT_EQ(st.st_nlink, 2u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(namesIn(tmp.path()), QStringList({"a.dxf", "b.dxf"}));

    // The same through the plain write routine, growing and shrinking.
    std::string error;
    ASSERT_TRUE(ddvue::writeFileAtomically(ddvue::encodeFileName(b), std::string(100000, 'x'), error)) << error;
    EXPECT_EQ(bytesOf(a), std::string(100000, 'x'));
    ASSERT_TRUE(ddvue::writeFileAtomically(ddvue::encodeFileName(b), "short", error)) << error;
    EXPECT_EQ(bytesOf(a), "short");
    EXPECT_EQ(statOf(a).st_ino, inode);
}

TEST(Save, OwnerGroupAndModeStay)
{
    QTemporaryDir tmp;
    QString path = tmp.filePath("plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, path));
    ASSERT_EQ(::chmod(path.toUtf8(), 0604), 0);
    // Only root can give a file to another user; others check the mode.
    bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.toUtf8(), 4321, 4322), 0);
    }

    DDVueEngine engine;
    openAndChange(engine, path, 6);
    ASSERT_TRUE(engine.SaveDrawing(path)) << engine.lastError().toStdString();
    struct stat st = statOf(path);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4322u);
    }
    EXPECT_EQ(wallColor(path), 6);

    // A new file gets the usual permissions.
    mode_t mask = ::umask(022);
    std::string error;
    ASSERT_TRUE(ddvue::writeFileAtomically(ddvue::encodeFileName(tmp.filePath("new.xml")), "x", error)) << error;
    ::umask(mask);
    EXPECT_EQ(statOf(tmp.filePath("new.xml")).st_mode & 0777, 0644u);
}

TEST(Save, AWriteProtectedFileIsNotWritten)
{
    QTemporaryDir tmp;
    QString path = tmp.filePath("plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, path));
    ASSERT_EQ(::chmod(path.toUtf8(), 0444), 0);
    std::string original = bytesOf(path);

    DDVueEngine engine;
    openAndChange(engine, path, 2);
    QString target = path;
    EXPECT_FALSE(engine.SaveDrawing(target));
    EXPECT_EQ(engine.saveProblem(), SaveProblem::WriteProtected);
    EXPECT_NE(engine.lastError().indexOf("write-protected"), -1) << engine.lastError().toStdString();
    EXPECT_EQ(bytesOf(path), original);
    EXPECT_EQ(namesIn(tmp.path()), QStringList{"plan.dxf"});

    // Nor is any other output.
    QString out = path;
    EXPECT_FALSE(engine.ExportDrawingContent(out, kEverything));
    EXPECT_EQ(bytesOf(path), original);
    ASSERT_EQ(::chmod(path.toUtf8(), 0644), 0);
    EXPECT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
}

TEST(Save, AFileChangedOnDiskSinceItWasReadIsNotOverwrittenUnasked)
{
    QTemporaryDir tmp;
    QString path = tmp.filePath("plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, path));
    std::string original = bytesOf(path);

    // Saving twice in a row is no conflict: the engine knows its own save.
    DDVueEngine engine;
    openAndChange(engine, path, 3);
    QString target = path;
    ASSERT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
    ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("A-WALL"), 4));
    ASSERT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();

    // Another program writes the file in place, same size, and puts its
    // times back: only the content tells.
    std::string mine = bytesOf(path);
    std::string theirs = mine;
    theirs[theirs.size() / 2] = theirs[theirs.size() / 2] == 'x' ? 'y' : 'x';
    struct stat before = statOf(path);
    {
        int fd = ::open(path.toUtf8(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, theirs.data(), theirs.size(), 0), static_cast<ssize_t>(theirs.size()));
        timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::futimens(fd, times), 0);
        ::close(fd);
    }
    ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("A-WALL"), 5));
    EXPECT_FALSE(engine.SaveDrawing(target));
    EXPECT_EQ(engine.saveProblem(), SaveProblem::ChangedOnDisk);
    EXPECT_NE(engine.lastError().indexOf("changed by another program"), -1) << engine.lastError().toStdString();
    EXPECT_EQ(bytesOf(path), theirs);

    // Replaced by another file (another inode), or deleted.
    put(tmp.filePath("other.dxf"), original);
    ASSERT_EQ(::rename(tmp.filePath("other.dxf").toUtf8(), path.toUtf8()), 0);
    EXPECT_FALSE(engine.SaveDrawing(target));
    EXPECT_EQ(engine.saveProblem(), SaveProblem::ChangedOnDisk);
    EXPECT_EQ(bytesOf(path), original);
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_FALSE(engine.SaveDrawing(target));
    EXPECT_EQ(engine.saveProblem(), SaveProblem::ChangedOnDisk);
    EXPECT_FALSE(QFile::exists(path));

    // When the person says so, the changes go over it.
    put(path, original);
    ddvue::SaveOptions overwrite;
    overwrite.overwriteChanges = true;
    ASSERT_TRUE(engine.SaveDrawing(target, overwrite)) << engine.lastError().toStdString();
    EXPECT_EQ(wallColor(path), 5);

    // A file touched, or copied over with the very same bytes, is no conflict.
    std::string saved = bytesOf(path);
    ASSERT_EQ(::utimensat(AT_FDCWD, path.toUtf8(), nullptr, 0), 0);
    put(tmp.filePath("same.dxf"), saved);
    ASSERT_EQ(::rename(tmp.filePath("same.dxf").toUtf8(), path.toUtf8()), 0);
    ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("A-WALL"), 6));
    EXPECT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
    EXPECT_EQ(wallColor(path), 6);

    // Another file is not the drawing read: it is replaced only when the
    // person says so, or when this drawing wrote it in this run.
    QString elsewhere = tmp.filePath("copy.dxf");
    put(elsewhere, "someone's file");
    EXPECT_FALSE(engine.SaveDrawing(elsewhere));
    EXPECT_EQ(engine.saveProblem(), SaveProblem::FileExists);
    EXPECT_EQ(bytesOf(elsewhere), "someone's file");
    ddvue::SaveOptions replace;
    replace.replaceExisting = true;
    EXPECT_TRUE(engine.SaveDrawing(elsewhere, replace)) << engine.lastError().toStdString();
    ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("A-WALL"), 7));
    EXPECT_TRUE(engine.SaveDrawing(elsewhere)) << engine.lastError().toStdString();
    EXPECT_EQ(wallColor(elsewhere), 7);
}

// Another program that writes the drawing while the new bytes are being
// written (after the checks, before the rename or the write in place) keeps
// its change: the check is made again with the new bytes on disk.
TEST(Save, AChangeMadeWhileTheNewBytesAreWrittenIsKept)
{
    for (bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "written in place (two names)" : "renamed over");
        QTemporaryDir tmp;
        QString path = tmp.filePath("plan.dxf");
        ASSERT_TRUE(QFile::copy(kSample, path));
        if (linked) {
            ASSERT_EQ(::link(path.toUtf8(), tmp.filePath("second name.dxf").toUtf8()), 0);
        }
        DDVueEngine engine;
        openAndChange(engine, path, 3);
        std::string theirs = bytesOf(path);
        theirs.replace(theirs.find("A-WALL"), 6, "B-WALL");
        ChangeWhileSaving other(path, theirs);
        QString target = path;
        EXPECT_FALSE(engine.SaveDrawing(target));
        ASSERT_TRUE(other.changed());
        EXPECT_EQ(engine.saveProblem(), SaveProblem::ChangedOnDisk);
        EXPECT_NE(engine.lastError().indexOf("changed by another program"), -1) << engine.lastError().toStdString();
        EXPECT_EQ(bytesOf(path), theirs);
        EXPECT_EQ(namesIn(tmp.path()), linked ? QStringList({"plan.dxf", "second name.dxf"}) : QStringList{"plan.dxf"});
    }
}

// A drawing of another user's, saved by this one in a shared folder: a new
// file would be this user's, without the drawing's attributes, so the
// drawing takes the new bytes in place and stays what it was.
TEST(Save, AnotherUsersDrawingKeepsItsOwnerModeAndAttributes)
{
    if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user, and saving as another, needs root";
    QTemporaryDir tmp;
    ASSERT_EQ(::chmod(tmp.path().toUtf8(), 0777), 0);
    const QString path = tmp.filePath("plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, path));
    const std::string p = path.toStdString();
    ASSERT_EQ(::chown(p.c_str(), 1234, 1235), 0);
    ASSERT_EQ(::chmod(p.c_str(), 0666), 0);
    const std::string acl = accessList(999, 0666);
    ASSERT_EQ(::setxattr(p.c_str(), "user.project", "K-12", 4, 0), 0);
    ASSERT_EQ(::setxattr(p.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
    const auto attributes = attributesOf(path);
    ASSERT_EQ(attributes.size(), 2u);
    const ino_t inode = statOf(path).st_ino;

    EXPECT_EQ(runAs(4321, {"edit", p, "--layer-color", "A-WALL=5"}), 0);
    struct stat st = statOf(path);
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 1235u);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    EXPECT_EQ(st.st_ino, inode);
    EXPECT_EQ(attributesOf(path), attributes);
    EXPECT_EQ(wallColor(path), 5);
    EXPECT_EQ(namesIn(tmp.path()), QStringList{"plan.dxf"}) << "the copy of the old bytes is gone";

    // Root may give a new file all of it: the file renamed over has it too.
    DDVueEngine engine;
    openAndChange(engine, path, 6);
    QString target = path;
    ASSERT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
    st = statOf(path);
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    EXPECT_EQ(attributesOf(path), attributes);
    EXPECT_EQ(wallColor(path), 6);
}

// What a drawing is comes from its bytes: a DXF named .dwg is saved over
// itself and nothing beside it; a DWG named .dxf, whose DXF would be itself,
// is never written over, whatever is allowed.
TEST(Save, TheKindOfADrawingIsInItsBytesNotItsName)
{
    QTemporaryDir tmp;
    const QString named = tmp.filePath("plan.dwg"), beside = tmp.filePath("plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, named));
    put(beside, "the clinic's own DXF");
    DDVueEngine engine;
    openAndChange(engine, named, 4);
    EXPECT_FALSE(engine.isDwg());
    QString target = named;
    ASSERT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
    EXPECT_EQ(target, named);
    EXPECT_EQ(wallColor(named), 4);
    EXPECT_EQ(bytesOf(beside), "the clinic's own DXF");

    const QString dwg = tmp.filePath("site.dxf");
    ASSERT_TRUE(QFile::copy(testpaths::corpus("sample_2018.dwg"), dwg));
    const std::string original = bytesOf(dwg);
    DDVueEngine fromDwg;
    QString path = dwg;
    ASSERT_TRUE(fromDwg.OpenDrawing(path)) << fromDwg.lastError().toStdString();
    ddvue::SaveOptions anything;
    anything.replaceExisting = anything.overwriteChanges = true;
    target = dwg;
    EXPECT_FALSE(fromDwg.SaveDrawing(target, anything));
    EXPECT_EQ(fromDwg.saveProblem(), SaveProblem::NeedsOtherName);
    EXPECT_EQ(bytesOf(dwg), original);
}

// The command line reads some drawings only to read them, without what a
// save over them would check: such a drawing is never saved, and says why.
TEST(Save, ADrawingOpenedOnlyToBeReadIsNotSaved)
{
    QTemporaryDir tmp;
    QString path = tmp.filePath("plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, path));
    const std::string original = bytesOf(path);
    for (bool mapped : {true, false}) {
        DDVueEngine engine;
        engine.setMapFiles(mapped);
        engine.setReadOnly(true);
        ASSERT_TRUE(engine.OpenDrawing(path)) << engine.lastError().toStdString();
        ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("A-WALL"), 4));
        QString target = path;
        EXPECT_FALSE(engine.SaveDrawing(target));
        EXPECT_EQ(engine.saveProblem(), SaveProblem::Failed);
        EXPECT_NE(engine.lastError().indexOf("opened only to be read"), -1) << engine.lastError().toStdString();
        EXPECT_EQ(bytesOf(path), original);
        // Opened again for editing, it saves.
        engine.setReadOnly(false);
        ASSERT_TRUE(engine.OpenDrawing(path));
        ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("A-WALL"), 4));
        EXPECT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
        EXPECT_EQ(wallColor(path), 4);
        put(path, original);
    }
}

// The hash that tells whether a drawing changed on disk: every byte counts,
// in the long steps and in the tail after them, and so does the length.
TEST(Save, TheContentHashTellsEveryOneByteChangeApart)
{
    std::string bytes;
    for (int i = 0; i < 77; ++i) bytes.push_back(static_cast<char>('A' + i % 26));
    std::set<std::uint64_t> seen{ddvue::hashContent(bytes)};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::string changed = bytes;
        changed[i] = static_cast<char>(changed[i] ^ 1);
        EXPECT_TRUE(seen.insert(ddvue::hashContent(changed)).second) << "byte " << i;
    }
    for (std::size_t n = 0; n < bytes.size(); ++n)
        EXPECT_TRUE(seen.insert(ddvue::hashContent(std::string_view(bytes).substr(0, n))).second) << n << " bytes";
    const std::string zeros(64, '\0');
    EXPECT_NE(ddvue::hashContent(zeros), ddvue::hashContent(std::string_view(zeros).substr(0, 63)));
    EXPECT_NE(ddvue::hashContent(zeros), ddvue::hashContent(zeros + '\0'));

    // A file written as it is made is hashed in its pieces: cut anywhere,
    // into two or three, the pieces hash as the whole does.
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        for (std::size_t second : {cut, cut + 1, cut + 31, cut + 33}) {
            second = std::min(second, bytes.size());
            ddvue::ContentHasher pieces;
            pieces.add(std::string_view(bytes).substr(0, cut));
            pieces.add(std::string_view(bytes).substr(cut, second - cut));
            pieces.add(std::string_view(bytes).substr(second));
            EXPECT_EQ(pieces.result(), ddvue::hashContent(bytes)) << "cut at " << cut << " and " << second;
        }
    }
}

TEST(Save, ADxfBesideADwgIsReplacedOnlyWhenAskedOrWhenThisProgramWroteIt)
{
    QTemporaryDir tmp;
    QString dwg = tmp.filePath("site.dwg"), dxf = tmp.filePath("site.dxf");
    ASSERT_TRUE(QFile::copy(testpaths::corpus("sample_2018.dwg"), dwg));
    put(dxf, "the user's own DXF");

    DDVueEngine engine;
    QString path = dwg;
    ASSERT_TRUE(engine.OpenDrawing(path)) << engine.lastError().toStdString();
    QString target = dwg;
    EXPECT_FALSE(engine.SaveDrawing(target));
    EXPECT_EQ(engine.saveProblem(), SaveProblem::FileExists);
    EXPECT_NE(engine.lastError().indexOf("already exists"), -1) << engine.lastError().toStdString();
    EXPECT_EQ(target, dwg);
    EXPECT_EQ(bytesOf(dxf), "the user's own DXF");

    ddvue::SaveOptions replace;
    replace.replaceExisting = true;
    ASSERT_TRUE(engine.SaveDrawing(target, replace)) << engine.lastError().toStdString();
    EXPECT_EQ(target, dxf);
    EXPECT_NE(bytesOf(dxf), "the user's own DXF");

    // Written by this program from this DWG: saved again without asking, by
    // this engine or another one in the same run.
    target = dwg;
    EXPECT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
    DDVueEngine again;
    path = dwg;
    ASSERT_TRUE(again.OpenDrawing(path));
    target = dwg;
    EXPECT_TRUE(again.SaveDrawing(target)) << again.lastError().toStdString();

    // Unless someone has changed it since.
    put(dxf, "changed since");
    target = dwg;
    EXPECT_FALSE(again.SaveDrawing(target));
    EXPECT_EQ(again.saveProblem(), SaveProblem::ChangedOnDisk);
    EXPECT_EQ(bytesOf(dxf), "changed since");

    // Another DWG of the same name elsewhere did not write this one.
    QDir(tmp.path()).mkpath("elsewhere");
    QString other = tmp.filePath("elsewhere/site.dwg");
    ASSERT_TRUE(QFile::copy(dwg, other));
    DDVueEngine third;
    path = other;
    ASSERT_TRUE(third.OpenDrawing(path));
    target = tmp.filePath("site.dwg");
    EXPECT_FALSE(third.SaveDrawing(target));
    EXPECT_EQ(third.saveProblem(), SaveProblem::FileExists);
}

TEST(Save, AFullDiskOrSizeLimitLeavesEveryOutputWholeAndSaysWhy)
{
    QTemporaryDir tmp;
    QString path = tmp.filePath("plan.dxf");
    ASSERT_TRUE(QFile::copy(kSample, path));
    std::string original = bytesOf(path);
    const QString tooLarge = QString::fromLocal8Bit(strerror(EFBIG));

    DDVueEngine engine;
    openAndChange(engine, path, 7);
    QString target = path;
    EXPECT_FALSE(underSizeLimit(1000, [&] { return engine.SaveDrawing(target); }));
    EXPECT_NE(engine.lastError().indexOf(tooLarge), -1) << engine.lastError().toStdString();
    EXPECT_EQ(bytesOf(path), original);

    QString content = tmp.filePath("content.xml");
    put(content, "earlier content");
    EXPECT_FALSE(underSizeLimit(1000, [&] { return engine.ExportDrawingContent(content, kEverything); }));
    EXPECT_NE(engine.lastError().indexOf(tooLarge), -1) << engine.lastError().toStdString();
    EXPECT_EQ(bytesOf(content), "earlier content");

    // The drawing's picture (of a drawing of lines alone).
    QString lines = tmp.filePath("lines.dxf");
    put(lines, dxftext::write(dxftext::join({dxftext::header(), dxftext::layerTable({{0, "LAYER"}, {2, "0"}, {70, "0"}, {62, "7"}}),
                                             dxftext::section("ENTITIES", {{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"},
                                                                           {11, "100"}, {21, "50"}}),
                                             {{0, "EOF"}}})));
    ddvue::DDVue view;
    view.resize(400, 300);
    ASSERT_TRUE(view.OpenDrawing(lines));
    QString bmp = tmp.filePath("view.bmp");
    ASSERT_TRUE(view.SaveAsBitmap(bmp));
    std::string picture = bytesOf(bmp);
    EXPECT_EQ(picture.substr(0, 2), "BM");
    EXPECT_FALSE(underSizeLimit(1000, [&] { return view.SaveAsBitmap(bmp); }));
    EXPECT_EQ(bytesOf(bmp), picture);

    EXPECT_EQ(namesIn(tmp.path()), QStringList({"content.xml", "lines.dxf", "plan.dxf", "view.bmp"}));

    // Output written as it is made, in pieces of every size: it fails
    // halfway under the limit, or stops short, and the earlier file stays;
    // written whole, it is the pieces in order, with their hash.
    std::string made;
    const ddvue::ByteSource pieces = [&made](const ddvue::ByteSink& sink) {
        made.clear();
        for (std::size_t n = 1; made.size() < (6u << 20); n = n * 3 % 5000011 + 1) {
            std::string piece(n, static_cast<char>('a' + made.size() % 26));
            made += piece;
            if (!sink(piece)) return false;
        }
        return true;
    };
    const std::string export_ = ddvue::encodeFileName(content);
    ddvue::WriteOutcome out = underSizeLimit(3u << 20, [&] { return ddvue::writeFile(export_, pieces); });
    EXPECT_EQ(out.problem, ddvue::WriteProblem::Failed);
    EXPECT_EQ(out.error, strerror(EFBIG));
    EXPECT_EQ(bytesOf(content), "earlier content");
    out = ddvue::writeFile(export_, [](const ddvue::ByteSink& sink) { return sink("half of it") && false; });
    EXPECT_EQ(out.problem, ddvue::WriteProblem::Failed);
    EXPECT_FALSE(out.error.empty());
    EXPECT_EQ(bytesOf(content), "earlier content");
    EXPECT_EQ(namesIn(tmp.path()), QStringList({"content.xml", "lines.dxf", "plan.dxf", "view.bmp"}));
    out = ddvue::writeFile(export_, pieces);
    ASSERT_TRUE(out.ok()) << out.error;
    EXPECT_EQ(bytesOf(content), made);
    EXPECT_EQ(out.written.contentHash, ddvue::hashContent(made));
    EXPECT_EQ(ddvue::compareWithDisk(export_, out.written), ddvue::DiskState::Same);
}

TEST(FileNames, BytesThatAreNotUtf8SurviveAndSuchANameOpensAndSaves)
{
    for (std::string name : {std::string("plain.dxf"), std::string("caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80.dxf"),
                             std::string("caf\xE9.dxf"), std::string("\xFF\xFE\x80"), std::string("\xC0\xAF overlong"),
                             std::string("\xED\xA0\x80 surrogate"), std::string("cut \xE4\xB8"),
                             std::string("\xF4\x90\x80\x80 beyond")}) {
        QString decoded = ddvue::decodeFileName(name);
        EXPECT_EQ(ddvue::encodeFileName(decoded), name);
        EXPECT_EQ(ddvue::hasStrayBytes(decoded), QString::fromUtf8(name.c_str()).toUtf8().toStdString() != name);
    }
    EXPECT_EQ(ddvue::decodeFileName("caf\xC3\xA9"), QString::fromUtf8("café"));

    QTemporaryDir tmp;
    std::string raw = ddvue::encodeFileName(tmp.path()) + "/plan \xE9\xFF.dxf";
    std::string error;
    ASSERT_TRUE(ddvue::writeFileAtomically(raw, bytesOf(kSample), error)) << error;
    DDVueEngine engine;
    QString path = ddvue::decodeFileName(raw);
    openAndChange(engine, path, 2);
    EXPECT_GT(engine.GetDrawingVersion(path), 0);
    ASSERT_TRUE(engine.SaveDrawing(path)) << engine.lastError().toStdString();
    EXPECT_EQ(wallColor(ddvue::decodeFileName(raw)), 2);
}

TEST(FileLock, RunsTakeTurnsAndAReplacedFileIsLockedAnew)
{
    QTemporaryDir tmp;
    std::string path = ddvue::encodeFileName(tmp.filePath("plan.dxf"));
    std::string error;
    ASSERT_TRUE(ddvue::writeFileAtomically(path, "first", error));
    ddvue::FileLock first;
    ASSERT_TRUE(first.lock(path, 1000, error)) << error;

    // A second lock waits while the first is held...
    ddvue::FileLock second;
    EXPECT_FALSE(second.lock(path, 50, error));
    EXPECT_FALSE(error.empty());

    // ...and, once the holder has replaced the file and let go, holds the new file.
    bool locked = false;
    std::thread waiter([&] {
        std::string why;
        locked = second.lock(path, 10000, why);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(ddvue::writeFileAtomically(path, "second", error));
    first.unlock();
    waiter.join();
    ASSERT_TRUE(locked);
    ddvue::FileLock third;
    EXPECT_FALSE(third.lock(path, 50, error)) << "the lock is on the file that now stands at the name";
    second.unlock();
    EXPECT_TRUE(third.lock(path, 50, error)) << error;
}
