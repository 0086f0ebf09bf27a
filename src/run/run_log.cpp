// The run's log: its file, the line being written and the counts of the records' outcomes.
// Owns the log's handle from OpenRunLog to the end of the process; never opens a file for
// anything but appending.
#include "run/run_log.h"
#include <stdarg.h>
#include "data/data_locator.h"
#include "data/file_ops.h"
#include "data/install_records.h"
#include "data/path_buffer.h"
#include "platform/api_table.h"
#include "platform/wow64.h"
#include "removal/progress.h"
#include "run/session.h"

static HANDLE LogFile;        // null while there is no log
static DWORD LogStart;        // GetTickCount at the start
static DWORD GroupCounts[6];  // removed, not there, kept, failed, skipped, scheduled
// The line being written: at most 1024 formatted bytes (wsprintf's limit), then the text in
// UTF-8, up to three bytes for each UTF-16 unit. A text that does not fit is left out.
static char Line[8192];

// Packed texts, the n-th after n terminators: a table of pointers would cost a relocation each.
static const char kKindNames[] = "file\0folder\0shortcut\0key\0value";
// By RegistryRecordKind's root number; 0 for the other kinds.
static const char kRootNames[] = "\0HKCR\\\0HKCU\\\0HKLM\\\0HKU\\\0HKPD\\\0HKCC\\\0HKDD\\\0HK?\\";
// By RecordOutcome; each is a format for the record's detail.
static const char kOutcomeTexts[] =
    "removed\0"
    "not there\0"
    "kept: shared, count now %u\0"
    "kept: protected\0"
    "kept: holds other files\0"
    "kept: holds the uninstaller\0"
    "kept: user's answer\0"
    "failed: in use\0"
    "failed: access denied\0"
    "failed: error %u\0"
    "skipped: path\0"
    "skipped: macro\0"
    "scheduled for restart";
// The group of GroupCounts each outcome is counted in, by RecordOutcome: removed, not there,
// kept, then those that leave the run incomplete: failed, skipped, scheduled.
static const BYTE kOutcomeGroups[] = {0, 1, 2, 2, 2, 2, 2, 3, 3, 3, 4, 4, 5};

static __attribute__((noinline)) const char* NthText(const char* packed, DWORD n) {
    while (n--)
        while (*packed++) {
        }
    return packed;
}

void LogPrint(const WCHAR* text, const char* format, ...) {
    if (!LogFile) return;
    DWORD ms = ::GetTickCount() - LogStart;
    int cb = ::wsprintfA(Line, "%u.%03u ", ms / 1000, ms % 1000);
    va_list args;
    va_start(args, format);
    cb += ::wvsprintfA(Line + cb, format, args);
    va_end(args);
    // The log is written on the NT family only, whose conversion knows UTF-8. A line break in
    // the text (a message's, say) would start a line of its own: control characters become blanks.
    int cbText =
        text ? ::WideCharToMultiByte(CP_UTF8, 0, text, -1, Line + cb, sizeof(Line) - 2 - cb, nullptr, nullptr) : 0;
    for (; cbText > 1; --cbText, ++cb)
        if (static_cast<BYTE>(Line[cb]) < ' ') Line[cb] = ' ';
    Line[cb++] = '\r';
    Line[cb++] = '\n';
    // One write per line and no flush: the system has each line as soon as it happened, and
    // the removal does not wait for the disk. The first failure drops the log.
    if (!WriteExact(LogFile, Line, cb)) {
        CloseFile(LogFile);
        LogFile = nullptr;
        Removal.PassUi.LogRecord = nullptr;
    }
}

// System error codes of a removal and what they mean, by pairs: the record went, was not there,
// is in use, or may not be removed. Any other code is a failure with its number.
static const WORD kRemovalErrors[] = {
    ERROR_SUCCESS,       kRecordRemoved,      ERROR_FILE_NOT_FOUND,    kRecordNotThere,
    ERROR_PATH_NOT_FOUND, kRecordNotThere,    ERROR_ACCESS_DENIED,     kRecordAccessDenied,
    ERROR_SHARING_VIOLATION, kRecordInUse,    ERROR_DIR_NOT_EMPTY,     kRecordKeptNotEmpty,
};

static void LogRecord(DWORD kind, RecordOutcome outcome, DWORD detail, const WCHAR* path) {
    if (outcome == kRecordRemoval) {
        outcome = kRecordFailed;
        for (DWORD i = 0; i < ARRAYSIZE(kRemovalErrors); i += 2)
            if (kRemovalErrors[i] == detail) outcome = static_cast<RecordOutcome>(kRemovalErrors[i + 1]);
        // The uninstaller's own folder holds the running program; the self-removal copy removes
        // it once it is empty. A folder record of "." names it as InstallDir has it.
        if (outcome == kRecordKeptNotEmpty && SamePath(path, Paths.InstallDir)) outcome = kRecordKeptUninstaller;
    }
    ++GroupCounts[kOutcomeGroups[outcome]];
    char text[64];
    ::wsprintfA(text, NthText(kOutcomeTexts, outcome), detail);
    DWORD root = kind >> 8;
    LogPrint(path, "%s %s: %s", NthText(kKindNames, kind & 0xFF), text, NthText(kRootNames, root < 8 ? root : 8));
}

void OpenRunLog() {
    if (!Session.LogPath[0] || Session.LogPathCut) return;
    // Appending only: a handle with FILE_APPEND_DATA alone writes nowhere but at the end. And
    // the name itself when it is a reparse point, which the check below then refuses. The 9x
    // family knows neither, and so writes no log.
    HANDLE file = Platform.ApiTable.CreateFile(Session.LogPath, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    // Checked by the handle, so the file written is the file checked: through a second link the
    // lines would land in a file under another name, perhaps one the user may not write. A
    // read-only file is not written either, also where the open allows it (Wine, run as root).
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info) || info.nNumberOfLinks != 1 ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY))) {
        CloseFile(file);
        return;
    }
    LogFile = file;
    LogStart = ::GetTickCount();
    Removal.PassUi.LogRecord = LogRecord;
    // A new file starts with the byte-order mark; one that holds earlier runs has it already.
    // Should it not be written, neither will the first line, which drops the log.
    if (!(info.nFileSizeLow | info.nFileSizeHigh)) WriteExact(file, "\xEF\xBB\xBF", 3);
}

// ModulePath is the loader's; code is 0 when the data were read, else 1 (none), 7 (out of
// memory) or 8 (damaged), and the counts are those of the records read up to the failure.
void LogUninstallData(ReadResult code) {
    // The major version in the low byte, then the minor one; the build in the high word.
    DWORD version = ::GetVersion();
    LogPrint(Paths.ModulePath, "started, program part %u bytes, Windows %u.%u.%u, WOW64 %u: ", DataOffset(),
             version & 0xFF, version >> 8 & 0xFF, version >> 16, RunsUnderWow64());
    LogPrint(::GetCommandLineW(), "command line: ");
    LogPrint(nullptr, "data: result %u, %u files, %u shortcuts, %u registry entries, 64-bit flag %u", code,
             Data.FileEntryCount, Data.ShortcutEntryCount, Data.RegistryEntryCount,
             Data.RunSettings && (Data.RunSettings->flags & kRun64BitApplication));
}

void CloseRunLog() {
    DWORD unfinished = GroupCounts[3] + GroupCounts[4] + GroupCounts[5];
    LogPrint(nullptr, "end: %u removed, %u not there, %u kept, %u failed, %u skipped, %u scheduled; %s",
             GroupCounts[0], GroupCounts[1], GroupCounts[2], GroupCounts[3], GroupCounts[4], GroupCounts[5],
             Session.RemovalDone && !unfinished ? "complete" : "incomplete");
}
