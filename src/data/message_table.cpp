// The message table: its chunk reader, lookups by number and formatting with one argument.
// Owns the table's array and texts until ReleaseMessageTable.
#include "data/message_table.h"
#include "data/file_ops.h"
#include "data/memory_ops.h"
#include "data/uninstall_data.h"

// What a lookup gives for a missing message; never released.
static const WCHAR kEmptyText[1] = {0};

ReadResult ReadMessageTableChunk(HANDLE file) {
    WORD tables = 0;
    if (!ReadExact(file, &tables, sizeof(tables))) return kReadDamaged;
    if (tables == 0) return kReadOk;
    // Only the first table is read; the loader skips the others with the rest of the payload.
    WORD count = 0;
    if (!ReadExact(file, &count, sizeof(count))) return kReadDamaged;
    if (count == 0) return kReadOk;

    WCHAR** table = nullptr;
    if (!AllocZeroed((static_cast<SIZE_T>(count) + 1) * sizeof(WCHAR*), &table)) return kReadOutOfMemory;
    ReleaseMessageTable();
    Data.MessageTable = table;

    // Entries not yet read stay null, so a table cut short by a failure still ends cleanly and
    // ReleaseMessageTable frees exactly what was allocated.
    for (WORD i = 0; i < count; ++i) {
        WORD cch = 0;
        if (!ReadExact(file, &cch, sizeof(cch))) return kReadDamaged;
        WCHAR* text = nullptr;
        if (!AllocZeroed((static_cast<SIZE_T>(cch) + 1) * sizeof(WCHAR), &text)) return kReadOutOfMemory;
        table[i] = text;
        if (cch && !ReadExact(file, text, cch * sizeof(WCHAR))) return kReadDamaged;
    }
    return kReadOk;
}

const WCHAR* GetMessageText(int table, int number) {
    if (table != 0 || number < 0 || !Data.MessageTable) return kEmptyText;
    for (int i = 0; Data.MessageTable[i]; ++i)
        if (i == number) return Data.MessageTable[i];
    return kEmptyText;
}

// The texts come from the data file, so they are never handed to printf as a format: a stray
// "%d" or a second "%s" would read arguments that do not exist. Only the first "%s" and doubled
// percent signs mean anything, and the latter only when a "%s" is present, as printf would have
// treated them.
void FormatMessageText(WCHAR* buffer, int number, const WCHAR* argument) {
    const WCHAR* text = GetMessageText(0, number);
    if (!argument) argument = kEmptyText;

    bool formatted = false;
    for (const WCHAR* p = text; p[0]; ++p) {
        if (p[0] == L'%' && p[1] == L's') {
            formatted = true;
            break;
        }
    }

    const int last = kMessageBufferCch - 1;
    int cch = 0;
    bool argumentPlaced = false;
    for (const WCHAR* p = text; *p && cch < last; ++p) {
        if (formatted && p[0] == L'%' && p[1] == L'%') {
            buffer[cch++] = L'%';
            ++p;
        } else if (formatted && !argumentPlaced && p[0] == L'%' && p[1] == L's') {
            for (const WCHAR* a = argument; *a && cch < last; ++a) buffer[cch++] = *a;
            argumentPlaced = true;
            ++p;
        } else {
            buffer[cch++] = *p;
        }
    }
    buffer[cch] = 0;
}

void ReleaseMessageTable() {
    if (!Data.MessageTable) return;
    for (int i = 0; Data.MessageTable[i]; ++i) FreeBlock(&Data.MessageTable[i]);
    FreeBlock(&Data.MessageTable);
}
