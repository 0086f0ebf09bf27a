// Shortcut-file and shortcut-folder passes. Owns nothing between calls; the folder pass cuts
// the records' folder texts in place, which nothing reads afterwards.
#include "removal/shortcut_pass.h"
#include "data/install_records.h"
#include "data/path_buffer.h"
#include "data/run_state.h"
#include "removal/primitives.h"
#include "removal/progress.h"

// The current directory without a trailing backslash, or empty when it cannot be read whole:
// an empty text equals no folder text the walk compares it with.
static void ReadCurrentDirectory(WCHAR* current) {
    current[0] = 0;
    DWORD cch = GetCurrentDir(current, kPathCapacity);
    if (cch == 0 || cch >= kPathCapacity) {
        current[0] = 0;
        return;
    }
    StripBackslash(current);
}

void RemoveShortcutFiles() {
    for (DWORD i = 0; i < ShortcutEntryCount; ++i) {
        const ShortcutEntry* entry = ShortcutEntries[i];
        // Without a folder the name would be taken in whatever folder is current, which is
        // not where the installation put the shortcut.
        if (entry->fileName[0]) {
            if (entry->firstFolder[0] && CopyPath(WorkPath, kPathCapacity, entry->firstFolder) &&
                JoinPath(WorkPath, kPathCapacity, entry->fileName))
                ReportRemoval(kRecordShortcut, RemoveFile(WorkPath) == FileOk ? 0 : ::GetLastError(), WorkPath);
            else
                ReportRecord(kRecordShortcut, kRecordSkippedPath, 0, entry->fileName);
        }
        ReportProgress(ShortcutPassBase() + i);
    }
}

static void RemoveRecordFolders(ShortcutEntry* entry) {
    WCHAR* first = entry->firstFolder;
    WCHAR* second = entry->secondFolder;
    if (!first[0]) return;
    // Every call below takes a path of at most MAX_PATH; a longer text is no folder we could
    // name safely, and cutting it would name a different one.
    if (PathLength(first) >= kPathCapacity || PathLength(second) >= kPathCapacity) return;
    for (;;) {
        bool hasSecond = second[0] != 0;
        if (IsProtectedFolder(first)) return;
        if (hasSecond && IsProtectedFolder(second)) return;
        // Windows refuses to remove a process's current directory; step out of it first.
        WCHAR current[kPathCapacity];
        ReadCurrentDirectory(current);
        if (SamePath(first, current)) ChangeDirectory(L"..");
        RemoveDir(first);
        if (hasSecond) {
            if (SamePath(second, current)) ChangeDirectory(L"..");
            RemoveDir(second);
        }
        if (entry->levels == 0) return;
        --entry->levels;
        if (!CutAtLastBackslash(first)) return;
        if (hasSecond && !CutAtLastBackslash(second)) return;
    }
}

void RemoveShortcutFolders() {
    for (DWORD i = 0; i < ShortcutEntryCount; ++i) {
        RemoveRecordFolders(ShortcutEntries[i]);
        ReportProgress(ShortcutPassBase() + i);
    }
}
