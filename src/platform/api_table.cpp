// The system-call table's storage, its wide defaults, and the choice of platform at start-up.
// Owns: the shell32 handle of the wide platform.
#include "platform/api_table.h"
#include "platform/narrow_fallbacks.h"
#include "platform/system_library.h"

bool WidePlatform = false;
static HMODULE Shell32Module = nullptr;

// Constant-initialised, by name: the program runs no constructors before its entry point.
#define WIDE_DEFAULT(field, wide, narrow) .field = ::wide,
#define BOUND_DEFAULT(field, wide, narrow) .field = narrow,
ApiTableT ApiTable = {API_TABLE_ENTRIES(WIDE_DEFAULT, BOUND_DEFAULT)};
#undef WIDE_DEFAULT
#undef BOUND_DEFAULT

void SelectPlatform() {
    OSVERSIONINFOW version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);  // 276
    // Fails on the 9x family, as in the tests' narrow link (bin-narrow/, see src/CMakeLists.txt).
    if (::GetVersionExW(&version)) {
        WidePlatform = true;
        // By its full path: a shell32.dll beside the program must never stand in for it.
        Shell32Module = LoadSystemLibrary(L"shell32.dll");
        if (Shell32Module) {
            if (FARPROC p = ::GetProcAddress(Shell32Module, "SHGetPathFromIDListW"))
                ApiTable.SHGetPathFromIDList = CastProc<decltype(ApiTable.SHGetPathFromIDList)>(p);
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
