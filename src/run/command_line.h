// The command line: options /D, /L (or /LOG=), /Q, /S and /X, introduced by "-" or "/", letters
// in either case.
#pragma once
#include <windows.h>

// Reads an option argument (quoted, or up to the next blank) into buffer, keeping at most
// capacity - 1 characters and always the terminator; characters beyond are read and dropped,
// and *cut (when given) says whether any were. Returns the position just after the argument.
const WCHAR* ParseOptionArgument(const WCHAR* text, WCHAR* buffer, DWORD capacity, bool* cut = nullptr);

// Sets the options of Session (session.h), puts the /D argument into removalPath (kPathCapacity
// WCHARs; empty without one) and the full path of the last /L into Session.LogPath (left as it was
// without one); Session.RemovalPathCut and Session.LogPathCut say when one did not fit. Flags are
// only ever set, never cleared.
void ParseCommandLine(const WCHAR* line, WCHAR* removalPath);
