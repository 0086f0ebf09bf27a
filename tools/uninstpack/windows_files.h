// The names of the files that ship with Windows in its own folders, which no product's record
// may name: generated into windows_files.cpp by scripts/windows-file-names.py from a fresh Wine
// prefix's windows folder and a list of well-known names.
#pragma once
#include <cstddef>
#include <iterator>

namespace uninstpack {

// Windows: ?:\windows itself. System: its system32, syswow64, sysnative and (9x) system folders.
// Drivers and Etc: their drivers and drivers\etc folders. Fonts: ?:\windows\fonts.
enum class WindowsFolder { Windows, System, Drivers, Etc, Fonts };

struct WindowsFileList {
    WindowsFolder folder;
    const char* const* names;  // lower case, sorted
    size_t count;
};

extern const WindowsFileList kWindowsFileLists[5];

}  // namespace uninstpack
