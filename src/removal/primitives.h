// File and folder primitives shared by the removal passes and the self-removal: backslash
// forms, the current directory, folder removal, the access, attribute and delete operations
// with one result code, the protected-folder test and the in-use test. They show nothing and
// never stop the run; the passes decide what a result means.
#pragma once
#include <windows.h>
#include <stddef.h>
#include "data/path_buffer.h"

enum FileResult : int {
    FileOk = 0,            // succeeded; for CheckAccess: access is possible
    FileAccessDenied = 1,  // exists but may not be changed: denied, read-only, locked
    FileNotFound = 2,      // the file or a folder on its path is missing, or the name is malformed
    FileBadArgument = 3,   // no path, or an access mode with a bit other than 2 and 4
    FileOtherError = 4,    // anything else (a sharing violation among them)
};

// Access-mode bits of CheckAccess and SetFileMode.
const int kAccessWrite = 2;
const int kAccessRead = 4;

// Removes a trailing backslash from a path longer than 3 characters (C:\ keeps its own);
// returns the length before the call. Its counterpart is AppendBackslash (path_buffer.h).
size_t StripBackslash(WCHAR* path);

bool ChangeDirectory(const WCHAR* path);
// The current directory into buffer (cchBuffer WCHARs); returns what GetCurrentDirectory
// returns: 0 on failure, or a size of cchBuffer or more, with buffer untouched, when it does not fit.
DWORD GetCurrentDir(WCHAR* buffer, DWORD cchBuffer = kPathCapacity);
// Removes an empty folder; a folder that holds anything stays.
bool RemoveDir(const WCHAR* path);

// mode: 0 existence, 2 write, 4 read, or 6. A folder is always accessible; a read-only file
// refuses write access. Read access is never refused.
FileResult CheckAccess(const WCHAR* path, int mode);
// mode containing 2 clears the read-only attribute, any other sets it; other bits are kept.
FileResult SetFileMode(const WCHAR* path, int mode);
// Deletes a file without touching its attributes: a read-only file gives FileAccessDenied.
FileResult RemoveFile(const WCHAR* path);

// True for a path of 3 characters or fewer (a drive root, or less) and for every folder that
// MatchesProtectedFolder (protected_folders.h) protects, in whatever spelling: the folders of
// ProtectedFolderList, the users' profiles, drive and share roots, and a path whose full form
// cannot be computed. Callers pass the very text they then remove.
bool IsProtectedFolder(const WCHAR* path);

// True when another process holds the file open, or it cannot be made writable. A missing
// file is not locked; a folder is. A read-only file is made writable for the test and is
// read-only again afterwards.
bool IsFileLocked(const WCHAR* path);
