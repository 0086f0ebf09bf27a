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
enum ReadResult : int {
    kReadOk = 0,
    kReadOutOfMemory = 7,
    kReadDamaged = 8,
};

// Reads the stream up to its end chunk. False when there is no data (DataOffset 0), the
// program's path or file is unavailable (no message), or the data are damaged or memory ran
// out (message 8 or 7, owned by no window). What was loaded before a failure is released by
// ReleaseUninstallData.
bool LoadUninstallData();

// Reads a whole payload (low 32 bits of its size) into a new block (not zero-filled):
// 0 with the block in *destination; 8 for a refused chunk (nothing allocated, *destination
// unchanged); 7 when the block cannot be allocated; 8 when the payload cannot be read whole
// (block released, *destination null).
ReadResult ReadChunkBlock(HANDLE file, const ChunkHeader& header, void** destination);
