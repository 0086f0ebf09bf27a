// The appended uninstall data: the chunk stream after DataOffset and its loader, which hands
// each chunk to the reader of its kind. The program file is open only while loading.
#pragma once
#include <windows.h>

#include "data/data_format.h"

struct FileEntry;
struct ShortcutEntry;
struct RegistryEntry;

// The loaded uninstall data, from LoadUninstallData to ReleaseUninstallData. Written only by the
// loader's chunk readers and by the release, which leaves every slot null and every count 0; the
// run and the passes read them (install_records.h, message_table.h).
struct LoadedData {
    // Table 0: n + 1 text pointers, the last null; each text is its own block. Null: none loaded.
    WCHAR** MessageTable;
    FileEntry** FileEntries;
    DWORD FileEntryCount;
    ShortcutEntry** ShortcutEntries;
    DWORD ShortcutEntryCount;
    RegistryEntry** RegistryEntries;
    DWORD RegistryEntryCount;
    // The block as stored (not zero-filled), or null. After a successful load it is never null,
    // and both offsets are 0 or name a text whose terminator lies inside the block.
    RunSettingsHeader* RunSettings;
    DWORD RunSettingsSize;  // bytes in the block
};
extern LoadedData Data;

// Chunk reader results; the run reports 7 and 8 with the messages kMessageOutOfMemory and
// kMessageDamaged, and its log notes the number.
enum ReadResult : int {
    kReadOk = 0,
    kReadNoData = 1,  // the loader's only: nothing to read, and no message is shown for it
    kReadOutOfMemory = 7,
    kReadDamaged = 8,
};

// Reads the stream up to its end chunk and shows nothing. kReadOk when loaded; kReadNoData when
// there is no data (DataOffset 0) or the program's path or file is unavailable; 7 when memory
// ran out or 8 when the data are damaged.
// The program's file is closed again on return. What was loaded before a failure is released
// by ReleaseUninstallData.
ReadResult LoadUninstallData();
