// Start-up and shut-down of the process: OLE, the theme library, common controls, the three path
// buffers and the installation folder; at the end also the dialog font. Owns the path buffers
// from start-up to shut-down.
#include "run/startup.h"
#include "data/memory_ops.h"
#include "data/path_buffer.h"
#include "platform/api_table.h"
#include "platform/system_library.h"
#include "run/ui_windows.h"
#include <commctrl.h>
#include <ole2.h>

static bool AllocPathBuffer(WCHAR** buffer) {
    return AllocZeroed(kPathCapacity * sizeof(WCHAR), buffer);
}

// InstallDir is the base of every relative path in the data: a program path that was cut
// short would name another folder, so it is refused rather than used.
static bool DeriveInstallDir() {
    WCHAR* dir = Paths.InstallDir;
    DWORD cch = Platform.ApiTable.GetModuleFileName(Platform.ModuleInstance, dir, kPathCapacity);
    if (cch == 0 || cch >= kPathCapacity) {
        dir[0] = 0;
        return false;
    }
    dir[cch] = 0;
    DWORD cut = cch;
    while (cut > 0 && dir[cut - 1] != L'\\') --cut;
    if (cut > 0) {
        dir[cut] = 0;  // keeps the backslash
    } else if (cch + 1 < kPathCapacity) {
        dir[cch] = L'\\';
        dir[cch + 1] = 0;
    } else {
        return false;
    }
    return true;
}

bool ProcessStartup(HINSTANCE instance) {
    Platform.ModuleInstance = instance;
    ::OleInitialize(nullptr);
    LoadThemeLibrary();
    // By ordinal 17 from the controls loaded at run time (see CommonControlsModule in
    // platform/system_library.cpp).
    if (FARPROC initControls = CommonControlsExport(MAKEINTRESOURCEA(17)))
        CastProc<void(WINAPI*)()>(initControls)();
    if (!AllocPathBuffer(&Paths.ModulePath) || !AllocPathBuffer(&Paths.WorkPath) || !AllocPathBuffer(&Paths.InstallDir))
        return false;
    return DeriveInstallDir();
}

void ProcessShutdown() {
    ::OleUninitialize();
    FreeBlock(&Paths.ModulePath);
    FreeBlock(&Paths.InstallDir);
    FreeBlock(&Paths.WorkPath);
    DeleteDialogFont();
    FreeThemeLibrary();
}
