// Converting fallbacks of the file, process, registry, shell-execute and font entries.
// A name that cannot be converted fails the call: passed on as null it would name another
// object (a null value name is the key's default value), and we delete what we name.
#include "platform/narrow_fallbacks.h"

HANDLE WINAPI FallbackCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, name)) return INVALID_HANDLE_VALUE;
    HANDLE file = ::CreateFileA(a.text[0], access, share, security, disposition, flags, templateFile);
    FreeNarrowTexts(&a);
    return file;
}

BOOL WINAPI FallbackDeleteFile(LPCWSTR name) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, name)) return FALSE;
    BOOL ok = ::DeleteFileA(a.text[0]);
    FreeNarrowTexts(&a);
    return ok;
}

DWORD WINAPI FallbackGetFileAttributes(LPCWSTR name) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, name)) return INVALID_FILE_ATTRIBUTES;
    DWORD attributes = ::GetFileAttributesA(a.text[0]);
    FreeNarrowTexts(&a);
    return attributes;
}

BOOL WINAPI FallbackSetFileAttributes(LPCWSTR name, DWORD attributes) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, name)) return FALSE;
    BOOL ok = ::SetFileAttributesA(a.text[0], attributes);
    FreeNarrowTexts(&a);
    return ok;
}

BOOL WINAPI FallbackCreateProcess(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                                  LPSECURITY_ATTRIBUTES threadSecurity, BOOL inherit, DWORD flags,
                                  LPVOID environment, LPCWSTR directory, LPSTARTUPINFOW startup,
                                  LPPROCESS_INFORMATION info) {
    NarrowTexts a;
    NarrowTexts s;
    if (!NarrowTextArgs(&a, application, commandLine, directory)) return FALSE;
    STARTUPINFOA startupA;
    LPSTARTUPINFOA startupArg = nullptr;
    if (startup) {
        // Same layout; only the two texts a caller may set need converting.
        if (!NarrowTextArgs(&s, startup->lpDesktop, startup->lpTitle)) {
            FreeNarrowTexts(&a);
            return FALSE;
        }
        ::CopyMemory(&startupA, startup, sizeof(startupA));
        startupA.cb = sizeof(startupA);
        startupA.lpReserved = nullptr;
        startupA.lpDesktop = s.text[0];
        startupA.lpTitle = s.text[1];
        startupArg = &startupA;
    }
    BOOL ok = ::CreateProcessA(a.text[0], a.text[1], processSecurity, threadSecurity, inherit, flags, environment,
                               a.text[2], startupArg, info);
    if (startup) FreeNarrowTexts(&s);
    FreeNarrowTexts(&a);
    return ok;
}

// The registry calls report failures as their result, not through the last error.
LSTATUS WINAPI FallbackRegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, subKey)) return ERROR_NOT_ENOUGH_MEMORY;
    LSTATUS status = ::RegOpenKeyExA(key, a.text[0], options, access, result);
    FreeNarrowTexts(&a);
    return status;
}

static bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// Text values come back as wide text with the wide size; all other values, REG_MULTI_SZ
// included, pass through as the narrow call gives them. The size needed for text is reported
// as twice the narrow size, which is never less than the wide size.
LSTATUS WINAPI FallbackRegQueryValueEx(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                       LPDWORD cbData) {
    char* nameA;
    if (!NarrowArg(name, &nameA)) return ERROR_NOT_ENOUGH_MEMORY;
    DWORD t = 0;
    DWORD s = 0;
    LSTATUS status = ::RegQueryValueExA(key, nameA, reserved, &t, nullptr, &s);
    if (status != ERROR_SUCCESS || !IsTextType(t) || !cbData) {
        status = ::RegQueryValueExA(key, nameA, reserved, type, data, cbData);
    } else if (!data) {
        *cbData = 2 * s;
        if (type) *type = t;
    } else if (*cbData < 2 * s) {
        *cbData = 2 * s;
        if (type) *type = t;
        status = ERROR_MORE_DATA;
    } else {
        WCHAR* text = reinterpret_cast<WCHAR*>(data);
        int cchCapacity = static_cast<int>(*cbData / 2);
        text[0] = 0;
        char* narrow = static_cast<char*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, s + 1));
        if (!narrow) {
            status = ERROR_NOT_ENOUGH_MEMORY;
        } else {
            DWORD cbNarrow = s;
            status = ::RegQueryValueExA(key, nameA, reserved, &t, reinterpret_cast<BYTE*>(narrow), &cbNarrow);
            if (status == ERROR_SUCCESS) {
                narrow[s] = 0;
                int cchText = WidenInto(text, narrow, cchCapacity);
                *cbData = 2 * cchText + 2;
                // Only a value stored without its terminator can miss by one character here.
                if (cchText >= cchCapacity) status = ERROR_MORE_DATA;
            } else if (status == ERROR_MORE_DATA) {
                *cbData = 2 * cbNarrow;  // the value grew between the two queries
            } else {
                *cbData = 2;
            }
            if (type) *type = t;
            FreeNarrow(narrow);
        }
    }
    FreeNarrow(nameA);
    return status;
}

LSTATUS WINAPI FallbackRegSetValueEx(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                                     DWORD cbData) {
    char* nameA;
    if (!NarrowArg(name, &nameA)) return ERROR_NOT_ENOUGH_MEMORY;
    LSTATUS status;
    if (IsTextType(type) && data) {
        // The text ends at its terminator or at the caller's size, whichever comes first.
        const WCHAR* text = reinterpret_cast<const WCHAR*>(data);
        int cchMax = static_cast<int>(cbData / 2);
        int cch = 0;
        while (cch < cchMax && text[cch]) ++cch;
        char* narrow = NarrowDupN(text, cch);
        if (narrow) {
            status = ::RegSetValueExA(key, nameA, reserved, type, reinterpret_cast<const BYTE*>(narrow),
                                      lstrlenA(narrow) + 1);
            FreeNarrow(narrow);
        } else {
            status = ERROR_NOT_ENOUGH_MEMORY;
        }
    } else {
        status = ::RegSetValueExA(key, nameA, reserved, type, data, cbData);
    }
    FreeNarrow(nameA);
    return status;
}

LSTATUS WINAPI FallbackRegEnumKeyEx(HKEY key, DWORD index, LPWSTR name, LPDWORD cchName, LPDWORD reserved,
                                    LPWSTR, LPDWORD, PFILETIME lastWrite) {
    if (!name || !cchName || *cchName == 0) return ERROR_INVALID_PARAMETER;
    DWORD cchCapacity = *cchName;
    char* narrow = static_cast<char*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, cchCapacity));
    if (!narrow) return ERROR_NOT_ENOUGH_MEMORY;
    LSTATUS status = ::RegEnumKeyExA(key, index, narrow, cchName, reserved, nullptr, nullptr, lastWrite);
    if (status == ERROR_SUCCESS) {
        narrow[cchCapacity - 1] = 0;
        int cch = WidenInto(name, narrow, static_cast<int>(cchCapacity));
        // The wide call counts characters; a double-byte name has fewer than its bytes.
        *cchName = static_cast<DWORD>(cch);
    }
    FreeNarrow(narrow);
    return status;
}

LSTATUS WINAPI FallbackRegDeleteKey(HKEY key, LPCWSTR subKey) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, subKey)) return ERROR_NOT_ENOUGH_MEMORY;
    LSTATUS status = ::RegDeleteKeyA(key, a.text[0]);
    FreeNarrowTexts(&a);
    return status;
}

LSTATUS WINAPI FallbackRegDeleteValue(HKEY key, LPCWSTR name) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, name)) return ERROR_NOT_ENOUGH_MEMORY;
    LSTATUS status = ::RegDeleteValueA(key, a.text[0]);
    FreeNarrowTexts(&a);
    return status;
}

HINSTANCE WINAPI FallbackShellExecute(HWND window, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                                      LPCWSTR directory, INT show) {
    NarrowTexts a;
    // ShellExecute reports failure as a value of 32 or less.
    if (!NarrowTextArgs(&a, operation, file, parameters, directory))
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_OOM));
    HINSTANCE result = ::ShellExecuteA(window, a.text[0], a.text[1], a.text[2], a.text[3], show);
    FreeNarrowTexts(&a);
    return result;
}

BOOL WINAPI FallbackRemoveFontResource(LPCWSTR file) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, file)) return FALSE;
    BOOL ok = ::RemoveFontResourceA(a.text[0]);
    FreeNarrowTexts(&a);
    return ok;
}
