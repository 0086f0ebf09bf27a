// Small file operations on handles. Only the open goes through the system-call table: it is
// the one that takes a path, and the narrow platform needs its converting fallback.
#include "data/file_ops.h"
#include "platform/api_table.h"

HANDLE OpenExistingFile(const WCHAR* path, DWORD access) {
    DWORD share = (access & GENERIC_WRITE) ? 0 : FILE_SHARE_READ;
    return Platform.ApiTable.CreateFile(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool ReadExact(HANDLE file, void* buffer, DWORD cb) {
    DWORD got = 0;
    return ::ReadFile(file, buffer, cb, &got, nullptr) && got == cb;
}

bool WriteExact(HANDLE file, const void* buffer, DWORD cb) {
    DWORD written = 0;
    return ::WriteFile(file, buffer, cb, &written, nullptr) && written == cb;
}

// SetFilePointer returns INVALID_SET_FILE_POINTER both for failure and for a position whose
// low half is 0xFFFFFFFF; only the last error tells them apart, so it is cleared first.
static ULONGLONG MovePointer(HANDLE file, ULONGLONG distance, DWORD method) {
    LONG high = static_cast<LONG>(distance >> 32);
    ::SetLastError(NO_ERROR);
    DWORD low = ::SetFilePointer(file, static_cast<LONG>(static_cast<DWORD>(distance)), &high, method);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return kInvalidFilePos;
    return (static_cast<ULONGLONG>(static_cast<DWORD>(high)) << 32) | low;
}

ULONGLONG GetFilePos(HANDLE file) { return MovePointer(file, 0, FILE_CURRENT); }

ULONGLONG SetFilePos(HANDLE file, ULONGLONG position) { return MovePointer(file, position, FILE_BEGIN); }

LONGLONG GetFileSize32(HANDLE file) {
    ULONGLONG here = GetFilePos(file);
    DWORD size = ::SetFilePointer(file, 0, nullptr, FILE_END);
    if (here != kInvalidFilePos) SetFilePos(file, here);
    return static_cast<LONG>(size);
}

bool CloseFile(HANDLE file) { return ::CloseHandle(file) != FALSE; }
