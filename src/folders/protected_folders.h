// The folders no pass may ever remove: system directories, Program Files and the shell's
// user and all-users folders, as folder codes in a fixed order.
#pragma once
#include <windows.h>
#include "folders/folder_codes.h"

const int ProtectedFolderCount = 24;

// The 24 codes in order, ended by FOLDER_LIST_END.
extern const DWORD ProtectedFolderList[ProtectedFolderCount + 1];

// Resolves entry index (0 to ProtectedFolderCount - 1) of the list into path
// (kPathCapacity WCHARs). False when the folder does not resolve on this machine.
// Every protected-folder test resolves through here, so a per-run cache belongs here too.
bool ResolveProtectedFolder(int index, WCHAR* path);
