// The system-call table: one pointer per operating-system call that takes or returns text,
// each typed from the wide prototype, so every caller passes wide strings on every platform.
// Written only by static initialisation and SelectPlatform; tests swap single entries to
// inject failures (see ApiEntryGuard in the tests' support folder).
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winver.h>

struct ApiTableT {
    // user interface (user32, gdi32)
    decltype(&::RegisterClassW) RegisterClass;
    decltype(&::GetClassNameW) GetClassName;
    decltype(&::CreateWindowExW) CreateWindowEx;
    decltype(&::FindWindowW) FindWindow;
    decltype(&::DefWindowProcW) DefWindowProc;
    decltype(&::CallWindowProcW) CallWindowProc;
    decltype(&::CreateDialogParamW) CreateDialogParam;
    decltype(&::DialogBoxParamW) DialogBoxParam;
    decltype(&::IsDialogMessageW) IsDialogMessage;
    decltype(&::CreateFontIndirectW) CreateFontIndirect;
    decltype(&::GetObjectW) GetObject;
    decltype(&::DrawTextW) DrawText;
    decltype(&::SetWindowTextW) SetWindowText;
    decltype(&::SetDlgItemTextW) SetDlgItemText;
    decltype(&::GetDlgItemTextW) GetDlgItemText;
    decltype(&::MessageBoxW) MessageBox;
    decltype(&::SetWindowLongW) SetWindowLong;
    decltype(&::GetWindowLongW) GetWindowLong;
    decltype(&::PostMessageW) PostMessage;
    decltype(&::SendMessageW) SendMessage;
    decltype(&::SendDlgItemMessageW) SendDlgItemMessage;
    decltype(&::PeekMessageW) PeekMessage;
    decltype(&::GetMessageW) GetMessage;
    decltype(&::DispatchMessageW) DispatchMessage;
    // files and processes (kernel32)
    decltype(&::CreateFileW) CreateFile;
    decltype(&::DeleteFileW) DeleteFile;
    decltype(&::MoveFileW) MoveFile;
    decltype(&::GetFileAttributesW) GetFileAttributes;
    decltype(&::SetFileAttributesW) SetFileAttributes;
    decltype(&::CreateProcessW) CreateProcess;
    // registry (advapi32)
    decltype(&::RegOpenKeyExW) RegOpenKeyEx;
    decltype(&::RegCreateKeyExW) RegCreateKeyEx;
    decltype(&::RegQueryValueExW) RegQueryValueEx;
    decltype(&::RegSetValueExW) RegSetValueEx;
    decltype(&::RegEnumKeyExW) RegEnumKeyEx;
    decltype(&::RegDeleteKeyW) RegDeleteKey;
    decltype(&::RegDeleteValueW) RegDeleteValue;
    // shell and fonts
    decltype(&::ShellExecuteW) ShellExecute;
    decltype(&::AddFontResourceW) AddFontResource;
    decltype(&::RemoveFontResourceW) RemoveFontResource;
    // paths and modules (kernel32, shell32)
    decltype(&::GetModuleFileNameW) GetModuleFileName;
    decltype(&::GetWindowsDirectoryW) GetWindowsDirectory;
    decltype(&::GetSystemDirectoryW) GetSystemDirectory;
    decltype(&::GetTempPathW) GetTempPath;
    decltype(&::GetShortPathNameW) GetShortPathName;
    decltype(&::GetFullPathNameW) GetFullPathName;
    decltype(&::SetCurrentDirectoryW) SetCurrentDirectory;
    decltype(&::GetCurrentDirectoryW) GetCurrentDirectory;
    decltype(&::CreateDirectoryW) CreateDirectory;
    decltype(&::RemoveDirectoryW) RemoveDirectory;
    decltype(&::GetDriveTypeW) GetDriveType;
    decltype(&::LoadLibraryW) LoadLibrary;
    decltype(&::DragQueryFileW) DragQueryFile;
    decltype(&::CopyFileW) CopyFile;
    decltype(&::FindFirstFileW) FindFirstFile;
    decltype(&::FindNextFileW) FindNextFile;
    // dialogs, profiles and messages
    decltype(&::GetOpenFileNameW) GetOpenFileName;
    decltype(&::GetPrivateProfileStringW) GetPrivateProfileString;
    decltype(&::WritePrivateProfileStringW) WritePrivateProfileString;
    decltype(&::FormatMessageW) FormatMessage;
    decltype(&::CharToOemW) CharToOem;
    decltype(&::LoadIconW) LoadIcon;
    decltype(&::LoadCursorW) LoadCursor;
    decltype(&::ImageList_LoadImageW) ImageList_LoadImage;
    // version information (version.dll)
    decltype(&::VerFindFileW) VerFindFile;
    decltype(&::GetFileVersionInfoSizeW) GetFileVersionInfoSize;
    decltype(&::GetFileVersionInfoW) GetFileVersionInfo;
    decltype(&::VerQueryValueW) VerQueryValue;
    // shell entries bound at run time
    decltype(&::SHGetPathFromIDListW) SHGetPathFromIDList;
    decltype(&::SHBrowseForFolderW) SHBrowseForFolder;
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
