// Registry pass and the recursive key deletion it uses on NT, where RegDeleteKey removes
// only a key without subkeys. Every registry call but RegCloseKey goes through ApiTable; the
// result of each record's deletion goes to the run's log.
#include "removal/registry_pass.h"
#include "data/install_records.h"
#include "data/path_buffer.h"
#include "data/system_registry.h"
#include "platform/api_table.h"
#include "platform/wow64.h"
#include "removal/progress.h"

// WCHARs of the subkey name buffer, terminator included; key names are at most 255.
const DWORD kKeyNameCapacity = 1024;

// A plain RegDeleteKeyW(HKLM, "Software\X") from a 32-bit process deletes the key's namesake in
// the 32-bit view (seen in a 64-bit Wine 8 prefix: Software\Wow6432Node\X went, the 64-bit X
// stayed); below a handle opened in the 64-bit view it deletes in that view. Without
// RegDeleteKeyExW (before Vista) the key therefore goes through its own handle, opened in the
// 64-bit view, with an empty subkey, which names that key itself (Wine and Windows alike).
static LONG DeleteKeyIn64BitView(HKEY root, const WCHAR* subkey, HKEY key) {
    if (Platform.Wow64.RegDeleteKeyEx) return Platform.Wow64.RegDeleteKeyEx(root, subkey, KEY_WOW64_64KEY, 0);
    return Platform.ApiTable.RegDeleteKey(key, L"");
}

LONG DeleteKeyTree(HKEY root, const WCHAR* subkey) {
    if (!subkey || !subkey[0]) return ERROR_BADKEY;
    HKEY key = NULL;
    LONG result =
        Platform.ApiTable.RegOpenKeyEx(root, subkey, 0, DELETE | KEY_ENUMERATE_SUB_KEYS | Platform.RegistryView, &key);
    if (result != ERROR_SUCCESS) return result;
    for (;;) {
        WCHAR name[kKeyNameCapacity];
        DWORD cchName = kKeyNameCapacity;
        // Always index 0: each subkey found is gone before the next enumeration.
        result = Platform.ApiTable.RegEnumKeyEx(key, 0, name, &cchName, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            result = Platform.RegistryView ? DeleteKeyIn64BitView(root, subkey, key)
                                           : Platform.ApiTable.RegDeleteKey(root, subkey);
            break;
        }
        if (result != ERROR_SUCCESS) break;
        result = DeleteKeyTree(key, name);
        if (result != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    return result;
}

// Index of the first backslash of the pair that separates a value's key from its name, or -1
// when the path names a key.
static int ValueSeparator(const WCHAR* path) {
    int last = LastBackslash(path, PathLength(path));
    if (last <= 0 || path[last - 1] != L'\\') return -1;
    return last - 1;
}

// The result of the open, or of the deletion once the key is open.
static LONG DeleteRecordedValue(HKEY root, WCHAR* path, int separator) {
    path[separator] = 0;
    HKEY key = NULL;
    LONG result = Platform.ApiTable.RegOpenKeyEx(root, path, 0, KEY_ALL_ACCESS | Platform.RegistryView, &key);
    if (result == ERROR_SUCCESS) {
        result = Platform.ApiTable.RegDeleteValue(key, path + separator + 2);
        RegCloseKey(key);
    }
    path[separator] = L'\\';
    return result;
}

void RemoveRegistryEntries() {
    for (DWORD i = 0; i < Data.RegistryEntryCount; ++i) {
        RegistryEntry* entry = Data.RegistryEntries[i];
        HKEY root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(entry->root));
        DWORD kind = RegistryRecordKind(kRecordKey, entry->root);
        WCHAR* path = entry->path;
        if (path[0]) {
            size_t cch = PathLength(path);
            int separator = ValueSeparator(path);
            if (separator >= 0) {
                DWORD valueKind = kind + (kRecordValue - kRecordKey);
                // A value Windows needs stays, whoever wrote the record.
                if (IsSystemOwnedRegistry<WCHAR>(entry->root, path, separator, path + separator + 2,
                                                 cch - separator - 2))
                    ReportRecord(valueKind, kRecordKeptProtected, 0, path);
                else
                    ReportRemoval(valueKind, DeleteRecordedValue(root, path, separator), path);
                // On purpose a value record reports no progress: only key records and empty
                // ones move the bar. The steps it leaves are made up by the run's final 100.
                continue;
            }
            if (IsSystemOwnedRegistry<WCHAR>(entry->root, path, cch, nullptr, 0)) {
                // A key that is or holds one of Windows' own stays, whoever wrote the record.
                ReportRecord(kind, kRecordKeptProtected, 0, path);
            } else {
                // The 9x RegDeleteKey removes the subkeys too; there the table holds its narrow form.
                ReportRemoval(
                    kind, Platform.IsNT ? DeleteKeyTree(root, path) : Platform.ApiTable.RegDeleteKey(root, path), path);
            }
        }
        ReportProgress(RegistryPassBase() + i);
    }
}
