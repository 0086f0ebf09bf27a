// The platform layer's state with the system-call table's wide defaults, the choice of platform
// at start-up and the platform flags. Owns: the shell32 handle of the wide platform.
#include "platform/api_table.h"
#include "platform/narrow_fallbacks.h"
#include "platform/system_library.h"

static HMODULE Shell32Module = nullptr;

// Constant-initialised, by name: the program runs no constructors before its entry point.
#define WIDE_DEFAULT(field, wide, narrow) .field = ::wide,
#define BOUND_DEFAULT(field, wide, narrow) .field = narrow,
PlatformState Platform = {.ApiTable = {API_TABLE_ENTRIES(WIDE_DEFAULT, BOUND_DEFAULT)},
                          .WidePlatform = false,
                          .IsNT = false,
                          .IsNT6OrLater = false,
                          .RegistryView = 0,
                          .Wow64 = {},
                          .ModuleInstance = nullptr};
#undef WIDE_DEFAULT
#undef BOUND_DEFAULT

void SelectPlatform() {
    OSVERSIONINFOW version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);  // 276
    // Fails on the 9x family, as in the tests' narrow link (bin-narrow/, see src/CMakeLists.txt).
    if (::GetVersionExW(&version)) {
        Platform.WidePlatform = true;
        // By its full path: a shell32.dll beside the program must never stand in for it.
        Shell32Module = LoadSystemLibrary(L"shell32.dll");
        if (Shell32Module) {
            if (FARPROC p = ::GetProcAddress(Shell32Module, "SHGetPathFromIDListW"))
                Platform.ApiTable.SHGetPathFromIDList = CastProc<decltype(ApiTable::SHGetPathFromIDList)>(p);
        }
        return;
    }
    Platform.WidePlatform = false;
    InstallNarrowTable(&Platform.ApiTable);
}

void DetectPlatform() {
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);  // 148
    Platform.IsNT = false;
    Platform.IsNT6OrLater = false;
    if (::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        Platform.IsNT = true;
        Platform.IsNT6OrLater = version.dwMajorVersion > 5;
    }
}

void ReleasePlatform() {
    if (Shell32Module) {
        ::FreeLibrary(Shell32Module);
        Shell32Module = nullptr;
    }
}
