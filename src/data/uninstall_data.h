// The appended uninstall data: the chunk stream after DataOffset and its loader, which hands
// each chunk to the reader of its kind. The program file is open only while loading.
#pragma once
#include <windows.h>

#include "data/data_format.h"

// Chunk reader results; 7 and 8 are also the numbers of the messages that report them.
const int kReadOk = 0;
const int kReadOutOfMemory = 7;
const int kReadDamaged = 8;

// Reads the stream up to its end chunk. False when there is no data (DataOffset 0), the
// program's path or file is unavailable (no message), or the data are damaged or memory ran
// out (message 8 or 7, owned by no window). What was loaded before a failure is released by
// ReleaseUninstallData.
bool LoadUninstallData();

// Reads a whole payload (low 32 bits of its size) into a new block (not zero-filled):
// 0 with the block in *destination; 8 for a refused chunk (nothing allocated, *destination
// unchanged); 7 when the block cannot be allocated; 8 when the payload cannot be read whole
// (block released, *destination null).
int ReadChunkBlock(HANDLE file, const ChunkHeader& header, void** destination);
