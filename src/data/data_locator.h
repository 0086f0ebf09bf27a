// The data locator: a marker that a writer searches for in a copy of the program file, and the
// file offset of the appended uninstall data that it writes after the marker. The build writes
// the program file's own length there (scripts/patch-locator.py).
#pragma once
#include <windows.h>

#include "data/data_format.h"

// Volatile so that the compiler neither drops it nor folds the built-in offset into the code.
extern volatile unsigned char DataLocator[kDataLocatorSize];

// Offset at which the uninstall data begin (also the length of the program part); 0: none.
DWORD DataOffset();
// For tests, which point the loader at data of their own.
void SetDataOffset(DWORD offset);
