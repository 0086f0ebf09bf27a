// Folder codes: the shell's own CSIDL_ values (from shlobj.h) and our FOLDER_ codes for the
// folders the shell has no identifier for. A code names a folder; ResolveFolder turns it
// into a path on the running machine.
#pragma once
#include <windows.h>
#include <shlobj.h>

const DWORD FOLDER_WINDOWS = 0x80000001;              // GetWindowsDirectory
const DWORD FOLDER_SYSTEM = 0x80000002;               // GetSystemDirectory
const DWORD FOLDER_TEMP = 0x80000003;                 // GetTempPath, with its trailing backslash
const DWORD FOLDER_COMMON_QUICK_LAUNCH = 0x80000004;  // under the all-users application data
const DWORD FOLDER_QUICK_LAUNCH = 0x80000005;         // under the user's application data
const DWORD FOLDER_PROGRAM_FILES = 0x80000006;        // registry value "ProgramFilesDir"
const DWORD FOLDER_COMMON_FILES = 0x80000007;         // registry value "CommonFilesDir"
const DWORD FOLDER_ALL_USERS_PROFILE = 0x80000008;    // parent of the all-users documents
// Resolve only under WOW64, where the three above name the 32-bit folders; never in a macro.
const DWORD FOLDER_NATIVE_PROGRAM_FILES = 0x80000009;  // "ProgramFilesDir" of the 64-bit view
const DWORD FOLDER_NATIVE_COMMON_FILES = 0x8000000A;   // "CommonFilesDir" of the 64-bit view
const DWORD FOLDER_NATIVE_SYSTEM = 0x8000000B;         // the Windows directory's "Sysnative"
// The parent of the user's profile; only where that is no drive root. Never in a macro.
const DWORD FOLDER_PROFILES_ROOT = 0x8000000C;

// Ends a list of folder codes.
const DWORD FOLDER_LIST_END = 0xFFFFFFFF;
