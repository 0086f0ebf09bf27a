// Converting fallbacks: wide-signature stand-ins that convert text to the ANSI code page and
// call the narrow system function. Only the two shell entries are needed on every platform.
#pragma once
#include "platform/api_table.h"

BOOL WINAPI FallbackSHGetPathFromIDList(PCIDLIST_ABSOLUTE itemList, LPWSTR path);
PIDLIST_ABSOLUTE WINAPI FallbackSHBrowseForFolder(LPBROWSEINFOW info);

// Replaces the entries of the table for a platform without the wide calls.
void InstallNarrowTable(ApiTableT* table);

// Conversion helpers shared by the fallbacks.
char* NarrowDup(const WCHAR* text);
void FreeNarrow(char* narrow);
void NarrowInto(char* dst, const WCHAR* src, int cbDst);
