// Folder macro table and expansion. Owns only its work buffer, allocated and freed within one
// call. Never writes past the work buffer or the caller's capacity, and never hands back a path
// that was cut to fit.
#include "folders/folder_macros.h"
#include "data/memory_ops.h"
#include "data/path_buffer.h"
#include "folders/protected_folders.h"
#include "folders/resolve_folder.h"
#include "platform/api_table.h"

// One byte per code, in kFolderMacroNames' order: a shell CSIDL_ value as it is, one of our
// FOLDER_ codes as 0x80 + its low bits.
#define OURS(code) static_cast<BYTE>(0x80 | ((code) & 0x7F))
static const BYTE kFolderMacroCodes[kFolderMacroCount - 1] = {
    OURS(FOLDER_WINDOWS), OURS(FOLDER_SYSTEM), OURS(FOLDER_COMMON_FILES), OURS(FOLDER_PROGRAM_FILES),
    CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_PROFILE,
    CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU, CSIDL_STARTUP,
    CSIDL_COMMON_STARTUP, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_FONTS, CSIDL_COMMON_APPDATA,
    CSIDL_COMMON_DOCUMENTS, OURS(FOLDER_QUICK_LAUNCH),
};

DWORD FolderMacroCode(int index) {
    DWORD code = kFolderMacroCodes[index];
    return (code & 0x80) ? 0x80000000 | (code & 0x7F) : code;
}

static WCHAR FoldLetter(WCHAR c) { return (c >= L'A' && c <= L'Z') ? static_cast<WCHAR>(c + 32) : c; }

// The index of the macro that token (cchToken WCHARs, "#" to "#" both included) names, or -1.
static int FindMacro(const WCHAR* token, size_t cchToken) {
    const char* entry = kFolderMacroNames;
    for (int index = 0; index < kFolderMacroCount; ++index) {
        size_t cch = 1;
        while (entry[cch] != '#') ++cch;
        ++cch;  // the closing "#", which opens the next entry
        size_t same = 0;
        while (same < cch && same < cchToken &&
               FoldLetter(token[same]) == FoldLetter(static_cast<WCHAR>(entry[same])))
            ++same;
        if (same == cch && cch == cchToken) return index;
        entry += cch - 1;
    }
    return -1;
}

// Every macro's folder is one of the protected folders, resolved once per process and then
// served from their cache: a record list may name a folder thousands of times, and a shell
// look-up for each was slow (3,000 file records under #AppData# took 4 s to remove under Wine,
// the same records written out 0.3 s).
static bool ResolveCached(WCHAR* folder, DWORD code) {
    for (int i = 0; i < ProtectedFolderCount; ++i)
        if (ProtectedFolderList[i] == code) return ResolveProtectedFolder(i, folder);
    return ResolveFolder(folder, code);
}

// The folder of the macro token into folder (kPathCapacity WCHARs), without a trailing backslash
// unless it is a drive root (a macro is followed by its own backslash in the texts that use it).
// False for an unknown macro and for a folder that does not resolve here.
static bool MacroFolder(const WCHAR* token, size_t cchToken, bool native, WCHAR* folder) {
    int index = FindMacro(token, cchToken);
    if (index < 0) return false;
    if (index == kInstallDirMacro) {
        if (!Paths.InstallDir || !Paths.InstallDir[0] || !CopyPath(folder, kPathCapacity, Paths.InstallDir))
            return false;
    } else {
        DWORD code = FolderMacroCode(index);
        if (native && Platform.RegistryView) {
            if (code == FOLDER_PROGRAM_FILES) code = FOLDER_NATIVE_PROGRAM_FILES;
            if (code == FOLDER_COMMON_FILES) code = FOLDER_NATIVE_COMMON_FILES;
        }
        if (!ResolveCached(folder, code)) return false;
    }
    size_t cch = PathLength(folder);
    if (cch > 3 && folder[cch - 1] == L'\\') folder[cch - 1] = 0;
    return true;
}

bool ExpandMacroToken(WCHAR* token, size_t cchToken) {
    WCHAR folder[kPathCapacity];
    // An unknown macro, or one whose folder is not there, stays as written.
    if (!MacroFolder(token, PathLength(token), false, folder)) return true;
    return CopyPath(token, cchToken, folder);
}

static const WCHAR* FindHash(const WCHAR* text) {
    while (*text && *text != L'#') ++text;
    return *text ? text : nullptr;
}

PathVerdict ExpandLeadingMacro(WCHAR* out, const WCHAR* text) {
    const WCHAR* rest = text;
    out[0] = 0;
    if (text[0] == L'#') {
        const WCHAR* close = FindHash(text + 1);
        if (!close || !MacroFolder(text, static_cast<size_t>(close - text) + 1, true, out)) {
            out[0] = 0;
            return PathUnknownMacro;
        }
        rest = close + 1;
        if (EndsInBackslash(out) && rest[0] == L'\\') ++rest;
    }
    if (AppendPath(out, kPathCapacity, rest)) return PathUsable;
    out[0] = 0;
    return PathTooLong;
}

// Appends cch characters of src at *written; false, nothing written, when they and the
// terminator do not fit.
static bool PutPiece(WCHAR* work, size_t cchWork, size_t* written, const WCHAR* src, size_t cch) {
    if (cch >= cchWork - *written) return false;
    for (size_t i = 0; i < cch; ++i) work[*written + i] = src[i];
    *written += cch;
    work[*written] = 0;
    return true;
}

// A token is the text between two consecutive "#", both included; the closing "#" never
// opens the next one. Returns the length of the expansion in work.
static size_t ExpandInto(WCHAR* work, size_t cchWork, const WCHAR* text) {
    size_t written = 0;
    work[0] = 0;
    const WCHAR* rest = text;
    for (;;) {
        const WCHAR* open = FindHash(rest);
        if (!open) {
            PutPiece(work, cchWork, &written, rest, PathLength(rest));
            break;
        }
        if (!PutPiece(work, cchWork, &written, rest, static_cast<size_t>(open - rest))) break;
        const WCHAR* close = FindHash(open + 1);
        if (!close) {
            PutPiece(work, cchWork, &written, open, PathLength(open));
            break;
        }
        size_t tokenStart = written;
        if (!PutPiece(work, cchWork, &written, open, static_cast<size_t>(close - open) + 1)) break;
        if (!ExpandMacroToken(work + tokenStart, cchWork - tokenStart)) {
            work[tokenStart] = 0;
            written = tokenStart;
            break;
        }
        written = tokenStart + PathLength(work + tokenStart);
        rest = close + 1;
    }
    return written;
}

unsigned CopyTextUnexpanded(WCHAR* out, const WCHAR* text, size_t capacity) {
    size_t cch = PathLength(text);
    if (out && capacity != 0) {
        size_t copied = cch < capacity ? cch : capacity - 1;
        for (size_t i = 0; i < copied; ++i) out[i] = text[i];
        for (size_t i = copied; i < capacity; ++i) out[i] = 0;
    }
    return static_cast<unsigned>(cch < capacity ? cch : capacity);
}

unsigned ExpandFolderMacros(WCHAR* out, const WCHAR* text, size_t capacity) {
    WCHAR* work = nullptr;
    if (!AllocZeroed(kMacroWorkCapacity * sizeof(WCHAR), &work)) return CopyTextUnexpanded(out, text, capacity);
    size_t cch = text ? ExpandInto(work, kMacroWorkCapacity, text) : 0;
    if (out && capacity != 0) {
        out[0] = 0;
        if (cch != 0) {
            size_t copied = cch < capacity ? cch : capacity - 1;
            for (size_t i = 0; i < copied; ++i) out[i] = work[i];
            out[copied] = 0;
        }
    }
    FreeBlock(&work);
    return static_cast<unsigned>(cch);
}
