// Folder macros: "#Windows#", "#Program Files#", "#InstallDir#" and the rest, expanded in a
// text such as the pre-removal command. Unknown tokens stay exactly as written.
#pragma once
#include <windows.h>
#include <stddef.h>

struct FolderMacro {
    const WCHAR* text;  // "#Name#", compared ignoring the case of ASCII letters
    DWORD code;         // folder code for ResolveFolder
};

// The macros in search order, ended by an entry with a null text.
extern const FolderMacro FolderMacroTable[10];

// WCHARs of the work buffer of ExpandFolderMacros, terminator included.
const size_t kMacroWorkCapacity = 65500;

// token begins and ends with "#"; cchToken WCHARs are available at token, terminator
// included. A known macro whose folder resolves is replaced in place by the folder's path,
// without a trailing backslash unless it is a drive root. Returns false only when that path
// does not fit cchToken; token is then unchanged.
bool ExpandMacroToken(WCHAR* token, size_t cchToken);

// Expands every macro of text into out (capacity WCHARs, terminator included) and returns the
// length of the whole expansion without its terminator. With a null out only the length is
// computed. A capacity below that length + 1 gets as much as fits, always terminated.
// An expansion longer than the work buffer ends before the first piece (a run of plain text,
// or a token) that does not fit.
unsigned ExpandFolderMacros(WCHAR* out, const WCHAR* text, size_t capacity);

// What ExpandFolderMacros gives when its work buffer cannot be allocated: text as it stands,
// as much as fits in out (always terminated, the rest zero-filled); returns
// min(capacity, length of text).
unsigned CopyTextUnexpanded(WCHAR* out, const WCHAR* text, size_t capacity);
