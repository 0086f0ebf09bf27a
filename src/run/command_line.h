// The command line: options /D, /L (or /LOG=), /Q, /S and /X, introduced by "-" or "/", letters
// in either case.
#pragma once
#include <windows.h>

// Reads an option argument (quoted, or up to the next blank) into buffer, keeping at most
// capacity - 1 characters and always the terminator; characters beyond are read and dropped,
// and *cut (when given) says whether any were. Returns the position just after the argument.
const WCHAR* ParseOptionArgument(const WCHAR* text, WCHAR* buffer, DWORD capacity, bool* cut = nullptr);

// Sets Quiet, OptionS and OptionX, puts the /D argument into WorkPath (empty without one) and
// the full path of the last /L into LogPath (left as it was without one). Flags are only ever
// set, never cleared.
void ParseCommandLine(const WCHAR* line);

// True when the last /D argument did not fit WorkPath: what WorkPath holds then names some
// other file, which the removal helper must not delete.
extern bool RemovalPathCut;
// The same for the last /L argument: a log under a cut name would write some other file.
extern bool LogPathCut;
