// Shortcut passes: the shortcut files the installation created, then the folders that held
// them and up to `levels` empty parents of each. Never removes a protected folder or a drive
// root, and never a folder that still holds anything.
#pragma once
#include <windows.h>

// Deletes firstFolder\fileName of every shortcut record that names a file. A record whose
// folders are not usable (record_paths.h), or whose path would not fit a path buffer, deletes
// nothing. Builds each path in the shared WorkPath.
void RemoveShortcutFiles();

// Removes each record's firstFolder and secondFolder when empty, then walks both up in step,
// at most `levels` parents, stopping at the first protected folder. Works on expanded copies of
// the folders and leaves the records as they were. A record whose folders are not usable is
// left alone. Changes the current directory when it stands in a folder to go.
void RemoveShortcutFolders();
