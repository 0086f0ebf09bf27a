// The three shared path buffers, bounded writes into path buffers and the ASCII-only path
// comparison every module shares. These are the only helpers that write text into a path buffer.
// Each one either writes the whole text or leaves the buffer as it was: a shortened path names a
// different file.
#pragma once
#include <windows.h>
#include <stddef.h>

const DWORD kPathCapacity = MAX_PATH;  // WCHARs in each path buffer, terminator included

// The path buffers of kPathCapacity WCHARs each, from the run's start-up to its shut-down, which
// allocate and free them. The start-up also fills InstallDir, the loader ModulePath; every other
// module only reads those two. WorkPath is the shared scratch path of the run layer, which hands
// it to the passes it calls; no step expects it to survive a call elsewhere.
struct PathBuffers {
    WCHAR* InstallDir;  // folder of the running program, always ending in a backslash
    WCHAR* WorkPath;
    WCHAR* ModulePath;  // full path of the running program
};
extern PathBuffers Paths;

// WCHARs before the terminator; 0 for a null pointer.
size_t PathLength(const WCHAR* text);

// True when text is not empty and its last character is a backslash.
bool EndsInBackslash(const WCHAR* text);

// Copies src into dst (cchDst WCHARs with the terminator). False, dst unchanged, when src
// does not fit.
bool CopyPath(WCHAR* dst, size_t cchDst, const WCHAR* src);

// Appends text to the path in dst. False, dst unchanged, when the result would not fit.
bool AppendPath(WCHAR* dst, size_t cchDst, const WCHAR* text);

// Appends a backslash unless the path is empty or already ends in one. False, path
// unchanged, when there is no room for it.
bool AppendBackslash(WCHAR* path, size_t cchPath = kPathCapacity);

// A backslash unless the path is empty or already ends in one, then text; all or nothing.
bool JoinPath(WCHAR* path, size_t cchPath, const WCHAR* text);

// Shortens the path to cch characters (cch must not exceed its length).
void CutPath(WCHAR* path, size_t cch);

// Index of the last backslash among the first cch characters, or -1 when there is none.
int LastBackslash(const WCHAR* text, size_t cch);

// Compares cch characters, folding only the ASCII letters A to Z; every other character must
// match exactly (no locale rules: a path either names the folder or it does not).
bool EqualNoCaseAscii(const WCHAR* a, const WCHAR* b, size_t cch);

// Whole paths equal under the same ASCII-only folding.
bool SamePath(const WCHAR* a, const WCHAR* b);

// Ends path before its last backslash; false, path unchanged, when it has none.
bool CutAtLastBackslash(WCHAR* path);
