// record_run: a program for tests to have started (as a command or a finish page). It records
// how it was started, optionally waits until the test lets it go, and ends.
//
//   NAME.exe ANY ARGUMENTS
//     Writes NAME.exe.log beside itself (UTF-16LE, no BOM): its whole command line, a line feed,
//     its current directory, a line feed. The file appears at once, complete (written under
//     another name, then renamed).
//     Then, when a named event "NAME.exe.gate" exists (the test makes it first), it waits for it
//     to be set (at most 180 s) and writes an empty NAME.exe.end before it ends.
//   Exit code: always 259, the value of STILL_ACTIVE, so a caller that waits by polling the
//   exit code instead of the process itself never sees the end.
#include <windows.h>

#include <string>

static bool WriteWhole(const std::wstring& path, const std::wstring& text) {
    std::wstring temp = path + L".tmp";
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), cb, &written, NULL) && written == cb;
    CloseHandle(file);
    return ok && MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

int main() {
    wchar_t self[MAX_PATH * 2];
    DWORD cchSelf = GetModuleFileNameW(NULL, self, ARRAYSIZE(self));
    if (cchSelf == 0 || cchSelf >= ARRAYSIZE(self)) return 1;
    std::wstring exe(self, cchSelf);

    wchar_t current[MAX_PATH * 2];
    DWORD cchCurrent = GetCurrentDirectoryW(ARRAYSIZE(current), current);
    if (cchCurrent == 0 || cchCurrent >= ARRAYSIZE(current)) return 1;

    if (!WriteWhole(exe + L".log", std::wstring(GetCommandLineW()) + L"\n" + std::wstring(current, cchCurrent) + L"\n"))
        return 1;

    std::wstring name = exe.substr(exe.find_last_of(L'\\') + 1);
    HANDLE gate = OpenEventW(SYNCHRONIZE, FALSE, (name + L".gate").c_str());
    if (gate) {
        WaitForSingleObject(gate, 180000);
        CloseHandle(gate);
        WriteWhole(exe + L".end", std::wstring());
    }
    return STILL_ACTIVE;
}
