// DLL search restriction and loads of system DLLs and COM servers by full path. An elevated
// program must not take a DLL from a folder that an ordinary process of the same user can
// write to: its own folder, its temporary copy's folder, the current directory.
#include "platform/system_library.h"
#include "platform/api_table.h"

// True once RestrictDllSearch found SetDefaultDllDirectories and it succeeded.
static bool DllSearchRestricted = false;

// Values of the newer SDK headers, spelt out so the build does not depend on their version.
static const DWORD kSearchDllLoadDir = 0x00000100;  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
static const DWORD kSearchSystem32 = 0x00000800;    // LOAD_LIBRARY_SEARCH_SYSTEM32

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryWFn)(LPCWSTR);

bool RestrictDllSearch() {
    // Both calls are looked up: a static import of either would keep the program from starting
    // on the systems that lack them (before Windows 7 with KB2533623, before XP SP1, 9x). The
    // module by its narrow name: GetModuleHandleW is a stub on the 9x family.
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (!kernel) return false;
    auto setDefault = CastProc<SetDefaultDllDirectoriesFn>(::GetProcAddress(kernel, "SetDefaultDllDirectories"));
    if (setDefault && setDefault(kSearchSystem32)) {
        DllSearchRestricted = true;
        return true;
    }
    auto setDirectory = CastProc<SetDllDirectoryWFn>(::GetProcAddress(kernel, "SetDllDirectoryW"));
    if (setDirectory) setDirectory(L"");
    return false;
}

bool SystemFilePath(const WCHAR* name, WCHAR* path, size_t cchPath) {
    if (cchPath == 0) return false;
    path[0] = 0;
    UINT cchDir = Platform.ApiTable.GetSystemDirectory(path, static_cast<UINT>(cchPath));
    if (cchDir == 0 || cchDir >= cchPath) {
        path[0] = 0;
        return false;
    }
    size_t at = cchDir;
    if (path[at - 1] != L'\\') path[at++] = L'\\';
    size_t cchName = 0;
    while (name[cchName]) ++cchName;
    if (at + cchName >= cchPath) {
        path[0] = 0;
        return false;
    }
    for (size_t i = 0; i <= cchName; ++i) path[at + i] = name[i];
    return true;
}

HMODULE LoadSystemLibrary(const WCHAR* name) {
    WCHAR path[MAX_PATH];
    if (!SystemFilePath(name, path, MAX_PATH)) return nullptr;
    return Platform.ApiTable.LoadLibrary(path);
}

HMODULE LoadLibraryBesideItself(const WCHAR* path) {
    // Once the default search is the system directory alone, the server's folder has to be
    // named; without the newer flags, the altered search order puts the server's folder where
    // the program's folder would be. The two kinds of flags must not be mixed.
    DWORD flags = DllSearchRestricted ? (kSearchDllLoadDir | kSearchSystem32) : LOAD_WITH_ALTERED_SEARCH_PATH;
    return Platform.ApiTable.LoadLibraryEx(path, nullptr, flags);
}

// The common controls, loaded on first use (after RestrictDllSearch) and kept for the process;
// null when they cannot be loaded. A static import would be resolved before the program's
// first instruction, and the version-6 controls load uxtheme.dll by name as they start.
static HMODULE CommonControlsModule() {
    static HMODULE module = nullptr;
    // By name, not by path: the manifest's dependency redirects the name to the version-6
    // controls of the side-by-side store, which a path into the system directory would bypass.
    if (!module) module = Platform.ApiTable.LoadLibrary(L"comctl32.dll");
    return module;
}

FARPROC CommonControlsExport(const char* name) {
    HMODULE module = CommonControlsModule();
    return module ? ::GetProcAddress(module, name) : nullptr;
}

