// Where the program lets the system look for DLLs: the search restriction that comes first in
// both modes, loading a system DLL by its full path, and loading a COM server so that its own
// dependencies come from its folder and the system directory only.
#pragma once
#include <windows.h>

// Restricts the default DLL search to the system directory (SetDefaultDllDirectories, looked
// up at run time); where that call is missing, takes the current directory out of the search
// (SetDllDirectoryW(L"")), where that exists. Returns true when the default search is now the
// system directory alone.
bool RestrictDllSearch();

// Full path of `name` in the system directory into path (cchPath WCHARs). False, path empty,
// when the system directory cannot be read or the result does not fit.
bool SystemFilePath(const WCHAR* name, WCHAR* path, size_t cchPath);

// Loads `name` (a bare file name such as L"uxtheme.dll") from the system directory by its full
// path, never from the program's folder; null when it is not there.
HMODULE LoadSystemLibrary(const WCHAR* name);

// Loads the DLL at the full path `path` with its dependencies resolved from its own folder and
// the system directory, not from the program's folder or the current directory.
HMODULE LoadLibraryBesideItself(const WCHAR* path);

// An export of the common controls (by name, or by ordinal through MAKEINTRESOURCEA), or null.
FARPROC CommonControlsExport(const char* name);
