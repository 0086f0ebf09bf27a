// The system-call table: one pointer per operating-system call that the program makes with
// text, each typed from the wide prototype, so every caller passes wide strings on every
// platform. Calls that no part of the program makes have no entry: each would carry a wide
// import, a narrow import and a converting fallback in every copy of the program.
// Also the platform layer's state (PlatformState below), of which the table is a part; tests
// swap single entries to inject failures (see ApiEntryGuard in the tests' support folder).
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/wow64.h"

// Every entry, in the table's order, each on one line: the field, the wide call whose prototype
// types it (and which the table starts with), and what the narrow platform puts there instead:
// a converting fallback, the plain A call where no text crosses, or ByNumber(A call) where the
// only text is a resource number (those names are declared in narrow_fallbacks.h, which
// expands that column). BOUND marks the entry that starts on its fallback on every
// platform and gets the wide export only when SelectPlatform finds it at run time. Struct,
// initialiser and narrow table are all expanded from here, by field name, so an entry cannot
// land in a same-typed neighbour's slot.
#define API_TABLE_ENTRIES(X, BOUND)                                                           \
    /* user interface (user32, gdi32) */                                                      \
    X(RegisterClass, RegisterClassW, FallbackRegisterClass)                                   \
    X(CreateWindowEx, CreateWindowExW, FallbackCreateWindowEx)                                \
    X(DefWindowProc, DefWindowProcW, ::DefWindowProcA)                                        \
    X(CreateDialogParam, CreateDialogParamW, ByNumber(::CreateDialogParamA))                  \
    X(DialogBoxParam, DialogBoxParamW, ByNumber(::DialogBoxParamA))                           \
    X(IsDialogMessage, IsDialogMessageW, ::IsDialogMessageA)                                  \
    X(CreateFontIndirect, CreateFontIndirectW, FallbackCreateFontIndirect)                    \
    X(GetObject, GetObjectW, FallbackGetObject)                                               \
    X(SetWindowText, SetWindowTextW, FallbackSetWindowText)                                   \
    X(SetDlgItemText, SetDlgItemTextW, FallbackSetDlgItemText)                                \
    X(MessageBox, MessageBoxW, ::MessageBoxW)                                                 \
    X(SetWindowLong, SetWindowLongW, ::SetWindowLongA)                                        \
    X(SendMessage, SendMessageW, ::SendMessageA)                                              \
    X(PeekMessage, PeekMessageW, ::PeekMessageA)                                              \
    X(GetMessage, GetMessageW, ::GetMessageA)                                                 \
    X(DispatchMessage, DispatchMessageW, ::DispatchMessageA)                                  \
    /* files and processes (kernel32) */                                                      \
    X(CreateFile, CreateFileW, FallbackCreateFile)                                            \
    X(DeleteFile, DeleteFileW, FallbackDeleteFile)                                            \
    X(GetFileAttributes, GetFileAttributesW, FallbackGetFileAttributes)                       \
    X(SetFileAttributes, SetFileAttributesW, FallbackSetFileAttributes)                       \
    X(CreateProcess, CreateProcessW, FallbackCreateProcess)                                   \
    /* registry (advapi32) */                                                                 \
    X(RegOpenKeyEx, RegOpenKeyExW, FallbackRegOpenKeyEx)                                      \
    X(RegQueryValueEx, RegQueryValueExW, FallbackRegQueryValueEx)                             \
    X(RegSetValueEx, RegSetValueExW, FallbackRegSetValueEx)                                   \
    X(RegEnumKeyEx, RegEnumKeyExW, FallbackRegEnumKeyEx)                                      \
    X(RegDeleteKey, RegDeleteKeyW, FallbackRegDeleteKey)                                      \
    X(RegDeleteValue, RegDeleteValueW, FallbackRegDeleteValue)                                \
    /* shell and fonts */                                                                     \
    X(ShellExecute, ShellExecuteW, FallbackShellExecute)                                      \
    X(RemoveFontResource, RemoveFontResourceW, FallbackRemoveFontResource)                    \
    /* paths and modules (kernel32, shell32) */                                               \
    X(GetModuleFileName, GetModuleFileNameW, FallbackGetModuleFileName)                       \
    X(GetWindowsDirectory, GetWindowsDirectoryW, FallbackGetWindowsDirectory)                 \
    X(GetSystemDirectory, GetSystemDirectoryW, FallbackGetSystemDirectory)                    \
    X(GetTempPath, GetTempPathW, FallbackGetTempPath)                                         \
    X(GetShortPathName, GetShortPathNameW, FallbackGetShortPathName)                          \
    X(GetFullPathName, GetFullPathNameW, FallbackGetFullPathName)                             \
    X(SetCurrentDirectory, SetCurrentDirectoryW, FallbackSetCurrentDirectory)                 \
    X(GetCurrentDirectory, GetCurrentDirectoryW, FallbackGetCurrentDirectory)                 \
    X(RemoveDirectory, RemoveDirectoryW, FallbackRemoveDirectory)                             \
    X(LoadLibrary, LoadLibraryW, FallbackLoadLibrary)                                         \
    X(LoadLibraryEx, LoadLibraryExW, FallbackLoadLibraryEx)                                   \
    X(FindFirstFile, FindFirstFileW, FallbackFindFirstFile)                                   \
    /* profiles, icons and cursors */                                                         \
    X(WritePrivateProfileString, WritePrivateProfileStringW, FallbackWritePrivateProfileString) \
    X(LoadIcon, LoadIconW, ByNumber(::LoadIconA))                                             \
    X(LoadCursor, LoadCursorW, ByNumber(::LoadCursorA))                                       \
    /* the shell entry bound at run time */                                                   \
    BOUND(SHGetPathFromIDList, SHGetPathFromIDListW, FallbackSHGetPathFromIDList)

#define API_TABLE_FIELD(field, wide, narrow) decltype(&::wide) field;
struct ApiTable {
    API_TABLE_ENTRIES(API_TABLE_FIELD, API_TABLE_FIELD)
};
#undef API_TABLE_FIELD

// The platform layer's state: the table and what the program knows of the system it runs on.
// Written at start-up only, by the platform layer (static initialisation and SelectPlatform fill
// the table and WidePlatform, DetectPlatform the two flags, Use64BitViews the 64-bit view), except
// ModuleInstance, which the run's start-up keeps from the entry point. Every layer reads it.
struct PlatformState {
    ::ApiTable ApiTable;
    bool WidePlatform;  // SelectPlatform found the wide calls (GetVersionExW succeeded)
    bool IsNT;          // the platform is of the NT family
    bool IsNT6OrLater;  // IsNT and major version above 5
    // KEY_WOW64_64KEY while the 64-bit flag is in effect, else 0: added to the access of every
    // registry open of the removal.
    DWORD RegistryView;
    Wow64Calls Wow64;  // null entries where the system lacks them, or before Use64BitViews
    HINSTANCE ModuleInstance;
};
extern PlatformState Platform;

// Converts a GetProcAddress result to the function type it names (through void*, which
// keeps -Wcast-function-type quiet for this one deliberate conversion).
template <typename Fn>
inline Fn CastProc(FARPROC proc) { return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc)); }

// Fills the table for the running platform; the very first call of the program.
void SelectPlatform();
// Frees the shell32 handle that SelectPlatform loaded, if any.
void ReleasePlatform();

// Sets IsNT and IsNT6OrLater from GetVersionExA, which both families have.
void DetectPlatform();
