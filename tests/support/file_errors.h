// The system errors the file primitives tell apart, each with the result it must give: one table
// for the test of the mapping and for the fault injection, which fails calls with these errors.
#pragma once
#include <windows.h>

#include "removal/primitives.h"

struct ErrorMapping {
    DWORD error;
    FileResult result;
};

// Every error with a result of its own, then errors left to FileOtherError: the sharing violation
// (in use, not forbidden) and an invalid parameter first, as the fault injection takes the first
// two of those. Constant-initialised, so tables built from it at start-up find it filled.
inline constexpr ErrorMapping kFileErrors[] = {
    {ERROR_FILE_NOT_FOUND, FileNotFound},          {ERROR_PATH_NOT_FOUND, FileNotFound},
    {ERROR_NO_MORE_FILES, FileNotFound},           {ERROR_BAD_NETPATH, FileNotFound},
    {ERROR_BAD_NET_NAME, FileNotFound},            {ERROR_BAD_PATHNAME, FileNotFound},
    {ERROR_FILENAME_EXCED_RANGE, FileNotFound},    {ERROR_ACCESS_DENIED, FileAccessDenied},
    {ERROR_CURRENT_DIRECTORY, FileAccessDenied},   {ERROR_LOCK_VIOLATION, FileAccessDenied},
    {ERROR_NETWORK_ACCESS_DENIED, FileAccessDenied}, {ERROR_CANNOT_MAKE, FileAccessDenied},
    {ERROR_FAIL_I24, FileAccessDenied},            {ERROR_DRIVE_LOCKED, FileAccessDenied},
    {ERROR_SEEK_ON_DEVICE, FileAccessDenied},      {ERROR_NOT_LOCKED, FileAccessDenied},
    {ERROR_LOCK_FAILED, FileAccessDenied},         {ERROR_SHARING_VIOLATION, FileOtherError},
    {ERROR_INVALID_PARAMETER, FileOtherError},     {ERROR_INVALID_HANDLE, FileOtherError},
    {ERROR_NOT_ENOUGH_MEMORY, FileOtherError},     {ERROR_WRITE_PROTECT, FileOtherError},
    {ERROR_INVALID_NAME, FileOtherError},          {ERROR_DIR_NOT_EMPTY, FileOtherError},
    {0, FileOtherError},
};
