// The fixed order of one run of the program, from the platform choice to the exit code.
#pragma once
#include <windows.h>

// Runs the whole program: the uninstall run, or the removal helper when /D names a path.
// Returns the process exit code: 0, or -1 when the data cannot be read or the main window
// cannot be created.
int RunUninstaller(HINSTANCE instance);

// Loads the uninstall data; when they are damaged or memory ran out, shows kMessageDamaged or
// kMessageOutOfMemory with the program's path, owned by no window. Silent when there are none. True when loaded.
bool LoadUninstallDataOrReport();
