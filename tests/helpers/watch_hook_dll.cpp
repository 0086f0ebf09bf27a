// watch_hook_dll: a window-procedure hook that records, inside the watched program's own thread,
// every top-level window it shows, every text it sets, every position of its progress bars and
// the top-level windows it creates with a class icon.
// Set by ChildProcess::Start(..., watch) on the child's first thread before it runs; read back
// with ChildProcess::Watch (tests/support/uninst_runner.h), which also names the record file.
// Never changes a message or its result.
#include <windows.h>
#include <commctrl.h>

namespace {

// One record: a kind letter, tab-separated fields, and a zero character as its end (texts may
// hold line breaks, never a zero).
void Append(const WCHAR* record, int cch) {
    WCHAR path[MAX_PATH + 64];
    DWORD cchTemp = GetTempPathW(MAX_PATH, path);
    if (cchTemp == 0 || cchTemp >= MAX_PATH) return;
    wsprintfW(path + cchTemp, L"uninst-watch-%lu.log", GetCurrentProcessId());
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, record, (DWORD)(cch + 1) * sizeof(WCHAR), &written, NULL);
    CloseHandle(file);
}

// The text is read back from the window rather than taken from the message: on the narrow
// table the message carries ANSI text, and Wine hands hooks the message as it was sent.
int TextOf(HWND window, WCHAR* buffer, int cchBuffer) {
    int cch = GetWindowTextW(window, buffer, cchBuffer);
    return cch > 0 ? cch : 0;
}

void RecordShown(HWND window) {
    static WCHAR record[3 * 1100];
    int cch = wsprintfW(record, L"S");
    cch += GetClassNameW(window, record + cch, 256);
    record[cch++] = L'\t';
    cch += TextOf(window, record + cch, 1024);
    record[cch++] = L'\t';
    // The text a dialog or box shows: a message box's static 0xFFFF, else the program's 1000.
    HWND text = GetDlgItem(window, 0xFFFF);
    if (!text) text = GetDlgItem(window, 1000);
    if (text) cch += TextOf(text, record + cch, 1024);
    record[cch] = 0;
    Append(record, cch);
}

void RecordText(HWND window) {
    static WCHAR record[1100];
    int id = (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) ? GetDlgCtrlID(window) : 0;
    int cch = wsprintfW(record, L"T%d\t", id);
    cch += TextOf(window, record + cch, 1024);
    record[cch] = 0;
    Append(record, cch);
}

// The same message numbers mean other things to other classes (PBM_SETRANGE is a dialog's
// DM_SETDEFID), so only progress bars are asked.
void RecordPosition(HWND bar) {
    WCHAR record[32];
    if (GetClassNameW(bar, record, ARRAYSIZE(record)) == 0 || lstrcmpiW(record, PROGRESS_CLASSW) != 0) return;
    int cch = wsprintfW(record, L"P%u", (unsigned)SendMessageW(bar, PBM_GETPOS, 0, 0));
    Append(record, cch);
}

// A top-level window whose class has an icon, by its class name: the program's main window
// shows icon 800 of its own instance only when it registered its class with that instance.
void RecordIconClass(HWND window) {
    WCHAR record[260];
    if (!GetClassLongPtrW(window, GCLP_HICON)) return;
    int cch = wsprintfW(record, L"I");
    cch += GetClassNameW(window, record + cch, 256);
    Append(record, cch);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK WatchHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        switch (call->message) {
        case WM_CREATE:
            if (!(GetWindowLongW(call->hwnd, GWL_STYLE) & WS_CHILD)) RecordIconClass(call->hwnd);
            break;
        case WM_WINDOWPOSCHANGED: {
            const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(call->lParam);
            if ((pos->flags & SWP_SHOWWINDOW) && !(GetWindowLongW(call->hwnd, GWL_STYLE) & WS_CHILD))
                RecordShown(call->hwnd);
            break;
        }
        case WM_SETTEXT:
            if (call->lResult) RecordText(call->hwnd);
            break;
        case PBM_SETPOS:
        case PBM_DELTAPOS:
        case PBM_STEPIT:
        case PBM_SETRANGE:
        case PBM_SETRANGE32:
            RecordPosition(call->hwnd);
            break;
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}
