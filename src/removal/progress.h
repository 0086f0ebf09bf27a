// What the removal passes see of the screen: a table of the three things they may show, which
// the run layer fills in at start-up, and the progress accounting. The passes call up to the
// windows only through this table, so this layer links without the run layer.
#pragma once
#include <windows.h>

// Answers of AskReadOnlyFile besides IDYES, IDNO and IDCANCEL.
const int IDC_YESTOALL = 1001;
const int IDC_NOTOALL = 1002;

struct PassUiT {
    // Shows percent (0 to 100) on the progress bar and services the window messages.
    void (*ShowProgress)(DWORD percent);
    // Asks whether to remove a read-only file: IDYES, IDNO, IDC_YESTOALL, IDC_NOTOALL or IDCANCEL.
    int (*AskReadOnlyFile)(const WCHAR* path);
    // A message box with this text, caption message 0; returns the box's answer, 0 when none.
    int (*AskQuestion)(const WCHAR* text, UINT type);
};
// An empty entry shows nothing, and so does the table until the run layer fills it in (and in
// tests of a pass alone): no progress, No to the read-only prompt as when its dialog cannot be
// had, and no answer to a question, which no pass takes for a yes. Empty rather than pointing
// at defaults, because each address stored in the program costs a relocation entry.
extern PassUiT PassUi;

// Progress steps of the run, R + 2F + S; 0 when there is no progress dialog, and then nothing
// is reported at all.
extern DWORD ProgressTotal;

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
