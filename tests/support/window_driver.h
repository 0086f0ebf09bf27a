// Window driver for the tests: finds the windows another process (or another thread) shows,
// reads them, presses their buttons from the keyboard and takes screenshots. Every wait re-tests
// its condition whenever the watched process raises a window event, and ends with a bound;
// nothing sleeps as a way to let the other side get ahead.
//
// Usage:
//   HWND box = WaitForWindow(child.Id(), child.Handle(), kDialogClass, L"Title");
//   ASSERT_NE(nullptr, box);
//   EXPECT_EQ(L"expected text", MessageBoxText(box));
//   EXPECT_TRUE(AnswerBox(box, IDOK));            // once it takes input; returns once it is gone
//   SaveScreenshot(box, L"C:\\shots\\box.bmp");
//   What a run showed, however briefly, is read from ChildProcess::Watch (uninst_runner.h).
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Class of dialogs and message boxes.
extern const wchar_t* const kDialogClass;
// Bound on waiting for a window: as generous as a child run, for the same reason (a message
// box has taken over 40 s to appear in the test machine under load).
const DWORD kWindowBoundMs = 180000;

// Waits until `condition` holds: tests it at once, again on every window event of `process`
// (its id taken from the handle; the current process's pseudo handle is allowed) and at least
// every 50 ms, and once more when the process has ended. True when it held, false when the process
// ended or `boundMs` passed without it. For conditions that stay true until the test acts.
bool WaitUntil(const std::function<bool()>& condition, HANDLE process, DWORD boundMs = kWindowBoundMs);

// The first visible top-level window of process `pid` whose class and caption equal the
// given ones (null: any), or null. WaitForWindow waits for one with WaitUntil and gives up, with
// null, once `process` has ended or the bound has passed.
HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption);
HWND WaitForWindow(DWORD pid, HANDLE process, const wchar_t* className, const wchar_t* caption,
                   DWORD boundMs = kWindowBoundMs);
// The first visible dialog of process `pid` holding a control of one of the given ids, or null.
HWND FindDialogWith(DWORD pid, const std::vector<int>& controls);
// WaitForWindow for a message box of process `pid`: a dialog with the text control of a box,
// so that another dialog of the same caption (a progress dialog, say) is waited past.
HWND WaitForMessageBox(DWORD pid, HANDLE process, DWORD boundMs = kWindowBoundMs);

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
// The ids of the visible buttons, in the order the system lists them.
std::vector<int> VisibleButtonIds(HWND dialog);
// One line per control ("id class style 'text'"), for failure messages.
std::string DescribeWindow(HWND window);

// Presses a button of `dialog` (a window of another thread or process) as a user does: waits
// until the dialog is the foreground window with the focus on it or one of its controls, moves
// the focus with Tab to the button (each Tab waits until the focus has moved) and presses Space,
// all through SendInput. Mouse clicks made that way were tried and now and then did nothing.
bool PressButton(HWND dialog, int id, DWORD boundMs = kWindowBoundMs);
// PressButton, then waits until the box is gone, so that the next wait cannot find the same box
// again while its owner is still handling the press.
bool AnswerBox(HWND box, int id, DWORD boundMs = kWindowBoundMs);
// The Esc key, pressed as PressButton presses, then waits until the dialog is gone.
bool PressEscape(HWND dialog, DWORD boundMs = kWindowBoundMs);
// For a dialog of the calling thread, which has to pump its own messages: the Esc key as the
// dialog's message loop sees it, and a close request (WM_CLOSE), both posted.
bool SendEscape(HWND dialog);
bool SendClose(HWND window);

// Saves a 24-bit BMP of the window's area on the screen (or of the whole screen when `window`
// is null) as it appears there: a window lying over it is captured too, a part off the screen
// is left out. A window is first waited for, with a bound, until it has painted itself.
bool SaveScreenshot(HWND window, const std::wstring& bmpPath);
// Saves a screenshot of `window` as NAME.bmp in the folder named by UNINST_TEST_SHOTS, if set.
void Shot(HWND window, const wchar_t* name);
