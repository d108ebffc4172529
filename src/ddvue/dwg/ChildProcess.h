#pragma once
// A program run as a child process for one task (the DWG reader, or Node
// asked its version): its standard input a file the caller holds open, its
// standard output and error taken in through pipes, with waits that return
// as soon as it has written something, so that the caller can keep a time
// limit and answer a stop request between them.
//
// The child is started with vfork and exec, as posix_spawn does, so that a
// large program does not copy its page tables for every drawing read; in
// the moment between the two the child runs only system calls. It is killed
// when the thread that started it ends, and so when the program ends in any
// way; an object that goes while its child still runs kills it and waits
// for it, so that no process is left behind.

#include <string>
#include <vector>

#include <sys/types.h>

namespace ddvue::dwg {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with `args` (its name is given as the first argument
    // itself) and the caller's environment; `input` becomes its standard
    // input (the null device when negative). False, with the system's
    // reason in `error`, when it could not be started.
    bool start(const std::string& program, const std::vector<std::string>& args, int input, std::string& error);

    // Waits at most `ms` milliseconds for the child to write or to end, and
    // appends what it wrote to `out` and `err`. True once it has ended.
    bool wait(int ms, std::string& out, std::string& err);

    bool ended() const { return pid_ < 0; }
    // Ends the child at once and waits for it.
    void kill();

    // After it ended: whether a signal ended it, and its exit status.
    bool crashed() const { return crashed_; }
    int exitCode() const { return exitCode_; }

private:
    bool reap(bool block);
    void closePipes();

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool crashed_ = false;
    int exitCode_ = -1;
};

}  // namespace ddvue::dwg
