// Font deregistration and the reader of a font's full name from its sfnt name table.
// Every failure is silent: without a name only the resource removal and the broadcast happen.
#include "removal/fonts.h"
#include "data/file_ops.h"
#include "data/memory_ops.h"
#include "data/path_buffer.h"
#include "platform/api_table.h"
#include "platform/wow64.h"

static const WCHAR kFontValueSuffix[] = L" (TrueType)";
static const DWORD kMaxTableRecords = 40;
static const WORD kPlatformMacintosh = 1;
static const WORD kNameFullName = 4;

const WCHAR* FontsKeyPath(bool nt) {
    return nt ? L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"
              : L"Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
}

static WORD BigEndian16(const BYTE* p) { return static_cast<WORD>((p[0] << 8) | p[1]); }
static DWORD BigEndian32(const BYTE* p) {
    return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) | (static_cast<DWORD>(p[2]) << 8) | p[3];
}

static bool ReadAt(HANDLE file, ULONGLONG position, void* buffer, DWORD cb) {
    return SetFilePos(file, position) == position && ReadExact(file, buffer, cb);
}

// The name table's offset from the first kMaxTableRecords table records; false when absent.
static bool FindNameTable(HANDLE file, DWORD* offset) {
    BYTE header[12];
    if (!ReadExact(file, header, sizeof(header))) return false;
    DWORD tables = BigEndian16(header + 4);
    if (tables > kMaxTableRecords) tables = kMaxTableRecords;
    for (DWORD i = 0; i < tables; ++i) {
        BYTE record[16];
        if (!ReadExact(file, record, sizeof(record))) return false;
        if (record[0] == 'n' && record[1] == 'a' && record[2] == 'm' && record[3] == 'e') {
            *offset = BigEndian32(record + 8);
            return true;
        }
    }
    return false;
}

// Converts one record's string into name. False when it cannot be read whole or does not fit.
static bool ReadNameString(HANDLE file, ULONGLONG position, DWORD cb, WCHAR* name) {
    char* bytes = nullptr;
    if (!AllocBlock(cb + 1, &bytes)) return true;  // no memory: the name keeps what it held
    bool ok = ReadAt(file, position, bytes, cb);
    if (ok) {
        // Room for the terminator; a name that needs more is refused whole, never cut.
        int cch = cb ? ::MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(cb), name,
                                              static_cast<int>(kFontNameCapacity - 1))
                     : 0;
        if (cch == 0 && cb != 0) ok = false;
        name[ok ? cch : 0] = 0;
    }
    FreeBlock(&bytes);
    return ok;
}

static bool ReadFullNameFromFile(HANDLE file, WCHAR* name) {
    DWORD tableOffset = 0;
    if (!FindNameTable(file, &tableOffset)) return true;
    BYTE header[6];
    if (!ReadAt(file, tableOffset, header, sizeof(header))) return false;
    WORD count = BigEndian16(header + 2);
    ULONGLONG storage = static_cast<ULONGLONG>(tableOffset) + BigEndian16(header + 4);
    ULONGLONG next = static_cast<ULONGLONG>(tableOffset) + sizeof(header);
    for (WORD i = 0; i < count; ++i, next += 12) {
        BYTE record[12];
        if (!ReadAt(file, next, record, sizeof(record))) return false;
        if (BigEndian16(record) != kPlatformMacintosh || BigEndian16(record + 6) != kNameFullName) continue;
        if (!ReadNameString(file, storage + BigEndian16(record + 10), BigEndian16(record + 8), name)) return false;
    }
    return true;
}

void ReadFontFullName(const WCHAR* path, WCHAR* name) {
    name[0] = 0;
    HANDLE file = OpenExistingFile(path, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) return;
    if (!ReadFullNameFromFile(file, name)) name[0] = 0;
    CloseFile(file);
}

void UnregisterFont(const WCHAR* path) {
    WCHAR valueName[kFontNameCapacity + ARRAYSIZE(kFontValueSuffix)];
    ReadFontFullName(path, valueName);
    Platform.ApiTable.RemoveFontResource(path);
    if (valueName[0] && AppendPath(valueName, ARRAYSIZE(valueName), kFontValueSuffix)) {
        HKEY key = nullptr;
        if (Platform.ApiTable.RegOpenKeyEx(HKEY_LOCAL_MACHINE, FontsKeyPath(Platform.IsNT), 0,
                                           KEY_ALL_ACCESS | Platform.RegistryView, &key) == ERROR_SUCCESS) {
            Platform.ApiTable.RegDeleteValue(key, valueName);
            ::RegCloseKey(key);
        }
    }
    Platform.ApiTable.SendMessage(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
}
