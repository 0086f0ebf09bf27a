// 64-bit products on 64-bit Windows: whether this 32-bit program runs under WOW64, the registry
// view and file-system redirection that its removal uses for a product with the 64-bit flag, and
// the WOW64 calls, all looked up at run time (a static import would keep the program from
// starting on the systems that lack them). Without the flag in effect nothing here changes a call.
#pragma once
#include <windows.h>

// True when the program runs under WOW64 (IsWow64Process says so); false on a 32-bit system and
// where the call is missing. Asked once per process.
bool RunsUnderWow64();

// Puts the run settings' 64-bit flag into effect, or not: only under WOW64 on the wide platform.
// Sets Platform.RegistryView and Platform.Wow64 (api_table.h).
void Use64BitViews(bool flag);

// The calls looked up by Use64BitViews; null where the system lacks them. Tests null an entry to
// take the fallback that a system without it takes.
struct Wow64Calls {
    decltype(&::RegDeleteKeyExW) RegDeleteKeyEx;
    decltype(&::Wow64DisableWow64FsRedirection) DisableRedirection;
    decltype(&::Wow64RevertWow64FsRedirection) RevertRedirection;
};

// For its lifetime, file paths name the native folders (System32 itself, not SysWOW64) while
// the 64-bit flag is in effect. Only around file calls: the system must never load a DLL or
// start a process with redirection off. The revert keeps the thread's last-error code.
struct NativeFileSystem {
    NativeFileSystem();
    ~NativeFileSystem();
    NativeFileSystem(const NativeFileSystem&) = delete;
    NativeFileSystem& operator=(const NativeFileSystem&) = delete;
    PVOID saved;
    bool off;
};
