// The shared path buffers, bounded path-buffer writes and the ASCII-only path comparison.
#include "data/path_buffer.h"

PathBuffers Paths;

size_t PathLength(const WCHAR* text) {
    if (!text) return 0;
    size_t cch = 0;
    while (text[cch]) ++cch;
    return cch;
}

bool EndsInBackslash(const WCHAR* text) {
    size_t cch = PathLength(text);
    return cch != 0 && text[cch - 1] == L'\\';
}

bool CopyPath(WCHAR* dst, size_t cchDst, const WCHAR* src) {
    if (!dst || !src) return false;
    size_t cch = PathLength(src);
    if (cch >= cchDst) return false;
    for (size_t i = 0; i <= cch; ++i) dst[i] = src[i];
    return true;
}

bool AppendPath(WCHAR* dst, size_t cchDst, const WCHAR* text) {
    if (!dst || !text) return false;
    size_t cchOld = PathLength(dst);
    size_t cchAdd = PathLength(text);
    if (cchOld >= cchDst || cchAdd >= cchDst - cchOld) return false;
    for (size_t i = 0; i <= cchAdd; ++i) dst[cchOld + i] = text[i];
    return true;
}

bool AppendBackslash(WCHAR* path, size_t cchPath) {
    if (!path) return false;
    size_t cch = PathLength(path);
    if (cch == 0 || path[cch - 1] == L'\\') return cch < cchPath;
    if (cch + 1 >= cchPath) return false;
    path[cch] = L'\\';
    path[cch + 1] = 0;
    return true;
}

bool JoinPath(WCHAR* path, size_t cchPath, const WCHAR* text) {
    size_t cchOld = PathLength(path);
    if (!AppendBackslash(path, cchPath)) return false;
    if (AppendPath(path, cchPath, text)) return true;
    path[cchOld] = 0;
    return false;
}

void CutPath(WCHAR* path, size_t cch) {
    if (path) path[cch] = 0;
}

int LastBackslash(const WCHAR* text, size_t cch) {
    for (size_t i = cch; i > 0; --i)
        if (text[i - 1] == L'\\') return static_cast<int>(i - 1);
    return -1;
}

static WCHAR FoldAscii(WCHAR c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<WCHAR>(c - L'A' + L'a') : c;
}

bool EqualNoCaseAscii(const WCHAR* a, const WCHAR* b, size_t cch) {
    for (size_t i = 0; i < cch; ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

bool SamePath(const WCHAR* a, const WCHAR* b) {
    size_t cch = PathLength(a);
    return cch == PathLength(b) && EqualNoCaseAscii(a, b, cch);
}

bool CutAtLastBackslash(WCHAR* path) {
    int at = LastBackslash(path, PathLength(path));
    if (at < 0) return false;
    CutPath(path, static_cast<size_t>(at));
    return true;
}
