// Conversion helpers of the converting fallbacks, the two shell fallbacks that both platforms
// start with, and the table of a platform without the wide calls. Every temporary is allocated
// and freed within one call; nothing here keeps state or writes past a buffer's capacity.
#include "platform/narrow_fallbacks.h"

static void* AllocTemp(int cb) { return ::HeapAlloc(::GetProcessHeap(), 0, cb); }
static void FreeTemp(void* block) {
    if (block) ::HeapFree(::GetProcessHeap(), 0, block);
}

char* NarrowDupN(const WCHAR* text, int cch) {
    if (!text || cch < 0) return nullptr;
    // A wide character never needs more than two bytes of an ANSI code page.
    int cb = 2 * cch + 2;
    char* narrow = static_cast<char*>(AllocTemp(cb));
    if (!narrow) return nullptr;
    int produced = cch ? ::WideCharToMultiByte(CP_ACP, 0, text, cch, narrow, cb - 1, nullptr, nullptr) : 0;
    narrow[produced > 0 ? produced : 0] = 0;
    return narrow;
}

char* NarrowDup(const WCHAR* text) {
    return text ? NarrowDupN(text, lstrlenW(text)) : nullptr;
}

void FreeNarrow(char* narrow) { FreeTemp(narrow); }

bool NarrowArg(const WCHAR* text, char** narrow) {
    *narrow = NarrowDup(text);
    return !text || *narrow;
}

bool NarrowTextArgs(NarrowTexts* texts, const WCHAR* a, const WCHAR* b, const WCHAR* c, const WCHAR* d) {
    const WCHAR* wide[4] = {a, b, c, d};
    bool converted = true;
    for (int i = 0; i < 4; ++i) {
        if (IS_INTRESOURCE(wide[i])) {
            texts->text[i] = reinterpret_cast<char*>(const_cast<WCHAR*>(wide[i]));
        } else {
            texts->text[i] = NarrowDup(wide[i]);
            if (!texts->text[i]) converted = false;
        }
    }
    if (!converted) {
        FreeNarrowTexts(texts);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return converted;
}

void FreeNarrowTexts(NarrowTexts* texts) {
    for (char* text : texts->text)
        if (!IS_INTRESOURCE(text)) FreeNarrow(text);
}

void NarrowInto(char* dst, const WCHAR* src, int cbDst) {
    if (!dst || !src || cbDst <= 0) return;
    dst[0] = 0;
    char* full = NarrowDup(src);
    if (!full) return;
    // Cut only between characters: half a double-byte character would change the next one.
    int cb = 0;
    for (int i = 0; full[i];) {
        int step = (::IsDBCSLeadByte(static_cast<BYTE>(full[i])) && full[i + 1]) ? 2 : 1;
        if (i + step > cbDst - 1) break;
        i += step;
        cb = i;
    }
    ::CopyMemory(dst, full, cb);
    dst[cb] = 0;
    FreeNarrow(full);
}

int WidenInto(WCHAR* dst, const char* src, int cchDst) {
    if (!dst || !src || cchDst <= 0) return 0;
    dst[0] = 0;
    int cb = lstrlenA(src);
    if (cb <= 0) return 0;
    int full = ::MultiByteToWideChar(CP_ACP, 0, src, cb, nullptr, 0);
    if (full <= 0) return 0;
    if (full < cchDst) {
        ::MultiByteToWideChar(CP_ACP, 0, src, cb, dst, full);
        dst[full] = 0;
        return full;
    }
    // Too long for dst: the conversion gives all or nothing, so cut a full copy.
    WCHAR* whole = static_cast<WCHAR*>(AllocTemp(full * sizeof(WCHAR)));
    if (!whole) return full;
    ::MultiByteToWideChar(CP_ACP, 0, src, cb, whole, full);
    ::CopyMemory(dst, whole, (cchDst - 1) * sizeof(WCHAR));
    dst[cchDst - 1] = 0;
    FreeTemp(whole);
    return full;
}

int WideIndex(const char* src, int cb) {
    if (!src || cb <= 0) return 0;
    return ::MultiByteToWideChar(CP_ACP, 0, src, cb, nullptr, 0);
}

BOOL WINAPI FallbackSHGetPathFromIDList(PCIDLIST_ABSOLUTE itemList, LPWSTR path) {
    char narrow[MAX_PATH + 4];
    ::ZeroMemory(narrow, sizeof(narrow));
    BOOL ok = ::SHGetPathFromIDListA(itemList, narrow);
    if (!path) return ok;
    path[0] = 0;
    if (!ok) return FALSE;
    narrow[MAX_PATH + 3] = 0;
    // A path that does not fit 260 wide characters is no path: reporting success with a
    // shortened one would name a different folder.
    if (WidenInto(path, narrow, MAX_PATH) >= MAX_PATH) {
        path[0] = 0;
        return FALSE;
    }
    return ok;
}

void InstallNarrowTable(ApiTable* table) {
#define NARROW_ENTRY(field, wide, narrow) table->field = narrow;
    API_TABLE_ENTRIES(NARROW_ENTRY, NARROW_ENTRY)
#undef NARROW_ENTRY
}
