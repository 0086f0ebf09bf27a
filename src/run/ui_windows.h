// The windows of the run: the theme library, the hidden main window and the message boxes it
// owns, the progress dialog, the read-only prompt, the dialog font and the message pump. Owns
// the screen state; the removal passes reach these only through PassUi.
#pragma once
#include <windows.h>
#include "removal/progress.h"
#include "resources/resource_ids.h"

extern const WCHAR kMainWindowClass[];  // "VorlixClass"

// The screen state: written only by the functions below, and read only in this layer.
struct ScreenState {
    // The hidden main window: owner of every message box. Null until CreateMainWindow, so boxes
    // shown while loading the data have no owner.
    HWND MainWindow;
    HWND ProgressDialog;                    // modeless dialog IDD_PROGRESS, from its creation to the last pass
    HWND ProgressBar;                       // its control IDC_PROGRESS
    DWORD LastPercent;                      // last value sent to ProgressBar
    HFONT DialogFont;                       // normal-weight copy of the first dialog's font
    HMODULE ThemeLibrary;                   // uxtheme.dll, from LoadThemeLibrary to FreeThemeLibrary
    void(WINAPI* ThemeEntry)(DWORD flags);  // its SetThemeAppProperties, or null
};
extern ScreenState Screen;

// Loads "uxtheme.dll" and looks up SetThemeAppProperties; a missing library or entry only
// changes the look. FreeThemeLibrary undoes it (shut-down).
void LoadThemeLibrary();
void FreeThemeLibrary();
// Window frames keep the visual style, the controls inside are drawn without it.
void ApplyThemeProperties();
// Deletes DialogFont when it was made (shut-down).
void DeleteDialogFont();

bool RegisterMainWindowClass();
// Creates the hidden main window, centred for a 320 x 200 window (0,0 on smaller screens).
bool CreateMainWindow();
// Destroys MainWindow and dispatches what is left in the queue up to the WM_QUIT its
// destruction posts. Does nothing when there is no main window (the queue would never end).
void DestroyMainWindow();

// Fills PassUi with the windows below, so the passes show their progress and questions.
void ConnectPassUi();

// Message box owned by MainWindow, caption message 0; returns the box's answer, which the log
// notes with the text.
int ShowMessage(const WCHAR* text, UINT type);

// Asks whether to remove a read-only file (message 9 with the path; buttons messages 3 to 6).
// Returns IDYES (6), IDNO (7), IDC_YESTOALL (1001), IDC_NOTOALL (1002) or IDCANCEL (2) for Esc
// or the close box. IDNO when the dialog cannot be had; IDC_YESTOALL without asking when
// message 9 is empty. PassUi hands the file pass its answer as a ReadOnlyAnswer.
int AskReadOnlyFile(const WCHAR* path);

// Dispatches every message in the queue and returns once it is empty; never blocks.
void PumpMessages();

// Shows percent (above 100 counts as 100) on the progress bar and services the window
// messages. A value equal to the last one costs one comparison: nothing is sent or pumped.
void SetProgress(DWORD percent);

// Opens the progress dialog with message 11 and sets ProgressTotal = R + 2F + S. Without a
// dialog ProgressTotal stays 0 and the run goes on without progress. ShowProgressText sets the
// dialog's text to a message (nothing without a dialog); CloseProgressDialog destroys it and
// sets ProgressTotal back to 0, so later reports do nothing.
bool OpenProgressDialog();
void ShowProgressText(int message);
void CloseProgressDialog();
