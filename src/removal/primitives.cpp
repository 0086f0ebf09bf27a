// File and folder primitives. Every call that takes a path goes through ApiTable, so tests can
// put a failing entry in place; GetLastError is read on the line after the failing call.
#include "removal/primitives.h"
#include "data/file_ops.h"
#include "data/path_buffer.h"
#include "folders/protected_folders.h"
#include "platform/api_table.h"
#include "platform/wow64.h"

size_t StripBackslash(WCHAR* path) {
    size_t cch = PathLength(path);
    if (cch > 3 && path[cch - 1] == L'\\') path[cch - 1] = 0;
    return cch;
}

bool ChangeDirectory(const WCHAR* path) {
    return path && Platform.ApiTable.SetCurrentDirectory(path) != FALSE;
}

DWORD GetCurrentDir(WCHAR* buffer, DWORD cchBuffer) {
    return Platform.ApiTable.GetCurrentDirectory(cchBuffer, buffer);
}

bool RemoveDir(const WCHAR* path) {
    NativeFileSystem native;
    return path && Platform.ApiTable.RemoveDirectory(path) != FALSE;
}

static FileResult MapErrorCode(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return FileNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_LOCK_VIOLATION:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_FAIL_I24:
    case ERROR_DRIVE_LOCKED:
    case ERROR_SEEK_ON_DEVICE:
    case ERROR_NOT_LOCKED:
    case ERROR_LOCK_FAILED:
        return FileAccessDenied;
    default:
        // A sharing violation lands here too: the file is in use, not forbidden to us.
        return FileOtherError;
    }
}

static FileResult MapLastError() {
    return MapErrorCode(::GetLastError());
}

FileResult CheckAccess(const WCHAR* path, int mode) {
    if (!path || (mode & ~(kAccessWrite | kAccessRead)) != 0) return FileBadArgument;
    NativeFileSystem native;
    DWORD attributes = Platform.ApiTable.GetFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return MapLastError();
    // The read-only bit of a folder does not stop its removal or the removal of its contents.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileOk;
    if ((attributes & FILE_ATTRIBUTE_READONLY) && (mode & kAccessWrite)) return FileAccessDenied;
    return FileOk;
}

FileResult SetFileMode(const WCHAR* path, int mode) {
    if (!path) return FileBadArgument;
    NativeFileSystem native;
    DWORD attributes = Platform.ApiTable.GetFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return MapLastError();
    if (mode & kAccessWrite)
        attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    else
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (!Platform.ApiTable.SetFileAttributes(path, attributes)) return MapLastError();
    return FileOk;
}

FileResult RemoveFile(const WCHAR* path) {
    if (!path) return FileBadArgument;
    NativeFileSystem native;
    if (!Platform.ApiTable.DeleteFile(path)) return MapLastError();
    return FileOk;
}

bool IsProtectedFolder(const WCHAR* path) {
    return PathLength(path) <= 3 || MatchesProtectedFolder(path);
}

// True when nobody else has the file open: the exclusive open that a running program's
// handle would refuse.
static bool OpensExclusively(const WCHAR* path) {
    HANDLE file = OpenExistingFile(path, GENERIC_READ | GENERIC_WRITE);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseFile(file);
    return true;
}

bool IsFileLocked(const WCHAR* path) {
    NativeFileSystem native;  // for the exclusive open and the attribute read below
    FileResult access = CheckAccess(path, kAccessWrite);
    if (access == FileOk) return !OpensExclusively(path);
    if (access != FileAccessDenied) return false;
    // Access is also denied when the attributes could not be read; only a file that is
    // read-only now is made read-only again, or a passing failure would leave an ordinary file
    // read-only and bring up the read-only prompt for it (seen in tests/fault_injection_tests).
    DWORD attributes = Platform.ApiTable.GetFileAttributes(path);
    bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    SetFileMode(path, kAccessWrite | kAccessRead);
    if (CheckAccess(path, kAccessWrite) == FileAccessDenied) return true;
    bool opened = OpensExclusively(path);
    if (readOnly) SetFileMode(path, kAccessRead);
    return !opened;
}
