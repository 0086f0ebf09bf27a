// Folder macros: "#Windows#", "#Program Files#", "#InstallDir#" and the rest, expanded in every
// token of the pre-removal command (unknown tokens stay exactly as written), and at the start of
// a record's path (an unknown one there makes the record unusable).
#pragma once
#include <windows.h>
#include <stddef.h>
#include "folders/folder_macro_names.h"

// The folder code of macro index (0 to kFolderMacroCount - 2, kFolderMacroNames' order);
// the last macro, "#InstallDir#", has none.
DWORD FolderMacroCode(int index);

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

// Why a record's path is not used on this machine; PathUsable when it is.
enum PathVerdict : BYTE {
    PathUsable = 0,
    PathUnknownMacro,  // a leading "#" that is no known macro, or one whose folder does not resolve
    PathTooLong,       // the expansion, or the whole path, does not fit kPathCapacity
    PathNotFull,       // neither a full path nor one below InstallDir
};

// out (kPathCapacity WCHARs) = text with a leading "#Name#" replaced by its folder; a text not
// beginning with "#" is copied. Only the leading token is read: a "#" later on is part of a
// name. A folder that is a drive root keeps its backslash, and a backslash after the macro then
// is not doubled. While the 64-bit flag is in effect "#Program Files#" and "#CommonFiles#" name
// the native folders, as the record's files lie there for a 64-bit product (the file calls run
// with redirection off, so "#System#" already names the native System32). Anything but
// PathUsable leaves out empty.
PathVerdict ExpandLeadingMacro(WCHAR* out, const WCHAR* text);
