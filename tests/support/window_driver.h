// Window driver for the tests: finds the windows another process shows, reads them, presses
// their buttons and takes screenshots, all through Win32 from the test program. Every wait
// polls with a bound; nothing sleeps for a fixed time.
//
// Usage:
//   HWND box = WaitForWindow(child.Id(), child.Handle(), kDialogClass, L"Title");
//   ASSERT_NE(nullptr, box);
//   EXPECT_EQ(L"expected text", MessageBoxText(box));
//   PressButton(box, IDOK);
//   EXPECT_TRUE(ShowsNoWindow(child.Id(), child.Handle()));   // for runs that must show nothing
//   SaveScreenshot(box, L"C:\\shots\\box.bmp");
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Class of dialogs and message boxes.
extern const wchar_t* const kDialogClass;
// Bound on waiting for a window: as generous as a child run, for the same reason (a message
// box has taken over 40 s to appear in the test machine under load).
const DWORD kWindowBoundMs = 180000;

// The first visible top-level window of process `pid` whose class and caption equal the
// given ones (null: any), or null. WaitForWindow polls every 20 ms up to `boundMs` and gives up
// early, with null, once `process` (when given) has ended.
HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption);
HWND WaitForWindow(DWORD pid, HANDLE process, const wchar_t* className, const wchar_t* caption,
                   DWORD boundMs = kWindowBoundMs);

// Success when process `pid` ends (or `boundMs` passes) without any visible top-level window;
// otherwise a failure that describes the window seen. A window that comes and goes between
// two polls 20 ms apart is not seen; a message box or dialog waiting for an answer always is.
::testing::AssertionResult ShowsNoWindow(DWORD pid, HANDLE process, DWORD boundMs = kWindowBoundMs);

struct ControlInfo {
    HWND window;
    int id;
    std::wstring className;
    std::wstring text;
    DWORD style;
};

std::wstring WindowText(HWND window);
std::wstring WindowClass(HWND window);
// Direct and nested children, in the order the system lists them.
std::vector<ControlInfo> ListControls(HWND window);
// A message box's text: its STATIC control with id 0xFFFF (so on Windows and on Wine 8). A box
// without that control is a test failure.
std::wstring MessageBoxText(HWND box);
// One line per control ("id class style 'text'"), for failure messages.
std::string DescribeWindow(HWND window);

// Presses a button as a click would: the button's owner gets WM_COMMAND/BN_CLICKED. The message
// is posted, so a hung child cannot hang the test. By text, the '&' of mnemonics is ignored.
bool PressButton(HWND dialog, int id);
// Presses a button of a message box (or any dialog the button ends) and waits, with a bound,
// until the box is gone, so the next wait cannot find the same box again while the child is
// still handling the click (seen on a loaded test machine).
bool AnswerBox(HWND box, int id, DWORD boundMs = kWindowBoundMs);
bool PressButtonByText(HWND dialog, const std::wstring& text);
// The Esc key as the dialog's own message loop sees it, and a close request (WM_CLOSE).
bool SendEscape(HWND dialog);
bool SendClose(HWND window);

// Saves a 24-bit BMP of the window's area on the screen (or of the whole screen when `window`
// is null) as it appears there: a window lying over it is captured too, a part off the screen
// is left out. A window is first given a bounded time to finish painting.
bool SaveScreenshot(HWND window, const std::wstring& bmpPath);
