// The command line: options /D, /Q, /S and /X, introduced by "-" or "/", letters in either case.
#pragma once
#include <windows.h>

// Reads an option argument (quoted, or up to the next blank) into buffer, keeping at most
// capacity - 1 characters and always the terminator; characters beyond are read and dropped.
// Returns the position just after the argument.
const WCHAR* ParseOptionArgument(const WCHAR* text, WCHAR* buffer, DWORD capacity);

// Sets Quiet, OptionS and OptionX and puts the /D argument into WorkPath (empty without one).
// Flags are only ever set, never cleared.
void ParseCommandLine(const WCHAR* line);
