// The folders no pass may ever remove: system directories, Program Files and the shell's
// user and all-users folders, as folder codes in a fixed order; under WOW64 also the native
// Program Files, its Common Files and System32 (whether the 64-bit flag is set or not).
#pragma once
#include <windows.h>
#include "folders/folder_codes.h"

const int ProtectedFolderCount = 27;

// The codes in order, ended by FOLDER_LIST_END.
extern const DWORD ProtectedFolderList[ProtectedFolderCount + 1];

// Resolves entry index (0 to ProtectedFolderCount - 1) of the list into path
// (kPathCapacity WCHARs). False when the folder does not resolve on this machine.
// Each entry is resolved once per process and then served from a cache: the passes test
// every folder they touch, a resolution costs shell and registry look-ups, and these
// folders cannot move while an uninstall runs.
bool ResolveProtectedFolder(int index, WCHAR* path);

// Drops the cache, so the next test resolves afresh. For tests that swap the system calls
// the resolution makes; the program itself never needs it.
void ForgetProtectedFolders();
