// Converting fallbacks of the path, module, directory-search, dialog, profile, message and
// version entries. Narrow paths arrive in a local buffer of MAX_PATH bytes; a path that does
// not fit the caller's buffer is cut, terminated and reported as the wide call reports it.
#include "platform/narrow_fallbacks.h"
#include "platform/system_library.h"

static const DWORD kNarrowPath = MAX_PATH;

static char* AllocNarrowBuffer(DWORD cb) {
    return static_cast<char*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, cb));
}

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

DWORD WINAPI FallbackGetShortPathName(LPCWSTR longPath, LPWSTR shortPath, DWORD cchShortPath) {
    char* longA;
    if (!NarrowArg(longPath, &longA)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    char narrow[kNarrowPath];
    narrow[0] = 0;
    DWORD result = ::GetShortPathNameA(longA, narrow, kNarrowPath);
    FreeNarrow(longA);
    return DeliverPath(result, narrow, shortPath, cchShortPath);
}

DWORD WINAPI FallbackGetFullPathName(LPCWSTR name, DWORD cchBuffer, LPWSTR buffer, LPWSTR* filePart) {
    char* nameA;
    if (!NarrowArg(name, &nameA)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    char narrow[kNarrowPath];
    narrow[0] = 0;
    char* narrowPart = nullptr;
    DWORD result = ::GetFullPathNameA(nameA, kNarrowPath, narrow, &narrowPart);
    FreeNarrow(nameA);
    DWORD cch = DeliverPath(result, narrow, buffer, cchBuffer);
    if (filePart) {
        // The file part starts at the same character, which is a different index once a
        // double-byte character precedes it.
        bool fits = result != 0 && result < kNarrowPath && cch < cchBuffer;
        *filePart = (fits && narrowPart) ? buffer + WideIndex(narrow, static_cast<int>(narrowPart - narrow)) : nullptr;
    }
    return cch;
}

DWORD WINAPI FallbackGetCurrentDirectory(DWORD cchBuffer, LPWSTR buffer) {
    char narrow[kNarrowPath];
    narrow[0] = 0;
    DWORD result = ::GetCurrentDirectoryA(kNarrowPath, narrow);
    return DeliverPath(result, narrow, buffer, cchBuffer);
}

UINT WINAPI FallbackDragQueryFile(HDROP drop, UINT index, LPWSTR buffer, UINT cchBuffer) {
    if (index == 0xFFFFFFFF || !buffer || cchBuffer == 0) return ::DragQueryFileA(drop, index, nullptr, 0);
    char narrow[kNarrowPath];
    ::ZeroMemory(narrow, sizeof(narrow));
    UINT result = ::DragQueryFileA(drop, index, narrow, cchBuffer < kNarrowPath ? cchBuffer : kNarrowPath);
    buffer[0] = 0;
    if (result == 0) return 0;
    narrow[kNarrowPath - 1] = 0;
    UINT cch = static_cast<UINT>(WidenInto(buffer, narrow, static_cast<int>(cchBuffer)));
    return cch < cchBuffer ? cch : cchBuffer - 1;
}

BOOL WINAPI FallbackSetCurrentDirectory(LPCWSTR path) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, path)) return FALSE;
    BOOL ok = ::SetCurrentDirectoryA(a.text[0]);
    FreeNarrowTexts(&a);
    return ok;
}

BOOL WINAPI FallbackCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, path)) return FALSE;
    BOOL ok = ::CreateDirectoryA(a.text[0], security);
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

UINT WINAPI FallbackGetDriveType(LPCWSTR root) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, root)) return DRIVE_UNKNOWN;
    UINT type = ::GetDriveTypeA(a.text[0]);
    FreeNarrowTexts(&a);
    return type;
}

HMODULE WINAPI FallbackLoadLibrary(LPCWSTR name) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, name)) return nullptr;
    HMODULE module = ::LoadLibraryA(a.text[0]);
    FreeNarrowTexts(&a);
    return module;
}

BOOL WINAPI FallbackCopyFile(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, from, to)) return FALSE;
    BOOL ok = ::CopyFileA(a.text[0], a.text[1], failIfExists);
    FreeNarrowTexts(&a);
    return ok;
}

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

BOOL WINAPI FallbackFindNextFile(HANDLE find, LPWIN32_FIND_DATAW data) {
    WIN32_FIND_DATAA narrow;
    ::ZeroMemory(&narrow, sizeof(narrow));
    BOOL ok = ::FindNextFileA(find, &narrow);
    if (ok && data) CopyFindData(narrow, data);
    return ok;
}

// Byte length of a narrow list of strings with one of its two final zeros ("a\0b\0"),
// looking at no more than cbMax bytes.
static int NarrowListLength(const char* list, int cbMax) {
    int cb = 0;
    while (cb < cbMax && (list[cb] || (cb + 1 < cbMax && list[cb + 1]))) ++cb;
    return cb < cbMax ? cb + 1 : cbMax;
}

// A caller's in/out text buffer of cch characters, handed to the narrow call as cch+1
// zero-filled bytes.
static bool NarrowInOut(LPWSTR text, DWORD cch, char** narrow) {
    *narrow = nullptr;
    if (!text || cch == 0) return true;
    *narrow = AllocNarrowBuffer(cch + 1);
    if (!*narrow) return false;
    NarrowInto(*narrow, text, static_cast<int>(cch));
    return true;
}

// Bound at run time, so the program has no static import that brings in the common controls.
static BOOL NarrowGetOpenFileName(LPOPENFILENAMEA ofn) {
    auto fn = CastProc<decltype(&::GetOpenFileNameA)>(CommonDialogExport("GetOpenFileNameA"));
    return fn ? fn(ofn) : FALSE;
}

BOOL WINAPI FallbackGetOpenFileName(LPOPENFILENAMEW ofn) {
    if (!ofn) return NarrowGetOpenFileName(nullptr);
    OPENFILENAMEA narrow;
    ::ZeroMemory(&narrow, sizeof(narrow));
    char* filter = nullptr;
    char* customFilter = nullptr;
    char* file = nullptr;
    char* fileTitle = nullptr;
    char* initialDir = nullptr;
    char* title = nullptr;
    char* defExt = nullptr;
    char* templateName = nullptr;
    bool converted = true;
    if (ofn->lpstrFilter) {
        filter = NarrowDupList(ofn->lpstrFilter);
        converted = filter != nullptr;
    }
    converted = NarrowInOut(ofn->lpstrCustomFilter, ofn->nMaxCustFilter, &customFilter) && converted;
    converted = NarrowInOut(ofn->lpstrFile, ofn->nMaxFile, &file) && converted;
    converted = NarrowInOut(ofn->lpstrFileTitle, ofn->nMaxFileTitle, &fileTitle) && converted;
    converted = NarrowArg(ofn->lpstrInitialDir, &initialDir) && converted;
    converted = NarrowArg(ofn->lpstrTitle, &title) && converted;
    converted = NarrowArg(ofn->lpstrDefExt, &defExt) && converted;
    if (!IS_INTRESOURCE(ofn->lpTemplateName)) converted = NarrowArg(ofn->lpTemplateName, &templateName) && converted;

    BOOL ok = FALSE;
    if (converted) {
        narrow.lStructSize = ofn->lStructSize < sizeof(narrow) ? ofn->lStructSize : sizeof(narrow);
        narrow.hwndOwner = ofn->hwndOwner;
        narrow.hInstance = ofn->hInstance;
        narrow.lpstrFilter = filter;
        narrow.lpstrCustomFilter = customFilter;
        narrow.nMaxCustFilter = customFilter ? ofn->nMaxCustFilter : 0;
        narrow.nFilterIndex = ofn->nFilterIndex;
        narrow.lpstrFile = file;
        narrow.nMaxFile = file ? ofn->nMaxFile : 0;
        narrow.lpstrFileTitle = fileTitle;
        narrow.nMaxFileTitle = fileTitle ? ofn->nMaxFileTitle : 0;
        narrow.lpstrInitialDir = initialDir;
        narrow.lpstrTitle = title;
        narrow.Flags = ofn->Flags;
        narrow.lpstrDefExt = defExt;
        narrow.lCustData = ofn->lCustData;
        narrow.lpfnHook = ofn->lpfnHook;
        narrow.lpTemplateName = IS_INTRESOURCE(ofn->lpTemplateName)
                                    ? reinterpret_cast<const char*>(ofn->lpTemplateName)
                                    : templateName;
        ok = NarrowGetOpenFileName(&narrow);
    }
    if (ok) {
        // With multiple selection the file buffer holds a list: the folder, then the names.
        if (file) {
            WidenBytesInto(ofn->lpstrFile, file, NarrowListLength(file, static_cast<int>(ofn->nMaxFile)),
                           static_cast<int>(ofn->nMaxFile));
            ofn->nFileOffset = static_cast<WORD>(WideIndex(file, narrow.nFileOffset));
            ofn->nFileExtension = static_cast<WORD>(WideIndex(file, narrow.nFileExtension));
        }
        if (customFilter)
            WidenBytesInto(ofn->lpstrCustomFilter, customFilter,
                           NarrowListLength(customFilter, static_cast<int>(ofn->nMaxCustFilter)),
                           static_cast<int>(ofn->nMaxCustFilter));
        if (fileTitle) WidenInto(ofn->lpstrFileTitle, fileTitle, static_cast<int>(ofn->nMaxFileTitle));
        ofn->nFilterIndex = narrow.nFilterIndex;
        ofn->Flags = narrow.Flags;
    }
    FreeNarrow(templateName);
    FreeNarrow(defExt);
    FreeNarrow(title);
    FreeNarrow(initialDir);
    FreeNarrow(fileTitle);
    FreeNarrow(file);
    FreeNarrow(customFilter);
    FreeNarrow(filter);
    return ok;
}

DWORD WINAPI FallbackGetPrivateProfileString(LPCWSTR section, LPCWSTR key, LPCWSTR defaultText, LPWSTR buffer,
                                             DWORD cchBuffer, LPCWSTR file) {
    ClearText(buffer, cchBuffer);
    if (!buffer || cchBuffer == 0) return 0;
    char* sectionA;
    char* keyA;
    char* defaultA;
    char* fileA;
    bool converted = NarrowArg(section, &sectionA);
    converted = NarrowArg(key, &keyA) && converted;
    converted = NarrowArg(defaultText, &defaultA) && converted;
    converted = NarrowArg(file, &fileA) && converted;
    char* narrow = converted ? AllocNarrowBuffer(cchBuffer + 1) : nullptr;
    DWORD cch = 0;
    if (narrow) {
        DWORD cb = ::GetPrivateProfileStringA(sectionA, keyA, defaultA, narrow, cchBuffer, fileA);
        // Without a section or key the result is a list ("a\0b\0\0"), which keeps both zeros.
        bool list = !section || !key;
        int cchRoom = static_cast<int>(list ? cchBuffer - 1 : cchBuffer);
        if (cb > 0 && cchRoom > 0) {
            int full = WidenBytesInto(buffer, narrow, static_cast<int>(cb), cchRoom);
            cch = static_cast<DWORD>(full < cchRoom ? full : cchRoom - 1);
            if (list) buffer[cch + 1] = 0;
        }
    }
    FreeNarrow(narrow);
    FreeNarrow(fileA);
    FreeNarrow(defaultA);
    FreeNarrow(keyA);
    FreeNarrow(sectionA);
    return cch;
}

BOOL WINAPI FallbackWritePrivateProfileString(LPCWSTR section, LPCWSTR key, LPCWSTR text, LPCWSTR file) {
    // A null key deletes the section and a null text the key, so null stays null.
    NarrowTexts a;
    if (!NarrowTextArgs(&a, section, key, text, file)) return FALSE;
    BOOL ok = ::WritePrivateProfileStringA(a.text[0], a.text[1], a.text[2], a.text[3]);
    FreeNarrowTexts(&a);
    return ok;
}

DWORD WINAPI FallbackFormatMessage(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                                   DWORD cchBuffer, va_list* arguments) {
    char* sourceA = nullptr;
    if (flags & FORMAT_MESSAGE_FROM_STRING) {
        if (!NarrowArg(static_cast<const WCHAR*>(source), &sourceA)) {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        source = sourceA;
    }
    DWORD result = 0;
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        // The caller frees what it gets with LocalFree, so the wide copy is a local block too.
        char* allocated = nullptr;
        DWORD cb = ::FormatMessageA(flags, source, messageId, languageId, reinterpret_cast<LPSTR>(&allocated),
                                    cchBuffer, arguments);
        if (buffer) *reinterpret_cast<LPWSTR*>(buffer) = nullptr;
        if (cb && allocated && buffer) {
            int cch = WideIndex(allocated, static_cast<int>(cb));
            DWORD cchBlock = static_cast<DWORD>(cch) + 1 > cchBuffer ? static_cast<DWORD>(cch) + 1 : cchBuffer;
            WCHAR* wide = static_cast<WCHAR*>(::LocalAlloc(LMEM_FIXED, cchBlock * sizeof(WCHAR)));
            if (wide) {
                WidenBytesInto(wide, allocated, static_cast<int>(cb), static_cast<int>(cchBlock));
                *reinterpret_cast<LPWSTR*>(buffer) = wide;
                result = static_cast<DWORD>(cch);
            } else {
                ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            }
        }
        if (allocated) ::LocalFree(allocated);
    } else if (buffer && cchBuffer) {
        buffer[0] = 0;
        char* narrow = AllocNarrowBuffer(cchBuffer + 1);
        if (narrow) {
            DWORD cb = ::FormatMessageA(flags, source, messageId, languageId, narrow, cchBuffer, arguments);
            DWORD error = ::GetLastError();
            if (cb) {
                int cch = WidenBytesInto(buffer, narrow, static_cast<int>(cb), static_cast<int>(cchBuffer));
                if (static_cast<DWORD>(cch) < cchBuffer) {
                    result = static_cast<DWORD>(cch);
                } else {
                    error = ERROR_INSUFFICIENT_BUFFER;
                }
            }
            if (!result) ::SetLastError(error);
            FreeNarrow(narrow);
        } else {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        }
    } else {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    }
    FreeNarrow(sourceA);
    return result;
}

BOOL WINAPI FallbackCharToOem(LPCWSTR source, LPSTR destination) {
    char* narrow;
    if (!NarrowArg(source, &narrow) || !narrow) return FALSE;
    BOOL ok = ::CharToOemA(narrow, destination);
    FreeNarrow(narrow);
    return ok;
}

// version.dll's narrow exports, bound on first use from the system directory: a static
// import would let a DLL planted beside an elevated program be loaded in its place.
static FARPROC BindNarrowVersionExport(const char* name) {
    static HMODULE versionModule = nullptr;
    if (!versionModule) {
        char path[kNarrowPath];
        static const char kName[] = "\\version.dll";
        UINT cb = ::GetSystemDirectoryA(path, kNarrowPath);
        if (cb == 0 || cb + sizeof(kName) > kNarrowPath) return nullptr;
        ::CopyMemory(path + cb, kName, sizeof(kName));
        versionModule = ::LoadLibraryA(path);
        if (!versionModule) return nullptr;
    }
    return ::GetProcAddress(versionModule, name);
}

// VerFindFile's two directory results: the caller's capacity in, the length with terminator
// out, and VFF_BUFFTOOSMALL when a result did not fit.
static DWORD DeliverVersionDir(const char* narrow, LPWSTR dir, PUINT cchDir, UINT cchCapacity) {
    if (!dir || !cchDir) return 0;
    int cch = cchCapacity ? WidenInto(dir, narrow, static_cast<int>(cchCapacity)) : WideIndex(narrow, lstrlenA(narrow));
    *cchDir = static_cast<UINT>(cch) + 1;
    return static_cast<UINT>(cch) < cchCapacity ? 0 : VFF_BUFFTOOSMALL;
}

DWORD WINAPI FallbackVerFindFile(DWORD flags, LPWSTR file, LPWSTR windowsDir, LPWSTR appDir, LPWSTR curDir,
                                 PUINT cchCurDir, LPWSTR destDir, PUINT cchDestDir) {
    auto verFindFile = CastProc<decltype(&::VerFindFileA)>(BindNarrowVersionExport("VerFindFileA"));
    if (!verFindFile || !cchCurDir || !cchDestDir) return VFF_BUFFTOOSMALL;
    char* fileA;
    char* windowsDirA;
    char* appDirA;
    bool converted = NarrowArg(file, &fileA);
    converted = NarrowArg(windowsDir, &windowsDirA) && converted;
    converted = NarrowArg(appDir, &appDirA) && converted;
    DWORD result = VFF_BUFFTOOSMALL;
    if (converted) {
        char curA[kNarrowPath];
        char destA[kNarrowPath];
        curA[0] = 0;
        destA[0] = 0;
        UINT cchCurCapacity = *cchCurDir;
        UINT cchDestCapacity = *cchDestDir;
        if (curDir && cchCurCapacity) NarrowInto(curA, curDir, kNarrowPath);
        UINT cbCur = cchCurCapacity < kNarrowPath ? cchCurCapacity : kNarrowPath;
        UINT cbDest = cchDestCapacity < kNarrowPath ? cchDestCapacity : kNarrowPath;
        result = verFindFile(flags, fileA, windowsDirA, appDirA, curA, &cbCur, destA, &cbDest);
        curA[kNarrowPath - 1] = 0;
        destA[kNarrowPath - 1] = 0;
        if (result & VFF_BUFFTOOSMALL) {
            *cchCurDir = cbCur;
            *cchDestDir = cbDest;
        } else {
            result |= DeliverVersionDir(curA, curDir, cchCurDir, cchCurCapacity);
            result |= DeliverVersionDir(destA, destDir, cchDestDir, cchDestCapacity);
        }
    }
    FreeNarrow(appDirA);
    FreeNarrow(windowsDirA);
    FreeNarrow(fileA);
    return result;
}

DWORD WINAPI FallbackGetFileVersionInfoSize(LPCWSTR file, LPDWORD handle) {
    auto getSize = CastProc<decltype(&::GetFileVersionInfoSizeA)>(BindNarrowVersionExport("GetFileVersionInfoSizeA"));
    if (!getSize) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return 0;
    }
    char* narrow;
    if (!NarrowArg(file, &narrow)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    DWORD cb = getSize(narrow, handle);
    FreeNarrow(narrow);
    return cb;
}

BOOL WINAPI FallbackGetFileVersionInfo(LPCWSTR file, DWORD handle, DWORD cbData, LPVOID data) {
    auto getInfo = CastProc<decltype(&::GetFileVersionInfoA)>(BindNarrowVersionExport("GetFileVersionInfoA"));
    if (!getInfo) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    char* narrow;
    if (!NarrowArg(file, &narrow)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    BOOL ok = getInfo(narrow, handle, cbData, data);
    FreeNarrow(narrow);
    return ok;
}

BOOL WINAPI FallbackVerQueryValue(LPCVOID block, LPCWSTR subBlock, LPVOID* value, PUINT cbValue) {
    auto queryValue = CastProc<decltype(&::VerQueryValueA)>(BindNarrowVersionExport("VerQueryValueA"));
    if (!queryValue) return FALSE;
    char* narrow;
    if (!NarrowArg(subBlock, &narrow)) return FALSE;
    BOOL ok = queryValue(block, narrow, value, cbValue);
    FreeNarrow(narrow);
    return ok;
}
