// Resolution of folder codes to paths, with hand-built fallbacks for systems whose shell does
// not know a folder. Every result lands in a caller's buffer of kPathCapacity WCHARs; a path
// that would not fit there is a failed resolution, never a shortened one.
#pragma once
#include <windows.h>
#include "folders/folder_codes.h"

// Asks the shell for one CSIDL_ folder. False, path untouched, when the shell has no file
// system folder for it.
bool QueryShellFolder(WCHAR* path, int csidl);

// Builds an all-users folder by hand: the profiles root (NT) or the Windows directory (9x),
// then suffix. False only when the Windows directory cannot be read or the result does not fit.
bool GetAllUsersFolder(WCHAR* path, const WCHAR* suffix);

// Resolves any folder code. On false the content of path is not to be used.
bool ResolveFolder(WCHAR* path, DWORD code);
