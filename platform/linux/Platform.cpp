#include "Platform.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace VxPlatform {
namespace {

class MonotonicTickClock final : public ITickClock {
public:
    std::uint32_t Now() override
    {
        timespec ts{};
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
        return static_cast<std::uint32_t>(ms);
    }
};

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

ITickClock& SystemTickClock()
{
    static MonotonicTickClock clock;
    return clock;
}

std::string ProgramFolder()
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "./";
    std::string folder = self.parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string ProgramName()
{
    return program_invocation_short_name;
}

std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::vector<std::string> SystemProgramFolders()
{
    return {};
}

std::string ConfigHome()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    const std::string config = EnvironmentValue("XDG_CONFIG_HOME");
    if (!config.empty() && config.front() == '/')
        return config;
    std::string home = EnvironmentValue("HOME");
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
            home = pw->pw_dir;
    }
    if (home.empty())
        return {};
    return (std::filesystem::path(home) / ".config").string();
}

bool MakePrivateFolder(const std::string& path)
{
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

EReadResult ReadRegularFile(const std::string& path, std::string& out)
{
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? EReadResult::Missing : EReadResult::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return EReadResult::Failed;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ::close(fd);
            out.clear();
            return EReadResult::Failed;
        }
    }
    ::close(fd);
    return EReadResult::Ok;
}

bool MayWriteFile(const std::string& path)
{
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool MayReplaceFile(const std::string& path)
{
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    return st.st_uid == ::geteuid();
}

bool ReplaceFileContent(const std::string& path, std::string_view data)
{
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, data);
    if (ok && exists)
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    if (ok)
        ok = ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (ok)
        ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
    }
    return ok;
}

bool RewriteFileInPlace(const std::string& path, std::string_view data)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok)
        ok = WriteAll(fd, data);
    if (ok)
        ok = ::ftruncate(fd, static_cast<off_t>(data.size())) == 0;
    if (ok)
        ok = ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    return ok;
}

} // namespace VxPlatform
