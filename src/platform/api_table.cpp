// The system-call table's storage, its wide defaults, and the choice of platform at start-up.
// Owns: the shell32 handle of the wide platform. Entries for version.dll are bound on first
// use from the system directory, so the program never imports a DLL that Windows would look
// for beside the program first.
#include "platform/api_table.h"
#include "platform/narrow_fallbacks.h"
#include "platform/system_library.h"

bool WidePlatform = false;
static HMODULE Shell32Module = nullptr;

// version.dll is not one of the DLLs Windows always takes from its own directory; a static
// import would let a DLL planted beside an elevated program be loaded in its place.
static FARPROC BindVersionExport(const char* name) {
    static HMODULE versionModule = nullptr;
    if (!versionModule) {
        WCHAR path[MAX_PATH];
        UINT cch = ::GetSystemDirectoryW(path, MAX_PATH);
        static const WCHAR kName[] = L"\\version.dll";
        if (cch == 0 || cch + ARRAYSIZE(kName) > MAX_PATH) return nullptr;
        for (UINT i = 0; i < ARRAYSIZE(kName); ++i) path[cch + i] = kName[i];
        versionModule = ::LoadLibraryW(path);
        if (!versionModule) return nullptr;
    }
    return ::GetProcAddress(versionModule, name);
}

static DWORD WINAPI LazyVerFindFile(DWORD flags, LPWSTR file, LPWSTR winDir, LPWSTR appDir,
                                    LPWSTR curDir, PUINT cchCurDir, LPWSTR destDir, PUINT cchDestDir) {
    auto fn = CastProc<decltype(&::VerFindFileW)>(BindVersionExport("VerFindFileW"));
    if (!fn) return VFF_BUFFTOOSMALL;
    return fn(flags, file, winDir, appDir, curDir, cchCurDir, destDir, cchDestDir);
}
static DWORD WINAPI LazyGetFileVersionInfoSize(LPCWSTR file, LPDWORD handle) {
    auto fn = CastProc<decltype(&::GetFileVersionInfoSizeW)>(BindVersionExport("GetFileVersionInfoSizeW"));
    if (!fn) { ::SetLastError(ERROR_PROC_NOT_FOUND); return 0; }
    return fn(file, handle);
}
static BOOL WINAPI LazyGetFileVersionInfo(LPCWSTR file, DWORD handle, DWORD cb, LPVOID data) {
    auto fn = CastProc<decltype(&::GetFileVersionInfoW)>(BindVersionExport("GetFileVersionInfoW"));
    if (!fn) { ::SetLastError(ERROR_PROC_NOT_FOUND); return FALSE; }
    return fn(file, handle, cb, data);
}
static BOOL WINAPI LazyVerQueryValue(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT cb) {
    auto fn = CastProc<decltype(&::VerQueryValueW)>(BindVersionExport("VerQueryValueW"));
    if (!fn) return FALSE;
    return fn(block, subBlock, buffer, cb);
}

// The common controls are loaded at run time, after the DLL search is restricted.
static HIMAGELIST WINAPI LazyImageList_LoadImage(HINSTANCE instance, LPCWSTR image, int cx, int grow, COLORREF mask,
                                                 UINT type, UINT flags) {
    auto fn = CastProc<decltype(&::ImageList_LoadImageW)>(CommonControlsExport("ImageList_LoadImageW"));
    if (!fn) return nullptr;
    return fn(instance, image, cx, grow, mask, type, flags);
}

static BOOL WINAPI LazyGetOpenFileName(LPOPENFILENAMEW ofn) {
    auto fn = CastProc<decltype(&::GetOpenFileNameW)>(CommonDialogExport("GetOpenFileNameW"));
    if (!fn) { ::SetLastError(ERROR_PROC_NOT_FOUND); return FALSE; }
    return fn(ofn);
}

ApiTableT ApiTable = {
    ::RegisterClassW, ::GetClassNameW, ::CreateWindowExW, ::FindWindowW, ::DefWindowProcW,
    ::CallWindowProcW, ::CreateDialogParamW, ::DialogBoxParamW, ::IsDialogMessageW,
    ::CreateFontIndirectW, ::GetObjectW, ::DrawTextW, ::SetWindowTextW, ::SetDlgItemTextW,
    ::GetDlgItemTextW, ::MessageBoxW, ::SetWindowLongW, ::GetWindowLongW, ::PostMessageW,
    ::SendMessageW, ::SendDlgItemMessageW, ::PeekMessageW, ::GetMessageW, ::DispatchMessageW,
    ::CreateFileW, ::DeleteFileW, ::MoveFileW, ::GetFileAttributesW, ::SetFileAttributesW,
    ::CreateProcessW,
    ::RegOpenKeyExW, ::RegCreateKeyExW, ::RegQueryValueExW, ::RegSetValueExW, ::RegEnumKeyExW,
    ::RegDeleteKeyW, ::RegDeleteValueW,
    ::ShellExecuteW, ::AddFontResourceW, ::RemoveFontResourceW,
    ::GetModuleFileNameW, ::GetWindowsDirectoryW, ::GetSystemDirectoryW, ::GetTempPathW,
    ::GetShortPathNameW, ::GetFullPathNameW, ::SetCurrentDirectoryW, ::GetCurrentDirectoryW,
    ::CreateDirectoryW, ::RemoveDirectoryW, ::GetDriveTypeW, ::LoadLibraryW, ::DragQueryFileW,
    ::CopyFileW, ::FindFirstFileW, ::FindNextFileW,
    LazyGetOpenFileName, ::GetPrivateProfileStringW, ::WritePrivateProfileStringW, ::FormatMessageW,
    ::CharToOemW, ::LoadIconW, ::LoadCursorW, LazyImageList_LoadImage,
    LazyVerFindFile, LazyGetFileVersionInfoSize, LazyGetFileVersionInfo, LazyVerQueryValue,
    FallbackSHGetPathFromIDList, FallbackSHBrowseForFolder,
};

void SelectPlatform() {
    OSVERSIONINFOW version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);  // 276
    bool wide = ::GetVersionExW(&version) != FALSE;
#ifdef UNINST_NARROW_TABLE
    // The tests' narrow link (bin-narrow/) behaves as a system whose GetVersionExW fails, so the
    // whole suite runs on the narrow table; the shipped program is never compiled with it.
    wide = false;
#endif
    if (wide) {
        WidePlatform = true;
        // By its full path: a shell32.dll beside the program must never stand in for it.
        Shell32Module = LoadSystemLibrary(L"shell32.dll");
        if (Shell32Module) {
            if (FARPROC p = ::GetProcAddress(Shell32Module, "SHGetPathFromIDListW"))
                ApiTable.SHGetPathFromIDList = CastProc<decltype(ApiTable.SHGetPathFromIDList)>(p);
            if (FARPROC p = ::GetProcAddress(Shell32Module, "SHBrowseForFolderW"))
                ApiTable.SHBrowseForFolder = CastProc<decltype(ApiTable.SHBrowseForFolder)>(p);
        }
        return;
    }
    WidePlatform = false;
    InstallNarrowTable(&ApiTable);
}

void ReleasePlatform() {
    if (Shell32Module) {
        ::FreeLibrary(Shell32Module);
        Shell32Module = nullptr;
    }
}
