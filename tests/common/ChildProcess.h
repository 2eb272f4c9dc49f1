// A program run by a test: its output collected from pipes, waits with
// deadlines, and whatever happens, it ends with the test.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

class TChild {
public:
    TChild() = default;
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;
    ~TChild()
    {
        if (pid_ > 0 && Running()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {out_, err_, in_})
            if (fd >= 0)
                ::close(fd);
    }

    // argv[0] is looked up in PATH; env adds or replaces NAME=VALUE entries.
    // Spawned, not forked: the thread sanitizer does not follow a fork of a
    // process with threads.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {})
    {
        int outPipe[2], errPipe[2], inPipe[2] = {-1, -1};
        if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0 ||
            (PipeInput && ::pipe2(inPipe, O_CLOEXEC) != 0))
            return false;
        const auto name = [](const std::string& e) { return e.substr(0, e.find('=') + 1); };
        std::vector<std::string> envs(env);
        for (char** e = environ; *e != nullptr; ++e)
            if (std::none_of(env.begin(), env.end(), [&](const std::string& add) { return name(add) == name(*e); }))
                envs.push_back(*e);
        std::vector<char*> args, envp;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        for (const auto& e : envs)
            envp.push_back(const_cast<char*>(e.c_str()));
        args.push_back(nullptr);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
        if (PipeInput)
            posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
        const int rc = ::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        for (int fd : {outPipe[1], errPipe[1], inPipe[0]})
            if (fd >= 0)
                ::close(fd);
        out_ = outPipe[0];
        err_ = errPipe[0];
        in_ = inPipe[1];
        if (rc != 0)
            pid_ = -1;
        return rc == 0;
    }

    // Its standard input closed: end of input for a child that reads it.
    void CloseInput()
    {
        if (in_ >= 0)
            ::close(in_);
        in_ = -1;
    }

    pid_t Pid() const { return pid_; }

    bool Running()
    {
        if (pid_ > 0 && !ended_ && ::waitpid(pid_, &status_, WNOHANG) == pid_)
            ended_ = true;
        return pid_ > 0 && !ended_;
    }

    // Reads what the pipes hold, waiting at most waitMs for something.
    void Pump(int waitMs)
    {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (::poll(fds, 2, waitMs) <= 0)
            return;
        char buf[4096];
        for (int i = 0; i < 2; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP)) == 0 || fds[i].fd < 0)
                continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0)
                (i == 0 ? out : err).append(buf, static_cast<std::size_t>(n));
            else if (n == 0) {
                ::close(fds[i].fd);
                (i == 0 ? out_ : err_) = -1;
            }
        }
    }

    // Pumps until cond() holds or timeoutMs passes.
    bool WaitFor(const std::function<bool()>& cond, int timeoutMs)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!cond()) {
            if (std::chrono::steady_clock::now() >= until)
                return false;
            Pump(20);
        }
        return true;
    }

    bool ErrHas(const std::string& text, int timeoutMs)
    {
        return WaitFor([&] { return err.find(text) != std::string::npos; }, timeoutMs);
    }

    // The exit status after `signal` (0: none sent), -1 if it did not end
    // within timeoutMs, 128 + N when killed by signal N.
    int End(int signal, int timeoutMs)
    {
        if (signal != 0 && Running())
            ::kill(pid_, signal);
        if (!WaitFor([&] { return !Running(); }, timeoutMs))
            return -1;
        // The rest of what it wrote (bounded: a child of its own may hold the pipes).
        WaitFor([&] { return out_ < 0 && err_ < 0; }, 1000);
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    }

    std::string out;
    std::string err;
    // Set before Start: the child's standard input is a pipe held here
    // (until CloseInput), not the test's own.
    bool PipeInput = false;

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int in_ = -1;
    bool ended_ = false;
    int status_ = 0;
};

// A program run to its end: its exit status (-1 when it could not start or
// did not end within timeoutMs) and what it wrote.
struct TRunResult {
    int status = -1;
    std::string out, err;
};

inline TRunResult RunToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                           int timeoutMs = 60000)
{
    TChild c;
    const int status = c.Start(argv, env) ? c.End(0, timeoutMs) : -1;
    return {status, c.out, c.err};
}
