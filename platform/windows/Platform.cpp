#include "Platform.h"

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <filesystem>
#include <vector>

namespace VxPlatform {
namespace {

class WindowsTickClock final : public ITickClock {
public:
    // Already the 32-bit millisecond count since start-up.
    std::uint32_t Now() override { return ::GetTickCount(); }
};

// Opens for reading and writing by others too, as a text editor would
// leave it, so that reading the settings never stands in another's way.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool WriteAll(HANDLE file, std::string_view data)
{
    while (!data.empty()) {
        const DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size());
        DWORD written = 0;
        if (!::WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0)
            return false;
        data.remove_prefix(written);
    }
    return true;
}

// A file: neither a folder nor a device.
bool IsRegular(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string WithSeparator(std::string folder)
{
    if (folder.empty() || (folder.back() != '\\' && folder.back() != '/'))
        folder += '\\';
    return folder;
}

} // namespace

ITickClock& SystemTickClock()
{
    static WindowsTickClock clock;
    return clock;
}

std::string ProgramFolder()
{
    std::vector<char> name(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0)
            return ".\\";
        if (n < name.size())
            return WithSeparator(std::filesystem::path(std::string(name.data(), n)).parent_path().string());
        name.resize(name.size() * 2);
    }
}

std::string ProgramName()
{
    char name[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, name, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return "vx";
    return std::filesystem::path(std::string(name, n)).stem().string();
}

std::string EnvironmentValue(const char* name)
{
    const DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0)
        return {};
    std::string value(size, '\0');
    const DWORD n = ::GetEnvironmentVariableA(name, value.data(), size);
    value.resize(n < size ? n : 0);
    return value;
}

std::vector<std::string> SystemProgramFolders()
{
    // The 64-bit and the 32-bit Program Files; a 32-bit process is shown
    // the latter under both names, so ProgramW6432 names the former.
    std::vector<std::string> folders;
    for (const int id : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86}) {
        char folder[MAX_PATH];
        if (SUCCEEDED(::SHGetFolderPathA(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, folder)))
            folders.emplace_back(folder);
    }
    if (const std::string w6432 = EnvironmentValue("ProgramW6432"); !w6432.empty())
        folders.push_back(w6432);
    return folders;
}

std::string ConfigHome()
{
    char folder[MAX_PATH];
    if (SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return folder;
    return EnvironmentValue("APPDATA");
}

bool MakePrivateFolder(const std::string& path)
{
    // The user's profile already keeps others out of what lies below it.
    return ::CreateDirectoryA(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

EReadResult ReadRegularFile(const std::string& path, std::string& out)
{
    out.clear();
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EReadResult::Missing
                                                                              : EReadResult::Failed;
    }
    EReadResult result = IsRegular(file) ? EReadResult::Ok : EReadResult::Failed;
    char buffer[65536];
    while (result == EReadResult::Ok) {
        DWORD n = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &n, nullptr))
            result = EReadResult::Failed;
        else if (n == 0)
            break;
        else
            out.append(buffer, n);
    }
    ::CloseHandle(file);
    if (result != EReadResult::Ok)
        out.clear();
    return result;
}

bool MayWriteFile(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

bool MayReplaceFile(const std::string&)
{
    // The file system says no by failing the sibling's creation or the
    // replacement, and the caller then rewrites in place.
    return true;
}

bool ReplaceFileContent(const std::string& path, std::string_view data)
{
    static std::atomic<unsigned> counter{0};
    std::string temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = path + ".tmp" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
        file = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = WriteAll(file, data) && ::FlushFileBuffers(file);
    if (!::CloseHandle(file))
        ok = false;
    if (ok) {
        // ReplaceFileA keeps the old file's attributes and security; a new
        // file has none to keep.
        if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            ok = ::ReplaceFileA(path.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                nullptr);
        else
            ok = ::MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!ok)
        ::DeleteFileA(temp.c_str());
    return ok;
}

bool RewriteFileInPlace(const std::string& path, std::string_view data)
{
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = IsRegular(file) && WriteAll(file, data) && ::SetEndOfFile(file) && ::FlushFileBuffers(file);
    if (!::CloseHandle(file))
        ok = false;
    return ok;
}

} // namespace VxPlatform
