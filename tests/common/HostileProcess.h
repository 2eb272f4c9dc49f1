// Small helpers for the tests where another process attacks what the
// window relies on: run a shell command as that process, wait with the
// window's event loop running, read what the program said on stderr.
#pragma once

#include <QTest>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>

extern char** environ;

// Runs `sh -c command` as a process of its own; its exit code, or -1.
inline int RunShell(const std::string& command)
{
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(command.c_str()), nullptr};
    pid_t pid = -1;
    if (::posix_spawnp(&pid, "sh", nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
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
    // Lines that contain `part`.
    int Lines(const std::string& part) const
    {
        std::istringstream in(Text());
        int n = 0;
        for (std::string line; std::getline(in, line);)
            n += line.find(part) != std::string::npos ? 1 : 0;
        return n;
    }

private:
    std::string path_;
    int saved_ = -1;
};
