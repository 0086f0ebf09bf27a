// WOW64 detection, the 64-bit registry view and file-system redirection (see wow64.h).
#include "platform/wow64.h"
#include "platform/api_table.h"

DWORD RegistryView = 0;
Wow64CallsT Wow64Calls = {};

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);

bool RunsUnderWow64() {
    static signed char state = -1;
    if (state < 0) {
        auto isWow64 = CastProc<IsWow64ProcessFn>(
            ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "IsWow64Process"));
        BOOL wow64 = FALSE;
        state = isWow64 && isWow64(::GetCurrentProcess(), &wow64) && wow64;
    }
    return state != 0;
}

void Use64BitViews(bool flag) {
    RegistryView = 0;
    // The narrow platform is the 9x family, which never runs under WOW64.
    if (!flag || !WidePlatform || !RunsUnderWow64()) return;
    RegistryView = KEY_WOW64_64KEY;
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    Wow64Calls.RegDeleteKeyEx = CastProc<decltype(Wow64Calls.RegDeleteKeyEx)>(
        ::GetProcAddress(::GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExW"));
    Wow64Calls.DisableRedirection = CastProc<decltype(Wow64Calls.DisableRedirection)>(
        ::GetProcAddress(kernel, "Wow64DisableWow64FsRedirection"));
    Wow64Calls.RevertRedirection = CastProc<decltype(Wow64Calls.RevertRedirection)>(
        ::GetProcAddress(kernel, "Wow64RevertWow64FsRedirection"));
}

NativeFileSystem::NativeFileSystem()
    : saved(nullptr),
      off(RegistryView && Wow64Calls.RevertRedirection && Wow64Calls.DisableRedirection &&
          Wow64Calls.DisableRedirection(&saved)) {}

NativeFileSystem::~NativeFileSystem() {
    if (!off) return;
    DWORD error = ::GetLastError();
    Wow64Calls.RevertRedirection(saved);
    ::SetLastError(error);
}
