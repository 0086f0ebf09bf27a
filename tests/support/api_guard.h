// Scoped replacement of one system-call table entry: a test puts a fake in place (one that
// fails with a chosen error, or records its calls) and the original returns at scope end.
// The protected folders are resolved once and cached; swapping a call that their resolution
// makes could change what they resolve to, so such a guard drops that cache on both ends.
// Other swaps keep it: a fresh resolution costs seconds under the emulator.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "folders/protected_folders.h"
#include "platform/api_table.h"

// A GetModuleFileName that names the file a test chose instead of the test program, as the
// system call would: what fits is copied and terminated, and a path that does not fit returns
// the buffer's size with ERROR_INSUFFICIENT_BUFFER. With ModuleFileNameFails it fails instead.
extern std::wstring FakeModulePath;
extern bool ModuleFileNameFails;
DWORD WINAPI FakeModuleFileName(HMODULE, LPWSTR buffer, DWORD cch);

// Path getters that report a folder a test chose, as the system calls do: what fits is copied with
// its terminator and its length returned; otherwise the size it needs, terminator included.
extern std::wstring FakeTempFolder, FakeWindowsFolder, FakeSystemFolder;
DWORD WINAPI FakeTempPath(DWORD cch, LPWSTR buffer);
UINT WINAPI FakeWindowsDirectory(LPWSTR buffer, UINT cch);
UINT WINAPI FakeSystemDirectory(LPWSTR buffer, UINT cch);

// A search that finds nothing without asking the disk: each real one costs a file-system round
// trip, and hundreds of them take minutes under Wine.
HANDLE WINAPI FindNothing(LPCWSTR, LPWIN32_FIND_DATAW);

// The shell's look-up of a folder failing, as for a folder this system does not have.
BOOL WINAPI ShellPathFails(PCIDLIST_ABSOLUTE, LPWSTR path);

// A ShellExecute that only notes its last call (a null text as "(null)") and reports a start.
struct ShellOpen {
    int calls = 0;
    std::wstring operation, file, parameters, directory;
    INT show = -1;
};
extern ShellOpen LastShellOpen;
HINSTANCE WINAPI RecordShellExecute(HWND, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                                    INT show);

// A MessageBox that notes each box and answers BoxAnswer (IDOK unless a test says otherwise).
struct ShownBox {
    HWND owner;
    std::wstring text, caption;
    UINT type;
};
extern std::vector<ShownBox> ShownBoxes;
extern int BoxAnswer;
int WINAPI RecordMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

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
