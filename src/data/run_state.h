// Process-wide run state: the platform flags, the options, and the three shared path buffers.
// Written by the entry point (src/run) at start-up and while it reads the command line; the
// loader fills ModulePath; every other module only reads them, except WorkPath, the shared
// scratch path that each step overwrites (no step expects it to survive a call elsewhere).
#pragma once
#include <windows.h>

const DWORD kPathCapacity = MAX_PATH;  // WCHARs in each path buffer, terminator included

extern HINSTANCE ModuleInstance;
extern bool IsNT;          // the platform is of the NT family
extern bool IsNT6OrLater;  // IsNT and major version above 5
extern int Quiet;          // /Q, /S or /X: no confirmation, no progress window, no final notice
extern int OptionS;        // /S: no finish page, no self-removal
extern int OptionX;        // /X: as /S, and no pre-removal command unless /S is given too
extern int ConfirmAnswer;  // answer of the confirmation; self-removal only after IDOK

extern WCHAR* InstallDir;  // folder of the running program, always ending in a backslash
extern WCHAR* WorkPath;    // shared scratch path
extern WCHAR* ModulePath;  // full path of the running program (filled by the loader)
