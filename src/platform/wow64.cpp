// WOW64 detection, the 64-bit registry view and file-system redirection (see wow64.h).
#include "platform/wow64.h"
#include "platform/api_table.h"

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
    Platform.RegistryView = 0;
    // The narrow platform is the 9x family, which never runs under WOW64.
    if (!flag || !Platform.WidePlatform || !RunsUnderWow64()) return;
    Platform.RegistryView = KEY_WOW64_64KEY;
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    Wow64Calls& calls = Platform.Wow64;
    calls.RegDeleteKeyEx = CastProc<decltype(calls.RegDeleteKeyEx)>(
        ::GetProcAddress(::GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExW"));
    calls.DisableRedirection =
        CastProc<decltype(calls.DisableRedirection)>(::GetProcAddress(kernel, "Wow64DisableWow64FsRedirection"));
    calls.RevertRedirection =
        CastProc<decltype(calls.RevertRedirection)>(::GetProcAddress(kernel, "Wow64RevertWow64FsRedirection"));
}

NativeFileSystem::NativeFileSystem()
    : saved(nullptr),
      off(Platform.RegistryView && Platform.Wow64.RevertRedirection && Platform.Wow64.DisableRedirection &&
          Platform.Wow64.DisableRedirection(&saved)) {}

NativeFileSystem::~NativeFileSystem() {
    if (!off) return;
    DWORD error = ::GetLastError();
    Platform.Wow64.RevertRedirection(saved);
    ::SetLastError(error);
}
