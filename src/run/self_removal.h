// Self-removal: the temporary copy of the bare program part that deletes the uninstaller after
// it exits, the deletion of that copy at the next restart, and the copy's own work (/D).
#pragma once
#include <windows.h>

const int kMaxTempCopyNumber = 998;  // "_uins1.exe" to "_uins998.exe"
const DWORD kSelfRemovalNamesCapacity = 780;  // temp path (260), then the copy's parameters (520)

// Writes the first DataOffset bytes of the running program to a new "_uins%d.exe" in the temp
// folder, schedules it for deletion at restart, and starts it hidden with /D"own path", holding
// it open against writing and deletion until it has been started. False when no copy could be
// made, any of its bytes could not be read or written, or the reopened copy does not hold
// exactly those bytes: a partial or replaced program must not run. A copy that was created
// stays scheduled for deletion either way.
bool StartSelfRemoval();

// Tries pattern (one "%d") with 1 to 998 in the temp folder: a name that exists is skipped,
// the first that can be created anew (exclusively, for writing; never an existing file) is
// returned. buffer
// (kPathCapacity WCHARs) holds the last name tried. INVALID_HANDLE_VALUE when none could be
// made, or when the temp folder and the name do not fit the buffer.
HANDLE CreateTempCopyFile(WCHAR* buffer, const WCHAR* pattern);

// Schedules path for deletion at the next restart: MoveFileEx on NT; elsewhere a "NUL=short
// path" line in the Rename section of WININIT.INI in the Windows folder (written under the
// key "xyz" by the profile calls, then renamed in the file's bytes). False when nothing could
// be scheduled (no short path, no Windows folder, the profile write failed).
bool DeleteAtRestart(const WCHAR* path);

// The copy's work: up to 12 attempts a second apart to delete path, then the removal of its
// folder when that is now empty. path (the /D argument in WorkPath) is cut to its folder.
// Never removes a drive root or a protected folder, which can be empty too.
void RemovalHelperMode(WCHAR* path);
