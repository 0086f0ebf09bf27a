// The appended uninstall data: the chunk stream after DataOffset and its loader, which hands
// each chunk to the reader of its kind. The program file is open only while loading.
#pragma once
#include <windows.h>

struct ChunkHeader {
    WORD tag;
    WORD flags;  // bit 0: the RunSettings chunk is refused
    DWORD sizeLow;
    DWORD sizeHigh;
};
static_assert(sizeof(ChunkHeader) == 12, "a chunk header is 12 bytes in the stream");

enum class ChunkTag : WORD {
    MessageTable = 0x1234,
    FileList = 0x1235,
    ShortcutList = 0x1236,
    RegistryList = 0x1237,
    RunSettings = 0x123A,
    Integrity = 0x1240,  // u32 CRC-32 of the stream bytes before its header; older programs skip it
    End = 0x7F7F,
};

const WORD kChunkRefused = 0x0001;  // ChunkHeader::flags bit 0

// Chunk reader results; 7 and 8 are also the numbers of the messages that report them.
const int kReadOk = 0;
const int kReadOutOfMemory = 7;
const int kReadDamaged = 8;
// The loader's result when there is nothing to read: no message is shown for it.
const int kReadNoData = 1;

// Reads the stream up to its end chunk and shows nothing. 0 when loaded; kReadNoData when
// there is no data (DataOffset 0) or the program's path or file is unavailable; 7 when memory
// ran out or 8 when the data are damaged, the numbers of the messages the run shows for them.
// The program's file is closed again on return. What was loaded before a failure is released
// by ReleaseUninstallData.
int LoadUninstallData();
