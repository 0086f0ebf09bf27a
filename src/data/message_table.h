// The message table: every text the user sees. Owns the loaded table (Data.MessageTable) from
// LoadUninstallData to ReleaseUninstallData. Never passes a message text to printf as a format:
// the texts come from the data file. The boxes that show them belong to the run layer
// (run/ui_windows.h).
#pragma once
#include <windows.h>

#include "data/uninstall_data.h"

// The buffer of FormatMessageText, terminator included. Every formatted message is made the
// same way, in a buffer of this size on the caller's stack: no allocation that could fail.
const int kMessageBufferCch = 1024;

// Chunk reader of a MessageTable payload (file at its first byte): 0, 7 (memory) or 8 (read
// failed). Only the first table counts; a table with messages replaces the earlier one.
ReadResult ReadMessageTableChunk(HANDLE file);

// Message `number` of table `table`, or the static empty text. Valid until the table goes.
const WCHAR* GetMessageText(int table, int number);
// Writes message `number` of table 0 into buffer (kMessageBufferCch units), argument in place
// of its first "%s"; when "%s" occurs a doubled percent sign becomes one, and every other
// sequence is copied as it stands. Cut to kMessageBufferCch - 1 units; always terminated.
void FormatMessageText(WCHAR* buffer, int number, const WCHAR* argument);
// Frees every text up to the first null entry, then the array; Data.MessageTable becomes null.
void ReleaseMessageTable();
