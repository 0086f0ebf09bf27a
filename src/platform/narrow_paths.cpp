// Converting fallbacks of the path, module, directory-search and profile entries. Narrow paths
// arrive in a local buffer of MAX_PATH bytes; a path that does not fit the caller's buffer is
// cut, terminated and reported as the wide call reports it.
#include "platform/narrow_fallbacks.h"

static const DWORD kNarrowPath = MAX_PATH;

static void ClearText(LPWSTR buffer, DWORD cchBuffer) {
    if (buffer && cchBuffer) buffer[0] = 0;
}

// For the getters that report the size needed when the caller's buffer is too small:
// narrowResult is the narrow call's length on success, the size it needed when the local
// buffer was too small, or 0. Returns the wide length when the path fits, else the wide size
// needed with its terminator (the buffer then holds the cut path); 0 on failure.
static DWORD DeliverPath(DWORD narrowResult, char* narrow, LPWSTR buffer, DWORD cchBuffer) {
    ClearText(buffer, cchBuffer);
    if (narrowResult == 0) return 0;
    // The narrow size needed bounds the wide one: no character takes fewer than one byte.
    if (narrowResult >= kNarrowPath) return narrowResult;
    narrow[kNarrowPath - 1] = 0;
    DWORD cch = static_cast<DWORD>(WideIndex(narrow, lstrlenA(narrow)));
    if (buffer && cchBuffer) WidenInto(buffer, narrow, static_cast<int>(cchBuffer));
    return cch < cchBuffer ? cch : cch + 1;
}

DWORD WINAPI FallbackGetModuleFileName(HMODULE module, LPWSTR buffer, DWORD cchBuffer) {
    char narrow[kNarrowPath];
    narrow[0] = 0;
    DWORD result = ::GetModuleFileNameA(module, narrow, kNarrowPath);
    DWORD error = ::GetLastError();
    ClearText(buffer, cchBuffer);
    if (result == 0) {
        ::SetLastError(error);
        return 0;
    }
    narrow[kNarrowPath - 1] = 0;
    int cch = WidenInto(buffer, narrow, static_cast<int>(cchBuffer));
    // As the wide call: a cut path fills the buffer, returns its size and says why.
    if (result >= kNarrowPath || static_cast<DWORD>(cch) >= cchBuffer) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return cchBuffer;
    }
    return static_cast<DWORD>(cch);
}

UINT WINAPI FallbackGetWindowsDirectory(LPWSTR buffer, UINT cchBuffer) {
    char narrow[kNarrowPath];
    narrow[0] = 0;
    UINT result = ::GetWindowsDirectoryA(narrow, kNarrowPath);
    return DeliverPath(result, narrow, buffer, cchBuffer);
}

UINT WINAPI FallbackGetSystemDirectory(LPWSTR buffer, UINT cchBuffer) {
    char narrow[kNarrowPath];
    narrow[0] = 0;
    UINT result = ::GetSystemDirectoryA(narrow, kNarrowPath);
    return DeliverPath(result, narrow, buffer, cchBuffer);
}

DWORD WINAPI FallbackGetTempPath(DWORD cchBuffer, LPWSTR buffer) {
    char narrow[kNarrowPath];
    narrow[0] = 0;
    DWORD result = ::GetTempPathA(kNarrowPath, narrow);
    return DeliverPath(result, narrow, buffer, cchBuffer);
}

// GetShortPathNameA, or with full GetFullPathNameA, of path into buffer, as the wide call gives it.
static DWORD ConvertedPathCall(LPCWSTR path, LPWSTR buffer, DWORD cchBuffer, bool full) {
    char* pathA;
    if (!NarrowArg(path, &pathA)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    char narrow[kNarrowPath];
    narrow[0] = 0;
    DWORD result = full ? ::GetFullPathNameA(pathA, kNarrowPath, narrow, nullptr)
                        : ::GetShortPathNameA(pathA, narrow, kNarrowPath);
    FreeNarrow(pathA);
    return DeliverPath(result, narrow, buffer, cchBuffer);
}

DWORD WINAPI FallbackGetShortPathName(LPCWSTR longPath, LPWSTR shortPath, DWORD cchShortPath) {
    return ConvertedPathCall(longPath, shortPath, cchShortPath, false);
}

DWORD WINAPI FallbackGetFullPathName(LPCWSTR path, DWORD cchBuffer, LPWSTR buffer, LPWSTR*) {
    return ConvertedPathCall(path, buffer, cchBuffer, true);
}

DWORD WINAPI FallbackGetCurrentDirectory(DWORD cchBuffer, LPWSTR buffer) {
    char narrow[kNarrowPath];
    narrow[0] = 0;
    DWORD result = ::GetCurrentDirectoryA(kNarrowPath, narrow);
    return DeliverPath(result, narrow, buffer, cchBuffer);
}

BOOL WINAPI FallbackSetCurrentDirectory(LPCWSTR path) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, path)) return FALSE;
    BOOL ok = ::SetCurrentDirectoryA(a.text[0]);
    FreeNarrowTexts(&a);
    return ok;
}

BOOL WINAPI FallbackRemoveDirectory(LPCWSTR path) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, path)) return FALSE;
    BOOL ok = ::RemoveDirectoryA(a.text[0]);
    FreeNarrowTexts(&a);
    return ok;
}

HMODULE WINAPI FallbackLoadLibrary(LPCWSTR name) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, name)) return nullptr;
    HMODULE module = ::LoadLibraryA(a.text[0]);
    FreeNarrowTexts(&a);
    return module;
}

HMODULE WINAPI FallbackLoadLibraryEx(LPCWSTR name, HANDLE, DWORD) { return FallbackLoadLibrary(name); }

static void CopyFindData(const WIN32_FIND_DATAA& narrow, LPWIN32_FIND_DATAW data) {
    data->dwFileAttributes = narrow.dwFileAttributes;
    data->ftCreationTime = narrow.ftCreationTime;
    data->ftLastAccessTime = narrow.ftLastAccessTime;
    data->ftLastWriteTime = narrow.ftLastWriteTime;
    data->nFileSizeHigh = narrow.nFileSizeHigh;
    data->nFileSizeLow = narrow.nFileSizeLow;
    data->dwReserved0 = narrow.dwReserved0;
    data->dwReserved1 = narrow.dwReserved1;
    char name[MAX_PATH + 1];
    ::CopyMemory(name, narrow.cFileName, MAX_PATH);
    name[MAX_PATH] = 0;
    WidenInto(data->cFileName, name, MAX_PATH);
    char alternate[14 + 1];
    ::CopyMemory(alternate, narrow.cAlternateFileName, 14);
    alternate[14] = 0;
    WidenInto(data->cAlternateFileName, alternate, 14);
}

HANDLE WINAPI FallbackFindFirstFile(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    char* patternA;
    if (!NarrowArg(pattern, &patternA)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    WIN32_FIND_DATAA narrow;
    ::ZeroMemory(&narrow, sizeof(narrow));
    HANDLE find = ::FindFirstFileA(patternA, &narrow);
    DWORD error = ::GetLastError();
    FreeNarrow(patternA);
    if (find != INVALID_HANDLE_VALUE && data) CopyFindData(narrow, data);
    ::SetLastError(error);
    return find;
}

BOOL WINAPI FallbackWritePrivateProfileString(LPCWSTR section, LPCWSTR key, LPCWSTR text, LPCWSTR file) {
    // A null key deletes the section and a null text the key, so null stays null.
    NarrowTexts a;
    if (!NarrowTextArgs(&a, section, key, text, file)) return FALSE;
    BOOL ok = ::WritePrivateProfileStringA(a.text[0], a.text[1], a.text[2], a.text[3]);
    FreeNarrowTexts(&a);
    return ok;
}

