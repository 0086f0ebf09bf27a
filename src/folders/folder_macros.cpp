// Folder macro table and expansion. Owns only its work buffer, allocated and freed within one
// call. Never writes past the work buffer or the caller's capacity.
#include "folders/folder_macros.h"
#include "data/memory_ops.h"
#include "data/path_buffer.h"
#include "data/run_state.h"
#include "folders/resolve_folder.h"

const FolderMacro FolderMacroTable[10] = {
    {L"#Windows#", FOLDER_WINDOWS},
    {L"#System#", FOLDER_SYSTEM},
    {L"#CommonFiles#", FOLDER_COMMON_FILES},
    {L"#Program Files#", FOLDER_PROGRAM_FILES},
    {L"#MyDocuments#", CSIDL_PERSONAL},
    {L"#Desktop#", CSIDL_DESKTOPDIRECTORY},
    {L"#AppData#", CSIDL_APPDATA},
    {L"#LocalAppData#", CSIDL_LOCAL_APPDATA},
    {L"#UserDir#", CSIDL_PROFILE},
    {nullptr, 0},
};

// The macro for the installation directory (InstallDir), which is not a folder code.
static const WCHAR kInstallDirMacro[] = L"#InstallDir#";

static bool TokenIs(const WCHAR* token, size_t cchToken, const WCHAR* macro) {
    return PathLength(macro) == cchToken && EqualNoCaseAscii(token, macro, cchToken);
}

// Puts folder over token, dropping one trailing backslash unless the folder is a drive root
// (a macro is followed by its own backslash in the texts that use it).
static bool PutFolder(WCHAR* token, size_t cchToken, const WCHAR* folder) {
    size_t cch = PathLength(folder);
    if (cch > 3 && folder[cch - 1] == L'\\') --cch;
    if (cch >= cchToken) return false;
    for (size_t i = 0; i < cch; ++i) token[i] = folder[i];
    token[cch] = 0;
    return true;
}

bool ExpandMacroToken(WCHAR* token, size_t cchToken) {
    size_t cch = PathLength(token);
    for (const FolderMacro* macro = FolderMacroTable; macro->text; ++macro) {
        if (!TokenIs(token, cch, macro->text)) continue;
        WCHAR folder[kPathCapacity];
        if (!ResolveFolder(folder, macro->code)) return true;
        return PutFolder(token, cchToken, folder);
    }
    if (TokenIs(token, cch, kInstallDirMacro) && InstallDir && InstallDir[0])
        return PutFolder(token, cchToken, InstallDir);
    return true;
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

static const WCHAR* FindHash(const WCHAR* text) {
    while (*text && *text != L'#') ++text;
    return *text ? text : nullptr;
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
