// The install records (files, shortcuts, registry entries) and the RunSettings block, their
// chunk readers and their release. The lists (Data, uninstall_data.h) are filled by
// LoadUninstallData and read by the run and the removal passes, which never change them.
#pragma once
#include <windows.h>

#include "data/data_format.h"
#include "data/uninstall_data.h"

// Each record is one zero-filled block: these fields, then its zero-terminated texts, which
// the text fields point to.
struct FileEntry {
    WCHAR* directory;  // "." or ".\..." is relative to InstallDir
    WCHAR* fileName;   // empty: a directory record
    BYTE flags;
};
struct ShortcutEntry {
    DWORD levels;  // parent folders that may go too when empty
    WCHAR* firstFolder;
    WCHAR* secondFolder;
    WCHAR* fileName;  // empty: no shortcut file to delete
};
struct RegistryEntry {
    DWORD root;  // predefined key handle value, e.g. 0x80000002 for HKEY_LOCAL_MACHINE
    WCHAR* path;
};

// The text at a non-zero offset of RunSettings, or null for offset 0 or no block. The text may
// lie at an odd address when the writer put it there.
const WCHAR* RunSettingsText(DWORD offset);
inline const WCHAR* PreRemovalCommandText() {
    return Data.RunSettings ? RunSettingsText(Data.RunSettings->commandOffset) : nullptr;
}
inline const WCHAR* FinishPageText() {
    return Data.RunSettings ? RunSettingsText(Data.RunSettings->finishPageOffset) : nullptr;
}

// True when a block of cb bytes is a RunSettings block the run may use (see Data.RunSettings).
bool IsValidRunSettingsBlock(const BYTE* block, DWORD cb);

// Chunk readers for the three lists (file at the payload's first byte): 0, 7 (memory) or 8
// (a read failed or came back short, a record's texts exceed the staging limit, or the count
// cannot be addressed). Records read before a failure stay in the list and are counted.
ReadResult ReadFileListChunk(HANDLE file);
ReadResult ReadShortcutListChunk(HANDLE file);
ReadResult ReadRegistryListChunk(HANDLE file);

// Frees the registry, shortcut and file records and arrays, the RunSettings block and the
// message table; leaves every list empty and every slot null. Safe after a failed load.
void ReleaseUninstallData();
