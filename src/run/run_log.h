// The run's log (/L PATH): UTF-8 lines of what the run did, each with its time since the start
// and written at once, one write per line, so a run that is killed leaves its log up to there.
// The log never changes the run: a file that cannot be opened or written is dropped at the first
// failure, and nothing else looks at it. Written on the NT family only.
#pragma once
#include <windows.h>
#include "data/uninstall_data.h"

// Opens Session.LogPath for appending, never through a reparse point or a file of more than one
// link, starts a new file with the byte-order mark and connects PassUi's record entry. Without
// LogPath, with one that was cut, or when the file cannot be had, there is no log.
void OpenRunLog();

// One line: the time since the start, format as wvsprintfA fills it (ASCII; at most 1024 bytes),
// then text (a path or the like, or null) in UTF-8. Nothing without a log.
void LogPrint(const WCHAR* text, const char* format, ...);

// The first lines: the program, the system and the options, and what LoadUninstallData
// returned with the counts of the records it read.
void LogUninstallData(ReadResult code);

// The last line, with the counts of the records' outcomes and "complete" or "incomplete" (that
// only after Session.RemovalDone). The file stays open until the process ends, right after.
void CloseRunLog();
