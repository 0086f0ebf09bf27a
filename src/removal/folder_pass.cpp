// Emptied-folder pass. Owns the last-removed folder of one run of the pass, which spares the
// walk of records that share a folder already removed.
#include "removal/folder_pass.h"
#include "data/install_records.h"
#include "data/path_buffer.h"
#include "data/run_state.h"
#include "removal/primitives.h"
#include "removal/progress.h"
#include "removal/record_paths.h"

// WorkPath = the folder that held the record's file (its innermost folder when fileName has
// folder parts), or the recorded folder itself, without a trailing backslash. False when the
// path names no folder or is not usable (record_paths.h).
static bool BuildRecordFolder(const FileEntry* entry) {
    if (BuildFileRecordPath(entry->directory, entry->fileName) != PathUsable) return false;
    if (entry->fileName[0] && !CutAtLastBackslash(WorkPath)) return false;
    StripBackslash(WorkPath);
    return true;
}

// Removes WorkPath and its parents while they are empty and not protected. Consecutive records
// mostly share a folder: when the chain starts where the previous one started, that chain
// already removed the folder or found it not removable, and nothing on disk has changed since.
static void RemoveFolderChain(WCHAR* lastRemoved, WCHAR* lastStart) {
    if (SamePath(WorkPath, lastRemoved) || SamePath(WorkPath, lastStart)) return;
    CopyPath(lastStart, kPathCapacity, WorkPath);
    bool removedAny = false;
    for (;;) {
        if (IsProtectedFolder(WorkPath)) return;
        if (!RemoveDir(WorkPath)) return;
        if (!removedAny) {
            CopyPath(lastRemoved, kPathCapacity, WorkPath);
            removedAny = true;
        }
        if (!CutAtLastBackslash(WorkPath)) return;
    }
}

void RemoveEmptiedFolders() {
    // Out of the installation folder, so it can go once empty, and so the self-removal copy,
    // which inherits the current directory, does not start inside it.
    StripBackslash(InstallDir);
    ChangeDirectory(InstallDir);
    ChangeDirectory(L"..");
    AppendBackslash(InstallDir);
    WCHAR lastRemoved[kPathCapacity];
    WCHAR lastStart[kPathCapacity];
    lastRemoved[0] = 0;
    lastStart[0] = 0;
    for (DWORD i = 0; i < FileEntryCount; ++i) {
        const FileEntry* entry = FileEntries[i];
        // The font folder is a system folder that only a font record would lead us to.
        if (entry->flags & kFileFont) continue;
        if (BuildRecordFolder(entry)) RemoveFolderChain(lastRemoved, lastStart);
        ReportProgress(EmptiedFolderPassBase() + i);
    }
    AppendBackslash(InstallDir);
}
