// Shortcut passes: the shortcut files the installation created, then the folders that held
// them and up to `levels` empty parents of each. Never removes a protected folder or a drive
// root, and never a folder that still holds anything.
#pragma once
#include <windows.h>

// Deletes firstFolder\fileName of every shortcut record that names a file. A record whose
// path would not fit WorkPath, or that names no folder, deletes nothing.
void RemoveShortcutFiles();

// Removes each record's firstFolder and secondFolder when empty, then walks both up in step,
// at most `levels` parents, stopping at the first protected folder. Spends the records: their
// folder texts are cut and `levels` counted down. A record whose folder text would not fit a
// path buffer is left alone. Changes the current directory when it stands in a folder to go.
void RemoveShortcutFolders();
