// Window driver: finding, reading and answering another process's windows, and screenshots.
// Talks to the other process only through input, posted messages and reading window state, so a
// child that hangs cannot hang the test.
#include "support/window_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "support/files_registry.h"

const wchar_t* const kDialogClass = L"#32770";

namespace {

// Longest time between two tests of a waited-for condition: not every change of another
// process's windows raises an event (Wine 8 raises no EVENT_OBJECT_SHOW, for one).
const DWORD kRetestMs = 50;
// Id of a message box's text control, on Windows and on Wine 8 alike (seen in
// tests/spine_e2e_tests.cpp, which reads the loader's message box through it).
const int kMessageBoxTextId = 0xFFFF;

struct WindowSearch {
    DWORD pid;
    const wchar_t* className;
    const wchar_t* caption;
    std::vector<int> controls;  // when any: the window holds one of them
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window)) return TRUE;
    if (search->className && WindowClass(window) != search->className) return TRUE;
    if (search->caption && WindowText(window) != search->caption) return TRUE;
    if (!search->controls.empty() && std::none_of(search->controls.begin(), search->controls.end(),
                                                   [&](int id) { return GetDlgItem(window, id) != NULL; }))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND Find(WindowSearch search) {
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    std::vector<ControlInfo>* controls = reinterpret_cast<std::vector<ControlInfo>*>(param);
    controls->push_back({window, GetDlgCtrlID(window), WindowClass(window), WindowText(window),
                         (DWORD)GetWindowLongW(window, GWL_STYLE)});
    return TRUE;
}

void CALLBACK WakeOnEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {}

bool IsOwnProcess(HANDLE process) { return process == NULL || process == GetCurrentProcess(); }

// The process of a window, opened for waiting (the pseudo handle for one of the caller's own).
class WindowProcess {
public:
    explicit WindowProcess(HWND window) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        handle_ = pid == GetCurrentProcessId() ? GetCurrentProcess()
                                                : OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    }
    ~WindowProcess() {
        if (handle_ && !IsOwnProcess(handle_)) CloseHandle(handle_);
    }
    operator HANDLE() const { return handle_; }

private:
    HANDLE handle_;
};

HWND FocusIn(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info)) return NULL;
    return info.hwndFocus;
}

bool HasFocusInside(HWND dialog) {
    HWND focus = FocusIn(dialog);
    return focus && (focus == dialog || IsChild(dialog, focus));
}

// Ready for a key press: shown, enabled, the foreground window, and the focus inside it. A box
// that is up but not in the foreground (the window manager gave the display's focus to another
// program) is brought there, as a user would click on it first.
bool TakesInput(HWND dialog) {
    if (!IsWindow(dialog) || !IsWindowVisible(dialog) || !IsWindowEnabled(dialog)) return false;
    if (GetForegroundWindow() != dialog) {
        SetForegroundWindow(dialog);
        return false;
    }
    return HasFocusInside(dialog);
}

bool IsGone(HWND window) { return !IsWindow(window) || !IsWindowVisible(window); }

bool PressKey(WORD vk) {
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = vk;
        key.ki.wScan = (WORD)MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return SendInput(2, keys, sizeof(INPUT)) == 2;
}

// A window that has just appeared may not have painted itself yet. GetUpdateRect reads the
// update region of another process's window too (seen on Wine 8: a new message box has one
// for a moment, then none), so an empty region everywhere means the picture is complete.
bool Painted(HWND window) {
    if (GetUpdateRect(window, NULL, FALSE)) return false;
    for (const ControlInfo& control : ListControls(window))
        if (GetUpdateRect(control.window, NULL, FALSE)) return false;
    return true;
}

}  // namespace

HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption) {
    return Find({pid, className, caption, {}, NULL});
}

HWND FindDialogWith(DWORD pid, const std::vector<int>& controls) {
    return Find({pid, kDialogClass, NULL, controls, NULL});
}

bool WaitUntil(const std::function<bool()>& condition, HANDLE process, DWORD boundMs) {
    const bool own = IsOwnProcess(process);
    // Out of context, the events arrive as messages of this thread; they only wake the wait.
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, NULL, WakeOnEvent,
                                         own ? GetCurrentProcessId() : GetProcessId(process), 0,
                                         WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNTHREAD);
    const DWORD start = GetTickCount();
    bool held = false;
    for (;;) {
        if (condition()) {
            held = true;
            break;
        }
        const DWORD waited = GetTickCount() - start;
        if (waited >= boundMs) break;
        DWORD woken = MsgWaitForMultipleObjectsEx(own ? 0 : 1, own ? NULL : &process,
                                                  std::min(kRetestMs, boundMs - waited), QS_ALLINPUT,
                                                  MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0 && !own) {
            held = condition();
            break;
        }
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    if (hook) UnhookWinEvent(hook);
    return held;
}

HWND WaitForWindow(DWORD pid, HANDLE process, const wchar_t* className, const wchar_t* caption,
                   DWORD boundMs) {
    HWND window = NULL;
    WaitUntil([&] { return (window = FindProcessWindow(pid, className, caption)) != NULL; }, process, boundMs);
    return window;
}

HWND WaitForMessageBox(DWORD pid, HANDLE process, DWORD boundMs) {
    HWND box = NULL;
    WaitUntil([&] { return (box = FindDialogWith(pid, {kMessageBoxTextId})) != NULL; }, process, boundMs);
    return box;
}

std::wstring WindowText(HWND window) {
    // GetWindowTextW reads another process's window text without sending it a message, so it
    // cannot block on a busy child; an edit control keeps its text to itself, hence WM_GETTEXT.
    WCHAR buffer[4096];
    if (_wcsicmp(WindowClass(window).c_str(), L"Edit") == 0) {
        DWORD_PTR cch = 0;
        if (SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(buffer), (LPARAM)buffer,
                                SMTO_ABORTIFHUNG, 5000, &cch)) {
            return std::wstring(buffer, cch);
        }
        return std::wstring();
    }
    int cch = GetWindowTextW(window, buffer, ARRAYSIZE(buffer));
    return std::wstring(buffer, cch > 0 ? cch : 0);
}

std::wstring WindowClass(HWND window) {
    WCHAR buffer[256];
    int cch = GetClassNameW(window, buffer, ARRAYSIZE(buffer));
    return std::wstring(buffer, cch > 0 ? cch : 0);
}

std::vector<ControlInfo> ListControls(HWND window) {
    std::vector<ControlInfo> controls;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&controls));
    return controls;
}

std::wstring MessageBoxText(HWND box) {
    HWND text = GetDlgItem(box, kMessageBoxTextId);
    if (!text) {
        ADD_FAILURE() << "no message box text control in\n" << DescribeWindow(box);
        return std::wstring();
    }
    return WindowText(text);
}

std::vector<int> VisibleButtonIds(HWND dialog) {
    std::vector<int> ids;
    for (const ControlInfo& c : ListControls(dialog))
        if (_wcsicmp(c.className.c_str(), L"Button") == 0 && IsWindowVisible(c.window)) ids.push_back(c.id);
    return ids;
}

std::string DescribeWindow(HWND window) {
    std::string out = "window '" + Utf8(WindowText(window)) + "' class " + Utf8(WindowClass(window)) + "\n";
    for (const ControlInfo& control : ListControls(window)) {
        char line[64];
        snprintf(line, sizeof(line), "  id 0x%04X style 0x%08lX ", (unsigned)control.id & 0xFFFF,
                 (unsigned long)control.style);
        out += line + Utf8(control.className) + " '" + Utf8(control.text) + "'\n";
    }
    return out;
}

bool PressButton(HWND dialog, int id, DWORD boundMs) {
    HWND button = GetDlgItem(dialog, id);
    if (!button || _wcsicmp(WindowClass(button).c_str(), L"Button") != 0 || !IsWindowVisible(button) ||
        !IsWindowEnabled(button))
        return false;
    WindowProcess process(dialog);
    if (!WaitUntil([&] { return TakesInput(dialog); }, process, boundMs)) return false;
    for (size_t tabs = 0, controls = ListControls(dialog).size(); FocusIn(dialog) != button; ++tabs) {
        HWND before = FocusIn(dialog);
        if (tabs > controls || !PressKey(VK_TAB)) return false;
        if (!WaitUntil([&] { return FocusIn(dialog) != before && HasFocusInside(dialog); }, process, boundMs))
            return false;
    }
    return PressKey(VK_SPACE);
}

bool AnswerBox(HWND box, int id, DWORD boundMs) {
    return PressButton(box, id, boundMs) && WaitUntil([&] { return IsGone(box); }, WindowProcess(box), boundMs);
}

bool PressEscape(HWND dialog, DWORD boundMs) {
    WindowProcess process(dialog);
    return WaitUntil([&] { return TakesInput(dialog); }, process, boundMs) && PressKey(VK_ESCAPE) &&
           WaitUntil([&] { return IsGone(dialog); }, process, boundMs);
}

bool SendEscape(HWND dialog) {
    // The dialog's message loop (IsDialogMessage) turns Esc into IDCANCEL when it arrives at
    // the dialog or at the control that has the focus.
    HWND focus = FocusIn(dialog);
    HWND target = focus && IsChild(dialog, focus) ? focus : dialog;
    return PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001) != 0 &&
           PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001) != 0;
}

bool SendClose(HWND window) { return PostMessageW(window, WM_CLOSE, 0, 0) != 0; }

bool SaveScreenshot(HWND window, const std::wstring& bmpPath) {
    RECT screenArea;
    screenArea.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    screenArea.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    screenArea.right = screenArea.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screenArea.bottom = screenArea.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    RECT area = screenArea;
    if (window) {
        // Not painted within the bound: the picture shows what there is.
        WaitUntil([&] { return Painted(window); }, WindowProcess(window), 30000);
        // Wine paints into a copy of the window and hands it to the screen only when the
        // painting thread next finds its queue empty; a picture taken at once lacked the control
        // painted last (the read-only prompt's fourth button, in every demo run). Each message
        // answered is one more pass of that thread through its queue.
        for (int pass = 0; pass < 2; ++pass)
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 30000, nullptr);
        RECT windowArea;
        // Wine 8 copies nothing but black when the source reaches off the screen, as a
        // maximized window's frame does; so only the visible part is taken.
        if (!GetWindowRect(window, &windowArea) || !IntersectRect(&area, &windowArea, &screenArea)) return false;
    }
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;  // bottom-up, as a BMP file stores its rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    DWORD cbRow = ((DWORD)width * 3 + 3) & ~3u;
    header.biSizeImage = cbRow * (DWORD)height;

    bool ok = false;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, NULL, 0);
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT) != 0;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (ok) {
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof(file) + sizeof(header);
        file.bfSize = file.bfOffBits + header.biSizeImage;
        uninstpack::Bytes bytes(file.bfSize);
        memcpy(&bytes[0], &file, sizeof(file));
        memcpy(&bytes[sizeof(file)], &header, sizeof(header));
        memcpy(&bytes[file.bfOffBits], bits, header.biSizeImage);
        ok = WriteFileBytes(bmpPath, bytes);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return ok;
}

void Shot(HWND window, const wchar_t* name) {
    const wchar_t* folder = _wgetenv(L"UNINST_TEST_SHOTS");
    if (!folder || !folder[0]) return;
    CreateDirectoryW(folder, nullptr);
    EXPECT_TRUE(SaveScreenshot(window, std::wstring(folder) + L"\\" + name + L".bmp"));
}
