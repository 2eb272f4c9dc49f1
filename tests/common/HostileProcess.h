// Small helpers for the tests where another process attacks what the
// window relies on: run a shell command as that process, wait with the
// window's event loop running, read what the program said on stderr.
#pragma once

#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

// Runs `sh -c command` as a process of its own; its exit code, or -1.
inline int RunShell(const std::string& command)
{
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits with the event loop running (timers tick) until done() or the timeout.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor(done, static_cast<int>(timeout.count()));
}

// The process's stderr goes to a file while this lives.
class StderrCapture {
public:
    StderrCapture() : path_("/tmp/vx_stderr_" + std::to_string(::getpid()) + ".txt")
    {
        std::fflush(stderr);
        saved_ = ::dup(2);
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2);
        ::close(fd);
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        std::remove(path_.c_str());
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::string Text() const
    {
        std::fflush(stderr);
        std::ifstream in(path_);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    std::string path_;
    int saved_ = -1;
};
