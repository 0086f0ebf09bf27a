// load_by_name: the unhardened way of loading a DLL, for tests that must show a planted DLL
// would be found, and a way to see what the platform's own DLLs load in a program that is
// hardened like ours. Loads each name argument with a plain LoadLibraryW by bare name, from
// whatever folder the default search order reaches first (the program's own folder leads it).
//   load_by_name.exe uxtheme.dll version.dll
//   load_by_name.exe --restrict --window      (search restricted first, then a window shown)
// --restrict: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) before anything else.
// --window: the common controls initialised (comctl32 loaded by name, as the manifest-less
// program gets it) and a window created, shown and destroyed, as the uninstaller does.
// Exit code: the number of names that did not load.
#include <windows.h>

#include <string>

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 100;
    int missing = 0;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--restrict") {
            typedef BOOL(WINAPI * SetDefaultFn)(DWORD);
            FARPROC p = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
            if (!p || !reinterpret_cast<SetDefaultFn>(reinterpret_cast<void*>(p))(0x800)) return 101;
        } else if (arg == L"--window") {
            HMODULE controls = LoadLibraryW(L"comctl32.dll");
            if (FARPROC init = controls ? GetProcAddress(controls, MAKEINTRESOURCEA(17)) : nullptr)
                reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void*>(init))();
            HWND window = CreateWindowExW(0, L"STATIC", L"w", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                          GetModuleHandleW(nullptr), nullptr);
            if (!window) return 102;
            ShowWindow(window, SW_SHOW);
            DestroyWindow(window);
        } else if (!LoadLibraryW(argv[i])) {
            ++missing;
        }
    }
    return missing;
}
