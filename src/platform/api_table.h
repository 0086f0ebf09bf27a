// The system-call table: one pointer per operating-system call that the program makes with
// text, each typed from the wide prototype, so every caller passes wide strings on every
// platform. Calls that no part of the program makes have no entry: each would carry a wide
// import, a narrow import and a converting fallback in every copy of the program.
// Written only by static initialisation and SelectPlatform; tests swap single entries to
// inject failures (see ApiEntryGuard in the tests' support folder).
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

struct ApiTableT {
    // user interface (user32, gdi32)
    decltype(&::RegisterClassW) RegisterClass;
    decltype(&::CreateWindowExW) CreateWindowEx;
    decltype(&::DefWindowProcW) DefWindowProc;
    decltype(&::CreateDialogParamW) CreateDialogParam;
    decltype(&::DialogBoxParamW) DialogBoxParam;
    decltype(&::IsDialogMessageW) IsDialogMessage;
    decltype(&::CreateFontIndirectW) CreateFontIndirect;
    decltype(&::GetObjectW) GetObject;
    decltype(&::SetWindowTextW) SetWindowText;
    decltype(&::SetDlgItemTextW) SetDlgItemText;
    decltype(&::MessageBoxW) MessageBox;
    decltype(&::SetWindowLongW) SetWindowLong;
    decltype(&::SendMessageW) SendMessage;
    decltype(&::PeekMessageW) PeekMessage;
    decltype(&::GetMessageW) GetMessage;
    decltype(&::DispatchMessageW) DispatchMessage;
    // files and processes (kernel32)
    decltype(&::CreateFileW) CreateFile;
    decltype(&::DeleteFileW) DeleteFile;
    decltype(&::GetFileAttributesW) GetFileAttributes;
    decltype(&::SetFileAttributesW) SetFileAttributes;
    decltype(&::CreateProcessW) CreateProcess;
    // registry (advapi32)
    decltype(&::RegOpenKeyExW) RegOpenKeyEx;
    decltype(&::RegQueryValueExW) RegQueryValueEx;
    decltype(&::RegSetValueExW) RegSetValueEx;
    decltype(&::RegEnumKeyExW) RegEnumKeyEx;
    decltype(&::RegDeleteKeyW) RegDeleteKey;
    decltype(&::RegDeleteValueW) RegDeleteValue;
    // shell and fonts
    decltype(&::ShellExecuteW) ShellExecute;
    decltype(&::RemoveFontResourceW) RemoveFontResource;
    // paths and modules (kernel32, shell32)
    decltype(&::GetModuleFileNameW) GetModuleFileName;
    decltype(&::GetWindowsDirectoryW) GetWindowsDirectory;
    decltype(&::GetSystemDirectoryW) GetSystemDirectory;
    decltype(&::GetTempPathW) GetTempPath;
    decltype(&::GetShortPathNameW) GetShortPathName;
    decltype(&::SetCurrentDirectoryW) SetCurrentDirectory;
    decltype(&::GetCurrentDirectoryW) GetCurrentDirectory;
    decltype(&::RemoveDirectoryW) RemoveDirectory;
    decltype(&::LoadLibraryW) LoadLibrary;
    decltype(&::FindFirstFileW) FindFirstFile;
    // profiles, icons and cursors
    decltype(&::WritePrivateProfileStringW) WritePrivateProfileString;
    decltype(&::LoadIconW) LoadIcon;
    decltype(&::LoadCursorW) LoadCursor;
    // the shell entry bound at run time
    decltype(&::SHGetPathFromIDListW) SHGetPathFromIDList;
};

extern ApiTableT ApiTable;

// Number of entries, for tests that walk the table as an array of pointers.
const int kApiTableEntryCount = sizeof(ApiTableT) / sizeof(void*);

// Converts a GetProcAddress result to the function type it names (through void*, which
// keeps -Wcast-function-type quiet for this one deliberate conversion).
template <typename Fn>
inline Fn CastProc(FARPROC proc) { return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc)); }

// Fills the table for the running platform; the very first call of the program.
void SelectPlatform();
// Frees the shell32 handle that SelectPlatform loaded, if any.
void ReleasePlatform();

// True after SelectPlatform found the wide calls (GetVersionExW succeeded).
extern bool WidePlatform;
