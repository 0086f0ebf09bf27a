// The file removal pass and the running check, which builds the same paths. Each record's path
// is built in WorkPath; the SharedDLLs key is opened anew for every shared file. Failures of
// single files are silent; the only windows are the shared-file question (message 10) and the
// read-only prompt, both through PassUi.
#include "removal/file_pass.h"
#include "data/install_records.h"
#include "data/message_table.h"
#include "data/path_buffer.h"
#include "data/run_state.h"
#include "platform/api_table.h"
#include "platform/wow64.h"
#include "removal/com_servers.h"
#include "removal/fonts.h"
#include "removal/primitives.h"
#include "removal/progress.h"
#include "removal/record_paths.h"

int YesToAllState = -1;

const WCHAR kSharedDllsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Message 10 about path, when it has a text; true only for an explicit Yes, or when there is
// no question to ask. The buffer is on the stack, so a question is never skipped for want of
// memory (that would remove a shared file nobody agreed to).
static bool AgreeToRemoveSharedFile(const WCHAR* path) {
    WCHAR text[kMessageBufferCch];
    FormatMessageText(text, 10, path);
    if (!text[0]) return true;
    return PassUi.AskQuestion && PassUi.AskQuestion(text, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Releases the file's reference under SharedDLLs and decides whether it may go.
static bool ReleaseSharedFile(const WCHAR* path, bool locked) {
    bool remove = !locked;
    HKEY key = nullptr;
    if (ApiTable.RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_ALL_ACCESS | RegistryView, &key) != ERROR_SUCCESS)
        key = nullptr;
    if (key) {
        DWORD count = 1;
        DWORD type = REG_DWORD;
        DWORD cb = sizeof(count);
        if (ApiTable.RegQueryValueEx(key, path, nullptr, &type, reinterpret_cast<BYTE*>(&count), &cb) ==
            ERROR_SUCCESS) {
            if (count > 0) --count;
            if (count != 0) remove = false;
            // A file in use keeps its last reference: it stays on disk and is still counted.
            if (!(locked && count == 0))
                ApiTable.RegSetValueEx(key, path, 0, type, reinterpret_cast<const BYTE*>(&count), cb);
        }
    }
    if (remove) remove = AgreeToRemoveSharedFile(path);
    if (remove && key) ApiTable.RegDeleteValue(key, path);
    if (key) ::RegCloseKey(key);
    return remove;
}

static void ClearReadOnlyAndRemove(const WCHAR* path) {
    SetFileMode(path, kAccessWrite);
    RemoveFile(path);
}

// Deletes the file; a read-only one is removed after the prompt, or at once when it is a
// font or a COM server, or when the user already answered for all files.
static void DeleteWithPrompt(const WCHAR* path, bool noQuestion) {
    FileResult result = RemoveFile(path);
    for (;;) {
        if (result != FileAccessDenied) return;
        if (CheckAccess(path, kAccessWrite) != FileAccessDenied) return;
        if (noQuestion || YesToAllState == 1) {
            ClearReadOnlyAndRemove(path);
            return;
        }
        // Without a prompt to show, the answer is No.
        if (YesToAllState == 0 || !PassUi.AskReadOnlyFile) return;
        switch (PassUi.AskReadOnlyFile(path)) {
        case IDYES:
            SetFileMode(path, kAccessWrite);
            result = RemoveFile(path);
            break;  // a file that is still read-only is asked about again
        case IDC_YESTOALL:
            YesToAllState = 1;
            ClearReadOnlyAndRemove(path);
            return;
        case IDC_NOTOALL:
            YesToAllState = 0;
            return;
        default:
            return;
        }
    }
}

// Under Wine the image of a server whose tool has just faulted is released a moment after the
// tool's process handle is signalled: the first DeleteFileW then fails with ERROR_ACCESS_DENIED,
// and the same call 50 ms later succeeds (seen with regsvr32 on a server that faults in
// DllUnregisterServer). So a server's deletion is tried again for about a second; a read-only
// server is left to DeleteWithPrompt, which clears its attribute.
static const int kServerDeleteAttempts = 20;
static const DWORD kServerDeleteIntervalMs = 50;

static void WaitForServerRelease(const WCHAR* path) {
    for (int attempt = 1; attempt < kServerDeleteAttempts; ++attempt) {
        if (RemoveFile(path) == FileOk) return;
        DWORD error = ::GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return;
        if (CheckAccess(path, kAccessWrite) == FileAccessDenied) return;
        ::Sleep(kServerDeleteIntervalMs);
    }
}

static void RemoveFileRecord(const FileEntry* entry) {
    if (BuildFileRecordPath(entry->directory, entry->fileName) != PathUsable) return;
    if (!entry->fileName[0]) {
        if (!IsProtectedFolder(WorkPath)) RemoveDir(WorkPath);
        return;
    }
    bool locked = IsFileLocked(WorkPath);
    bool remove = !locked;
    if (entry->flags & kFileShared) remove = ReleaseSharedFile(WorkPath, locked);
    if (!remove) return;
    if (entry->flags & kFileFont) UnregisterFont(WorkPath);
    if (entry->flags & kFileCom) {
        UnregisterComServer(WorkPath);
        WaitForServerRelease(WorkPath);
    }
    DeleteWithPrompt(WorkPath, (entry->flags & (kFileFont | kFileCom)) != 0);
}

void RemoveInstalledFiles() {
    DWORD handled = 0;
    for (DWORD i = FileEntryCount; i-- > 0; ++handled) {
        RemoveFileRecord(FileEntries[i]);
        ReportProgress(FilePassBase() + handled);
    }
}

bool CheckFilesInUse() {
    for (DWORD i = 0; i < FileEntryCount; ++i) {
        const FileEntry* entry = FileEntries[i];
        if (!entry->fileName[0] || !(entry->flags & kFileInUseCheck)) continue;
        if (BuildFileRecordPath(entry->directory, entry->fileName) != PathUsable) continue;
        if (IsFileLocked(WorkPath)) return true;
    }
    return false;
}
