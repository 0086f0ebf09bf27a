// What the removal passes see of the screen and of the run's log: a table of the things they may
// show or note, which the run layer fills in, and the progress accounting. The passes call up to
// the windows and the log only through this table, so this layer links without the run layer.
#pragma once
#include <windows.h>

// The read-only prompt's answer as the file pass acts on it; a prompt closed without a button is
// a No. The buttons themselves are the run layer's.
enum ReadOnlyAnswer : int { kAnswerNo, kAnswerYes, kAnswerNoToAll, kAnswerYesToAll };

// What a record names, for the log. A registry record's kind also carries its root key:
// RegistryRecordKind(kRecordKey, root), with HKEY_CLASSES_ROOT as 1.
enum RecordKind : DWORD { kRecordFile, kRecordFolder, kRecordShortcut, kRecordKey, kRecordValue };
inline DWORD RegistryRecordKind(RecordKind kind, DWORD root) { return kind | ((root & 0xFF) + 1) << 8; }

// What became of a record, in the log's groups: removed; not there; kept by design; failed;
// skipped; scheduled for deletion at restart.
enum RecordOutcome : BYTE {
    kRecordRemoved,
    kRecordNotThere,
    kRecordKeptShared,       // detail: the count left for other programs
    kRecordKeptProtected,    // a protected folder or key
    kRecordKeptNotEmpty,     // a folder holding what the product did not record
    kRecordKeptUninstaller,  // the folder of the running uninstaller
    kRecordKeptByUser,       // the user answered No (read-only or shared-file question)
    kRecordInUse,
    kRecordAccessDenied,
    kRecordFailed,           // detail: the system's error code (the only outcome with an error)
    kRecordSkippedPath,      // a path that cannot be used (too long, not full)
    kRecordSkippedMacro,     // an unknown or unresolved folder macro
    kRecordScheduled,
    // Not an outcome of its own: a removal that ended with the system error code in detail
    // (0: the record went), which the log turns into removed, not there, in use, access
    // denied, a folder that holds something (the uninstaller's own folder, or other files),
    // or a failure with its number.
    kRecordRemoval,
};

struct PassUi {
    // Shows percent (0 to 100) on the progress bar and services the window messages.
    void (*ShowProgress)(DWORD percent);
    // Asks whether to remove a read-only file.
    ReadOnlyAnswer (*AskReadOnlyFile)(const WCHAR* path);
    // A message box with this text, caption message 0; returns the box's answer, 0 when none.
    int (*AskQuestion)(const WCHAR* text, UINT type);
    // Notes what became of a record; kind as RecordKind says, detail as the outcome says. Filled
    // in only while the run's log is open.
    void (*LogRecord)(DWORD kind, RecordOutcome outcome, DWORD detail, const WCHAR* path);
};

// The removal layer's state during a run. The run layer, which owns the windows and the log, fills
// in PassUi and sets ProgressTotal with its progress dialog; the file pass keeps YesToAllState.
struct RemovalState {
    // An empty entry shows nothing, and so does the table until the run layer fills it in (and in
    // tests of a pass alone): no progress, No to the read-only prompt as when its dialog cannot be
    // had, no answer to a question, which no pass takes for a yes, and no log. Empty rather than
    // pointing at defaults, because each address stored in the program costs a relocation entry.
    ::PassUi PassUi;
    // Progress steps of the run, R + 2F + S; 0 when there is no progress dialog, and then nothing
    // is reported at all.
    DWORD ProgressTotal;
    // The read-only prompt's lasting answer: -1 ask, 1 yes to all, 0 no to all. Starts at -1 and
    // changes at most once per run.
    int YesToAllState;
};
extern RemovalState Removal;

// Notes the record's outcome in the log; without a log it costs one test.
void ReportRecord(DWORD kind, RecordOutcome outcome, DWORD detail, const WCHAR* path);
// Notes a removal that ended with this system error code (0: the record went).
inline void ReportRemoval(DWORD kind, DWORD error, const WCHAR* path) {
    ReportRecord(kind, kRecordRemoval, error, path);
}

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
