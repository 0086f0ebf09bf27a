// Window driver: finding, reading and answering another process's windows, and screenshots.
// Talks to the other process only by posting messages or reading window state, so a child that
// hangs cannot hang the test.
#include "support/window_driver.h"

#include <cstdio>
#include <cwchar>

const wchar_t* const kDialogClass = L"#32770";

namespace {

const DWORD kPollMs = 20;
// Id of a message box's text control, on Windows and on Wine 8 alike (seen in
// tests/spine_e2e_tests.cpp, which reads the loader's message box through it).
const int kMessageBoxTextId = 0xFFFF;

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int cb = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out(cb, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], cb, NULL, NULL);
    return out;
}

struct WindowSearch {
    DWORD pid;
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window)) return TRUE;
    if (search->className && WindowClass(window) != search->className) return TRUE;
    if (search->caption && WindowText(window) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    std::vector<ControlInfo>* controls = reinterpret_cast<std::vector<ControlInfo>*>(param);
    ControlInfo info;
    info.window = window;
    info.id = GetDlgCtrlID(window);
    info.className = WindowClass(window);
    info.text = WindowText(window);
    info.style = (DWORD)GetWindowLongW(window, GWL_STYLE);
    controls->push_back(info);
    return TRUE;
}

bool ProcessEnded(HANDLE process, DWORD waitMs) {
    if (process == NULL) {
        Sleep(waitMs);
        return false;
    }
    return WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
}

std::wstring WithoutMnemonics(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;  // "&&" stands for one '&'
        out += text[i];
    }
    return out;
}

bool IsButton(const ControlInfo& control) { return _wcsicmp(control.className.c_str(), L"Button") == 0; }

bool PostClick(const ControlInfo& button) {
    if (!IsWindowEnabled(button.window)) return false;
    HWND owner = GetParent(button.window);
    return PostMessageW(owner, WM_COMMAND, MAKEWPARAM(button.id, BN_CLICKED), (LPARAM)button.window) != 0;
}

// A window that has just appeared may not have painted itself yet. GetUpdateRect reads the
// update region of another process's window too (seen on Wine 8: a new message box has one
// for a moment, then none), so an empty region everywhere means the picture is complete.
void WaitUntilPainted(HWND window, DWORD boundMs) {
    DWORD start = GetTickCount();
    for (;;) {
        bool pending = GetUpdateRect(window, NULL, FALSE) != 0;
        for (const ControlInfo& control : ListControls(window)) {
            if (GetUpdateRect(control.window, NULL, FALSE)) pending = true;
        }
        if (!pending || GetTickCount() - start >= boundMs) return;
        Sleep(kPollMs);
    }
}

}  // namespace

HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption) {
    WindowSearch search = {pid, className, caption, NULL};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(DWORD pid, HANDLE process, const wchar_t* className, const wchar_t* caption,
                   DWORD boundMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindProcessWindow(pid, className, caption);
        if (window) return window;
        if (GetTickCount() - start >= boundMs) return NULL;
        if (ProcessEnded(process, kPollMs)) return FindProcessWindow(pid, className, caption);
    }
}

::testing::AssertionResult ShowsNoWindow(DWORD pid, HANDLE process, DWORD boundMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindProcessWindow(pid, NULL, NULL);
        if (window) {
            return ::testing::AssertionFailure()
                   << "process " << pid << " shows a window:\n" << DescribeWindow(window);
        }
        if (GetTickCount() - start >= boundMs) return ::testing::AssertionSuccess();
        if (ProcessEnded(process, kPollMs)) return ::testing::AssertionSuccess();
    }
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

std::string DescribeWindow(HWND window) {
    std::string out = "window '" + Narrow(WindowText(window)) + "' class " + Narrow(WindowClass(window)) + "\n";
    for (const ControlInfo& control : ListControls(window)) {
        char line[64];
        snprintf(line, sizeof(line), "  id 0x%04X style 0x%08lX ", (unsigned)control.id & 0xFFFF,
                 (unsigned long)control.style);
        out += line + Narrow(control.className) + " '" + Narrow(control.text) + "'\n";
    }
    return out;
}

bool PressButton(HWND dialog, int id) {
    for (const ControlInfo& control : ListControls(dialog)) {
        if (control.id == id && IsButton(control)) return PostClick(control);
    }
    return false;
}

bool AnswerBox(HWND box, int id, DWORD boundMs) {
    if (!PressButton(box, id)) return false;
    for (DWORD waited = 0; IsWindow(box) && IsWindowVisible(box); waited += 20) {
        if (waited >= boundMs) return false;
        Sleep(20);
    }
    return true;
}

bool PressButtonByText(HWND dialog, const std::wstring& text) {
    std::wstring wanted = WithoutMnemonics(text);
    for (const ControlInfo& control : ListControls(dialog)) {
        if (IsButton(control) && WithoutMnemonics(control.text) == wanted) return PostClick(control);
    }
    return false;
}

bool SendEscape(HWND dialog) {
    // The dialog's message loop (IsDialogMessage) turns Esc into IDCANCEL when it arrives at
    // the dialog or at the control that has the focus.
    HWND target = dialog;
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &info) && info.hwndFocus &&
        IsChild(dialog, info.hwndFocus)) {
        target = info.hwndFocus;
    }
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
        WaitUntilPainted(window, 30000);
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
        HANDLE out = CreateFileW(bmpPath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        ok = out != INVALID_HANDLE_VALUE;
        if (ok) {
            DWORD written = 0;
            ok = WriteFile(out, &file, sizeof(file), &written, NULL) && written == sizeof(file) &&
                 WriteFile(out, &header, sizeof(header), &written, NULL) && written == sizeof(header) &&
                 WriteFile(out, bits, header.biSizeImage, &written, NULL) && written == header.biSizeImage;
            CloseHandle(out);
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return ok;
}
