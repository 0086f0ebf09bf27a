// Emptied-folder pass. Owns the last-removed folder of one run of the pass, which spares the
// walk of records that share a folder already removed.
#include "removal/folder_pass.h"
#include "data/install_records.h"
#include "data/path_buffer.h"
#include "removal/primitives.h"
#include "removal/progress.h"
#include "removal/record_paths.h"

// The folder that held the record's file (its innermost folder when fileName has folder parts),
// or the recorded folder itself, without a trailing backslash, into folder (kPathCapacity
// WCHARs). False when the path names no folder or is not usable (record_paths.h).
static bool BuildRecordFolder(const FileEntry* entry, WCHAR* folder) {
    if (BuildFileRecordPath(entry->directory, entry->fileName, folder) != PathUsable) return false;
    if (entry->fileName[0] && !CutAtLastBackslash(folder)) return false;
    StripBackslash(folder);
    return true;
}

// Removes folder and its parents while they are empty and not protected, cutting folder as it
// goes. Consecutive records mostly share a folder: when the chain starts where the previous one
// started, that chain already removed the folder or found it not removable, and nothing on disk
// has changed since.
static void RemoveFolderChain(WCHAR* folder, WCHAR* lastRemoved, WCHAR* lastStart) {
    if (SamePath(folder, lastRemoved) || SamePath(folder, lastStart)) return;
    CopyPath(lastStart, kPathCapacity, folder);
    bool removedAny = false;
    for (;;) {
        if (IsProtectedFolder(folder)) return;
        if (!RemoveDir(folder)) return;
        if (!removedAny) {
            CopyPath(lastRemoved, kPathCapacity, folder);
            removedAny = true;
        }
        if (!CutAtLastBackslash(folder)) return;
    }
}

void RemoveEmptiedFolders() {
    // Out of the installation folder, so it can go once empty, and so the self-removal copy,
    // which inherits the current directory, does not start inside it.
    WCHAR* installDir = Paths.InstallDir;
    StripBackslash(installDir);
    ChangeDirectory(installDir);
    ChangeDirectory(L"..");
    AppendBackslash(installDir);
    WCHAR* folder = Paths.WorkPath;
    WCHAR lastRemoved[kPathCapacity];
    WCHAR lastStart[kPathCapacity];
    lastRemoved[0] = 0;
    lastStart[0] = 0;
    for (DWORD i = 0; i < Data.FileEntryCount; ++i) {
        const FileEntry* entry = Data.FileEntries[i];
        // The font folder is a system folder that only a font record would lead us to.
        if (entry->flags & kFileFont) continue;
        if (BuildRecordFolder(entry, folder)) RemoveFolderChain(folder, lastRemoved, lastStart);
        ReportProgress(EmptiedFolderPassBase() + i);
    }
    AppendBackslash(installDir);
}
