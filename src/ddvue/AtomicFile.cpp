#include "ddvue/AtomicFile.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ddvue {

namespace {

std::string reason(int err) { return std::strerror(err); }

// Writes everything or reports why not: short writes are continued, and a
// write that stops short (a full disk, a size limit) is an error.
bool writeAll(int fd, std::string_view bytes, int& err)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        if (n == 0) {
            err = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error)
{
    std::string folder = ".";
    std::size_t slash = path.rfind('/');
    if (slash != std::string::npos) folder = slash == 0 ? "/" : path.substr(0, slash);

    struct stat existing {};
    bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        error = "it is not a regular file";
        return false;
    }

    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot create a file in " + folder + ": " + reason(errno);
        return false;
    }
    // A file size limit would otherwise end the program instead of failing
    // the write.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);

    int err = 0;
    bool ok = writeAll(fd, bytes, err);
    if (ok && ::fsync(fd) != 0) {
        err = errno;
        ok = false;
    }
    // Keep the old file's permissions; a new file gets the usual ones.
    mode_t mode = exists ? (existing.st_mode & 07777) : 0666 & ~[] {
        mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
    }();
    if (ok) ::fchmod(fd, mode);
    if (::close(fd) != 0 && ok) {
        err = errno;
        ok = false;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
        ok = false;
    }
    ::sigaction(SIGXFSZ, &previous, nullptr);
    if (!ok) {
        ::unlink(temp.c_str());
        error = reason(err);
        return false;
    }
    return true;
}

}  // namespace ddvue
