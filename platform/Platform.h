// What differs from one operating system to the next, apart from the
// window: the millisecond clock, where the program and the user's settings
// live, the environment, and the few file operations the settings file
// needs. Each system has its own implementation (platform/linux/,
// platform/windows/); nothing here includes a system header, so the rest of
// the code sees the same names everywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace VxPlatform {

// ---- The millisecond clock --------------------------------------------------
// 32 bits, wrapping after 49.7 days. Code measures intervals as unsigned
// differences, so a wrap changes nothing. Tests and the offline analyzer
// install a clock of their own.

class ITickClock {
public:
    virtual ~ITickClock() = default;
    virtual std::uint32_t Now() = 0;
};

// The system's monotonic clock, cut to 32 bits.
ITickClock& SystemTickClock();

// The clock in use (the system clock unless one is installed).
std::uint32_t TickCount();
// Installs a clock; null restores the system clock. Not for use while the
// capture thread runs.
void SetTickClock(ITickClock* clock);

// ---- The program and its environment ----------------------------------------

// Folder of the running program, with a trailing separator.
std::string ProgramFolder();
// Short name of the running program, for messages ("vxsound").
std::string ProgramName();
// The variable's value; empty when it is not set.
std::string EnvironmentValue(const char* name);
// The user's configuration home (Linux: XDG_CONFIG_HOME when absolute, else
// ~/.config; Windows: the roaming application data folder). Empty when the
// user has none.
std::string ConfigHome();
// The system's folders for installed programs, which users may not write
// (Windows: Program Files, 64- and 32-bit). Linux: none, since there an
// installed program is told by its data folder.
std::vector<std::string> SystemProgramFolders();
// Creates one folder that only the user may enter (Linux: mode 0700).
// True when it exists afterwards.
bool MakePrivateFolder(const std::string& path);

// ---- Files ------------------------------------------------------------------

enum class EReadResult { Ok, Missing, Failed };

// Reads a whole regular file. Anything else in its place (a folder, a
// FIFO, a device) fails without blocking.
EReadResult ReadRegularFile(const std::string& path, std::string& out);

// Whether the user may write the existing file (a read-only file may not be).
bool MayWriteFile(const std::string& path);

// Whether a replacement through a sibling may stand in for a write: the
// folder takes new files, and the file (if there is one) is the user's own,
// since a rename would hand a shared file over to him.
bool MayReplaceFile(const std::string& path);

// Writes `data` into a sibling and renames it over `path`, so that a crash
// leaves either the old or the new file, never half. The file keeps its
// permissions. False, with nothing left behind, when it could not.
bool ReplaceFileContent(const std::string& path, std::string_view data);

// Rewrites an existing regular file in its place, cutting off what stands
// beyond the new content last.
bool RewriteFileInPlace(const std::string& path, std::string_view data);

} // namespace VxPlatform
