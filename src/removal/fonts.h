// Font deregistration before the file pass deletes a font: the font resource, the value under
// the platform's Fonts key (found by the full name in the file's own name table), and the
// WM_FONTCHANGE broadcast. Owns the sfnt name reader; never writes to the font file.
#pragma once
#include <windows.h>

// WCHARs of the full-name buffer, terminator included.
const size_t kFontNameCapacity = 520;

// path: the font's full path (the file pass passes WorkPath, which is not written here).
void UnregisterFont(const WCHAR* path);

// The full name from the last Macintosh full-name record (platform 1, name 4) of the file's
// name table, converted from the ANSI code page, into name (kFontNameCapacity WCHARs).
// Empty when there is none, when "name" is not among the first 40 table records, when a
// name does not fit, and when the name table is cut short or points outside the file: a
// name read from a damaged table could name another font's value.
void ReadFontFullName(const WCHAR* path, WCHAR* name);

// The Fonts key of the platform below HKEY_LOCAL_MACHINE.
const WCHAR* FontsKeyPath(bool nt);
