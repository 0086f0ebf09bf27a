// Names of the benchmark installation, shared by the driver (which builds and checks it and
// writes our uninstall data for it) and the floor program (which removes it). bench.py writes
// the peer's uninstall script with the same names; the afterwards-check catches any drift.
#pragma once
#include <windows.h>

// N files of 1 KiB in N / kFilesPerFolder folders, N / kFilesPerKey registry keys.
const unsigned kFilesPerFolder = 50;
const unsigned kFilesPerKey = 10;
const DWORD kBenchFileSize = 1024;

const HKEY kBenchRoot = HKEY_CURRENT_USER;
const DWORD kBenchRootValue = 0x80000001;  // HKEY_CURRENT_USER as a record stores it
#define BENCH_KEY L"Software\\BenchApp"

// Writes value as exactly `digits` decimal digits (with leading zeros) at out; returns the
// position after them. No terminator: callers end the text once it is complete.
inline WCHAR* PutDigits(WCHAR* out, unsigned value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = static_cast<WCHAR>(L'0' + value % 10);
        value /= 10;
    }
    return out + digits;
}

inline WCHAR* PutText(WCHAR* out, const WCHAR* text) {
    while (*text) *out++ = *text++;
    return out;
}

// "d0007": the folder of file i is FolderName(i / kFilesPerFolder).
inline void FolderName(unsigned folder, WCHAR out[8]) {
    WCHAR* p = PutText(out, L"d");
    *PutDigits(p, folder, 4) = 0;
}

// "f000123.dat"
inline void FileName(unsigned file, WCHAR out[16]) {
    WCHAR* p = PutText(out, L"f");
    p = PutDigits(p, file, 6);
    *PutText(p, L".dat") = 0;
}

// "Software\BenchApp\k00012", below kBenchRoot.
inline void KeyPath(unsigned key, WCHAR out[32]) {
    WCHAR* p = PutText(out, BENCH_KEY L"\\k");
    *PutDigits(p, key, 5) = 0;
}

inline unsigned FolderCount(unsigned n) { return (n + kFilesPerFolder - 1) / kFilesPerFolder; }
inline unsigned KeyCount(unsigned n) { return n / kFilesPerKey; }
