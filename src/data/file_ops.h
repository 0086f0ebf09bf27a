// Small file operations shared by the data reader, the self-removal, the in-use probe and the
// font-name reader. Only OpenExistingFile goes through the system-call table (it takes a path).
#pragma once
#include <windows.h>

// Returned by the position operations when SetFilePointer fails.
const ULONGLONG kInvalidFilePos = ~0ull;

// Share mode FILE_SHARE_READ unless access asks for GENERIC_WRITE (then exclusive).
// The handle, or INVALID_HANDLE_VALUE.
HANDLE OpenExistingFile(const WCHAR* path, DWORD access);
bool ReadExact(HANDLE file, void* buffer, DWORD cb);         // true: all cb bytes read
bool WriteExact(HANDLE file, const void* buffer, DWORD cb);  // true: all cb bytes written
ULONGLONG GetFilePos(HANDLE file);                           // or kInvalidFilePos
ULONGLONG SetFilePos(HANDLE file, ULONGLONG position);       // new position, or kInvalidFilePos
// The file's size as a signed 32-bit value widened to 64 bits; the position is kept.
LONGLONG GetFileSize32(HANDLE file);
bool CloseFile(HANDLE file);
