// Scoped replacement of one system-call table entry: a test puts a fake in place (one that
// fails with a chosen error, or records its calls) and the original returns at scope end.
// The protected folders are resolved once and cached; swapping a call that their resolution
// makes could change what they resolve to, so such a guard drops that cache on both ends.
// Other swaps keep it: a fresh resolution costs seconds under the emulator.
#pragma once
#include <windows.h>

#include <string>

#include "folders/protected_folders.h"
#include "platform/api_table.h"

// A GetModuleFileName that names the file a test chose instead of the test program, as the
// system call would: what fits is copied and terminated, and a path that does not fit returns
// the buffer's size with ERROR_INSUFFICIENT_BUFFER. With ModuleFileNameFails it fails instead.
extern std::wstring FakeModulePath;
extern bool ModuleFileNameFails;
DWORD WINAPI FakeModuleFileName(HMODULE, LPWSTR buffer, DWORD cch);

inline bool ResolvesFolders(const void* entry) {
    const ApiTable& table = Platform.ApiTable;
    const void* resolving[] = {&table.GetSystemDirectory, &table.GetTempPath, &table.GetWindowsDirectory,
                               &table.RegOpenKeyEx, &table.RegQueryValueEx, &table.SHGetPathFromIDList};
    for (const void* candidate : resolving)
        if (candidate == entry) return true;
    return false;
}

template <typename Fn>
class ApiEntryGuard {
public:
    ApiEntryGuard(Fn& entry, Fn replacement) : entry_(entry), saved_(entry) {
        entry_ = replacement;
        if (ResolvesFolders(&entry_)) ForgetProtectedFolders();
    }
    ~ApiEntryGuard() {
        entry_ = saved_;
        if (ResolvesFolders(&entry_)) ForgetProtectedFolders();
    }
    ApiEntryGuard(const ApiEntryGuard&) = delete;
    ApiEntryGuard& operator=(const ApiEntryGuard&) = delete;

private:
    Fn& entry_;
    Fn saved_;
};

#define API_GUARD(entry, fake) \
    ApiEntryGuard<decltype(Platform.ApiTable.entry)> guard_##entry(Platform.ApiTable.entry, fake)
