// The file removal pass and the running check, which builds the same paths. Each record's path
// is built in the shared WorkPath and handed on from there; the SharedDLLs key is opened anew for
// every shared file. Failures of single files are silent; the only windows are the shared-file
// question (message 10) and the read-only prompt, both through PassUi, through which each
// record's outcome also goes to the run's log.
#include "removal/file_pass.h"
#include "data/install_records.h"
#include "data/message_table.h"
#include "data/path_buffer.h"
#include "platform/api_table.h"
#include "platform/wow64.h"
#include "removal/com_servers.h"
#include "removal/fonts.h"
#include "removal/primitives.h"
#include "removal/progress.h"
#include "removal/record_paths.h"

const WCHAR kSharedDllsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Message 10 about path, when it has a text; true only for an explicit Yes, or when there is
// no question to ask. The buffer is on the stack, so a question is never skipped for want of
// memory (that would remove a shared file nobody agreed to).
static bool AgreeToRemoveSharedFile(const WCHAR* path) {
    WCHAR text[kMessageBufferCch];
    FormatMessageText(text, kMessageSharedFile, path);
    if (!text[0]) return true;
    return Removal.PassUi.AskQuestion && Removal.PassUi.AskQuestion(text, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Releases the file's reference under SharedDLLs and decides whether it may go; when it stays,
// notes why: still counted, in use, or kept by the user's answer.
static bool ReleaseSharedFile(const WCHAR* path, bool locked) {
    bool remove = !locked;
    RecordOutcome kept = locked ? kRecordInUse : kRecordKeptByUser;
    DWORD count = 1;
    HKEY key = nullptr;
    if (Platform.ApiTable.RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_ALL_ACCESS | Platform.RegistryView,
                                       &key) != ERROR_SUCCESS)
        key = nullptr;
    if (key) {
        DWORD type = REG_DWORD;
        DWORD cb = sizeof(count);
        if (Platform.ApiTable.RegQueryValueEx(key, path, nullptr, &type, reinterpret_cast<BYTE*>(&count), &cb) ==
            ERROR_SUCCESS) {
            if (count > 0) --count;
            if (count != 0) {
                remove = false;
                kept = kRecordKeptShared;
            }
            // A file in use keeps its last reference: it stays on disk and is still counted.
            if (!(locked && count == 0))
                Platform.ApiTable.RegSetValueEx(key, path, 0, type, reinterpret_cast<const BYTE*>(&count), cb);
        }
    }
    if (remove) remove = AgreeToRemoveSharedFile(path);
    if (remove && key) Platform.ApiTable.RegDeleteValue(key, path);
    if (key) ::RegCloseKey(key);
    if (!remove) ReportRecord(kRecordFile, kept, count, path);
    return remove;
}

// RemoveFile, and the system's error code when it failed (0 when the file went).
static FileResult RemoveFileNoting(const WCHAR* path, DWORD* error) {
    FileResult result = RemoveFile(path);
    *error = result == FileOk ? 0 : ::GetLastError();
    return result;
}

// Deletes the file; a read-only one is removed after the prompt, or at once when it is a
// font or a COM server, or when the user already answered for all files. Notes the outcome.
static void DeleteWithPrompt(const WCHAR* path, bool noQuestion) {
    DWORD error;
    FileResult result = RemoveFileNoting(path, &error);
    while (result == FileAccessDenied && CheckAccess(path, kAccessWrite) == FileAccessDenied) {
        ReadOnlyAnswer answer = kAnswerYesToAll;
        if (!noQuestion && Removal.YesToAllState != 1) {
            // Without a prompt to show, the answer is No.
            answer = Removal.YesToAllState == 0 || !Removal.PassUi.AskReadOnlyFile
                         ? kAnswerNo
                         : Removal.PassUi.AskReadOnlyFile(path);
            if (answer == kAnswerYesToAll) Removal.YesToAllState = 1;
            if (answer == kAnswerNoToAll) Removal.YesToAllState = 0;
        }
        if (answer != kAnswerYes && answer != kAnswerYesToAll) {
            ReportRecord(kRecordFile, kRecordKeptByUser, 0, path);
            return;
        }
        SetFileMode(path, kAccessWrite);
        result = RemoveFileNoting(path, &error);
        // Only after a plain Yes is a file that is still read-only asked about again.
        if (answer == kAnswerYesToAll) break;
    }
    ReportRemoval(kRecordFile, error, path);
}

// Under Wine the image of a server whose tool has just faulted is released a moment after the
// tool's process handle is signalled: the first DeleteFileW then fails with ERROR_ACCESS_DENIED,
// and the same call 50 ms later succeeds (seen with regsvr32 on a server that faults in
// DllUnregisterServer). So a server's deletion is tried again for about a second; a read-only
// server is left to DeleteWithPrompt, which clears its attribute.
static const int kServerDeleteAttempts = 20;
static const DWORD kServerDeleteIntervalMs = 50;

// True when the server went.
static bool WaitForServerRelease(const WCHAR* path) {
    for (int attempt = 1; attempt < kServerDeleteAttempts; ++attempt) {
        if (RemoveFile(path) == FileOk) return true;
        DWORD error = ::GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
        if (CheckAccess(path, kAccessWrite) == FileAccessDenied) return false;
        ::Sleep(kServerDeleteIntervalMs);
    }
    return false;
}

// path: the buffer (kPathCapacity WCHARs) the record's path is built in.
static void RemoveFileRecord(const FileEntry* entry, WCHAR* path) {
    DWORD kind = entry->fileName[0] ? kRecordFile : kRecordFolder;
    // The recorded directory names the record best when its whole path is not used.
    PathVerdict verdict = BuildFileRecordPath(entry->directory, entry->fileName, path);
    if (verdict != PathUsable) return ReportRecord(kind, SkippedOutcome(verdict), 0, entry->directory);
    if (kind == kRecordFolder) {
        if (IsProtectedFolder(path)) return ReportRecord(kind, kRecordKeptProtected, 0, path);
        ReportRemoval(kind, RemoveDir(path) ? 0 : ::GetLastError(), path);
        return;
    }
    bool locked = IsFileLocked(path);
    if (entry->flags & kFileShared) {
        if (!ReleaseSharedFile(path, locked)) return;
    } else if (locked) {
        return ReportRecord(kind, kRecordInUse, 0, path);
    }
    if (entry->flags & kFileFont) UnregisterFont(path);
    if (entry->flags & kFileCom) {
        UnregisterComServer(path);
        if (WaitForServerRelease(path)) return ReportRecord(kind, kRecordRemoved, 0, path);
    }
    DeleteWithPrompt(path, (entry->flags & (kFileFont | kFileCom)) != 0);
}

void RemoveInstalledFiles() {
    WCHAR* path = Paths.WorkPath;
    DWORD handled = 0;
    for (DWORD i = Data.FileEntryCount; i-- > 0; ++handled) {
        RemoveFileRecord(Data.FileEntries[i], path);
        ReportProgress(FilePassBase() + handled);
    }
}

bool CheckFilesInUse() {
    WCHAR* path = Paths.WorkPath;
    for (DWORD i = 0; i < Data.FileEntryCount; ++i) {
        const FileEntry* entry = Data.FileEntries[i];
        if (!entry->fileName[0] || !(entry->flags & kFileInUseCheck)) continue;
        if (BuildFileRecordPath(entry->directory, entry->fileName, path) != PathUsable) continue;
        if (IsFileLocked(path)) return true;
    }
    return false;
}
