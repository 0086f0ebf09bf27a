// The windows of the run: the theme library, the hidden main window, the progress dialog, the
// read-only prompt (declared in data/progress.h), the dialog font, the message pump, and the
// check that the application is not running. Owns every window handle and the dialog font.
#pragma once
#include <windows.h>
#include "data/main_window.h"
#include "data/progress.h"

const int kPromptDialogId = 109;
const int kProgressDialogId = 110;
const int kIconId = 800;
extern const WCHAR kMainWindowClass[];  // "VorlixClass"

extern HWND ProgressDialog;  // modeless dialog 110, from its creation to the last pass
extern HWND ProgressBar;     // its control IDC_PROGRESS
extern DWORD LastPercent;    // last value sent to ProgressBar
extern HFONT DialogFont;     // normal-weight copy of the first dialog's font

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

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PromptDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Gives every child of the dialog the normal-weight font, made once from the first dialog.
void ApplyDialogFont(HWND dialog);

// Dispatches every message in the queue and returns once it is empty; never blocks.
void PumpMessages();

// Opens the progress dialog with message 11 and sets ProgressTotal = R + 2F + S. Without a
// dialog ProgressTotal stays 0 and the run goes on without progress. ShowProgressText sets the
// dialog's text to a message (nothing without a dialog); CloseProgressDialog destroys it and
// sets ProgressTotal back to 0, so later reports do nothing.
bool OpenProgressDialog();
void ShowProgressText(int messageNumber);
void CloseProgressDialog();

// True when a file record flagged for the in-use check names a file another process holds.
// A record whose path would not fit WorkPath is skipped: a cut path names another file.
bool CheckFilesInUse();
