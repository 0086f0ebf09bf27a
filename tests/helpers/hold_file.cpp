// hold_file: keeps a file open, as a running application would, until it is told to stop.
//
//   hold_file PATH [SHARE [EVENTS]]
//     SHARE   which sharing the open allows: "-" none (the default), or any of the letters
//             r (read), w (write), d (delete).
//     EVENTS  a name N: once the file is open, the named event "N.ready" is set; the program then
//             holds the file until the named event "N.stop" is set. Without it, the program
//             prints "ready" on its standard output and holds the file until that input ends.
//   Exit codes: 0 held and released; 1 bad arguments; 2 the file cannot be opened (the system's
//   error code is printed); 3 the events cannot be made.
#include <windows.h>

#include <cstdio>
#include <cwchar>

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
static int HoldUntilEvent(const wchar_t* name) {
    wchar_t readyName[MAX_PATH];
    wchar_t stopName[MAX_PATH];
    if (_snwprintf(readyName, ARRAYSIZE(readyName), L"%ls.ready", name) < 0 ||
        _snwprintf(stopName, ARRAYSIZE(stopName), L"%ls.stop", name) < 0) {
        return 1;
    }
    readyName[ARRAYSIZE(readyName) - 1] = L'\0';
    stopName[ARRAYSIZE(stopName) - 1] = L'\0';
    HANDLE ready = CreateEventW(NULL, TRUE, FALSE, readyName);
    HANDLE stop = CreateEventW(NULL, TRUE, FALSE, stopName);
    if (!ready || !stop) return 3;
    SetEvent(ready);
    WaitForSingleObject(stop, INFINITE);
    CloseHandle(stop);
    CloseHandle(ready);
    return 0;
}

static int HoldUntilInputEnds() {
    printf("ready\n");
    fflush(stdout);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof(buffer), &got, NULL) && got != 0) {
    }
    return 0;
}

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2 || argc > 4) {
        fprintf(stderr, "usage: hold_file PATH [SHARE [EVENTS]]\n");
        return 1;
    }
    DWORD share = 0;
    if (argc >= 3 && !ParseShare(argv[2], &share)) {
        fprintf(stderr, "hold_file: bad share mode\n");
        return 1;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "hold_file: cannot open the file: %lu\n", GetLastError());
        return 2;
    }
    int result = argc == 4 ? HoldUntilEvent(argv[3]) : HoldUntilInputEnds();
    CloseHandle(file);
    return result;
}
