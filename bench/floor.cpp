// The floor of the removal benchmark: removes the benchmark installation making, per record,
// exactly the system calls our removal passes must make for it and nothing else, so the bench
// can say how far our program is from the least the work costs: the in-use test (the
// attribute read that tells a read-only file, then the exclusive open and close), the delete,
// the folder removal, and the depth-first key deletion (open, the enumeration that finds no
// subkey, delete, close).
// Usage: floor.exe N INSTALLDIR
#include <windows.h>
#include "layout.h"

// Skips the program's name (quoted or not) and the blanks after it.
static const WCHAR* SkipArgument(const WCHAR* p) {
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const WCHAR* p = SkipArgument(::GetCommandLineW());
    unsigned n = 0;
    while (*p >= L'0' && *p <= L'9') n = n * 10 + static_cast<unsigned>(*p++ - L'0');
    while (*p == L' ') ++p;
    const WCHAR* dir = p;
    size_t cchDir = 0;
    while (dir[cchDir]) ++cchDir;
    // Room for "\d0000\f000000.dat" and the terminator.
    if (cchDir == 0 || cchDir + 20 > MAX_PATH) return 2;

    WCHAR path[MAX_PATH];
    for (size_t i = 0; i < cchDir; ++i) path[i] = dir[i];
    WCHAR* folderPart = path + cchDir;
    *folderPart++ = L'\\';

    // Last to first, as the file pass goes: a folder's files, then the folder's own record.
    for (unsigned folder = FolderCount(n); folder-- > 0;) {
        WCHAR name[16];
        FolderName(folder, name);
        WCHAR* filePart = PutText(folderPart, name);
        unsigned first = folder * kFilesPerFolder;
        unsigned end = first + kFilesPerFolder < n ? first + kFilesPerFolder : n;
        for (unsigned file = end; file-- > first;) {
            *filePart = L'\\';
            FileName(file, filePart + 1);
            ::GetFileAttributesW(path);
            HANDLE h = ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                ::CloseHandle(h);
                ::DeleteFileW(path);
            }
        }
        *filePart = 0;
        ::RemoveDirectoryW(path);
    }
    for (unsigned key = 0; key < KeyCount(n); ++key) {
        WCHAR keyPath[32];
        KeyPath(key, keyPath);
        HKEY opened = nullptr;
        if (::RegOpenKeyExW(kBenchRoot, keyPath, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, &opened) != ERROR_SUCCESS)
            continue;
        WCHAR subkey[256];
        DWORD cchSubkey = ARRAYSIZE(subkey);
        if (::RegEnumKeyExW(opened, 0, subkey, &cchSubkey, nullptr, nullptr, nullptr, nullptr) == ERROR_NO_MORE_ITEMS)
            ::RegDeleteKeyW(kBenchRoot, keyPath);
        ::RegCloseKey(opened);
    }
    return 0;
}
