// Start-up and shut-down of the process: OLE, the theme library, common controls, the three path
// buffers and the installation folder; at the end also the dialog font. Owns the path buffers
// from start-up to shut-down.
#include "run/startup.h"
#include "data/memory_ops.h"
#include "data/run_state.h"
#include "platform/api_table.h"
#include "platform/system_library.h"
#include "run/ui_windows.h"
#include <commctrl.h>
#include <ole2.h>

void DetectPlatform() {
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);  // 148
    IsNT = false;
    IsNT6OrLater = false;
    if (::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        IsNT = true;
        IsNT6OrLater = version.dwMajorVersion > 5;
    }
}

static bool AllocPathBuffer(WCHAR** buffer) {
    return AllocZeroed(kPathCapacity * sizeof(WCHAR), buffer);
}

// InstallDir is the base of every relative path in the data: a program path that was cut
// short would name another folder, so it is refused rather than used.
static bool DeriveInstallDir() {
    DWORD cch = ApiTable.GetModuleFileName(ModuleInstance, InstallDir, kPathCapacity);
    if (cch == 0 || cch >= kPathCapacity) {
        InstallDir[0] = 0;
        return false;
    }
    InstallDir[cch] = 0;
    DWORD cut = cch;
    while (cut > 0 && InstallDir[cut - 1] != L'\\') --cut;
    if (cut > 0) {
        InstallDir[cut] = 0;  // keeps the backslash
    } else if (cch + 1 < kPathCapacity) {
        InstallDir[cch] = L'\\';
        InstallDir[cch + 1] = 0;
    } else {
        return false;
    }
    return true;
}

bool ProcessStartup(HINSTANCE instance) {
    ModuleInstance = instance;
    ::OleInitialize(nullptr);
    LoadThemeLibrary();
    // By ordinal 17 from the controls loaded at run time (see CommonControlsModule in
    // platform/system_library.cpp).
    if (FARPROC initControls = CommonControlsExport(MAKEINTRESOURCEA(17)))
        CastProc<void(WINAPI*)()>(initControls)();
    if (!AllocPathBuffer(&ModulePath) || !AllocPathBuffer(&WorkPath) || !AllocPathBuffer(&InstallDir))
        return false;
    return DeriveInstallDir();
}

void ProcessShutdown() {
    ::OleUninitialize();
    FreeBlock(&ModulePath);
    FreeBlock(&InstallDir);
    FreeBlock(&WorkPath);
    DeleteDialogFont();
    FreeThemeLibrary();
}
