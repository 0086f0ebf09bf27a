// Emptied-folder pass: removes the installation's folders that the file pass left empty.
// Never removes a protected folder or a drive root, and never a folder that still holds
// anything (removal is never recursive).
#pragma once
#include <windows.h>

// For each file record but fonts, removes the folder that held the file (or the recorded
// folder) and its parents while they are empty, up to the first protected folder, working in the
// shared WorkPath. A record whose path would not fit a path buffer is left alone. Leaves the current directory at the
// parent of InstallDir, and InstallDir ending in a backslash.
void RemoveEmptiedFolders();
