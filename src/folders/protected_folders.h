// The folders no pass may ever remove: system directories, Program Files, the shell's user and
// all-users folders, as folder codes in a fixed order, under WOW64 also the native Program
// Files, its Common Files and System32 (whether the 64-bit flag is set or not); and the users'
// profiles: their root, each profile in it and each folder directly in a profile. Owns the cache
// of their resolved paths, canonical texts and identities.
#pragma once
#include <windows.h>
#include "folders/folder_codes.h"

const int ProtectedFolderCount = 49;

// The codes in order, ended by FOLDER_LIST_END.
extern const DWORD ProtectedFolderList[ProtectedFolderCount + 1];

// Resolves entry index (0 to ProtectedFolderCount - 1) of the list into path
// (kPathCapacity WCHARs). False when the folder does not resolve on this machine.
// Each entry is resolved once per process and then served from a cache: the passes test
// every folder they touch, a resolution costs shell and registry look-ups, and these
// folders cannot move while an uninstall runs.
bool ResolveProtectedFolder(int index, WCHAR* path);

// True when path names a protected folder, however it is spelled, a drive root, or a folder
// whose full path cannot be computed. Compared by canonical text (the full path without a \\?\,
// \\?\UNC\, \??\ or \\.\ prefix, one trailing backslash removed, ASCII letters without case), and
// on NT, for a folder that exists, by identity (volume serial number and file index), which also
// sees through junctions, substituted drives and short names; where an identity is unknown, also
// by the short form of the text. Under the 64-bit flag path is read as the file calls of the
// removal read it, with redirection off.
bool MatchesProtectedFolder(const WCHAR* path);

// Drops the cache, so the next test resolves afresh. For tests that swap the system calls
// the resolution makes; the program itself never needs it.
void ForgetProtectedFolders();
