// Converting fallbacks: wide-signature stand-ins that convert text to the ANSI code page and
// call the narrow system function, the conversion helpers they share, and the table of a
// platform without the wide calls. Only the shell entry's fallback is needed on every platform.
#pragma once
#include "platform/api_table.h"

// --- conversion helpers (narrow_fallbacks.cpp) -----------------------------------------------

// Allocates the ANSI form of text (2n+2 bytes for n wide characters); null for null text or
// when memory runs out. Free with FreeNarrow.
char* NarrowDup(const WCHAR* text);
// The same for the first cch characters of text only (text need not be terminated there).
char* NarrowDupN(const WCHAR* text, int cch);
void FreeNarrow(char* narrow);
// Converts text for a narrow call. False when non-null text could not be converted: the
// caller must then fail rather than pass null, which names something else (a null value name
// is the default value, a null profile key deletes the whole section).
bool NarrowArg(const WCHAR* text, char** narrow);

// The narrow copies of the text arguments of one narrow call. A null text stays null, and an
// atom or resource number (below 0x10000) passes unchanged, as the narrow calls take both.
struct NarrowTexts {
    char* text[4];
};
// Converts up to four texts into texts->text. False when one of them could not be converted:
// nothing is then left allocated and the last error is ERROR_NOT_ENOUGH_MEMORY, and the caller
// fails without calling the narrow function. Free with FreeNarrowTexts after a true result.
bool NarrowTextArgs(NarrowTexts* texts, const WCHAR* a, const WCHAR* b = nullptr, const WCHAR* c = nullptr,
                    const WCHAR* d = nullptr);
void FreeNarrowTexts(NarrowTexts* texts);

// Converts the whole of src into dst (cbDst bytes with the terminator). A result that does
// not fit is cut at a character boundary and still terminated.
void NarrowInto(char* dst, const WCHAR* src, int cbDst);
// Converts src up to its terminator into dst (cchDst wide characters with the terminator).
// Writes at most cchDst characters; a result that does not fit is cut and terminated.
// Returns the full wide length of src, so a result >= cchDst tells the caller it was cut.
// Writes nothing and returns 0 when dst or src is null or cchDst is not positive.
int WidenInto(WCHAR* dst, const char* src, int cchDst);
// Number of wide characters the first cb bytes of src convert to (a narrow offset as a
// wide index).
int WideIndex(const char* src, int cb);

// --- user interface (narrow_ui.cpp) ------------------------------------------------------------
ATOM WINAPI FallbackRegisterClass(const WNDCLASSW* wc);
HWND WINAPI FallbackCreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                                   int x, int y, int width, int height, HWND parent, HMENU menu,
                                   HINSTANCE instance, LPVOID param);
HFONT WINAPI FallbackCreateFontIndirect(const LOGFONTW* font);
int WINAPI FallbackGetObject(HANDLE object, int cbBuffer, LPVOID buffer);
BOOL WINAPI FallbackSetWindowText(HWND window, LPCWSTR text);
BOOL WINAPI FallbackSetDlgItemText(HWND dialog, int item, LPCWSTR text);

// --- files, processes, registry, shell and fonts (narrow_files.cpp) --------------------------
HANDLE WINAPI FallbackCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WINAPI FallbackDeleteFile(LPCWSTR name);
DWORD WINAPI FallbackGetFileAttributes(LPCWSTR name);
BOOL WINAPI FallbackSetFileAttributes(LPCWSTR name, DWORD attributes);
BOOL WINAPI FallbackCreateProcess(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                                  LPSECURITY_ATTRIBUTES threadSecurity, BOOL inherit, DWORD flags,
                                  LPVOID environment, LPCWSTR directory, LPSTARTUPINFOW startup,
                                  LPPROCESS_INFORMATION info);
LSTATUS WINAPI FallbackRegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS WINAPI FallbackRegQueryValueEx(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                       LPDWORD cbData);
LSTATUS WINAPI FallbackRegSetValueEx(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                                     DWORD cbData);
LSTATUS WINAPI FallbackRegEnumKeyEx(HKEY key, DWORD index, LPWSTR name, LPDWORD cchName, LPDWORD reserved,
                                    LPWSTR keyClass, LPDWORD cchClass, PFILETIME lastWrite);
LSTATUS WINAPI FallbackRegDeleteKey(HKEY key, LPCWSTR subKey);
LSTATUS WINAPI FallbackRegDeleteValue(HKEY key, LPCWSTR name);
HINSTANCE WINAPI FallbackShellExecute(HWND window, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                                      LPCWSTR directory, INT show);
BOOL WINAPI FallbackRemoveFontResource(LPCWSTR file);

// --- paths, modules, directory search and profiles (narrow_paths.cpp) ---------------------------
DWORD WINAPI FallbackGetModuleFileName(HMODULE module, LPWSTR buffer, DWORD cchBuffer);
UINT WINAPI FallbackGetWindowsDirectory(LPWSTR buffer, UINT cchBuffer);
UINT WINAPI FallbackGetSystemDirectory(LPWSTR buffer, UINT cchBuffer);
DWORD WINAPI FallbackGetTempPath(DWORD cchBuffer, LPWSTR buffer);
DWORD WINAPI FallbackGetShortPathName(LPCWSTR longPath, LPWSTR shortPath, DWORD cchShortPath);
// The file part is not computed: callers pass null for it.
DWORD WINAPI FallbackGetFullPathName(LPCWSTR path, DWORD cchBuffer, LPWSTR buffer, LPWSTR* filePart);
BOOL WINAPI FallbackSetCurrentDirectory(LPCWSTR path);
DWORD WINAPI FallbackGetCurrentDirectory(DWORD cchBuffer, LPWSTR buffer);
BOOL WINAPI FallbackRemoveDirectory(LPCWSTR path);
HMODULE WINAPI FallbackLoadLibrary(LPCWSTR name);
// LoadLibrary of the name: the flags of the newer systems' search are unknown to the 9x family,
// whose LoadLibrary searches the folder of a DLL named by its full path anyway.
HMODULE WINAPI FallbackLoadLibraryEx(LPCWSTR name, HANDLE file, DWORD flags);
HANDLE WINAPI FallbackFindFirstFile(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL WINAPI FallbackWritePrivateProfileString(LPCWSTR section, LPCWSTR key, LPCWSTR text, LPCWSTR file);

// --- the shell entry bound at run time (narrow_fallbacks.cpp) -----------------------------------
BOOL WINAPI FallbackSHGetPathFromIDList(PCIDLIST_ABSOLUTE itemList, LPWSTR path);

// The A form of a call whose only text argument is a resource number (dialog templates, icons
// and cursors are named by number), as the entry's wide type: the two forms differ only in type.
template <typename Narrow>
struct ByNumberCall {
    Narrow call;
    template <typename Wide>
    operator Wide() const {
        return reinterpret_cast<Wide>(call);
    }
};
template <typename Narrow>
inline ByNumberCall<Narrow> ByNumber(Narrow call) { return {call}; }

// Replaces the entries of the table for a platform without the wide calls: the plain narrow
// call where no text crosses, MessageBox kept wide, a converting fallback everywhere else.
void InstallNarrowTable(ApiTable* table);
