// Record paths: the path that each kind of record names on the running machine, with its leading
// folder macro expanded, or why the record is passed over. The only place that reads a record's
// path texts; the passes take what is built here, and remove nothing for a record that is not
// usable (it still counts toward the progress).
#pragma once
#include <windows.h>
#include "data/install_records.h"
#include "folders/folder_macros.h"
#include "removal/progress.h"

// Full: "X:\...", "\\server\share\...", "\\?\X:\..." or "\\?\UNC\..." ("/" counts as "\").
// Never a device path ("\\.\", "\\?\GLOBALROOT", "\??\"), and never one that the system would
// complete from the current directory or drive.
bool IsFullPath(const WCHAR* path);

// A file record's path into path (kPathCapacity WCHARs): the directory after its leading macro,
// or for a directory beginning with "." InstallDir (".\rest": InstallDir + rest); then a
// backslash and fileName unless that is empty. Usable only when the result fits and is full;
// anything else leaves path empty. The emptied-folder pass and the running check build theirs
// here too.
PathVerdict BuildFileRecordPath(const WCHAR* directory, const WCHAR* fileName, WCHAR* path);

// A shortcut record's folders after their leading macros, into first and second (kPathCapacity
// WCHARs each, the pass's own buffers: the record's texts are never changed); second is empty
// when the record names none. Usable only when first and a second that is given are both full.
PathVerdict BuildShortcutFolders(const ShortcutEntry* entry, WCHAR* first, WCHAR* second);

// A shortcut record's file into path (kPathCapacity WCHARs): its first folder (as above), a
// backslash and fileName.
PathVerdict BuildShortcutFilePath(const ShortcutEntry* entry, WCHAR* path);

// How the log names a record whose path is not used.
inline RecordOutcome SkippedOutcome(PathVerdict verdict) {
    return verdict == PathUnknownMacro ? kRecordSkippedMacro : kRecordSkippedPath;
}
