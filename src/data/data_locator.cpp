// Storage of the data locator. The marker bytes appear nowhere else in the program, so a writer
// finds exactly one place to patch; the build writes the file's own length after them.
#include "data/data_locator.h"

volatile unsigned char DataLocator[kDataLocatorSize] = {kDataLocatorMarker[0], kDataLocatorMarker[1],
                                                       kDataLocatorMarker[2], kDataLocatorMarker[3],
                                                       kDataLocatorMarker[4], kDataLocatorMarker[5]};

DWORD DataOffset() {
    volatile unsigned char* field = DataLocator + kDataLocatorMarkerSize;
    return static_cast<DWORD>(field[0]) | static_cast<DWORD>(field[1]) << 8 | static_cast<DWORD>(field[2]) << 16 |
           static_cast<DWORD>(field[3]) << 24;
}

void SetDataOffset(DWORD offset) {
    for (int i = 0; i < 4; ++i) DataLocator[kDataLocatorMarkerSize + i] = static_cast<unsigned char>(offset >> (8 * i));
}
