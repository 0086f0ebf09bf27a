// Resolution of folder codes to paths, with hand-built fallbacks for systems whose shell does
// not know a folder. Every result lands in a caller's buffer of kPathCapacity WCHARs; a path
// that would not fit there is a failed resolution, never a shortened one.
#pragma once
#include <windows.h>
#include "folders/folder_codes.h"

// Resolves any folder code. On false the content of path is not to be used.
bool ResolveFolder(WCHAR* path, DWORD code);
