#include "ddvue/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/file.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace ddvue {

namespace {

// A write within this long before a stamp is taken may be followed by another
// that leaves the same times (file systems keep times as coarsely as two
// seconds).
constexpr std::int64_t kTimeGrainNs = 2'000'000'000;

std::string reason(int err) { return std::strerror(err); }

std::int64_t ns(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

std::int64_t nowNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return ns(t);
}

FileStamp stampFrom(const struct stat& st)
{
    FileStamp s;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::int64_t>(st.st_size);
    s.modifiedNs = ns(st.st_mtim);
    s.changedNs = ns(st.st_ctim);
    return s;
}

std::string folderOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes, and says why closing failed (a late write error), or 0.
    int close()
    {
        int err = 0;
        if (fd_ >= 0 && ::close(fd_) != 0 && errno != EINTR) err = errno;
        fd_ = -1;
        return err;
    }

private:
    int fd_;
};

// Writes everything at `offset` on, or says why not: short writes are
// continued, and a write that stops short (a full disk, a size limit) is an
// error.
int writeAll(int fd, std::string_view bytes, off_t offset)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, offset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int readAll(int fd, std::string& out)
{
    out.clear();
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return 0;
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

// A new file beside `path`, opened for writing, that no one else has opened.
// Its name is `path` with a random ending, or a short random name in the same
// folder when that would be too long.
int createBeside(const std::string& path, mode_t mode, std::string& name)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random(std::random_device{}() ^ static_cast<std::uint64_t>(::getpid()));
    std::string folder = folderOf(path);
    std::size_t slash = path.rfind('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string stem = base.size() + 8 > NAME_MAX ? folder + "/.tessilux" : path;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + ".";
        for (int i = 0; i < 6; ++i) candidate += letters[random() % (sizeof letters - 1)];
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            name = candidate;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

void syncFolder(const std::string& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A file nobody may write: no write permission for this user, or (for a user
// whom permissions do not stop) no write permission for anyone.
bool writeProtected(const std::string& path, const struct stat& st)
{
    if ((st.st_mode & 0222) == 0) return true;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

// The replacement gets the old file's owner and group where this user may
// give them (the group alone where only that is allowed), then its mode.
void keepOwnerAndMode(int fd, const struct stat& old)
{
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    ::fchmod(fd, old.st_mode & 07777);
}

// Gives the file open as `fd` the extended attributes of the file at `from`
// (its access control lists among them). False when one of them cannot be
// read or given.
bool copyExtendedAttributes(const std::string& from, int fd)
{
    std::string names;
    for (;;) {
        ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
        if (size < 0) return errno == ENOTSUP || errno == ENOSYS;  // a file system without them
        if (size == 0) return true;
        names.assign(static_cast<std::size_t>(size), '\0');
        size = ::listxattr(from.c_str(), names.data(), names.size());
        if (size >= 0) {
            names.resize(static_cast<std::size_t>(size));
            break;
        }
        if (errno != ERANGE) return false;  // ERANGE: one was added meanwhile
    }
    for (std::size_t at = 0; at < names.size();) {
        const char* name = names.c_str() + at;
        at += std::strlen(name) + 1;
        std::string value;
        ssize_t size = ::getxattr(from.c_str(), name, nullptr, 0);
        if (size < 0) return false;
        value.assign(static_cast<std::size_t>(size), '\0');
        size = ::getxattr(from.c_str(), name, value.data(), value.size());
        if (size < 0) return false;
        value.resize(static_cast<std::size_t>(size));
        if (::fsetxattr(fd, name, value.data(), value.size(), 0) != 0) return false;
    }
    return true;
}

// Gives a replacement everything of the old file's identity that a rename
// would otherwise lose: owner, group, mode, extended attributes. False when
// this user cannot give all of it (another user's file, a group this user
// is not in, an attribute only its owner may set).
bool keepIdentity(int fd, const std::string& oldPath, const struct stat& old)
{
    keepOwnerAndMode(fd, old);
    if (!copyExtendedAttributes(oldPath, fd)) return false;
    // The access control list may have set the mode's group bits: the mode
    // once more, last.
    ::fchmod(fd, old.st_mode & 07777);
    struct stat now {};
    return ::fstat(fd, &now) == 0 && now.st_uid == old.st_uid && now.st_gid == old.st_gid &&
           (now.st_mode & 07777) == (old.st_mode & 07777);
}

WriteOutcome failure(WriteProblem problem, std::string why)
{
    WriteOutcome out;
    out.problem = problem;
    out.error = std::move(why);
    return out;
}

FileIdentity identityOf(int fd, std::uint64_t contentHash)
{
    FileIdentity id;
    struct stat st {};
    if (::fstat(fd, &st) == 0) id.stamp = stampFrom(st);
    id.contentHash = contentHash;
    id.compareContent = id.stamp.modifiedNs + kTimeGrainNs >= nowNs();
    return id;
}

// What a write puts into a file: bytes already whole, or a source that
// makes them while they are written.
struct Output {
    std::string_view bytes;
    const ByteSource* source = nullptr;
};

int writeStream(int fd, std::string_view bytes);

// Puts the output into `fd`: from its start, or (`stream`, a pipe or a
// device) where it stands. Empty, with `hash` set to the content's hash, or
// why not.
std::string putOutput(int fd, const Output& output, bool stream, std::uint64_t& hash)
{
    ContentHasher hasher;
    off_t at = 0;
    int err = 0;
    auto put = [&](std::string_view bytes) {
        if (err != 0 || bytes.empty()) return err == 0;
        err = stream ? writeStream(fd, bytes) : writeAll(fd, bytes, at);
        at += static_cast<off_t>(bytes.size());
        hasher.add(bytes);
        return err == 0;
    };
    if (!output.source) {
        put(output.bytes);
        if (err != 0) return reason(err);
        hash = hasher.result();
        return {};
    }
    // Small pieces are gathered into writes of a large page's size; a piece
    // as large as that goes on its own, uncopied.
    constexpr std::size_t kChunk = 2u << 20;
    std::string buffer;
    buffer.reserve(kChunk);
    const ByteSink sink = [&](std::string_view piece) {
        if (err != 0) return false;
        if (buffer.size() + piece.size() > kChunk) {
            if (!put(buffer)) return false;
            buffer.clear();
        }
        if (piece.size() >= kChunk) return put(piece);
        buffer.append(piece);
        return true;
    };
    const bool whole = (*output.source)(sink);
    if (err == 0) put(buffer);
    if (err != 0) return reason(err);
    if (!whole) return "the output stopped before its end";
    hash = hasher.result();
    return {};
}

// The whole output in one piece, for a write that needs all of it at once.
bool gather(const Output& output, std::string& whole)
{
    if (!output.source) {
        whole.assign(output.bytes);
        return true;
    }
    return (*output.source)([&whole](std::string_view piece) {
        whole.append(piece);
        return true;
    });
}

WriteOutcome writeInPlace(const std::string& target, const struct stat& old, std::string_view bytes,
                          const WriteOptions& options);

WriteOutcome writeBeside(const std::string& target, const struct stat* old, const Output& output,
                         const WriteOptions& options)
{
    std::string temp;
    // A new file gets the usual permissions (the umask applies); a
    // replacement starts private and gets the old file's below.
    Fd fd(createBeside(target, old ? 0600 : 0666, temp));
    if (fd.get() < 0)
        return failure(WriteProblem::Failed, "cannot create a file in " + folderOf(target) + ": " + reason(errno));
    if (old && !keepIdentity(fd.get(), target, *old)) {
        // A new file would be this user's, or lack what the old one has:
        // the old file takes the new bytes itself.
        fd.close();
        ::unlink(temp.c_str());
        std::string whole;
        if (!gather(output, whole)) return failure(WriteProblem::Failed, "the output stopped before its end");
        return writeInPlace(target, *old, whole, options);
    }
    std::uint64_t hash = 0;
    if (std::string why = putOutput(fd.get(), output, false, hash); !why.empty()) {
        ::unlink(temp.c_str());
        return failure(WriteProblem::Failed, why);
    }
    int err = ::fsync(fd.get()) != 0 ? errno : 0;
    WriteOutcome out;
    if (err == 0 && options.lastCheck) {
        if (std::string why = options.lastCheck(); !why.empty()) {
            ::unlink(temp.c_str());
            return failure(WriteProblem::Refused, why);
        }
    }
    if (err == 0) {
        // A name that was free when the write began must still be free: a
        // file that appeared meanwhile is not replaced unasked.
        if (!old && ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
            err = errno;
            if (err == EEXIST && options.mustNotExist) {
                ::unlink(temp.c_str());
                return failure(WriteProblem::Exists, "a file of that name has appeared meanwhile");
            }
            // File systems without the no-replace rename.
            if (err == EINVAL || err == ENOSYS || (err == EEXIST && !options.mustNotExist))
                err = ::rename(temp.c_str(), target.c_str()) == 0 ? 0 : errno;
        } else if (old && ::rename(temp.c_str(), target.c_str()) != 0) {
            err = errno;
        }
    }
    if (err != 0) {
        ::unlink(temp.c_str());
        return failure(WriteProblem::Failed, reason(err));
    }
    out.written = identityOf(fd.get(), hash);
    // The bytes reached the disk before the rename (fsync); closing cannot
    // take that back.
    fd.close();
    syncFolder(folderOf(target));
    out.writtenPath = target;
    return out;
}

WriteOutcome writeInPlace(const std::string& target, const struct stat& old, std::string_view bytes,
                          const WriteOptions& options)
{
    // A size limit would stop the write halfway: refuse before touching the file.
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        bytes.size() > static_cast<std::size_t>(limit.rlim_cur))
        return failure(WriteProblem::Failed, reason(EFBIG));

    Fd fd(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0) return failure(WriteProblem::Failed, reason(errno));
    std::string before;
    if (int err = readAll(fd.get(), before); err != 0) return failure(WriteProblem::Failed, reason(err));

    // The old bytes, beside the file, until the new ones are safely in it.
    std::string copy;
    Fd copyFd(createBeside(target, 0600, copy));
    if (copyFd.get() < 0)
        return failure(WriteProblem::Failed, "cannot create a file in " + folderOf(target) + ": " + reason(errno));
    keepOwnerAndMode(copyFd.get(), old);
    int err = writeAll(copyFd.get(), before, 0);
    if (err == 0 && ::fsync(copyFd.get()) != 0) err = errno;
    if (int closeErr = copyFd.close(); err == 0) err = closeErr;
    if (err != 0) {
        ::unlink(copy.c_str());
        return failure(WriteProblem::Failed, reason(err));
    }
    if (options.lastCheck) {
        if (std::string why = options.lastCheck(); !why.empty()) {
            ::unlink(copy.c_str());
            return failure(WriteProblem::Refused, why);
        }
    }

    // Space for the new bytes, reserved before the first of them is written
    // (where the file system can reserve it).
    if (bytes.size() > before.size()) {
        if (::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes.size())) != 0 &&
            errno != EOPNOTSUPP && errno != ENOSYS) {
            err = errno;
            ::unlink(copy.c_str());
            return failure(WriteProblem::Failed, reason(err));
        }
    }
    err = writeAll(fd.get(), bytes, 0);
    if (err == 0 && ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0) err = errno;
    if (err == 0 && ::fsync(fd.get()) != 0) err = errno;
    if (err != 0) {
        // Back to the old bytes, which fit where they stood.
        bool restored = writeAll(fd.get(), before, 0) == 0 &&
                        ::ftruncate(fd.get(), static_cast<off_t>(before.size())) == 0 && ::fsync(fd.get()) == 0;
        if (!restored)
            return failure(WriteProblem::Failed,
                           reason(err) + "; the file's earlier content is kept in " + copy);
        ::unlink(copy.c_str());
        return failure(WriteProblem::Failed, reason(err));
    }
    WriteOutcome out;
    out.written = identityOf(fd.get(), hashContent(bytes));
    fd.close();
    ::unlink(copy.c_str());
    out.writtenPath = target;
    return out;
}

// Writes everything from where the file stands, for files that have no
// place to write at (a pipe, a terminal); a short write goes on.
int writeStream(int fd, std::string_view bytes)
{
    // A reader that has gone away gives EPIPE here, with a reason, rather
    // than the signal that would end the program.
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    int err = 0;
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        if (n == 0) {
            err = ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (err == EPIPE) {
        timespec none{};
        ::sigtimedwait(&pipeSignal, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return err;
}

// A named pipe or a character device takes the bytes as they come: there is
// nothing to keep whole, and no name to rename over.
WriteOutcome writeDirectly(const std::string& path, const struct stat& st, const Output& output)
{
    // Without waiting: a pipe that no program reads would hold the write
    // for ever.
    Fd fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return failure(WriteProblem::Failed,
                       errno == ENXIO && S_ISFIFO(st.st_mode) ? "no program reads from the named pipe" : reason(errno));
    int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    std::uint64_t hash = 0;
    std::string why = putOutput(fd.get(), output, true, hash);
    if (int closeErr = fd.close(); why.empty() && closeErr != 0) why = reason(closeErr);
    if (!why.empty()) return failure(WriteProblem::Failed, why);
    WriteOutcome out;
    out.writtenPath = path;
    return out;
}

}  // namespace

std::string kindOfFile(unsigned mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG: return "a regular file";
    case S_IFDIR: return "a folder";
    case S_IFIFO: return "a named pipe";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFSOCK: return "a socket";
    case S_IFLNK: return "a symbolic link";
    default: return "a special file";
    }
}

int openForReading(const std::string& path, std::string& error)
{
    // Looked at before it is opened: opening some devices does something.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = reason(errno);
        return -1;
    }
    auto refuse = [&error](const struct stat& s) {
        error = S_ISDIR(s.st_mode) ? reason(EISDIR) : "it is not a regular file but " + kindOfFile(s.st_mode);
        return -1;
    };
    if (!S_ISREG(st.st_mode)) return refuse(st);
    // Without waiting, should a pipe have taken the file's place meanwhile.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = reason(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = errno;
        ::close(fd);
        if (!S_ISREG(st.st_mode)) return refuse(st);
        error = reason(err);
        return -1;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

void ignoreFileSizeSignal()
{
    // Every time, not once: whatever set the signal back since is undone.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

std::optional<FileStamp> stampOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return stampFrom(st);
}

std::optional<FileStamp> stampOf(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return stampFrom(st);
}

namespace {

// Four lanes of multiply and rotate over 32 bytes at a time, which the
// processor runs side by side, mixed together at the end: a large drawing is
// hashed in a few milliseconds, beside its parse. It tells whether a file
// changed, so every byte and the length count; it is no defence against
// someone who makes two files alike on purpose.
constexpr std::uint64_t k1 = 0x9E3779B97F4A7C15ull, k2 = 0xC2B2AE3D27D4EB4Full, k3 = 0x165667B19E3779F9ull;

inline std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
inline std::uint64_t hashRound(std::uint64_t acc, std::uint64_t word) { return rotl(acc + word * k2, 31) * k1; }
inline std::uint64_t wordAt(const char* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// The lanes over every whole 32 bytes of [p, end); where they stopped.
const char* hashBlocks(std::uint64_t (&lane)[4], const char* p, const char* end)
{
    std::uint64_t a = lane[0], b = lane[1], c = lane[2], d = lane[3];
    for (; end - p >= 32; p += 32) {
        a = hashRound(a, wordAt(p));
        b = hashRound(b, wordAt(p + 8));
        c = hashRound(c, wordAt(p + 16));
        d = hashRound(d, wordAt(p + 24));
    }
    lane[0] = a, lane[1] = b, lane[2] = c, lane[3] = d;
    return p;
}

}  // namespace

ContentHasher::ContentHasher() : lanes_{k1 + k2, k2, 0, 0 - k1} {}

void ContentHasher::add(std::string_view bytes)
{
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    size_ += bytes.size();
    if (pendingSize_ > 0) {
        std::size_t n = std::min<std::size_t>(sizeof pending_ - pendingSize_, bytes.size());
        std::memcpy(pending_ + pendingSize_, p, n);
        pendingSize_ += n;
        p += n;
        if (pendingSize_ < sizeof pending_) return;
        hashBlocks(lanes_, pending_, pending_ + sizeof pending_);
        pendingSize_ = 0;
    }
    p = hashBlocks(lanes_, p, end);
    pendingSize_ = static_cast<std::size_t>(end - p);
    std::memcpy(pending_, p, pendingSize_);
}

std::uint64_t ContentHasher::result() const
{
    const std::uint64_t (&l)[4] = lanes_;
    std::uint64_t h = rotl(l[0], 1) + rotl(l[1], 7) + rotl(l[2], 12) + rotl(l[3], 18) + k3 * size_;
    const char* p = pending_;
    const char* const end = p + pendingSize_;
    for (; end - p >= 8; p += 8) h = hashRound(h, wordAt(p));
    for (; p < end; ++p) h = rotl(h ^ (static_cast<unsigned char>(*p) * k3), 11) * k1;
    // The last bits of every lane reach every bit of the result.
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

std::uint64_t hashContent(std::string_view bytes)
{
    ContentHasher h;
    h.add(bytes);
    return h.result();
}

FileIdentity identityAfterReading(int fd, const FileStamp& before, std::string_view bytes)
{
    return identityAfterReading(fd, before, hashContent(bytes));
}

FileIdentity identityAfterReading(int fd, const FileStamp& before, std::uint64_t contentHash)
{
    FileIdentity id;
    id.stamp = stampOf(fd).value_or(before);
    id.contentHash = contentHash;
    id.compareContent = !(id.stamp == before) || id.stamp.modifiedNs + kTimeGrainNs >= nowNs();
    return id;
}

DiskState compareWithDisk(const std::string& path, const FileIdentity& known)
{
    auto now = stampOf(path);
    if (!now) return errno == ENOENT || errno == ENOTDIR ? DiskState::Gone : DiskState::Changed;
    if (*now == known.stamp && !known.compareContent) return DiskState::Same;
    if (now->size != known.stamp.size) return DiskState::Changed;
    // The times or the file's identity differ (or cannot tell) but the size
    // is the same: the content decides.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string bytes;
    if (fd.get() < 0 || readAll(fd.get(), bytes) != 0) return DiskState::Changed;
    return hashContent(bytes) == known.contentHash ? DiskState::Same : DiskState::Changed;
}

std::string resolveLinks(const std::string& path, std::string& error)
{
    std::string p = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        // A name that does not exist (yet), or cannot be looked at: the
        // write itself says what is wrong with it.
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        if (hops >= 40) {
            error = reason(ELOOP);
            return {};
        }
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
        ssize_t n = ::readlink(p.c_str(), target.data(), target.size());
        if (n < 0) {
            error = reason(errno);
            return {};
        }
        target.resize(static_cast<std::size_t>(n));
        p = !target.empty() && target[0] == '/' ? target : folderOf(p) + "/" + target;
    }
}

std::string canonicalPath(const std::string& path)
{
    std::string error;
    std::string target = resolveLinks(path, error);
    if (target.empty()) return path;
    std::size_t slash = target.rfind('/');
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    char* folder = ::realpath(folderOf(target).c_str(), nullptr);
    if (!folder) return target;
    std::string out = folder;
    std::free(folder);
    return out == "/" ? out + base : out + "/" + base;
}

namespace {

WriteOutcome writeOutput(const std::string& path, const Output& bytes, const WriteOptions& options)
{
    ignoreFileSizeSignal();
    if (path.empty()) return failure(WriteProblem::Failed, "no file name");
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && (S_ISFIFO(named.st_mode) || S_ISCHR(named.st_mode))) {
        if (options.mustNotExist) return failure(WriteProblem::Exists, "the file already exists");
        return writeDirectly(path, named, bytes);
    }
    std::string error;
    std::string target = resolveLinks(path, error);
    if (target.empty()) return failure(WriteProblem::Failed, error);

    struct stat old {};
    bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) return failure(WriteProblem::Failed, reason(errno));
    if (exists) {
        if (S_ISDIR(old.st_mode)) return failure(WriteProblem::Failed, reason(EISDIR));
        if (!S_ISREG(old.st_mode)) return failure(WriteProblem::Failed, "it is not a regular file but " + kindOfFile(old.st_mode));
        if (options.mustNotExist) return failure(WriteProblem::Exists, "the file already exists");
        if (writeProtected(target, old)) return failure(WriteProblem::WriteProtected, "the file is write-protected");
    }
    // A folder without any write permission stays as it is, even for a user
    // whom permissions do not stop.
    std::string folder = folderOf(target);
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) == 0 && (dir.st_mode & 0222) == 0)
        return failure(WriteProblem::Failed, "the folder " + folder + " is write-protected");

    if (exists && old.st_nlink > 1) {
        std::string whole;
        if (!gather(bytes, whole)) return failure(WriteProblem::Failed, "the output stopped before its end");
        return writeInPlace(target, old, whole, options);
    }
    return writeBeside(target, exists ? &old : nullptr, bytes, options);
}

}  // namespace

WriteOutcome writeFile(const std::string& path, std::string_view bytes, const WriteOptions& options)
{
    return writeOutput(path, Output{bytes, nullptr}, options);
}

WriteOutcome writeFile(const std::string& path, const ByteSource& source, const WriteOptions& options)
{
    return writeOutput(path, Output{{}, &source}, options);
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error)
{
    WriteOutcome out = writeFile(path, bytes);
    if (!out.ok()) error = out.error;
    return out.ok();
}

FileLock::~FileLock() { unlock(); }

void FileLock::unlock()
{
    if (fd_ >= 0) ::close(fd_);  // closing the only descriptor releases the lock
    fd_ = -1;
}

bool FileLock::holds(const std::string& path) const
{
    if (fd_ < 0) return false;
    auto held = stampOf(fd_);
    auto named = stampOf(path);
    return held && named && held->device == named->device && held->inode == named->inode;
}

bool FileLock::lock(const std::string& path, int timeoutMs, std::string& error)
{
    unlock();
    busy_ = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            error = reason(errno);
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The lock holds the file that was opened; if another program
            // replaced the file at that name meanwhile, the lock is taken anew.
            auto held = stampOf(fd);
            auto named = stampOf(path);
            if (held && named && held->device == named->device && held->inode == named->inode) {
                fd_ = fd;
                return true;
            }
            ::close(fd);
            continue;
        }
        int err = errno;
        ::close(fd);
        if (err != EWOULDBLOCK && err != EINTR) {
            error = reason(err);
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            busy_ = true;
            error = "another program is still working on it";
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

}  // namespace ddvue
