// The file removal pass: every FileEntry from last to first, with the shared-file counts, the
// shared-file question, font and COM deregistration, and the read-only prompt; and the check
// that no guarded file is in use. Keeps Removal.YesToAllState. Never deletes a file another
// process holds open, never removes a protected folder, and passes over a record whose path is
// not usable (record_paths.h).
#pragma once
#include <windows.h>

// The SharedDLLs key below HKEY_LOCAL_MACHINE.
extern const WCHAR kSharedDllsKey[];

void RemoveInstalledFiles();

// True when a file record flagged for the in-use check names a file another process holds.
// A record whose path would not fit WorkPath is skipped: a cut path names another file.
bool CheckFilesInUse();
