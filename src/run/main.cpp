// Entry point of the uninstaller. The program brings no C runtime start-up of its own: it has
// no constructors, no arguments vector and no at-exit work, and the start-up code would be a
// fifth of the file that ships with every product. The command line is read with
// GetCommandLineW, so paths outside the ANSI code page reach the program whole. The instance
// comes from the narrow call: the wide one is a stub on the 9x family, which returns nothing.
#include "run/run_sequence.h"

// The system calls the entry point with a stack aligned to 4 bytes only; the attribute
// realigns it for code built on the compiler's usual assumption.
extern "C" __attribute__((force_align_arg_pointer)) void __stdcall UninstEntry() {
    ::ExitProcess(static_cast<UINT>(RunUninstaller(::GetModuleHandleA(nullptr))));
}
