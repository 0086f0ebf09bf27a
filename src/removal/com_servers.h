// COM server unregistration before the file pass deletes a server: regsvr32 on NT 6 and later,
// else (or when regsvr32 cannot be started) the server's own DllUnregisterServer, called in
// process behind a guard that survives a server that faults. The outcome is never examined.
#pragma once
#include <windows.h>

// path: the server's full path (the file pass passes WorkPath, which is not written here).
void UnregisterComServer(const WCHAR* path);

// The regsvr32 command line into commandLine (cchCommandLine WCHARs): the tool's full path in
// double quotes, the unregister and silent switches, then path in double quotes. False, nothing
// usable, when it does not fit.
bool ComposeUnregisterCommand(const WCHAR* tool, const WCHAR* path, WCHAR* commandLine, size_t cchCommandLine);

// Calls a DllUnregisterServer entry; true when it returned, false when it raised an exception
// (which is swallowed, and the thread goes on from here).
bool CallUnregisterEntry(FARPROC entry);
