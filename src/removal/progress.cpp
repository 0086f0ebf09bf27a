// The passes' table of what they may show or note, empty until the run layer fills it in, and
// the progress accounting from record positions to percentages.
#include "removal/progress.h"
#include "data/install_records.h"

RemovalState Removal = {.PassUi = {}, .ProgressTotal = 0, .YesToAllState = -1};

// position * 100 / total, exact for every count. The product needs 64 bits, but the quotient
// never exceeds 100, so one 64-by-32 division instruction does; the compiler would instead call
// its general 64-bit division, library code out of proportion to this small program.
static DWORD PercentOf(DWORD position, DWORD total) {
    if (position >= total) return 100;
    DWORD quotient, remainder;
    __asm__("mull %3\n\tdivl %4" : "=a"(quotient), "=&d"(remainder) : "a"(position), "r"(100u), "r"(total) : "cc");
    return quotient;
}

void ReportProgress(DWORD position) {
    if (Removal.ProgressTotal == 0 || !Removal.PassUi.ShowProgress) return;
    Removal.PassUi.ShowProgress(PercentOf(position, Removal.ProgressTotal));
}

void ReportRecord(DWORD kind, RecordOutcome outcome, DWORD detail, const WCHAR* path) {
    if (Removal.PassUi.LogRecord) Removal.PassUi.LogRecord(kind, outcome, detail, path);
}

DWORD FilePassBase() { return 0; }
DWORD ShortcutPassBase() { return Data.FileEntryCount; }
DWORD EmptiedFolderPassBase() { return Data.FileEntryCount + Data.ShortcutEntryCount; }
DWORD RegistryPassBase() { return 2 * Data.FileEntryCount + Data.ShortcutEntryCount; }
