// hold_file: keeps a file open, as a running application would, until it is told to stop.
//
//   hold_file PATH SHARE EVENTS
//     SHARE   which sharing the open allows: "-" none, or any of the letters r (read), w (write),
//             d (delete).
//     EVENTS  a name N: once the file is open, the named event "N.ready" is set; the program then
//             holds the file until the named event "N.stop" is set.
//   Exit codes: 0 held and released; 1 bad arguments; 2 the file cannot be opened (the system's
//   error code is printed); 3 the events cannot be made.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

static bool ParseShare(const wchar_t* text, DWORD* share) {
    *share = 0;
    if (wcscmp(text, L"-") == 0) return true;
    for (const wchar_t* c = text; *c; ++c) {
        switch (*c) {
            case L'r': *share |= FILE_SHARE_READ; break;
            case L'w': *share |= FILE_SHARE_WRITE; break;
            case L'd': *share |= FILE_SHARE_DELETE; break;
            default: return false;
        }
    }
    return *text != L'\0';
}

// Both events are made here if the test has not made them yet, so either side may come first.
static int HoldUntilEvent(const std::wstring& name) {
    HANDLE ready = CreateEventW(NULL, TRUE, FALSE, (name + L".ready").c_str());
    HANDLE stop = CreateEventW(NULL, TRUE, FALSE, (name + L".stop").c_str());
    if (!ready || !stop) return 3;
    SetEvent(ready);
    WaitForSingleObject(stop, INFINITE);
    CloseHandle(stop);
    CloseHandle(ready);
    return 0;
}

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4) {
        fprintf(stderr, "usage: hold_file PATH SHARE EVENTS\n");
        return 1;
    }
    DWORD share = 0;
    if (!ParseShare(argv[2], &share)) {
        fprintf(stderr, "hold_file: bad share mode\n");
        return 1;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "hold_file: cannot open the file: %lu\n", GetLastError());
        return 2;
    }
    int result = HoldUntilEvent(argv[3]);
    CloseHandle(file);
    return result;
}
