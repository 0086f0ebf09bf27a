// Self-removal and deletion at restart. Owns the temporary copy's handles and the WININIT.INI
// block of one call. Never starts a copy whose program bytes are incomplete or were changed
// after writing, never writes over an existing file or a name that had to be cut, and never
// patches a WININIT.INI line other than its own.
#include "run/self_removal.h"
#include "data/data_locator.h"
#include "data/file_ops.h"
#include "data/memory_ops.h"
#include "data/path_buffer.h"
#include "platform/api_table.h"
#include "removal/primitives.h"
#include "run/run_log.h"

const DWORD kParametersCapacity = kSelfRemovalNamesCapacity - kPathCapacity;
const int kHelperAttempts = 12;

// Writes pattern with its first "%d" replaced by number (not negative) into name, which holds
// cchName characters with the terminator. False when the result does not fit. Written out
// here rather than taken from the C library, whose DLL older systems lack.
static bool FormatTempName(WCHAR* name, int cchName, const WCHAR* pattern, int number) {
    WCHAR digits[12];
    int cchDigits = 0;
    do {
        digits[cchDigits++] = static_cast<WCHAR>(L'0' + number % 10);
        number /= 10;
    } while (number > 0);
    bool replaced = false;
    int at = 0;
    for (const WCHAR* p = pattern; *p; ++p) {
        if (!replaced && p[0] == L'%' && p[1] == L'd') {
            replaced = true;
            ++p;
            for (int i = cchDigits; i > 0; --i) {
                if (at + 1 >= cchName) return false;
                name[at++] = digits[i - 1];
            }
            continue;
        }
        if (at + 1 >= cchName) return false;
        name[at++] = *p;
    }
    name[at] = 0;
    return true;
}

static bool SameBytes(const void* a, const void* b, size_t cb) {
    const BYTE* x = static_cast<const BYTE*>(a);
    const BYTE* y = static_cast<const BYTE*>(b);
    for (size_t i = 0; i < cb; ++i)
        if (x[i] != y[i]) return false;
    return true;
}

HANDLE CreateTempCopyFile(WCHAR* buffer, const WCHAR* pattern) {
    for (int i = 1; i <= kMaxTempCopyNumber; ++i) {
        DWORD cch = Platform.ApiTable.GetTempPath(kPathCapacity, buffer);
        if (cch == 0 || cch >= kPathCapacity) {
            buffer[0] = 0;
            return INVALID_HANDLE_VALUE;
        }
        WCHAR name[32];
        if (!FormatTempName(name, ARRAYSIZE(name), pattern, i)) return INVALID_HANDLE_VALUE;
        // A cut name could be an existing file that CREATE_ALWAYS would empty.
        if (!AppendBackslash(buffer, kPathCapacity) || !AppendPath(buffer, kPathCapacity, name))
            return INVALID_HANDLE_VALUE;

        WIN32_FIND_DATAW found;
        HANDLE search = Platform.ApiTable.FindFirstFile(buffer, &found);
        if (search != INVALID_HANDLE_VALUE) {
            ::FindClose(search);
            continue;
        }
        // Only a file this call creates: a name that appeared since the check above (planted
        // in the user's temporary folder, perhaps as a link) fails here and the next is tried.
        HANDLE file =
            Platform.ApiTable.CreateFile(buffer, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// The place of "xyz=<path>" as a whole line, or -1. A match inside another key or a longer
// path is some other entry and must stay as it is.
static LONGLONG FindPlaceholderLine(const char* bytes, LONGLONG cb, const char* path, size_t cbPath) {
    static const char kKey[] = "xyz=";
    const LONGLONG cbLine = 4 + static_cast<LONGLONG>(cbPath);
    for (LONGLONG at = 0; at + cbLine <= cb; ++at) {
        if (at > 0 && bytes[at - 1] != '\n') continue;
        if (!SameBytes(bytes + at, kKey, 4) || !SameBytes(bytes + at + 4, path, cbPath)) continue;
        if (at + cbLine < cb && bytes[at + cbLine] != '\r' && bytes[at + cbLine] != '\n') continue;
        return at;
    }
    return -1;
}

// The profile calls cannot write a key named NUL (the Rename section's key for "delete"), so
// the line goes in under a placeholder whose three bytes are then replaced in the file.
static void RenamePlaceholder(const WCHAR* iniPath, const WCHAR* shortPath) {
    char path[kPathCapacity];
    int cbPath = ::WideCharToMultiByte(CP_ACP, 0, shortPath, -1, path, sizeof(path), nullptr, nullptr);
    if (cbPath <= 1) return;  // an empty or unconvertible path would match some other line
    HANDLE ini = OpenExistingFile(iniPath, GENERIC_READ | GENERIC_WRITE);
    if (ini == INVALID_HANDLE_VALUE) return;
    LONGLONG cb = GetFileSize32(ini);
    char* block = nullptr;
    if (cb > 4 && AllocBlock(static_cast<SIZE_T>(cb), &block)) {
        if (ReadExact(ini, block, static_cast<DWORD>(cb))) {
            LONGLONG at = FindPlaceholderLine(block, cb, path, static_cast<size_t>(cbPath - 1));
            if (at >= 0) {
                memcpy(block + at, "NUL", 3);
                if (SetFilePos(ini, 0) != kInvalidFilePos) WriteExact(ini, block, static_cast<DWORD>(cb));
            }
        }
        FreeBlock(&block);
    }
    CloseFile(ini);
}

bool DeleteAtRestart(const WCHAR* path) {
    if (Platform.IsNT) return ::MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;

    // Without its short form the line would name some other file, or none.
    WCHAR shortPath[kPathCapacity];
    DWORD cchShort = Platform.ApiTable.GetShortPathName(path, shortPath, kPathCapacity);
    if (cchShort == 0 || cchShort >= kPathCapacity) return false;
    WCHAR iniPath[kPathCapacity];
    UINT cchWindows = Platform.ApiTable.GetWindowsDirectory(iniPath, kPathCapacity);
    if (cchWindows == 0 || cchWindows >= kPathCapacity || !JoinPath(iniPath, kPathCapacity, L"WININIT.INI"))
        return false;
    if (!Platform.ApiTable.WritePrivateProfileString(L"Rename", L"xyz", shortPath, iniPath)) return false;
    // Makes the profile code write the file out now, before its bytes are patched.
    Platform.ApiTable.WritePrivateProfileString(nullptr, nullptr, nullptr, iniPath);
    RenamePlaceholder(iniPath, shortPath);
    return true;
}

// Copies the first cb bytes of own into copy. False when any byte is missing. The bytes stay
// in *block (the caller frees it) for the check of the reopened copy.
static bool CopyProgramPart(HANDLE own, HANDLE copy, DWORD cb, BYTE** block) {
    if (SetFilePos(own, 0) != 0) return false;
    if (!AllocBlock(cb, block)) return false;
    return ReadExact(own, *block, cb) && WriteExact(copy, *block, cb);
}

// True when file holds exactly the cb bytes of block, and nothing after them.
static bool HoldsExactly(HANDLE file, const BYTE* block, DWORD cb) {
    if (GetFileSize32(file) != static_cast<LONGLONG>(cb) || SetFilePos(file, 0) != 0) return false;
    // Small enough for the caller's frame to stay within one page of stack.
    BYTE chunk[1024];
    for (DWORD at = 0; at < cb;) {
        DWORD n = cb - at < sizeof(chunk) ? cb - at : static_cast<DWORD>(sizeof(chunk));
        if (!ReadExact(file, chunk, n) || !SameBytes(chunk, block + at, n)) return false;
        at += n;
    }
    return true;
}

bool StartSelfRemoval() {
    WCHAR names[kSelfRemovalNamesCapacity];
    WCHAR* tempPath = names;
    WCHAR* parameters = names + kPathCapacity;
    HANDLE copy = CreateTempCopyFile(tempPath, L"_uins%d.exe");
    if (copy == INVALID_HANDLE_VALUE) return false;
    DeleteAtRestart(tempPath);

    DWORD cchOwn = Platform.ApiTable.GetModuleFileName(Platform.ModuleInstance, Paths.WorkPath, kPathCapacity);
    HANDLE own = INVALID_HANDLE_VALUE;
    if (cchOwn != 0 && cchOwn < kPathCapacity) own = OpenExistingFile(Paths.WorkPath, GENERIC_READ);
    if (own == INVALID_HANDLE_VALUE) {
        CloseFile(copy);
        return false;
    }
    DWORD cbProgram = DataOffset();
    BYTE* block = nullptr;
    bool whole = cbProgram != 0 && CopyProgramPart(own, copy, cbProgram, &block);
    CloseFile(own);
    // Data not yet on disk can still fail to be written when the file is closed.
    if (!CloseFile(copy)) whole = false;

    // The system cannot start a program that is open for writing, so the copy is reopened for
    // reading only, denying writing, renaming and deleting to everyone else until it has been
    // started. What it holds is checked under that handle: another process of the user could
    // have replaced it in the moment between the two opens.
    HANDLE held = INVALID_HANDLE_VALUE;
    if (whole) {
        held = OpenExistingFile(tempPath, GENERIC_READ);
        whole = held != INVALID_HANDLE_VALUE && HoldsExactly(held, block, cbProgram);
    }
    FreeBlock(&block);

    parameters[0] = 0;
    bool started = whole && AppendPath(parameters, kParametersCapacity, L"/D\"") &&
                   AppendPath(parameters, kParametersCapacity, Paths.WorkPath) &&
                   AppendPath(parameters, kParametersCapacity, L"\"");
    if (started) {
        LogPrint(tempPath, "self-removal copy started: ");
        Platform.ApiTable.ShellExecute(nullptr, L"open", tempPath, parameters, nullptr, SW_HIDE);
    }
    if (held != INVALID_HANDLE_VALUE) CloseFile(held);
    return started;
}

void RemovalHelperMode(WCHAR* path) {
    for (int attempt = 0; attempt < kHelperAttempts; ++attempt) {
        if (RemoveFile(path) == FileOk) break;
        ::Sleep(1000);
    }
    int cut = LastBackslash(path, PathLength(path));
    if (cut < 0) return;
    CutPath(path, static_cast<size_t>(cut));
    // An uninstaller kept in a drive root or in a shell folder leaves that folder empty too.
    if (IsProtectedFolder(path)) return;
    RemoveDir(path);
}
