// Shortcut-file and shortcut-folder passes. Owns nothing between calls; the folder pass walks
// up copies of the records' folders, expanded into buffers of its own.
#include "removal/shortcut_pass.h"
#include "data/install_records.h"
#include "data/path_buffer.h"
#include "removal/primitives.h"
#include "removal/progress.h"
#include "removal/record_paths.h"

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
    WCHAR* path = Paths.WorkPath;
    for (DWORD i = 0; i < Data.ShortcutEntryCount; ++i) {
        const ShortcutEntry* entry = Data.ShortcutEntries[i];
        if (entry->fileName[0]) {
            PathVerdict verdict = BuildShortcutFilePath(entry, path);
            if (verdict == PathUsable)
                ReportRemoval(kRecordShortcut, RemoveFile(path) == FileOk ? 0 : ::GetLastError(), path);
            else
                ReportRecord(kRecordShortcut, SkippedOutcome(verdict), 0, entry->fileName);
        }
        ReportProgress(ShortcutPassBase() + i);
    }
}

static void RemoveRecordFolders(const ShortcutEntry* entry) {
    WCHAR first[kPathCapacity];
    WCHAR second[kPathCapacity];
    if (BuildShortcutFolders(entry, first, second) != PathUsable) return;
    bool hasSecond = second[0] != 0;
    for (DWORD levels = entry->levels;; --levels) {
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
        if (levels == 0) return;
        if (!CutAtLastBackslash(first)) return;
        if (hasSecond && !CutAtLastBackslash(second)) return;
    }
}

void RemoveShortcutFolders() {
    for (DWORD i = 0; i < Data.ShortcutEntryCount; ++i) {
        RemoveRecordFolders(Data.ShortcutEntries[i]);
        ReportProgress(ShortcutPassBase() + i);
    }
}
