// Where the analyzer finds its picture and keeps its settings.
//
// Portable layout: the picture stands beside the program (the build's bin/
// folder, or any folder the program was copied into with its data), and
// VxSound.ini is written there too. Installed layout: the program lives in
// <prefix>/bin and its data in <prefix>/share/corvane-audio-analyzer/; the
// settings go to the user's configuration folder, since the program's own
// folder is not the user's to write. The layout follows from where the
// picture is found, never from permissions, so root and users get the same
// answer. On Windows the picture stands beside the program in both layouts;
// there a program folder inside one of the system's program folders
// (Program Files, which users may not write) is the installed layout, and
// the settings go to the user's roaming application data.
// VX_SETTINGS_DIR overrides the settings folder of both.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace VxLayout {

inline constexpr const char* kPictureFile = "Source-Images/Glyphs/AudioLevel.bmp";
// The settings folder's name under the user's configuration home.
#ifdef _WIN32
inline constexpr const char* kFolderName = "Corvane Audio Analyzer";
#else
inline constexpr const char* kFolderName = "corvane-audio-analyzer";
#endif

struct TEnvironment {
    std::string SettingsDir; // VX_SETTINGS_DIR
    std::string ConfigHome;  // VxPlatform::ConfigHome(): empty without a home
    // VxPlatform::SystemProgramFolders(): a program inside one is installed.
    std::vector<std::string> ProgramFolders = {};
};

struct TLayout {
    bool Installed = false;
    std::string PictureFile;    // absolute, without "." or ".." parts
    std::string SettingsFolder; // with a trailing separator
    // The user's configuration folder may not exist yet: the first write
    // creates it. An explicit VX_SETTINGS_DIR is taken as it is.
    bool CreateSettingsFolder = false;
};

// programFolder: absolute folder of the running program. dataFromProgram:
// the data folder relative to the program folder as installed (for example
// "../share/corvane-audio-analyzer"). exists: whether a path names a file
// or folder. A program folder inside one of env.ProgramFolders is installed,
// with the picture beside it. Otherwise the picture beside the program makes
// it portable; else the data folder makes it installed (a picture missing
// there is reported with the data folder's path); else it is portable.
TLayout ResolveLayout(const std::string& programFolder, const std::string& dataFromProgram,
                      const TEnvironment& env, const std::function<bool(const std::string&)>& exists);

// The same from the process environment and the real file system.
TLayout CurrentLayout(const std::string& programFolder);

// Creates the settings folder (private, with missing parents) when the
// layout asks for it. A failure is left for the write to report, with the
// settings file's own path.
void PrepareSettingsFolder(const TLayout& layout);

} // namespace VxLayout
