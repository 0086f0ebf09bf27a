// Converting fallbacks for the system-call table, and the table of a platform without the wide
// calls. Every temporary is allocated and freed within one call; no fallback keeps state.
// Never writes past the caller's buffer or its own fixed buffers.
#include "platform/narrow_fallbacks.h"

// Allocates the ANSI form of text (2n+2 bytes for n wide characters); null for null text or
// when memory runs out. The caller frees it with HeapFree on the process heap.
char* NarrowDup(const WCHAR* text) {
    if (!text) return nullptr;
    int cch = lstrlenW(text);
    int cb = 2 * cch + 2;
    char* narrow = static_cast<char*>(::HeapAlloc(::GetProcessHeap(), 0, cb));
    if (!narrow) return nullptr;
    int produced = cch ? ::WideCharToMultiByte(CP_ACP, 0, text, cch, narrow, cb - 1, nullptr, nullptr) : 0;
    narrow[produced] = 0;
    return narrow;
}

void FreeNarrow(char* narrow) {
    if (narrow) ::HeapFree(::GetProcessHeap(), 0, narrow);
}

// Converts the whole of src into dst (cbDst bytes with the terminator). A result that does not
// fit is cut at the capacity and still terminated.
void NarrowInto(char* dst, const WCHAR* src, int cbDst) {
    if (!dst || !src || cbDst <= 0) return;
    int produced = ::WideCharToMultiByte(CP_ACP, 0, src, -1, dst, cbDst, nullptr, nullptr);
    if (produced == 0) {
        // Too long for dst: convert what fits, leaving room for the terminator.
        produced = ::WideCharToMultiByte(CP_ACP, 0, src, lstrlenW(src), dst, cbDst - 1, nullptr, nullptr);
        if (produced < 0) produced = 0;
        dst[produced] = 0;
        return;
    }
    dst[cbDst - 1] = 0;
}

BOOL WINAPI FallbackSHGetPathFromIDList(PCIDLIST_ABSOLUTE itemList, LPWSTR path) {
    char narrow[MAX_PATH + 4];
    narrow[0] = 0;
    BOOL ok = ::SHGetPathFromIDListA(itemList, narrow);
    if (!path) return ok;
    path[0] = 0;
    if (ok) {
        narrow[MAX_PATH + 3] = 0;
        int produced = ::MultiByteToWideChar(CP_ACP, 0, narrow, -1, path, MAX_PATH);
        if (produced == 0) path[0] = 0;  // did not fit 260 characters: report no path
        path[MAX_PATH - 1] = 0;
    }
    return ok;
}

PIDLIST_ABSOLUTE WINAPI FallbackSHBrowseForFolder(LPBROWSEINFOW info) {
    if (!info) return nullptr;
    char displayName[MAX_PATH];
    displayName[0] = 0;
    if (info->pszDisplayName) NarrowInto(displayName, info->pszDisplayName, MAX_PATH);
    char* title = NarrowDup(info->lpszTitle);
    BROWSEINFOA narrow;
    narrow.hwndOwner = info->hwndOwner;
    narrow.pidlRoot = info->pidlRoot;
    narrow.pszDisplayName = displayName;
    narrow.lpszTitle = title;
    narrow.ulFlags = info->ulFlags;
    narrow.lpfn = info->lpfn;
    narrow.lParam = info->lParam;
    narrow.iImage = info->iImage;
    PIDLIST_ABSOLUTE result = ::SHBrowseForFolderA(&narrow);
    info->iImage = narrow.iImage;
    FreeNarrow(title);
    return result;
}

// The entries through which no text passes take the plain narrow call; the converting
// fallbacks of the other entries are installed with them as they are written.
void InstallNarrowTable(ApiTableT* table) {
    table->DefWindowProc = ::DefWindowProcA;
    table->CallWindowProc = ::CallWindowProcA;
    table->CreateDialogParam = reinterpret_cast<decltype(table->CreateDialogParam)>(::CreateDialogParamA);
    table->DialogBoxParam = reinterpret_cast<decltype(table->DialogBoxParam)>(::DialogBoxParamA);
    table->IsDialogMessage = ::IsDialogMessageA;
    table->SetWindowLong = ::SetWindowLongA;
    table->GetWindowLong = ::GetWindowLongA;
    table->PostMessage = ::PostMessageA;
    table->SendMessage = ::SendMessageA;
    table->SendDlgItemMessage = ::SendDlgItemMessageA;
    table->PeekMessage = ::PeekMessageA;
    table->GetMessage = ::GetMessageA;
    table->DispatchMessage = reinterpret_cast<decltype(table->DispatchMessage)>(::DispatchMessageA);
    table->LoadIcon = reinterpret_cast<decltype(table->LoadIcon)>(::LoadIconA);
    table->LoadCursor = reinterpret_cast<decltype(table->LoadCursor)>(::LoadCursorA);
    table->ImageList_LoadImage = reinterpret_cast<decltype(table->ImageList_LoadImage)>(::ImageList_LoadImageA);
}
