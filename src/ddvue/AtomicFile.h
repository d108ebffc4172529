#pragma once
// Every file the program writes goes through here, so that a file is either
// wholly replaced or left as it was, and what stood at its name stays what it
// was: a symbolic link stays a link (its target is written), a file with
// several hard links keeps them, the owner, group, mode and extended
// attributes (access control lists among them) stay. A write-protected file
// is not written. Paths are the system's bytes (see FileNames.h).
//
// How a file is replaced:
// - Usually the bytes go to a new file beside it, which gets the old file's
//   owner, group, mode and extended attributes and is renamed over the old
//   one once every byte has reached the disk. A failure (a full disk, a size
//   limit) removes the new file and leaves the old one untouched.
// - A file that a new one cannot stand in for is written in place: one with
//   more than one hard link (a rename would part its names), and one whose
//   owner, group, mode or extended attributes this user cannot give to a new
//   file (another user's file in a shared folder). First its old bytes are
//   copied beside it (so that they survive even a crash halfway), the space
//   for the new bytes is reserved, then the new bytes are written over the old
//   ones. Should that write fail all the same, the old bytes are written back
//   before the failure is reported; the copy goes once the file is whole.
// - A named pipe or a character device (/dev/null, a terminal, a pipe to
//   another program) is written directly: it holds no earlier content.
//
// The file size signal is ignored for the whole program once anything is
// written: a size limit then fails the write (EFBIG) instead of ending the
// program.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ddvue {

// What the system says about a file: enough to tell whether it has been
// written since.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// A file as it was read or written: its stamp and a hash of its content.
// The content is compared too where the stamp cannot tell: when the file was
// written so shortly before the stamp was taken that a later write could
// leave the same times behind, or when it changed while it was read.
struct FileIdentity {
    FileStamp stamp;
    std::uint64_t contentHash = 0;
    bool compareContent = false;
};

std::optional<FileStamp> stampOf(const std::string& path);  // follows symbolic links
std::optional<FileStamp> stampOf(int fd);

// Opens a file for reading, or refuses at once what is not a regular file:
// a named pipe or a device could keep a reader waiting, or give bytes, for
// ever. The descriptor (closed on exec), or -1 with `error` set to the reason.
int openForReading(const std::string& path, std::string& error);
// What kind of file a mode names, for a reason: "a named pipe", "a folder"...
std::string kindOfFile(unsigned mode);
std::uint64_t hashContent(std::string_view bytes);

// The same hash over bytes that come in pieces: the pieces of one text hash
// as that text would whole, wherever it is cut.
class ContentHasher {
public:
    ContentHasher();
    void add(std::string_view bytes);
    std::uint64_t result() const;

private:
    std::uint64_t lanes_[4];
    std::uint64_t size_ = 0;
    char pending_[32] = {};  // the bytes after the last whole 32
    std::size_t pendingSize_ = 0;
};

// The identity of a file just read through `fd`: `before` is its stamp taken
// before reading, `bytes` what was read.
FileIdentity identityAfterReading(int fd, const FileStamp& before, std::string_view bytes);
// The same when the bytes' hashContent is already known.
FileIdentity identityAfterReading(int fd, const FileStamp& before, std::uint64_t contentHash);

enum class DiskState { Same, Changed, Gone };
// Whether the file at `path` still is what `known` describes.
DiskState compareWithDisk(const std::string& path, const FileIdentity& known);

// The path a write to `path` ends up at: symbolic links followed to the name
// they point to (which need not exist yet). Empty, with `error` set, when the
// links cannot be followed.
std::string resolveLinks(const std::string& path, std::string& error);
// One spelling for one file name: links followed, the folder made absolute
// and free of links. A name that cannot be resolved comes back as given.
std::string canonicalPath(const std::string& path);

enum class WriteProblem {
    None,
    Failed,          // the system refused (the reason says why)
    WriteProtected,  // the file has no write permission
    Exists,          // a file stands at the path, and the request said there must be none
    Refused,         // the last check said no (the reason is its answer)
};

struct WriteOptions {
    // Refuse when a file already stands at the path, even one that appears
    // while the new bytes are being written.
    bool mustNotExist = false;
    // Asked once the new bytes are on disk, immediately before they take the
    // old file's place (the rename, or the write in place): an answer other
    // than "" stops the write, leaves the old file as it is, and is the reason.
    std::function<std::string()> lastCheck;
};

struct WriteOutcome {
    WriteProblem problem = WriteProblem::None;
    std::string error;        // why not, in the system's words; empty when written
    std::string writtenPath;  // where the bytes went (the links' target)
    FileIdentity written;     // the file as written
    bool ok() const { return problem == WriteProblem::None; }
};

WriteOutcome writeFile(const std::string& path, std::string_view bytes, const WriteOptions& options = {});

// Takes a file's bytes piece by piece; false when they can go no further
// (the write failed), after which no more are given.
using ByteSink = std::function<bool(std::string_view piece)>;
// Makes a file's bytes into the sink, piece by piece; false when it stopped
// before the end (the sink said no, or the bytes could not be made).
using ByteSource = std::function<bool(const ByteSink& sink)>;
// The same write, for output made as it is written (an export, a drawing
// saved from its kept bytes): the pieces go into the new file as they come
// and are never held whole, and the file takes the old one's place only
// once all of them are on disk. A source that stops short leaves the old
// file as it was. A file that is written in place (see above) is the one
// exception: its new bytes are gathered first, since they must not be
// written over the old ones before they are all known.
WriteOutcome writeFile(const std::string& path, const ByteSource& source, const WriteOptions& options = {});

// True when `bytes` now stand at `path`; false with `error` set otherwise, in
// which case the file at `path` is untouched and no temporary file remains.
bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

// Ignores the file size signal for the whole program (see above).
void ignoreFileSizeSignal();

// An advisory lock on a file (flock), held while the object lives, so that
// programs that read, change and save the same file take turns. A file that
// is replaced while one waits for it is locked anew at its name.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // Waits up to `timeoutMs` for the lock. False with `error` set when the
    // file cannot be opened or stays locked by another.
    bool lock(const std::string& path, int timeoutMs, std::string& error);
    void unlock();
    bool locked() const { return fd_ >= 0; }
    // The last lock() failed because another held the file all the time.
    bool wasBusy() const { return busy_; }
    // Whether the lock is on the file that now stands at `path`.
    bool holds(const std::string& path) const;

private:
    int fd_ = -1;
    bool busy_ = false;
};

}  // namespace ddvue
