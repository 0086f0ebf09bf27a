// The three install-record lists and the RunSettings slot: their chunk readers, the check of a
// RunSettings block, and the release of everything the loader built. A record is one block:
// its fixed fields, then its texts, each zero-terminated.
#include "data/install_records.h"
#include "data/file_ops.h"
#include "data/memory_ops.h"
#include "data/message_table.h"
#include "data/uninstall_data.h"

// Staging area sizes in units: each kind's text limit plus one terminator per text.
static const DWORD kFileStagingCch = kFileEntryTextLimit + 2;
static const DWORD kShortcutStagingCch = kShortcutEntryTextLimit + 3;
static const DWORD kRegistryStagingCch = kRegistryEntryTextLimit + 1;

// One record's texts, each followed by its terminator, packed from the start.
struct Staging {
    WCHAR* units;
    DWORD capacity;  // units
    DWORD used;      // units, terminators included
};

// Reads a length-prefixed text into the staging area after the previous one. A text that would
// not fit with its terminator is refused (8): the data are not what a writer produces, and
// reading on would overrun the area. *start gets the text's index in the area.
static ReadResult ReadStagedText(HANDLE file, Staging* staging, DWORD* start) {
    WORD cch = 0;
    if (!ReadExact(file, &cch, sizeof(cch))) return kReadDamaged;
    if (static_cast<DWORD>(cch) + 1 > staging->capacity - staging->used) return kReadDamaged;
    *start = staging->used;
    if (cch && !ReadExact(file, staging->units + staging->used, cch * sizeof(WCHAR))) return kReadDamaged;
    staging->units[staging->used + cch] = 0;
    staging->used += cch + 1;
    return kReadOk;
}

// Allocates a record: its fixed fields (zero), then a copy of the staged texts; *texts gets the
// copy's start, where the indexes of ReadStagedText apply.
template <typename Entry>
static ReadResult AllocRecord(const Staging& staging, Entry** record, WCHAR** texts) {
    BYTE* block = nullptr;
    if (!AllocZeroed(sizeof(Entry) + staging.used * sizeof(WCHAR), &block)) return kReadOutOfMemory;
    *texts = reinterpret_cast<WCHAR*>(block + sizeof(Entry));
    CopyMemory(*texts, staging.units, staging.used * sizeof(WCHAR));
    *record = reinterpret_cast<Entry*>(block);
    return kReadOk;
}

static ReadResult ReadFileRecord(HANDLE file, Staging* staging, FileEntry** record) {
    DWORD directory = 0, fileName = 0;
    BYTE flags = 0;
    ReadResult result = ReadStagedText(file, staging, &directory);
    if (result == kReadOk) result = ReadStagedText(file, staging, &fileName);
    if (result == kReadOk && !ReadExact(file, &flags, sizeof(flags))) result = kReadDamaged;
    WCHAR* texts = nullptr;
    if (result == kReadOk) result = AllocRecord(*staging, record, &texts);
    if (result != kReadOk) return result;
    (*record)->directory = texts + directory;
    (*record)->fileName = texts + fileName;
    (*record)->flags = flags;
    return kReadOk;
}

static ReadResult ReadShortcutRecord(HANDLE file, Staging* staging, ShortcutEntry** record) {
    BYTE levels = 0;
    DWORD firstFolder = 0, secondFolder = 0, fileName = 0;
    ReadResult result = ReadExact(file, &levels, sizeof(levels)) ? kReadOk : kReadDamaged;
    if (result == kReadOk) result = ReadStagedText(file, staging, &firstFolder);
    if (result == kReadOk) result = ReadStagedText(file, staging, &secondFolder);
    if (result == kReadOk) result = ReadStagedText(file, staging, &fileName);
    WCHAR* texts = nullptr;
    if (result == kReadOk) result = AllocRecord(*staging, record, &texts);
    if (result != kReadOk) return result;
    (*record)->levels = levels;
    (*record)->firstFolder = texts + firstFolder;
    (*record)->secondFolder = texts + secondFolder;
    (*record)->fileName = texts + fileName;
    return kReadOk;
}

static ReadResult ReadRegistryRecord(HANDLE file, Staging* staging, RegistryEntry** record) {
    DWORD root = 0, path = 0;
    ReadResult result = ReadExact(file, &root, sizeof(root)) ? kReadOk : kReadDamaged;
    if (result == kReadOk) result = ReadStagedText(file, staging, &path);
    WCHAR* texts = nullptr;
    if (result == kReadOk) result = AllocRecord(*staging, record, &texts);
    if (result != kReadOk) return result;
    (*record)->root = root;
    (*record)->path = texts + path;
    return kReadOk;
}

// The list readers share this walk. Each record is counted as soon as it is stored, so after a
// failure ReleaseUninstallData still finds and frees every record read so far.
template <typename Entry>
static ReadResult ReadListChunk(HANDLE file, Entry*** entries, DWORD* count, DWORD stagingCch,
                                ReadResult (*readRecord)(HANDLE, Staging*, Entry**)) {
    DWORD n = 0;
    if (!ReadExact(file, &n, sizeof(n))) return kReadDamaged;
    if (n == 0) return kReadOk;

    const DWORD old = *count;
    // A count whose pointer array would not fit the address space is damage, not a lack of
    // memory; without this the size would wrap and records be written past the array.
    if (n > static_cast<SIZE_T>(-1) / sizeof(Entry*) - old) return kReadDamaged;
    const SIZE_T cbArray = (static_cast<SIZE_T>(old) + n) * sizeof(Entry*);
    if (!*entries) {
        if (!AllocZeroed(cbArray, entries)) return kReadOutOfMemory;
    } else if (!ResizeBlock(cbArray, entries)) {
        return kReadOutOfMemory;
    }

    Staging staging = {nullptr, stagingCch, 0};
    if (!AllocZeroed(stagingCch * sizeof(WCHAR), &staging.units)) return kReadOutOfMemory;
    ReadResult result = kReadOk;
    for (DWORD i = 0; i < n && result == kReadOk; ++i) {
        staging.used = 0;
        ZeroMemory(staging.units, stagingCch * sizeof(WCHAR));
        Entry* record = nullptr;
        result = readRecord(file, &staging, &record);
        if (result == kReadOk) {
            (*entries)[old + i] = record;
            *count = old + i + 1;
        }
    }
    FreeBlock(&staging.units);
    return result;
}

ReadResult ReadFileListChunk(HANDLE file) {
    return ReadListChunk(file, &Data.FileEntries, &Data.FileEntryCount, kFileStagingCch, ReadFileRecord);
}

ReadResult ReadShortcutListChunk(HANDLE file) {
    return ReadListChunk(file, &Data.ShortcutEntries, &Data.ShortcutEntryCount, kShortcutStagingCch,
                         ReadShortcutRecord);
}

ReadResult ReadRegistryListChunk(HANDLE file) {
    return ReadListChunk(file, &Data.RegistryEntries, &Data.RegistryEntryCount, kRegistryStagingCch,
                         ReadRegistryRecord);
}

// A non-zero offset must name a text in the text area whose terminator lies inside the block.
// Units are read bytewise: a writer may have put a text at an odd offset.
static bool IsValidRunSettingsText(const BYTE* block, DWORD cb, DWORD offset) {
    if (offset == 0) return true;
    if (offset < kRunSettingsHeaderSize || offset >= cb) return false;
    for (DWORD at = offset; cb - at >= sizeof(WCHAR); at += sizeof(WCHAR))
        if (block[at] == 0 && block[at + 1] == 0) return true;
    return false;
}

static DWORD ReadU32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
           static_cast<DWORD>(p[3]) << 24;
}

bool IsValidRunSettingsBlock(const BYTE* block, DWORD cb) {
    if (!block || cb < kRunSettingsHeaderSize) return false;
    return IsValidRunSettingsText(block, cb, ReadU32(block + 4)) && IsValidRunSettingsText(block, cb, ReadU32(block + 8));
}

const WCHAR* RunSettingsText(DWORD offset) {
    if (!Data.RunSettings || offset < kRunSettingsHeaderSize || offset >= Data.RunSettingsSize) return nullptr;
    return reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(Data.RunSettings) + offset);
}

template <typename Entry>
static void ReleaseList(Entry*** entries, DWORD* count) {
    if (*entries) {
        for (DWORD i = 0; i < *count; ++i) FreeBlock(&(*entries)[i]);
        FreeBlock(entries);
    }
    *count = 0;
}

void ReleaseUninstallData() {
    ReleaseList(&Data.RegistryEntries, &Data.RegistryEntryCount);
    ReleaseList(&Data.ShortcutEntries, &Data.ShortcutEntryCount);
    ReleaseList(&Data.FileEntries, &Data.FileEntryCount);
    FreeBlock(&Data.RunSettings);
    Data.RunSettingsSize = 0;
    ReleaseMessageTable();
}
