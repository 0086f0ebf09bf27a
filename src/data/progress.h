// What the removal passes see of the progress display and the read-only prompt. The windows
// live in src/run (run/windows.cpp defines all of this); the passes include only this header,
// so they do not depend on the run layer.
#pragma once
#include <windows.h>

// Progress steps of the run, R + 2F + S; 0 when there is no progress dialog, and then nothing
// is reported at all.
extern DWORD ProgressTotal;

// Shows percent (above 100 counts as 100) on the progress bar and services the window
// messages. A value equal to the last one costs one comparison: nothing is sent or pumped.
void SetProgress(DWORD percent);

// One pass's report after a record: position * 100 / ProgressTotal as a percentage, or
// nothing when ProgressTotal is 0. Computed in 64 bits, so no record count can wrap it.
void ReportProgress(DWORD position);

// Where each pass's stretch of positions starts, in run order: the file pass from 0, both
// shortcut passes from F, the emptied-folder pass from F + S, the registry pass from 2F + S.
// So the bar only moves forward, except where the shortcut-folder pass sweeps its stretch again.
DWORD FilePassBase();
DWORD ShortcutPassBase();
DWORD EmptiedFolderPassBase();
DWORD RegistryPassBase();

// Asks whether to remove a read-only file (message 9 with the path; buttons messages 3 to 6).
// Returns IDYES (6), IDNO (7), IDC_YESTOALL (1001), IDC_NOTOALL (1002) or IDCANCEL (2) for Esc
// or the close box. IDNO when memory or the dialog cannot be had; IDC_YESTOALL without asking
// when message 9 is empty.
int AskReadOnlyFile(const WCHAR* path);

const int IDC_TEXT = 1000;
const int IDC_YESTOALL = 1001;
const int IDC_NOTOALL = 1002;
const int IDC_PROGRESS = 1009;
