#include "ddvue/dwg/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ddvue::dwg {

namespace {

// What the child needs between vfork and exec, made ready before: in that
// moment it shares the program's memory and may not allocate.
struct ChildSetup {
    const char* program;
    char* const* argv;
    char* const* envp;
    pid_t parent;
    int input;
    int out;
    int err;
    int status;  // where a failed exec writes its errno
    const sigset_t* mask;
};

[[noreturn]] void runChild(const ChildSetup& s)
{
    // Killed when the thread that started it ends: else it would go on
    // reading for nobody after the program ended, also killed outright.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != s.parent) _exit(127);  // the program ended before the line above
    int failure = 0;
    if (dup2(s.input, STDIN_FILENO) < 0 || dup2(s.out, STDOUT_FILENO) < 0 || dup2(s.err, STDERR_FILENO) < 0)
        failure = errno;
    if (!failure) {
        // The program's own signal handlers are not the child's; an ignored
        // broken pipe would hide from it that its reader went away.
        for (int sig = 1; sig < NSIG; ++sig) {
            struct sigaction sa {};
            if (sigaction(sig, nullptr, &sa) != 0) continue;
            const bool handled = (sa.sa_flags & SA_SIGINFO) || (sa.sa_handler != SIG_DFL && sa.sa_handler != SIG_IGN);
            if (!handled && !(sig == SIGPIPE && sa.sa_handler == SIG_IGN)) continue;
            sa = {};
            sa.sa_handler = SIG_DFL;
            sigaction(sig, &sa, nullptr);
        }
        sigprocmask(SIG_SETMASK, s.mask, nullptr);
        execve(s.program, s.argv, s.envp);
        failure = errno;
    }
    ssize_t written = write(s.status, &failure, sizeof failure);
    (void)written;
    _exit(127);
}

// Returns in the parent only.
pid_t startChild(const ChildSetup& s)
{
    const pid_t pid = vfork();
    if (pid == 0) runChild(s);
    return pid;
}

// A descriptor above standard input, output and error, which the child's
// own take the place of; closed on exec.
int aboveStandard(int fd)
{
    if (fd < 0 || fd > STDERR_FILENO) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int saved = errno;
    close(fd);
    errno = saved;
    return moved;
}

bool makePipe(int ends[2])
{
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    ends[0] = aboveStandard(ends[0]);
    ends[1] = aboveStandard(ends[1]);
    if (ends[0] >= 0 && ends[1] >= 0) return true;
    const int saved = errno;
    for (int i = 0; i < 2; ++i)
        if (ends[i] >= 0) close(ends[i]);
    errno = saved;
    return false;
}

void closeFd(int& fd)
{
    if (fd >= 0) close(fd);
    fd = -1;
}

// Reads what the pipe holds now; false at its end.
bool drain(int fd, std::string& into)
{
    char buffer[1 << 16];
    // Bounded, so that a child that writes faster than this is read still
    // gets its output handled between reads.
    for (std::size_t taken = 0; taken < (std::size_t(1) << 22);) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            taken += static_cast<std::size_t>(n);
        } else if (n == 0) {
            return false;
        } else if (errno != EINTR) {
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
    }
    return true;
}

}  // namespace

ChildProcess::~ChildProcess()
{
    kill();
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& args, int input,
                         std::string& error)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    auto fail = [&error](int code) {
        error = std::strerror(code);
        return false;
    };
    // The child's standard input must lie above the standard descriptors:
    // dup2 onto itself would leave it to be closed on exec. Only a program
    // started without them gets one that does not; it is then copied.
    int in = input;
    int ownIn = -1;
    if (in < 0) in = ownIn = aboveStandard(open("/dev/null", O_RDONLY | O_CLOEXEC));
    else if (in <= STDERR_FILENO) in = ownIn = fcntl(input, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (in < 0) return fail(errno);
    auto closeIn = [&ownIn] {
        if (ownIn >= 0) close(ownIn);
        ownIn = -1;
    };
    int out[2], err[2], status[2];
    if (!makePipe(out)) {
        const int e = errno;
        closeIn();
        return fail(e);
    }
    if (!makePipe(err)) {
        const int e = errno;
        closeIn();
        close(out[0]), close(out[1]);
        return fail(e);
    }
    if (!makePipe(status)) {
        const int e = errno;
        closeIn();
        close(out[0]), close(out[1]), close(err[0]), close(err[1]);
        return fail(e);
    }
    // Room in the pipe for a megabyte of output, where the system allows
    // it: the child writes on while what came is handled here, instead of
    // waiting for every 64 KB to be taken.
    fcntl(out[0], F_SETPIPE_SZ, 1 << 20);

    // No signal handler of the program may run in the child while it still
    // shares the program's memory: signals wait until the child has its own.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    const ChildSetup setup{program.c_str(), argv.data(), environ, getpid(), in, out[1], err[1], status[1], &before};
    const pid_t pid = startChild(setup);
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    closeIn();
    close(out[1]);
    close(err[1]);
    close(status[1]);
    if (pid < 0) {
        close(out[0]), close(err[0]), close(status[0]);
        return fail(forkError);
    }
    // The status pipe closes on a successful exec; a failed one writes why.
    int execError = 0;
    ssize_t n;
    do
        n = read(status[0], &execError, sizeof execError);
    while (n < 0 && errno == EINTR);
    close(status[0]);
    pid_ = pid;
    out_ = out[0];
    err_ = err[0];
    if (n == static_cast<ssize_t>(sizeof execError)) {
        reap(true);
        closePipes();
        return fail(execError);
    }
    for (int fd : {out_, err_}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return true;
}

bool ChildProcess::wait(int ms, std::string& out, std::string& err)
{
    if (pid_ < 0) return true;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    for (;;) {
        pollfd fds[2];
        nfds_t count = 0;
        if (out_ >= 0) fds[count++] = {out_, POLLIN, 0};
        if (err_ >= 0) fds[count++] = {err_, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        // With both pipes at their end, the child's end is looked for in
        // short steps: it closes them as it exits.
        const int step = static_cast<int>(std::clamp<long long>(left, 0, count ? 50 : 2));
        const int ready = poll(count ? fds : nullptr, count, step);
        if (ready < 0 && errno != EINTR) return reap(false);
        bool wrote = false;
        for (nfds_t i = 0; ready > 0 && i < count; ++i) {
            if (!fds[i].revents) continue;
            const bool isOut = fds[i].fd == out_;
            std::string& into = isOut ? out : err;
            const std::size_t had = into.size();
            if (!drain(fds[i].fd, into)) closeFd(isOut ? out_ : err_);
            wrote = wrote || into.size() != had;
        }
        // A child that ended while something it started holds its pipes
        // open has ended all the same: what it wrote is taken.
        if (reap(false)) {
            if (out_ >= 0) drain(out_, out);
            if (err_ >= 0) drain(err_, err);
            closePipes();
            return true;
        }
        if (wrote || Clock::now() >= deadline) return false;
    }
}

void ChildProcess::kill()
{
    if (pid_ >= 0) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
    closePipes();
}

bool ChildProcess::reap(bool block)
{
    if (pid_ < 0) return true;
    int status = 0;
    pid_t r;
    do
        r = waitpid(pid_, &status, block ? 0 : WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    pid_ = -1;
    if (r < 0) {
        // Waited for elsewhere: how it ended is not known.
        crashed_ = true;
        return true;
    }
    crashed_ = WIFSIGNALED(status);
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

void ChildProcess::closePipes()
{
    closeFd(out_);
    closeFd(err_);
}

}  // namespace ddvue::dwg
