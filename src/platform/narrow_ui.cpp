// Converting fallbacks of the user-interface entries (windows, classes, fonts, window text).
// A class or window name given as an atom or resource number passes unchanged (NarrowTextArgs);
// a text that cannot be converted fails the call rather than reaching the narrow call as null.
#include "platform/narrow_fallbacks.h"

ATOM WINAPI FallbackRegisterClass(const WNDCLASSW* wc) {
    if (!wc) return ::RegisterClassA(nullptr);
    NarrowTexts a;
    if (!NarrowTextArgs(&a, wc->lpszClassName, wc->lpszMenuName)) return 0;
    WNDCLASSA narrow;
    narrow.style = wc->style;
    narrow.lpfnWndProc = wc->lpfnWndProc;
    narrow.cbClsExtra = wc->cbClsExtra;
    narrow.cbWndExtra = wc->cbWndExtra;
    narrow.hInstance = wc->hInstance;
    narrow.hIcon = wc->hIcon;
    narrow.hCursor = wc->hCursor;
    narrow.hbrBackground = wc->hbrBackground;
    narrow.lpszMenuName = a.text[1];
    narrow.lpszClassName = a.text[0];
    ATOM atom = ::RegisterClassA(&narrow);
    FreeNarrowTexts(&a);
    return atom;
}

HWND WINAPI FallbackCreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                                   int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                   LPVOID param) {
    if (!className) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    NarrowTexts a;
    if (!NarrowTextArgs(&a, className, windowName)) return nullptr;
    HWND window = ::CreateWindowExA(exStyle, a.text[0], a.text[1], style, x, y, width, height, parent, menu,
                                    instance, param);
    FreeNarrowTexts(&a);
    return window;
}

// The face name is a field of 32 characters that need not be terminated within it.
static void FaceNameToNarrow(const WCHAR (&wide)[LF_FACESIZE], char (&narrow)[LF_FACESIZE]) {
    WCHAR terminated[LF_FACESIZE + 1];
    ::CopyMemory(terminated, wide, sizeof(wide));
    terminated[LF_FACESIZE] = 0;
    NarrowInto(narrow, terminated, LF_FACESIZE);
}

static void FaceNameToWide(const char (&narrow)[LF_FACESIZE], WCHAR (&wide)[LF_FACESIZE]) {
    char terminated[LF_FACESIZE + 1];
    ::CopyMemory(terminated, narrow, sizeof(narrow));
    terminated[LF_FACESIZE] = 0;
    WidenInto(wide, terminated, LF_FACESIZE);
}

HFONT WINAPI FallbackCreateFontIndirect(const LOGFONTW* font) {
    if (!font) return ::CreateFontIndirectA(nullptr);
    LOGFONTA narrow;
    narrow.lfHeight = font->lfHeight;
    narrow.lfWidth = font->lfWidth;
    narrow.lfEscapement = font->lfEscapement;
    narrow.lfOrientation = font->lfOrientation;
    narrow.lfWeight = font->lfWeight;
    narrow.lfItalic = font->lfItalic;
    narrow.lfUnderline = font->lfUnderline;
    narrow.lfStrikeOut = font->lfStrikeOut;
    narrow.lfCharSet = font->lfCharSet;
    narrow.lfOutPrecision = font->lfOutPrecision;
    narrow.lfClipPrecision = font->lfClipPrecision;
    narrow.lfQuality = font->lfQuality;
    narrow.lfPitchAndFamily = font->lfPitchAndFamily;
    FaceNameToNarrow(font->lfFaceName, narrow.lfFaceName);
    return ::CreateFontIndirectA(&narrow);
}

int WINAPI FallbackGetObject(HANDLE object, int cbBuffer, LPVOID buffer) {
    if (cbBuffer != static_cast<int>(sizeof(LOGFONTW))) return ::GetObjectA(object, cbBuffer, buffer);
    LOGFONTA narrow;
    ::ZeroMemory(&narrow, sizeof(narrow));
    // 60 for a font, not 92; callers only test the result for zero.
    int result = ::GetObjectA(object, sizeof(LOGFONTA), &narrow);
    if (buffer) {
        LOGFONTW* font = static_cast<LOGFONTW*>(buffer);
        font->lfHeight = narrow.lfHeight;
        font->lfWidth = narrow.lfWidth;
        font->lfEscapement = narrow.lfEscapement;
        font->lfOrientation = narrow.lfOrientation;
        font->lfWeight = narrow.lfWeight;
        font->lfItalic = narrow.lfItalic;
        font->lfUnderline = narrow.lfUnderline;
        font->lfStrikeOut = narrow.lfStrikeOut;
        font->lfCharSet = narrow.lfCharSet;
        font->lfOutPrecision = narrow.lfOutPrecision;
        font->lfClipPrecision = narrow.lfClipPrecision;
        font->lfQuality = narrow.lfQuality;
        font->lfPitchAndFamily = narrow.lfPitchAndFamily;
        FaceNameToWide(narrow.lfFaceName, font->lfFaceName);
    }
    return result;
}

BOOL WINAPI FallbackSetWindowText(HWND window, LPCWSTR text) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, text)) return FALSE;
    BOOL ok = ::SetWindowTextA(window, a.text[0]);
    FreeNarrowTexts(&a);
    return ok;
}

BOOL WINAPI FallbackSetDlgItemText(HWND dialog, int item, LPCWSTR text) {
    NarrowTexts a;
    if (!NarrowTextArgs(&a, text)) return FALSE;
    BOOL ok = ::SetDlgItemTextA(dialog, item, a.text[0]);
    FreeNarrowTexts(&a);
    return ok;
}
