// Storage of the data locator. The marker bytes appear nowhere else in the program, so a writer
// finds exactly one place to patch; the build writes the file's own length after them.
#include "data/data_locator.h"

volatile unsigned char DataLocator[kDataLocatorSize] = {0x77, 0x77, 0x67, 0x54, 0x29, 0x48, 0, 0, 0, 0};

DWORD DataOffset() {
    return static_cast<DWORD>(DataLocator[6]) | static_cast<DWORD>(DataLocator[7]) << 8 |
           static_cast<DWORD>(DataLocator[8]) << 16 | static_cast<DWORD>(DataLocator[9]) << 24;
}

void SetDataOffset(DWORD offset) {
    for (int i = 0; i < 4; ++i) DataLocator[6 + i] = static_cast<unsigned char>(offset >> (8 * i));
}
